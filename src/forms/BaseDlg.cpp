#include "BaseDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QMainWindow>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <algorithm>
#include <memory>

namespace {

constexpr int kBottomHeight = 41;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

QFrame *NewLine(QWidget *parent, const QString &name)
{
    auto *line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

void CentreOnMainWindow(QWidget *window)
{
    QRect area;
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<const QMainWindow *>(widget) && widget->isVisible()) {
            area = widget->frameGeometry();
            break;
        }
    }
    if (!area.isValid()) {
        if (const QScreen *screen = window->screen())
            area = screen->availableGeometry();
    }
    if (area.isValid())
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
}

void KeepAboveStayOnTop(QWidget *window)
{
    const auto windows = QApplication::topLevelWidgets();
    if (std::any_of(windows.cbegin(), windows.cend(), [window](const QWidget *other) {
            return other != window && other->isVisible()
                && other->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        }))
        window->setWindowFlag(Qt::WindowStaysOnTopHint);
}

void BringForward(QWidget *window)
{
    window->showNormal();
    window->raise();
    window->activateWindow();
}

TFormBaseDlg::TFormBaseDlg(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
    , FClient(new QWidget(this))
{
    FClient->setObjectName(QStringLiteral("ClientArea"));
    bvl1 = NewLine(this, QStringLiteral("bvl1"));
    pnlBottom = new QWidget(this);
    pnlBottom->setObjectName(QStringLiteral("pnlBottom"));
    bvl2 = NewLine(pnlBottom, QStringLiteral("bvl2"));
    btnOK = new QPushButton(QStringLiteral("确定(&O)"), pnlBottom);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("取消(&C)"), pnlBottom);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAutoDefault(false);
    // OK runs as an event of its own (queued), so that a failure, which ends
    // the command, unwinds only through our code and Qt's core, never through
    // the button's or the dialog's key handling. A click that was queued
    // before the dialog closed (a second click behind the one that saved, or
    // one ahead of Cancel) does nothing.
    auto closings = std::make_shared<int>(0);
    connect(this, &QDialog::finished, this, [closings] { ++*closings; });
    connect(btnOK, &QPushButton::clicked, this, [this, closings] {
        QMetaObject::invokeMethod(
            this,
            [this, closings, before = *closings] {
                if (*closings == before)
                    btnOKClick();
            },
            Qt::QueuedConnection);
    });
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

int TFormBaseDlg::ShowModal()
{
    KeepAboveStayOnTop(this);
    return exec() == QDialog::Accepted ? mrOk : mrCancel;
}

void TFormBaseDlg::btnOKClick()
{
    accept();
}

QCheckBox *TFormBaseDlg::AddKeepOpenBox()
{
    auto *box = new QCheckBox(QStringLiteral("保存并继续新建"), pnlBottom);
    box->setObjectName(QStringLiteral("chk1"));
    // Level with OK and Cancel, which stand 9 pixels into the panel.
    box->setGeometry(16, 9, 137, 25);
    return box;
}

void TFormBaseDlg::keyPressEvent(QKeyEvent *event)
{
    // Enter on a focused button (Cancel, the calculator) presses that button;
    // elsewhere it means OK, the default button.
    const bool enter = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    QWidget *focused = focusWidget();
    if (enter && (qobject_cast<QPushButton *>(focused) || qobject_cast<QToolButton *>(focused))) {
        static_cast<QAbstractButton *>(focused)->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormBaseDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    const int w = width();
    const int h = height();
    FClient->setGeometry(0, 0, w, h - kBottomHeight);
    bvl1->setGeometry(0, 0, w, 2);
    bvl1->raise();
    pnlBottom->setGeometry(0, h - kBottomHeight, w, kBottomHeight);
    bvl2->setGeometry(0, 0, w, 2);
    btnCancel->setGeometry(w - kButtonWidth - 14, 9, kButtonWidth, kButtonHeight);
    btnOK->setGeometry(w - 2 * kButtonWidth - 14 - 1, 9, kButtonWidth, kButtonHeight);
}

void TFormBaseDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (FPosition == poMainFormCenter) {
        CentreOnMainWindow(this);
    } else if (const QScreen *screen = this->screen()) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
}
