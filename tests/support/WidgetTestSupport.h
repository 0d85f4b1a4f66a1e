#pragma once

#include "forms/BaseDlg.h"
#include "shell/Application.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>

// The main() of a test of windows. It runs under the program's application
// object, so that a failure raised in an event handler is reported through
// the prompt as in the program.
#define BOOKKEEP_TEST_MAIN(TestObject)                                                             \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        TApplication app(argc, argv);                                                              \
        TestObject test;                                                                           \
        return QTest::qExec(&test, argc, argv);                                                    \
    }

// The named child of a form; the test ends when there is none.
template<typename T> T *Child(const QObject *parent, const char *name)
{
    T *child = parent->findChild<T *>(QLatin1StringView(name));
    if (!child)
        qFatal("no child %s", name);
    return child;
}

// The four figures of a window's status bar (panels 1, 3, 5 and 7) joined
// by '|': the main window's count, income, expense and difference, the
// account window's count, balance, income and expense.
inline QString Panels(const QWidget &form)
{
    return QStringList({Child<QLabel>(&form, "statPanel1")->text(),
                        Child<QLabel>(&form, "statPanel3")->text(),
                        Child<QLabel>(&form, "statPanel5")->text(),
                        Child<QLabel>(&form, "statPanel7")->text()})
        .join(u'|');
}

// The widgets reached by Tab from start, as object names, until it comes round.
inline QStringList TabChain(QWidget *start, int count)
{
    QStringList names;
    for (QWidget *widget = start->nextInFocusChain(); widget != start && names.size() < count;
         widget = widget->nextInFocusChain()) {
        if (widget->focusPolicy() & Qt::TabFocus)
            names << widget->objectName();
    }
    return names;
}

// A form's commands run queued (OK among them). This runs the ones a click
// or key has queued on the form, as the event loop would next, through the
// application's event dispatch where a failure is reported; the test then
// sees what they did, or that they did nothing.
inline void RunQueuedCommands(QObject *form)
{
    QCoreApplication::sendPostedEvents(form, QEvent::MetaCall);
}

// Clicks OK through the application's event dispatch and runs the command.
inline void ClickOK(TFormBaseDlg *dialog)
{
    const QPointF at = QRectF(dialog->btnOK->rect()).center();
    const QPointF global = dialog->btnOK->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(dialog->btnOK, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(dialog->btnOK, &release);
    RunQueuedCommands(dialog);
}
