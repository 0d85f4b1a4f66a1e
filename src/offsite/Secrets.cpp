#include "Secrets.h"

#include <QEventLoop>
#include <QHash>
#include <qt6keychain/keychain.h>

namespace {

const QString kService = QStringLiteral("bookkeep");

QString Key(Secrets::TSecret which, const QString &place)
{
    return (which == Secrets::Passphrase ? QStringLiteral("passphrase ")
                                         : QStringLiteral("webdav "))
        + place;
}

// The secrets of this run, whether or not the keyring took them.
QHash<QString, QString> &Held()
{
    static QHash<QString, QString> held;
    return held;
}

// Runs a keychain job to its end.
void Run(QKeychain::Job &job)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    job.start();
    loop.exec();
}

QString KeyringProblem(const QKeychain::Job &job)
{
    return QStringLiteral("无法使用系统的密钥环（%1），密码和口令只在本次运行中记住")
        .arg(job.errorString());
}

} // namespace

namespace Secrets {

QString PlaceOf(const TWebDavPlace &place)
{
    return place.User + u'@' + place.Address.toString(QUrl::RemoveUserInfo);
}

QString Read(TSecret which, const QString &place, QString *problem)
{
    const QString key = Key(which, place);
    if (const auto held = Held().constFind(key); held != Held().constEnd())
        return *held;
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(key);
    Run(job);
    if (job.error() == QKeychain::NoError) {
        Held().insert(key, job.textData());
        return job.textData();
    }
    if (job.error() != QKeychain::EntryNotFound && problem)
        *problem = KeyringProblem(job);
    return {};
}

Outcome Write(TSecret which, const QString &place, const QString &value)
{
    const QString key = Key(which, place);
    Held().insert(key, value);
    QKeychain::WritePasswordJob job(kService);
    job.setKey(key);
    job.setTextData(value);
    Run(job);
    return job.error() == QKeychain::NoError ? Outcome::Sound()
                                             : Outcome::Fault(KeyringProblem(job));
}

} // namespace Secrets
