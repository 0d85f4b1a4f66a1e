#pragma once

#include "ledger/Schedules.h"

#include <QDialog>

#include <memory>

namespace Ui {
class TFormDueRecords;
}

class QTableWidget;

// 到期记账: the occurrences of the schedules that are due, each with the
// date, amount and remark it will be posted with, which can be changed first
// (a bill of a different amount each time). Posts all of them or the selected
// ones, or skips the selected ones.
class TFormDueRecords : public QDialog
{
    Q_OBJECT

public:
    explicit TFormDueRecords(QWidget *parent = nullptr);
    ~TFormDueRecords() override;

    QTableWidget *Table() const;
    // Reads the due occurrences of today anew.
    void Reload();

    void PostAllClick();
    void PostClick();
    void SkipClick();

Q_SIGNALS:
    // Records or transfers were posted.
    void BooksChanged();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The occurrences of the rows (all, or the selected ones) as the table
    // shows them now; raises for an amount that is no amount.
    QList<TDueOccurrence> Rows(bool selected) const;
    void Post(const QList<TDueOccurrence> &rows);

    std::unique_ptr<Ui::TFormDueRecords> ui;
    QList<TDueOccurrence> FDue;
    bool FShown = false;
};

// Shows the window without waiting for it, or brings the open one forward
// with the due occurrences read anew; changed runs after each posting.
void ShowDueRecords(QWidget *parent, const std::function<void()> &changed);
