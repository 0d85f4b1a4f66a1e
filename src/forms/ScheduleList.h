#pragma once

#include "BaseDlg.h"

#include "ledger/Schedules.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TFormSchedule;
class TFormSchedules;
} // namespace Ui

class QTreeWidget;

// One scheduled record, new or changed: the kind, category (chosen with the
// category picker) or the account it goes to, the account, amount, remark,
// the rule (every N days, weeks, months or years, the day of the month, the
// start and the end) and whether it posts by itself or asks first.
class TFormSchedule : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormSchedule(QWidget *parent = nullptr);
    ~TFormSchedule() override;

    // Shows a stored schedule, for OK to change it.
    void LoadSchedule(const TSchedule &schedule);
    // The schedule as stored with OK.
    const TSchedule &Schedule() const { return FSchedule; }

protected:
    void btnOKClick() override;

private:
    void KindChanged();
    void ChooseCategory();
    void ShowCategory();
    // Enables the controls the kind, the unit and the end chosen use.
    void UpdateControls();

    std::unique_ptr<Ui::TFormSchedule> ui;
    TSchedule FSchedule;
};

// 周期记账: the schedules with their rules, next dates and states, and the
// commands to add, change and delete them and to open the due ones.
class TFormSchedules : public QDialog
{
    Q_OBJECT

public:
    explicit TFormSchedules(QWidget *parent = nullptr);
    ~TFormSchedules() override;

    QTreeWidget *List() const;
    // Reads the schedules anew; the one of selectId, when listed, is selected.
    void Reload(int selectId = 0);

    void NewClick();
    void EditClick();
    void DeleteClick();
    void DueClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    int SelectedId() const;

    std::unique_ptr<Ui::TFormSchedules> ui;
    QList<TSchedule> FSchedules;
    bool FShown = false;
};

// Shows the schedule window modally.
void ShowSchedules(QWidget *parent);
