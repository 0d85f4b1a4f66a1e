#include "OffsiteJob.h"

#include "offsite/OffsiteCopies.h"

#include <QCoreApplication>
#include <QMetaObject>

TOffsiteUpload::TOffsiteUpload(QObject *parent)
    : QObject(parent)
{
}

TOffsiteUpload::~TOffsiteUpload()
{
    Cancel();
    if (FWorker.joinable())
        FWorker.join();
}

void TOffsiteUpload::Start(const TWebDavPlace &place, const QString &passphrase,
                           const QString &copyFile, const QString &workFolder, const QDateTime &now,
                           int daily)
{
    if (Busy())
        return;
    FCancel = false;
    FWorker = std::thread([=, this] {
        TWebDav dav(place);
        dav.SetCancel(&FCancel);
        qint64 size = 0;
        const QString name = OffsiteCopies::RemoteName(copyFile);
        Outcome done = Outcome::Sound();
        if (!dav.Size(name, size).IsSound())
            done = OffsiteCopies::Upload(
                dav, copyFile, passphrase, workFolder, now, daily,
                [this](const QString &step, qint64 part, qint64 total) {
                    const int percent = total > 0 ? int(part * 100 / total) : 0;
                    QMetaObject::invokeMethod(
                        this, [this, step, percent] { Q_EMIT Progress(step, percent); },
                        Qt::QueuedConnection);
                });
        const QString failure = FCancel ? QStringLiteral("已取消") : done.Reason();
        // The worker ends right after this; it is joined before the news
        // arrives, so that the next upload can start from Finished.
        QMetaObject::invokeMethod(
            this,
            [this, failure] {
                if (FWorker.joinable())
                    FWorker.join();
                Q_EMIT Finished(failure);
            },
            Qt::QueuedConnection);
    });
}

void TOffsiteUpload::Wait()
{
    if (!FWorker.joinable())
        return;
    FWorker.join();
    // The worker's signals wait in the queue; they arrive now.
    QCoreApplication::sendPostedEvents(this);
}
