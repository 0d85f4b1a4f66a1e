#include "Application.h"

#include "data/UException.h"

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
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
