#pragma once

#include "BaseDlg.h"

#include <memory>

namespace Ui {
class TFormPass;
}

// Asks for a password until the right one is typed or the user gives up.
class TFormPass : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormPass(QWidget *parent = nullptr);
    ~TFormPass() override;

    QString FPassWord; // the password that must be typed

protected:
    void btnOKClick() override;
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TFormPass> ui;
};

// Shows the password dialog, titled `caption` unless that is empty: mrOk once
// `passWord` was typed exactly, mrCancel when the user gave up.
int ShowPass(const QString &passWord, const QString &caption);

// The check when the main window first shows: reads the setting and, when a
// login password is on, asks for it. False when the program must end: the
// password was not given, or the setting could not be read (that failure has
// been reported).
bool LoginCheck();
