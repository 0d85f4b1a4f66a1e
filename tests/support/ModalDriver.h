#pragma once

#include <QApplication>
#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>

// Drives truly modal dialogs: each time another modal widget comes up, the
// next queued action runs on it. A modal widget with no action left is
// recorded in Unexpected and rejected, so a test never hangs on a dialog.
// An action that opens a further modal dialog must do so queued (through
// QMetaObject::invokeMethod with Qt::QueuedConnection), not inline.
class TModalDriver
{
public:
    using TAction = std::function<void(QWidget *)>;

    TModalDriver()
    {
        FTimer.setInterval(10);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Poll(); });
        FTimer.start();
    }

    void Then(TAction action) { FActions.append(std::move(action)); }
    bool Done() const { return FActions.isEmpty(); }

    QStringList Unexpected;

private:
    void Poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == FCurrent)
            return;
        FCurrent = modal;
        if (FActions.isEmpty()) {
            Unexpected.append(modal->windowTitle());
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
            else
                QMetaObject::invokeMethod(modal, &QWidget::close, Qt::QueuedConnection);
            return;
        }
        FActions.takeFirst()(modal);
    }

    QTimer FTimer;
    QList<TAction> FActions;
    QPointer<QWidget> FCurrent;
};
