// Build tool: makes the template books from schema.sql, with the undo
// history's tables and triggers.
// Usage: mktemplate schema.sql bookkeep.dat

#include "DbFile.h"
#include "UndoLog.h"

#include <QFile>
#include <QString>
#include <cstdio>
#include <sqlite3.h>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s schema.sql bookkeep.dat\n", argv[0]);
        return 2;
    }
    QFile schema(QString::fromLocal8Bit(argv[1]));
    if (!schema.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QString target = QString::fromLocal8Bit(argv[2]);
    const QString temporary = target + QStringLiteral(".new");
    QFile::remove(temporary);

    const QString salt = DbFile::NewSalt();
    const QByteArray sql = schema.readAll() + "\n" + UndoLog::Schema(DbFile::kSchemaVersion)
        + "INSERT INTO DbKey (Salt, Verifier) VALUES ('" + salt.toLatin1() + "','"
        + DbFile::PasswordVerifier(salt).toLatin1() + "');";

    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(temporary).constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    char *error = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "mktemplate: %s\n", error ? error : sqlite3_errmsg(db));
        sqlite3_free(error);
        sqlite3_close(db);
        return 1;
    }
    sqlite3_close(db);
    QFile::remove(target);
    return QFile::rename(temporary, target) ? 0 : 1;
}
