#include "OffsiteCopies.h"

#include "data/AutoBackup.h"
#include "offsite/SealedCopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace {

const QString kSuffix = QStringLiteral(".sealed");
const QString kPartSuffix = QStringLiteral(".part");

// Removes a file when it goes out of scope.
class TRemoveAfter
{
public:
    explicit TRemoveAfter(QString file)
        : FFile(std::move(file))
    {
    }
    ~TRemoveAfter() { QFile::remove(FFile); }
    TRemoveAfter(const TRemoveAfter &) = delete;
    TRemoveAfter &operator=(const TRemoveAfter &) = delete;

private:
    QString FFile;
};

} // namespace

namespace OffsiteCopies {

QString RemoteName(const QString &copyFile)
{
    return QFileInfo(copyFile).fileName() + kSuffix;
}

QDateTime TimeOf(const QString &remoteName)
{
    if (!remoteName.endsWith(kSuffix))
        return {};
    return AutoBackup::TimeOf(remoteName.chopped(kSuffix.size()));
}

Outcome Upload(TWebDav &dav, const QString &copyFile, const QString &passphrase,
               const QString &workFolder, const QDateTime &now, int daily,
               const TProgress &progress)
{
    const QString name = RemoteName(copyFile);
    const QString part = name + kPartSuffix;
    const QString sealed = QDir(workFolder).filePath(name);
    const TRemoveAfter removeSealed(sealed);
    const auto step = [&](const QString &text) {
        return [&progress, text](qint64 done, qint64 total) {
            if (progress)
                progress(text, done, total);
            return true;
        };
    };
    QByteArray header;
    qint64 size = 0;
    // The sealed file as written: its size and header, to compare with the
    // server's copy.
    const auto readSealed = [&] {
        QFile file(sealed);
        size = file.size();
        if (file.open(QIODevice::ReadOnly))
            header = file.read(SealedCopy::kHeaderSize);
        return header.size() == SealedCopy::kHeaderSize
            ? Outcome::Sound()
            : Outcome::Fault(QStringLiteral("无法读取加密后的备份"));
    };
    const auto checkSize = [&] {
        qint64 remoteSize = -1;
        return dav.Size(name, remoteSize).Then([&] {
            return remoteSize == size
                ? Outcome::Sound()
                : Outcome::Fault(QStringLiteral("服务器上的备份大小不对（%1 字节，应为 %2 字节）")
                                     .arg(remoteSize)
                                     .arg(size));
        });
    };
    const auto checkHeader = [&] {
        QByteArray remote;
        return dav.Head(name, SealedCopy::kHeaderSize, remote).Then([&] {
            return remote == header
                ? Outcome::Sound()
                : Outcome::Fault(QStringLiteral("服务器上的备份与上传的不一致"));
        });
    };
    bool moved = false;
    const Outcome done
        = dav.Reach()
              .Then([&] {
                  return SealedCopy::Seal(copyFile, sealed, passphrase,
                                          step(QStringLiteral("正在加密备份…")));
              })
              .Then(readSealed)
              .Then([&] { return dav.Put(sealed, part, step(QStringLiteral("正在上传备份…"))); })
              .Then([&] {
                  moved = true;
                  return dav.Move(part, name);
              })
              .Then(checkSize)
              .Then(checkHeader);
    if (!done.IsSound()) {
        // What reached the server does not count: neither half of it stays.
        (void)dav.Remove(part);
        if (moved)
            (void)dav.Remove(name);
        return done;
    }
    // Rotation: a failure to list or remove an old copy does not undo this one.
    QList<TRemoteFile> copies;
    if (List(dav, copies).IsSound()) {
        QStringList names;
        for (const TRemoteFile &copy : copies)
            names << copy.Name.chopped(kSuffix.size());
        for (const QString &expired :
             AutoBackup::Expired(names, now, daily, QFileInfo(copyFile).fileName()))
            (void)dav.Remove(expired + kSuffix);
    }
    return Outcome::Sound();
}

Outcome List(TWebDav &dav, QList<TRemoteFile> &copies)
{
    QList<TRemoteFile> files;
    const Outcome done = dav.List(files);
    copies.clear();
    for (const TRemoteFile &file : std::as_const(files))
        if (TimeOf(file.Name).isValid())
            copies << file;
    std::sort(copies.begin(), copies.end(), [](const TRemoteFile &a, const TRemoteFile &b) {
        return TimeOf(a.Name) > TimeOf(b.Name);
    });
    return done;
}

Outcome Fetch(TWebDav &dav, const QString &name, const QString &passphrase,
              const QString &plainFile, const TProgress &progress)
{
    const QString download = plainFile + kSuffix;
    const TRemoveAfter removeDownload(download);
    return dav
        .Get(name, download,
             [&](qint64 done, qint64 total) {
                 if (progress)
                     progress(QStringLiteral("正在下载备份…"), done, total);
             })
        .Then([&] {
            return SealedCopy::Open(download, plainFile, passphrase,
                                    [&](qint64 done, qint64 total) {
                                        if (progress)
                                            progress(QStringLiteral("正在解密备份…"), done, total);
                                        return true;
                                    });
        });
}

} // namespace OffsiteCopies
