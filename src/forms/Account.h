#pragma once

#include <QDialog>
#include <memory>

class QMenu;
class TListModel;

namespace Ui {
class TFormAccount;
}

// The account window: every account with its balance, income and expense,
// the totals over all accounts, and the commands to add, change and delete
// accounts.
class TFormAccount : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAccount(QWidget *parent = nullptr);
    ~TFormAccount() override;

    // Recomputes the count and the three sums in the status bar from the list.
    void UpdateTotals();
    // Reads the accounts and their totals anew.
    void Reload();

    void N1Click(); // new account
    void N2Click(); // change the selected account
    void N3Click(); // delete the selected account
    void N5Click(); // close the window
    void NTransferClick(); // transfer from the selected account
    void NStatementClick(); // the statement of the selected account

    TListModel &Accounts() const { return *FAccounts; }

    QMenu *PopupMenu1;

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TFormAccount> ui;

    void FormShow();
    // The selected row, or -1 without a selection.
    int SelectedRow() const;

    std::unique_ptr<TListModel> FAccounts;
    bool FShown = false;
};

// Shows the account window modally.
void ShowAccounts();
// Shows the balances anew in the account window, when one is open: a change
// made from another window moved them.
void ReloadAccountWindows();
