#pragma once

#include <QApplication>

// The application object. A failure that escapes an event handler ends that
// handler and is reported here; the program then goes on.
class TApplication : public QApplication
{
    Q_OBJECT

public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
