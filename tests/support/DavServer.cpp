#include "DavServer.h"

#include <QDir>
#include <QRegularExpression>

TDavServer::TDavServer()
{
    QDir(FRoot.path()).mkdir(QStringLiteral("books"));
    FProcess.setProcessChannelMode(QProcess::MergedChannels);
    // No directory cache: a test that changes a file on the disk is served it.
    FProcess.start(QStringLiteral("rclone"),
                   {QStringLiteral("serve"), QStringLiteral("webdav"), QStringLiteral("--addr"),
                    QStringLiteral("127.0.0.1:0"), QStringLiteral("--user"), kUser,
                    QStringLiteral("--pass"), kPassword, QStringLiteral("--config"),
                    QStringLiteral("/dev/null"), QStringLiteral("--dir-cache-time"),
                    QStringLiteral("0s"), FRoot.path()});
    const QRegularExpression started(QStringLiteral("started on http://127.0.0.1:(\\d+)/"));
    QByteArray output;
    while (FPort == 0 && FProcess.waitForReadyRead(30000)) {
        output += FProcess.readAll();
        if (const auto match = started.match(QString::fromUtf8(output)); match.hasMatch())
            FPort = match.captured(1).toUShort();
    }
}

TDavServer::~TDavServer()
{
    FProcess.kill();
    FProcess.waitForFinished();
}

QString TDavServer::File(const QString &name) const
{
    return FRoot.filePath(QStringLiteral("books/") + name);
}
