#pragma once

#include <QApplication>
#include <QDialog>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>

// Drives truly modal dialogs as a user would: each time another modal widget
// comes up, the next queued action runs on it; an action given a class
// (Then<TFormPass>) also checks that the dialog is one. A modal widget with no
// action left, or of another class, is recorded in Unexpected and rejected,
// so a test never hangs on a dialog. Polling goes on inside the event loop a
// running action starts, so an action may open a further modal dialog
// directly; the dialog it runs on is not judged again until it is done.
class TModalDriver : public QObject
{
public:
    using TAction = std::function<void(QWidget *)>;

    TModalDriver() { QTimer::singleShot(0, this, &TModalDriver::Poll); }

    void Then(TAction action) { FSteps.append({nullptr, std::move(action)}); }
    template<class T> void Then(std::function<void(T *)> act)
    {
        FSteps.append({&T::staticMetaObject, [act](QWidget *w) { act(static_cast<T *>(w)); }});
    }
    // Every action ran and no other modal widget came up.
    bool Done() const { return FSteps.isEmpty() && Unexpected.isEmpty(); }

    QStringList Unexpected;

private:
    struct TStep
    {
        const QMetaObject *Class; // any modal widget when null
        TAction Act;
    };

    void Poll()
    {
        // Re-armed first, so that polling goes on in a loop an action starts.
        QTimer::singleShot(10, this, &TModalDriver::Poll);
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && !modal->isVisible())
            modal = nullptr;
        if (modal == FCurrent)
            return;
        FCurrent = modal;
        if (!modal || FActing.contains(modal))
            return;
        if (FSteps.isEmpty() || (FSteps.first().Class && !FSteps.first().Class->cast(modal))) {
            Unexpected.append(modal->windowTitle());
            if (auto *dialog = qobject_cast<QDialog *>(modal))
                QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
            else
                QMetaObject::invokeMethod(modal, &QWidget::close, Qt::QueuedConnection);
            return;
        }
        const TStep step = FSteps.takeFirst();
        FActing.append(modal);
        step.Act(modal);
        FActing.removeLast();
    }

    QList<TStep> FSteps;
    QList<QWidget *> FActing;
    QPointer<QWidget> FCurrent;
};
