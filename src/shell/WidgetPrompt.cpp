#include "WidgetPrompt.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>
#include <algorithm>

bool TWidgetPrompt::Box(TBoxKind kind, const QString &caption, const QString &text)
{
    // An information box belongs to the application, so the window behind it
    // stays usable; the others belong to the active window.
    QWidget *owner = kind == TBoxKind::Info ? nullptr : QApplication::activeWindow();
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(owner);
    // A box must never hide behind a window that keeps itself on top (the note).
    const auto windows = QApplication::topLevelWidgets();
    if (std::any_of(windows.cbegin(), windows.cend(), [](const QWidget *window) {
            return window->isVisible() && window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        }))
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    box.setWindowTitle(caption);
    box.setText(shown);
    box.setTextFormat(Qt::PlainText);
    switch (kind) {
    case TBoxKind::Info:
        box.setIcon(QMessageBox::Information);
        break;
    case TBoxKind::Confirm:
        box.setIcon(QMessageBox::Question);
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::No);
        break;
    case TBoxKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    return box.exec() == QMessageBox::Yes;
}

QString TWidgetPrompt::FileDialog(TFileDialogKind kind, const QString &filter)
{
    QWidget *owner = QApplication::activeWindow();
    if (kind == TFileDialogKind::Save)
        return QFileDialog::getSaveFileName(owner, {}, {}, filter, nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    return QFileDialog::getOpenFileName(owner, {}, {}, filter);
}

void TWidgetPrompt::OpenDocument(const QString &target)
{
    QDesktopServices::openUrl(QUrl::fromUserInput(target));
}
