#include "Application.h"

#include "data/UException.h"

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    // Without TZ the C library checks /etc/localtime again (a system call)
    // at every conversion between local time and an instant, and every local
    // date the program builds is one. Naming that file keeps its zone.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const EAbort &) {
        // A declined question: the command ends and nothing is shown.
    } catch (const std::exception &failure) {
        if (GCardException)
            GCardException->ReportException(failure);
    }
    return false;
}
