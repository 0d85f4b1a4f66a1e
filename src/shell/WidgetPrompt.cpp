#include "WidgetPrompt.h"

#include "forms/BaseDlg.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

bool TWidgetPrompt::Box(TBoxKind kind, const QString &caption, const QString &text)
{
    // An information box belongs to the application, so the window behind it
    // stays usable; the others belong to the active window.
    QWidget *owner = kind == TBoxKind::Info ? nullptr : QApplication::activeWindow();
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(owner);
    KeepAboveStayOnTop(&box);
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
    QFileDialog dialog(QApplication::activeWindow(), {}, {}, filter);
    KeepAboveStayOnTop(&dialog);
    if (kind == TFileDialogKind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().value(0) : QString();
}

QStringList TWidgetPrompt::FilesDialog(const QString &filter)
{
    QFileDialog dialog(QApplication::activeWindow(), {}, {}, filter);
    KeepAboveStayOnTop(&dialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles() : QStringList();
}

void TWidgetPrompt::OpenDocument(const QString &target)
{
    QDesktopServices::openUrl(QUrl::fromUserInput(target));
}
