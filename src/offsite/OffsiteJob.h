#pragma once

#include "offsite/WebDav.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

// An off-site copy on its way: the upload of one local copy runs on a worker
// thread of its own (with its own network connection) while the window goes
// on. Lives on the user-interface thread; its signals arrive there.
class TOffsiteUpload : public QObject
{
    Q_OBJECT

public:
    explicit TOffsiteUpload(QObject *parent = nullptr);
    // Cancels and waits for an upload under way.
    ~TOffsiteUpload() override;

    // Seals and uploads the local copy `copyFile` unless the server has it
    // already, then thins out the server's copies (`daily` daily ones kept at
    // `now`). Nothing when an upload is under way.
    void Start(const TWebDavPlace &place, const QString &passphrase, const QString &copyFile,
               const QString &workFolder, const QDateTime &now, int daily);
    // Whether an upload is under way: from Start until Finished arrives.
    bool Busy() const { return FWorker.joinable(); }
    // Cuts the upload off; what reached the server does not count.
    void Cancel() { FCancel = true; }
    // Waits for the worker; its last signals are delivered before this returns.
    void Wait();

Q_SIGNALS:
    // The step under way and how far it is, in percent.
    void Progress(const QString &step, int percent);
    // The upload ended: `failure` says why it did not succeed, empty when the
    // copy is on the server and checked.
    void Finished(const QString &failure);

private:
    std::thread FWorker;
    std::atomic<bool> FCancel = false;
};
