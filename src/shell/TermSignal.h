#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the signals with which a system or a desktop session asks a program
// to end (SIGTERM, SIGHUP, SIGINT) into a Qt signal on the event loop, so the
// program can keep what is open before it goes. One instance at a time.
class TTermSignal : public QObject
{
    Q_OBJECT

public:
    explicit TTermSignal(QObject *parent = nullptr);
    ~TTermSignal() override;

Q_SIGNALS:
    void Received();

private:
    void Drain();

    QSocketNotifier *FNotifier = nullptr;
};
