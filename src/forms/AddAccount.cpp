#include "AddAccount.h"

#include "ui_AddAccount.h"

#include "controls/CardFloatIntEdit.h"
#include "data/Currency.h"
#include "data/UntPublic.h"
#include "ledger/UntAccount.h"

#include <QApplication>
#include <QPushButton>
#include <QShowEvent>

TFormAddAccount::TFormAddAccount(QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormAddAccount>())
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    setFixedSize(ClientArea()->size());

    setTabOrder(ui->edtID, ui->mmoRemrk);
    setTabOrder(ui->mmoRemrk, ui->edtFare);
    setTabOrder(ui->edtFare, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TFormAddAccount::~TFormAddAccount() = default;

void TFormAddAccount::showEvent(QShowEvent *event)
{
    TFormBaseDlg::showEvent(event);
    if (!event->spontaneous())
        ui->edtID->setFocus();
}

void TFormAddAccount::btnOKClick()
{
    const QString name = ui->edtID->text();
    if (IsBlankName(name)) {
        ShowInfo(QStringLiteral("账户名称不能为空！"));
        ui->edtID->setFocus();
        return;
    }
    // OK pressed with Enter leaves the amount box without its exit tidying;
    // take its text as leaving the box would have left it ("5." as 5), so the
    // keyboard and the mouse save the same amount.
    const QString fareText
        = TCardFloatIntEdit::Tidied(ui->edtFare->TextType(), ui->edtFare->text());
    if (fareText != ui->edtFare->text())
        ui->edtFare->setText(fareText);

    GAccount->FAccountName = name;
    try {
        GAccount->FFare = Currency::Parse(fareText);
    } catch (...) {
        ui->edtFare->setFocus();
        throw;
    }
    GAccount->FRemark = ui->mmoRemrk->toPlainText();
    GAccount->InsertAccount();
    accept();
}

int ShowAddAccount()
{
    TFormAddAccount dialog(QApplication::activeWindow());
    return dialog.ShowModal();
}
