#pragma once

#include "data/Outcome.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QIODevice;

// Where the off-site copies go: a folder on the user's WebDAV server.
struct TWebDavPlace
{
    QUrl Address; // the server's address, https (http only on the local network)
    QString User;
    QString Password;
    QString Folder; // a path below the address, created by the user
};

// Whether an address may carry the books: https anywhere, http only to this
// machine or the local network (a NAS at home); `warning` is set for http.
Outcome CheckAddress(const QUrl &address, QString *warning = nullptr);

// A file in the folder as the server lists it.
struct TRemoteFile
{
    QString Name;
    qint64 Size = 0;
    QDateTime Modified;
};

// The few WebDAV requests the off-site copies need, each run to its end
// before it returns (on whatever thread calls it, through a local event loop;
// the object belongs to that thread). Every failure comes back as the reason
// in the user's words with the server's own answer.
class TWebDav
{
public:
    explicit TWebDav(TWebDavPlace place);
    ~TWebDav();
    TWebDav(const TWebDav &) = delete;
    TWebDav &operator=(const TWebDav &) = delete;

    // Told the bytes moved and the bytes in all (0 when unknown).
    using TProgress = std::function<void(qint64 done, qint64 total)>;
    // When set and true, the request under way is cut off ("已取消").
    void SetCancel(const std::atomic<bool> *cancel) { FCancel = cancel; }

    // The folder is there and the credentials hold.
    Outcome Reach();
    // Reach, and a file can be written and removed in the folder.
    Outcome Check();
    // The files directly in the folder.
    Outcome List(QList<TRemoteFile> &files);
    // One file's size; a fault when it is not there.
    Outcome Size(const QString &name, qint64 &size);
    Outcome Put(const QString &localFile, const QString &name, const TProgress &progress = {});
    // Renames a file in the folder, replacing a file of the new name.
    Outcome Move(const QString &from, const QString &to);
    // Downloads a file whole into `localFile` (written under a temporary name,
    // then renamed; nothing is left when it fails or arrives short).
    Outcome Get(const QString &name, const QString &localFile, const TProgress &progress = {});
    // The first `count` bytes of a file.
    Outcome Head(const QString &name, qint64 count, QByteArray &bytes);
    Outcome Remove(const QString &name);

private:
    QUrl FileUrl(const QString &name) const;
    QNetworkRequest Request(const QUrl &url) const;
    // Runs the reply to its end; the HTTP status, or a fault with the reason.
    Outcome Wait(QNetworkReply *reply, const QString &what, const TProgress &progress = {},
                 QIODevice *sink = nullptr);
    Outcome Propfind(const QUrl &url, int depth, QList<TRemoteFile> &files);

    TWebDavPlace FPlace;
    std::unique_ptr<QNetworkAccessManager> FNetwork;
    const std::atomic<bool> *FCancel = nullptr;
};
