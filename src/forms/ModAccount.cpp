#include "ModAccount.h"

#include "ui_ModAccount.h"

#include "AddAccount.h"

#include "data/UntPublic.h"
#include "ledger/UntAccount.h"

#include <QApplication>
#include <QPushButton>
#include <QShowEvent>

TFormModAccount::TFormModAccount(QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormModAccount>())
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    setFixedSize(ClientArea()->size());

    setTabOrder(ui->edtID, ui->mmoRemrk);
    setTabOrder(ui->mmoRemrk, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TFormModAccount::~TFormModAccount() = default;

void TFormModAccount::LoadAccount(const QString &name)
{
    GAccount->ReadAccount(name);
    FOldName = name;
    ui->edtID->setText(GAccount->FAccountName);
    ui->mmoRemrk->setPlainText(GAccount->FRemark);
}

void TFormModAccount::showEvent(QShowEvent *event)
{
    TFormBaseDlg::showEvent(event);
    if (!event->spontaneous())
        ui->edtID->setFocus();
}

void TFormModAccount::btnOKClick()
{
    const QString name = ui->edtID->text();
    if (IsBlankName(name)) {
        ShowInfo(QStringLiteral("账户名称不能为空！"));
        ui->edtID->setFocus();
        return;
    }
    GAccount->FAccountName = name;
    GAccount->FRemark = ui->mmoRemrk->toPlainText();
    GAccount->UpdateAccount(FOldName);
    accept();
}

int ShowModAccount(const QString &name)
{
    TFormModAccount dialog(QApplication::activeWindow());
    dialog.LoadAccount(name);
    return dialog.ShowModal();
}
