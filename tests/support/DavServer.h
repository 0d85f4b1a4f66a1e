#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A real WebDAV server on 127.0.0.1 for the off-site copies: rclone over a
// temporary folder holding the folder "books", with one user, on the port it
// picked. Port() is 0 when it did not start.
class TDavServer
{
public:
    static inline const QString kUser = QStringLiteral("家");
    static inline const QString kPassword = QStringLiteral("pw");

    TDavServer();
    ~TDavServer();
    TDavServer(const TDavServer &) = delete;
    TDavServer &operator=(const TDavServer &) = delete;

    quint16 Port() const { return FPort; }
    // The path of a file in the folder "books" on the server's disk.
    QString File(const QString &name) const;

private:
    QTemporaryDir FRoot;
    QProcess FProcess;
    quint16 FPort = 0;
};
