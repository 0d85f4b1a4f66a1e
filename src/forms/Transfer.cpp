#include "Transfer.h"
#include "ui_Transfer.h"

#include "Account.h"

#include "controls/CardFloatIntEdit.h"
#include "data/Currency.h"
#include "data/DateFormats.h"
#include "data/UntPublic.h"
#include "ledger/Transfers.h"
#include "ledger/UntAccount.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QShowEvent>

TFormTransfer::TFormTransfer(QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormTransfer>())
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    setFixedSize(ClientArea()->size());
    chk1 = AddKeepOpenBox();

    // Neither account is chosen for the user: a transfer the wrong way round
    // is worse than one more choice.
    QStringList names;
    GAccount->ListAccountNames(names);
    for (QComboBox *accounts : {ui->cbbFrom, ui->cbbTo}) {
        accounts->addItems(names);
        accounts->setCurrentIndex(-1);
    }
    ui->dtpDate->setDisplayFormat(LongDateFormat());
    ui->dtpDate->setDate(QDate::currentDate());

    setTabOrder(ui->edtRemark, chk1);
    setTabOrder(chk1, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TFormTransfer::~TFormTransfer() = default;

bool TFormTransfer::HasAccounts() const
{
    return ui->cbbFrom->count() >= 2;
}

void TFormTransfer::SetFrom(const QString &account)
{
    ui->cbbFrom->setCurrentIndex(ui->cbbFrom->findText(account));
}

void TFormTransfer::LoadTransfer(const Transfer &transfer)
{
    setWindowTitle(QStringLiteral("修改转账"));
    chk1->hide();
    SetFrom(transfer.From);
    ui->cbbTo->setCurrentIndex(ui->cbbTo->findText(transfer.To));
    ui->edtAmount->setText(transfer.Amount.ToString());
    ui->edtFee->setText(transfer.Fee == Currency() ? QString() : transfer.Fee.ToString());
    ui->dtpDate->setDate(transfer.Date);
    ui->edtRemark->setText(transfer.Remark);
    FRead = transfer;
}

void TFormTransfer::showEvent(QShowEvent *event)
{
    TFormBaseDlg::showEvent(event);
    // The input starts at the first account still to choose, or at the amount.
    if (event->spontaneous())
        return;
    QWidget *start = ui->edtAmount;
    for (QComboBox *account : {ui->cbbTo, ui->cbbFrom}) {
        if (account->currentIndex() < 0)
            start = account;
    }
    start->setFocus();
}

bool TFormTransfer::CheckAccounts() const
{
    QString refusal;
    QComboBox *field = ui->cbbTo;
    if (ui->cbbFrom->currentIndex() < 0) {
        refusal = QStringLiteral("请选择转出账户！");
        field = ui->cbbFrom;
    } else if (ui->cbbTo->currentIndex() < 0) {
        refusal = QStringLiteral("请选择转入账户！");
    } else if (ui->cbbFrom->currentIndex() == ui->cbbTo->currentIndex()) {
        refusal = QStringLiteral("转出账户和转入账户不能相同！");
    } else {
        return true;
    }
    ShowInfo(refusal);
    field->setFocus();
    return false;
}

Currency TFormTransfer::AmountIn(TCardFloatIntEdit *edit)
{
    const QString text = TCardFloatIntEdit::Tidied(edit->TextType(), edit->text());
    if (text != edit->text())
        edit->setText(text);
    try {
        return Currency::Parse(text);
    } catch (...) {
        edit->setFocus();
        throw;
    }
}

void TFormTransfer::btnOKClick()
{
    if (!CheckAccounts())
        return;
    Transfer transfer;
    transfer.Amount = AmountIn(ui->edtAmount);
    if (transfer.Amount <= Currency()) {
        ShowInfo(QStringLiteral("转账金额必须大于零！"));
        ui->edtAmount->setFocus();
        return;
    }
    transfer.Fee = AmountIn(ui->edtFee);
    transfer.Date = ui->dtpDate->date();
    transfer.From = ui->cbbFrom->currentText();
    transfer.To = ui->cbbTo->currentText();
    transfer.Remark = ui->edtRemark->text();
    if (FRead)
        Transfers::Modify(*FRead, transfer);
    else
        Transfers::Add(transfer);
    ++FSaved;
    if (chk1->isChecked()) {
        ui->edtAmount->clear();
        ui->edtFee->clear();
        ui->edtRemark->clear();
        ui->edtAmount->setFocus();
        return;
    }
    accept();
}

int ShowTransfer(const QString &from, int *saved)
{
    TFormTransfer dialog(QApplication::activeWindow());
    if (saved)
        *saved = 0;
    if (!dialog.HasAccounts()) {
        ShowInfo(QStringLiteral("至少需要两个账户才能转账，请先在账户信息中新建账户！"));
        return mrCancel;
    }
    dialog.SetFrom(from);
    const int result = dialog.ShowModal();
    if (saved)
        *saved = dialog.Saved();
    // The balances moved: an open account window shows them anew.
    if (dialog.Saved() > 0)
        ReloadAccountWindows();
    return result;
}
