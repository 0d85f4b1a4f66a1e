#include "Config.h"

#include "Pass.h"
#include "ui_Config.h"

#include "data/DbAccess.h"
#include "data/UException.h"
#include "ledger/UntConfig.h"

#include <QShowEvent>

TFormConfig::TFormConfig(QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormConfig>())
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    setFixedSize(ClientArea()->size());
    connect(ui->chkPass, &QCheckBox::toggled, this, &TFormConfig::chkPassClick);
    // The number of copies kept means something only while copies are made.
    connect(ui->chkAutoBackup, &QCheckBox::toggled, ui->spnBackupDays, &QWidget::setEnabled);
    ui->spnBackupDays->setAccessibleDescription(ui->spnBackupDays->toolTip());
}

TFormConfig::~TFormConfig() = default;

void TFormConfig::showEvent(QShowEvent *event)
{
    TFormBaseDlg::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormConfig::FormShow()
{
    // Turning the box off from its unchecked layout state changes nothing, so
    // with the setting off both edits stay enabled with the stored password.
    ui->chkPass->setChecked(GConfig->FbPass);
    ui->edtPass->setText(GConfig->FPassWord);
    ui->edtRePass->setText(GConfig->FPassWord);
    ui->chkAutoBackup->setChecked(GConfig->FAutoBackup);
    ui->spnBackupDays->setValue(GConfig->FBackupDays);
}

void TFormConfig::chkPassClick()
{
    const bool checked = ui->chkPass->isChecked();
    ui->edtPass->setEnabled(checked);
    ui->edtRePass->setEnabled(checked);
    const QString text = checked ? GConfig->FPassWord : QString();
    ui->edtPass->setText(text);
    ui->edtRePass->setText(text);
}

void TFormConfig::btnOKClick()
{
    const QString passWord = ui->edtPass->text();
    const QString &stored = GConfig->FPassWord;
    if (ui->chkPass->isChecked()) {
        if (passWord.trimmed().isEmpty()) {
            ui->edtPass->setFocus();
            throw Exception(QStringLiteral("密码不能为空!"));
        }
        if (passWord != ui->edtRePass->text()) {
            ui->edtPass->setFocus();
            throw Exception(QStringLiteral("两次输入的密码不一样,请重新输入!"));
        }
        if (!stored.isEmpty() && stored != passWord
            && ShowPass(stored, QStringLiteral("请先输入旧密码")) != mrOk)
            return;
    } else if (!stored.isEmpty()
               && ShowPass(stored, QStringLiteral("请先输入密码才可以取消登录密码")) != mrOk) {
        return;
    }

    // Memory and books stay alike: a failed save puts the old values back.
    const TConfig old = *GConfig;
    GConfig->FbPass = ui->chkPass->isChecked();
    GConfig->FPassWord = passWord;
    GConfig->FAutoBackup = ui->chkAutoBackup->isChecked();
    GConfig->FBackupDays = ui->spnBackupDays->value();
    try {
        GDbAccess->InTransaction([] {
            GConfig->SaveBackupConfig();
            GConfig->SaveConfig();
        });
    } catch (...) {
        GConfig->FbPass = old.FbPass;
        GConfig->FPassWord = old.FPassWord;
        GConfig->FAutoBackup = old.FAutoBackup;
        GConfig->FBackupDays = old.FBackupDays;
        throw;
    }
    accept();
}

void ShowConfig()
{
    TFormConfig form;
    form.ShowModal();
}
