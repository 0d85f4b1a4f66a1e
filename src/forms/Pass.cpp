#include "Pass.h"

#include "ui_Pass.h"

#include "data/UException.h"
#include "ledger/UntConfig.h"

TFormPass::TFormPass(QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormPass>())
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    setFixedSize(ClientArea()->size());
    // At start the main window is not shown yet.
    SetPosition(poScreenCenter);
}

TFormPass::~TFormPass() = default;

void TFormPass::showEvent(QShowEvent *event)
{
    TFormBaseDlg::showEvent(event);
    ui->edtPass->setFocus();
}

void TFormPass::btnOKClick()
{
    // Exact and case-sensitive; blanks count.
    if (ui->edtPass->text() != FPassWord)
        throw Exception(QStringLiteral("密码输入错误!"));
    accept();
}

int ShowPass(const QString &passWord, const QString &caption)
{
    TFormPass form;
    form.FPassWord = passWord;
    if (!caption.isEmpty())
        form.setWindowTitle(caption);
    return form.ShowModal();
}

bool LoginCheck()
{
    try {
        GConfig->LoadConfig();
    } catch (const std::exception &failure) {
        // Without the setting there is no knowing whether a password guards
        // the books, so the program does not go on.
        GCardException->ReportException(failure);
        return false;
    }
    return !GConfig->FbPass
        || ShowPass(GConfig->FPassWord, QStringLiteral("先输入密码登录软件")) == mrOk;
}
