#include "Main.h"

#include "ui_Main.h"

#include "data/UntPublic.h"

#include <QCloseEvent>
#include <QScreen>

TFormMain::TFormMain(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::TFormMain>())
{
    ui->setupUi(this);
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

TFormMain::~TFormMain() = default;

void TFormMain::closeEvent(QCloseEvent *event)
{
    if (ShowConfirm(QStringLiteral("确定要退出记账软件吗?")))
        event->accept();
    else
        event->ignore();
}
