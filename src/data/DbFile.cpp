#include "DbFile.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QStringList>
#include <sqlite3.h>
#include <vector>

namespace {

// The database password of the books.
const QByteArray kDatabasePassword("83920174650238");

const QStringList kTables
    = {QStringLiteral("Account"), QStringLiteral("BookKeep"), QStringLiteral("InType"),
       QStringLiteral("OutType"), QStringLiteral("Notepad"),  QStringLiteral("SysSet")};

// Statements that bring version N to N + 1, at index N - 1. The first
// release has none; a later column is added here, never by hand.
const std::vector<const char *> kUpgradeSteps = {};

// Runs a query of one row and one column; false when it fails.
bool QueryText(sqlite3 *db, const char *sql, QString &value)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    const int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    else
        value.clear();
    sqlite3_finalize(stmt);
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

} // namespace

namespace DbFile {

QString PasswordVerifier(const QString &saltHex)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArray::fromHex(saltHex.toLatin1()));
    hash.addData(kDatabasePassword);
    return QString::fromLatin1(hash.result().toHex());
}

QString NewSalt()
{
    QByteArray salt(16, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(salt.data()),
                                          salt.size() / 4);
    return QString::fromLatin1(salt.toHex());
}

QString LastError(sqlite3 *db)
{
    return QString::fromUtf8(sqlite3_errmsg(db));
}

QString Check(sqlite3 *db, bool full)
{
    QString value;
    if (!QueryText(db, "PRAGMA application_id", value))
        return QStringLiteral("文件不是有效的数据库（%1）").arg(LastError(db));
    if (value.toInt() != kApplicationId)
        return QStringLiteral("文件不是本软件的数据文件");
    if (!QueryText(db, "PRAGMA user_version", value))
        return LastError(db);
    if (value.toInt() > kSchemaVersion)
        return QStringLiteral("数据文件来自更新版本的软件，本版本无法打开");
    if (value.toInt() < 1)
        return QStringLiteral("数据文件的版本无效");

    sqlite3_stmt *stmt = nullptr;
    bool passwordOk = false;
    if (sqlite3_prepare_v2(db, "select Salt,Verifier from DbKey", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW) {
        const auto text = [stmt](int i) {
            return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, i)));
        };
        passwordOk = PasswordVerifier(text(0)) == text(1);
    }
    sqlite3_finalize(stmt);
    if (!passwordOk)
        return QStringLiteral("数据库密码错误");
    if (!full)
        return {};

    if (!QueryText(db, "PRAGMA integrity_check", value))
        return QStringLiteral("数据文件已损坏（%1）").arg(LastError(db));
    if (value != u"ok")
        return QStringLiteral("数据文件已损坏（%1）").arg(value);
    for (const QString &table : kTables) {
        const QByteArray sql = "select count(*) from sqlite_master where type='table' and name='"
            + table.toLatin1() + '\'';
        if (!QueryText(db, sql.constData(), value) || value != u"1")
            return QStringLiteral("数据文件缺少表 %1").arg(table);
    }
    return {};
}

QString Configure(sqlite3 *db)
{
    QString mode;
    if (!QueryText(db, "PRAGMA journal_mode=DELETE", mode) || mode != u"delete")
        return QStringLiteral("无法设置日志模式（%1）").arg(LastError(db));
    QString sync;
    if (sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) != SQLITE_OK
        || !QueryText(db, "PRAGMA synchronous", sync) || sync != u"2")
        return QStringLiteral("无法设置同步模式（%1）").arg(LastError(db));
    sqlite3_busy_timeout(db, 5000);
    return {};
}

QString Upgrade(sqlite3 *db)
{
    QString value;
    if (!QueryText(db, "PRAGMA user_version", value))
        return LastError(db);
    for (int version = value.toInt(); version < kSchemaVersion; ++version) {
        const QByteArray sql = QByteArray("begin immediate;") + kUpgradeSteps[version - 1]
            + ";PRAGMA user_version=" + QByteArray::number(version + 1) + ";commit;";
        if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            const QString message = LastError(db);
            sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
            return QStringLiteral("无法升级数据文件（%1）").arg(message);
        }
    }
    return {};
}

} // namespace DbFile
