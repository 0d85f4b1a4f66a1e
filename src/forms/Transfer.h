#pragma once

#include "BaseDlg.h"

#include "ledger/Transfers.h"

#include <memory>
#include <optional>

class Currency;
class QCheckBox;
class TCardFloatIntEdit;

namespace Ui {
class TFormTransfer;
}

// Enters transfers between two accounts. With "保存并继续新建" checked, OK
// saves the transfer and keeps the dialog open for the next one with the same
// accounts and date. Given a transfer of the books, it changes that one.
class TFormTransfer : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormTransfer(QWidget *parent = nullptr);
    ~TFormTransfer() override;

    // Whether the books hold the two accounts a transfer needs at least.
    bool HasAccounts() const;
    // Chooses the account the money leaves; none when the books have no such account.
    void SetFrom(const QString &account);
    // Shows the transfer as read from the books, for OK to change it.
    void LoadTransfer(const Transfer &transfer);
    // How many transfers the dialog has saved so far.
    int Saved() const { return FSaved; }

protected:
    void btnOKClick() override;
    void showEvent(QShowEvent *event) override;

private:
    // Whether two different accounts are chosen; tells the user and moves the
    // focus to the account to choose when not.
    bool CheckAccounts() const;
    // The amount in the box as leaving it would show it (Enter on OK leaves
    // the box untidied); the focus goes to the box when it holds no amount.
    static Currency AmountIn(TCardFloatIntEdit *edit);

    std::unique_ptr<Ui::TFormTransfer> ui;
    QCheckBox *chk1;
    int FSaved = 0;
    std::optional<Transfer> FRead; // the transfer being changed
};

// Shows the transfer dialog with `from`, when given, as the account the money
// leaves; with fewer than two accounts it says so instead. Returns mrOk when
// it closed with a save, and mrCancel otherwise, even after transfers were
// saved with the box checked; `saved`, when given, receives their number.
int ShowTransfer(const QString &from = {}, int *saved = nullptr);
