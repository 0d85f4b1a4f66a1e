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

protected:
    void btnOKClick() override;
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TFormAddAccount> ui;
};

// Shows the new-account dialog; returns the modal result (mrOk when saved).
int ShowAddAccount();
