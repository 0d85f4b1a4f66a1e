#pragma once

#include "BaseDlg.h"

#include "ledger/Budgets.h"

#include <QDialog>

#include <memory>
#include <vector>

namespace Ui {
class TFormBudgets;
class TFormBudget;
} // namespace Ui

class QTreeWidget;

// One budget, new or changed: the expense category (chosen with the category
// picker, fixed once the budget exists), month or year, the amount and
// whether the rest carries over.
class TFormBudget : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormBudget(QWidget *parent = nullptr);
    ~TFormBudget() override;

    // Shows a stored budget, for OK to change it.
    void LoadBudget(const TBudget &budget);
    // The category of the budget given with OK.
    qint32 TypeID() const { return FTypeID; }

protected:
    void btnOKClick() override;

private:
    void ChooseCategory();
    void ShowCategory();

    std::unique_ptr<Ui::TFormBudget> ui;
    qint32 FTypeID = 0;
    bool FStored = false;
};

// 预算: the budgets in the month or year chosen (this month at first), what
// each has spent and has left with a bar of how far it has gone, and the
// commands to add, change and delete them. The figures are read again each
// time the window is shown and after each change.
class TFormBudgets : public QDialog
{
    Q_OBJECT

public:
    explicit TFormBudgets(QWidget *parent = nullptr);
    ~TFormBudgets() override;

    QTreeWidget *List() const;
    // Reads the figures anew; the budget of selectType, when listed, is selected.
    void Reload(qint32 selectType = 0);

    void NewClick();
    void EditClick();
    void DeleteClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The category of the selected budget; 0 without a selection.
    qint32 SelectedType() const;

    std::unique_ptr<Ui::TFormBudgets> ui;
    std::vector<TBudgetFigure> FFigures;
    bool FShown = false;
};

// Shows the budget window modally.
void ShowBudgets(QWidget *parent);
