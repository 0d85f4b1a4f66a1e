#pragma once

#include "BaseDlg.h"

#include <memory>

namespace Ui {
class TFormModAccount;
}

// Changes an account's name and remark. The amounts change only through
// records, so the dialog has none.
class TFormModAccount : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormModAccount(QWidget *parent = nullptr);
    ~TFormModAccount() override;

    // Reads the account and shows its name and remark.
    void LoadAccount(const QString &name);

    // The account's name when the dialog was opened.
    QString FOldName;

protected:
    void btnOKClick() override;
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TFormModAccount> ui;
};

// Shows the modify dialog for the account name; returns the modal result.
int ShowModAccount(const QString &name);
