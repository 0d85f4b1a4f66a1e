#pragma once

#include "BaseDlg.h"

#include "exchange/ImportRules.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TFormImportRules;
class TFormImportRule;
} // namespace Ui

class QTreeWidget;

// One rule of the import, new or changed: the field, the text it contains,
// the kind, the category (chosen with the category picker) and the account.
class TFormImportRule : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormImportRule(QWidget *parent = nullptr);
    ~TFormImportRule() override;

    // Shows a stored rule, for OK to change it.
    void LoadRule(const TImportRule &rule);
    // The rule given with OK, with the Id it is stored under.
    const TImportRule &Rule() const { return FRule; }

protected:
    void btnOKClick() override;

private:
    void KindChanged();
    void ChooseCategory();
    void ShowCategory();

    std::unique_ptr<Ui::TFormImportRule> ui;
    TImportRule FRule;
};

// 分类规则: the rules the import files rows by, with the commands to add,
// change and delete them. A double click changes a rule, the Delete key
// deletes it after a question.
class TFormImportRules : public QDialog
{
    Q_OBJECT

public:
    explicit TFormImportRules(QWidget *parent = nullptr);
    ~TFormImportRules() override;

    QTreeWidget *List() const;
    // Reads the rules anew; the rule of selectId, when listed, is selected.
    void Reload(int selectId = 0);

    void NewClick();
    void EditClick();
    void DeleteClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The Id of the selected rule; 0 without a selection.
    int SelectedId() const;

    std::unique_ptr<Ui::TFormImportRules> ui;
    QList<TImportRule> FRules;
    bool FShown = false;
};

// Shows the rule window modally.
void ShowImportRules(QWidget *parent);
