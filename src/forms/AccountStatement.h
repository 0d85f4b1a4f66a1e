#pragma once

#include "BaseDlg.h"

#include "data/Currency.h"

#include <QDate>
#include <QDialog>
#include <memory>
#include <optional>
#include <utility>

class QAction;
class QDateEdit;
class QLabel;
class TCardFloatIntEdit;
class TStatementModel;

namespace Ui {
class TFormAccountStatement;
}

// The statement of one account (账户明细): its records and transfers over a
// period with the balance after each line, the period's opening and closing
// balances, the lines the bank's figures agreed with, and the reconciliation.
// A transfer's line can be changed or deleted here.
class TFormAccountStatement : public QDialog
{
    Q_OBJECT

public:
    // The quick choices of the period, in the order the box lists them.
    enum TPeriod { pdThisMonth, pdLastMonth, pdThisYear, pdAll, pdCustom };

    explicit TFormAccountStatement(const QString &account, QWidget *parent = nullptr);
    ~TFormAccountStatement() override;

    const QString &Account() const { return FAccount; }
    TStatementModel &Lines() const { return *FLines; }
    // The days shown; null dates for the whole of the books.
    std::pair<QDate, QDate> Period() const;
    void SetPeriod(TPeriod which);
    // Reads the period's lines and the account's latest agreed point again.
    void Reload();
    void btnReconcileClick();
    void NModifyTransferClick(); // change the selected transfer
    void NDeleteTransferClick(); // delete the selected transfer

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TFormAccountStatement> ui;

    void PeriodEdited();
    void ShowAgreedPoint();
    // The selected line, or -1 without a selection.
    int SelectedRow() const;
    // The transfer items are enabled on a transfer's line only.
    void UpdateTransferItems();
    // After a command on the transfer `id` from the line `row`: this window
    // and an open account window read the books anew, and the transfer's line
    // is selected, or the line now at `row` when it is no longer listed.
    void ShowChanges(qint64 id, int row);

    QString FAccount;
    QAction *FModifyAction;
    QAction *FDeleteAction;
    std::unique_ptr<TStatementModel> FLines;
    bool FShown = false;
};

// The reconciliation of an account on a day: the balance the bank shows is
// set against the books' balance at the end of that day, and stored as an
// agreed point when the two are equal.
class TFormReconcile : public TFormBaseDlg
{
    Q_OBJECT

public:
    TFormReconcile(const QString &account, const QDate &day, QWidget *parent = nullptr);

protected:
    void btnOKClick() override;

private:
    void ShowBooks();
    void ShowDifference();

    QString FAccount;
    QDateEdit *FDate;
    TCardFloatIntEdit *FBank;
    QLabel *FBooks;
    QLabel *FDifference;
    std::optional<Currency> FBooksBalance;
};

// Shows the statement of the account modally.
void ShowAccountStatement(const QString &account);
