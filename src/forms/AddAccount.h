#pragma once

#include "BaseDlg.h"

#include <memory>

namespace Ui {
class TFormAddAccount;
}

// Enters a new account with its initial amount and remark.
class TFormAddAccount : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormAddAccount(QWidget *parent = nullptr);
    ~TFormAddAccount() override;

    std::unique_ptr<Ui::TFormAddAccount> ui;

protected:
    void btnOKClick() override;
    void showEvent(QShowEvent *event) override;
};

// Whether an account name is empty to the eye: nothing but blanks and control
// characters. Such names are refused, since no one could tell them apart.
bool BlankAccountName(const QString &name);

// Shows the new-account dialog; returns the modal result (mrOk when saved).
int ShowAddAccount();
