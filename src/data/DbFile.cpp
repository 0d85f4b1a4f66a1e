#include "DbFile.h"

#include "UndoLog.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>
#include <cerrno>
#include <map>
#include <sqlite3.h>
#include <unistd.h>
#include <vector>

namespace {

// The database password of the books.
const QByteArray kDatabasePassword("83920174650238");

// The six tables with the columns the program reads and writes, and the
// undo history's, which the triggers on them write (from schema version 5),
// the transfers and reconciliation points (from version 6), and what imported
// rows became and the rules learned from imports (from version 7), and the
// schedules and budgets (from version 8).
struct TTable
{
    const char *Name;
    const char *Columns;
    int Since = 1;
};
const TTable kTables[] = {
    {"Account", "AccountName,Remark,Fare,InFare,OutFare"},
    {"BookKeep", "ID,InOutType,TypeID,Remark,Fare,AccountName,InDate"},
    {"InType", "SelfIndex,ParentIndex,TypeName"},
    {"OutType", "SelfIndex,ParentIndex,TypeName"},
    {"Notepad", "ID,Remark"},
    {"SysSet", "bPass,PassWord"},
    {"UndoLog", "Seq,Op,Id,V1,V2,V3,V4,V5,V6", 5},
    {"UndoRedo", "Seq,Op,Id,V1,V2,V3,V4,V5,V6", 5},
    {"Transfer", "ID,InDate,FromAccount,ToAccount,Fare,Fee,Remark", 6},
    {"Reconciled", "AccountName,InDate,Fare", 6},
    {"ImportLink", "SourceId,RecordID,TransferID,App,Awaits", 7},
    {"ImportRule", "ID,Field,Pattern,InOutType,TypeID,AccountName", 7},
    {"Schedule",
     "ID,InOutType,TypeID,AccountName,ToAccount,Fare,Remark,Unit,Every,MonthDay,StartDate,"
     "EndDate,Times,Auto,Ahead",
     8},
    {"ScheduleDone", "ScheduleID,Occurrence,RecordID", 8},
    {"Budget", "TypeID,Period,Fare,Rollover,StartDate", 8},
};

// Each account's income and expense totals in ten-thousandths, and the same
// summed over its records (kind 0 income, any other kind expense). Amounts
// are whole ten-thousandths, so rounding the scaled doubles is exact.
const char *const kAccountTotals = "select AccountName,cast(round(InFare*10000) as integer),"
                                   "cast(round(OutFare*10000) as integer) from Account";
const char *const kRecordTotals = "select AccountName,"
                                  "sum(iif(InOutType=0,cast(round(Fare*10000) as integer),0)),"
                                  "sum(iif(InOutType=0,0,cast(round(Fare*10000) as integer))) "
                                  "from BookKeep group by AccountName";

// Statements that bring version N to N + 1, at index N - 1; a later column is
// added here, never by hand.
const std::vector<QByteArray> &UpgradeSteps()
{
    static const std::vector<QByteArray> steps = [] {
        // 4 -> 5: the undo history as the triggers log it now (old values in
        // plain columns) replaces the first one, whose steps are dropped; the
        // account rounding no longer waits for a replay.
        QByteArray history = "DROP TABLE IF EXISTS UndoLog;DROP TABLE IF EXISTS UndoStep;"
                             "DROP TABLE IF EXISTS UndoReplay;";
        for (const char *table : {"Account", "BookKeep", "InType", "OutType", "ImportedRow"})
            for (const char *change : {"Insert", "Update", "Delete"})
                history += QByteArray("DROP TRIGGER IF EXISTS ") + table + "Undo" + change + ";";
        history += "DROP TRIGGER IF EXISTS ImportedRowUndoReplace;"
                   "DROP TRIGGER AccountTotalsExact;"
                   "CREATE TRIGGER AccountTotalsExact AFTER UPDATE OF Fare, InFare, OutFare ON "
                   "Account BEGIN UPDATE Account SET Fare = round(Fare, 4), InFare = round(InFare, "
                   "4), OutFare = round(OutFare, 4) WHERE rowid = NEW.rowid; END;"
            + UndoLog::Schema(5);
        return std::vector<QByteArray> {
            // 1 -> 2: the automatic backup setting (on, seven daily copies kept).
            "alter table SysSet add column AutoBackup BOOLEAN NOT NULL DEFAULT -1;"
            "alter table SysSet add column BackupDays INTEGER NOT NULL DEFAULT 7",
            // 2 -> 3, statement import: the identity of every imported row (an
            // order number or a digest of the row), so a file imported again
            // adds nothing; and the choices the import window remembers
            // (account per format, category per hint, column mappings).
            "CREATE TABLE ImportedRow (SourceId TEXT NOT NULL PRIMARY KEY, RecordID INTEGER NOT "
            "NULL);"
            "CREATE TABLE ImportSetting (Name TEXT NOT NULL PRIMARY KEY, Value TEXT NOT NULL);",
            // 3 -> 4 brought the first undo history, which 5 replaces: nothing
            // is made for it now.
            "",
            history,
            // 5 -> 6: transfers between accounts and reconciliation points,
            // both logged by the undo history; one account's records in date
            // order come from one index, which replaces the one by account.
            "CREATE TABLE Transfer (ID INTEGER PRIMARY KEY, InDate DATE NOT NULL, FromAccount TEXT "
            "NOT NULL, ToAccount TEXT NOT NULL, Fare NUMERIC NOT NULL CHECK (Fare > 0 AND Fare < "
            "100000000000), Fee NUMERIC NOT NULL DEFAULT 0 CHECK (Fee >= 0 AND Fee < "
            "100000000000), Remark TEXT, CHECK (FromAccount <> ToAccount));"
            "CREATE INDEX TransferFrom ON Transfer (FromAccount, InDate);"
            "CREATE INDEX TransferTo ON Transfer (ToAccount, InDate);"
            "CREATE TABLE Reconciled (AccountName TEXT NOT NULL, InDate DATE NOT NULL, Fare "
            "NUMERIC NOT NULL, PRIMARY KEY (AccountName, InDate));"
            "DROP INDEX IF EXISTS BookKeepAccountName;"
            "CREATE INDEX BookKeepAccountDate ON BookKeep (AccountName, InDate);"
                + UndoLog::Triggers(6),
            // 6 -> 7: what imported rows became (logged by the undo history),
            // and the categories learned from imports.
            "CREATE TABLE ImportLink (SourceId TEXT NOT NULL PRIMARY KEY, RecordID INTEGER NOT "
            "NULL DEFAULT 0, TransferID INTEGER NOT NULL DEFAULT 0, App TEXT NOT NULL DEFAULT '', "
            "Awaits INTEGER);"
            "CREATE TABLE ImportRule (ID INTEGER PRIMARY KEY, Field INTEGER NOT NULL DEFAULT 0, "
            "Pattern TEXT NOT NULL, InOutType INTEGER NOT NULL, TypeID INTEGER NOT NULL, "
            "AccountName TEXT NOT NULL DEFAULT '');"
                + UndoLog::Triggers(7),
            // 7 -> 8: scheduled records with the occurrences dealt with
            // (logged by the undo history), the day they were last looked at,
            // budgets, and where the off-site copies go.
            "alter table SysSet add column ScheduleChecked DATE NOT NULL DEFAULT 0;"
            "alter table SysSet add column OffsiteUrl TEXT NOT NULL DEFAULT '';"
            "alter table SysSet add column OffsiteUser TEXT NOT NULL DEFAULT '';"
            "alter table SysSet add column OffsiteFolder TEXT NOT NULL DEFAULT '';"
            "CREATE TABLE Schedule (ID INTEGER PRIMARY KEY AUTOINCREMENT, InOutType INTEGER NOT "
            "NULL CHECK (InOutType IN (0, 1, 2)), TypeID INTEGER NOT NULL DEFAULT 0, AccountName "
            "TEXT NOT NULL, ToAccount TEXT NOT NULL DEFAULT '', Fare NUMERIC NOT NULL CHECK (Fare "
            ">= 0 AND Fare < 100000000000), Remark TEXT NOT NULL DEFAULT '', Unit INTEGER NOT "
            "NULL CHECK (Unit IN (0, 1, 2, 3)), Every INTEGER NOT NULL DEFAULT 1 CHECK (Every > "
            "0), MonthDay INTEGER NOT NULL DEFAULT 1 CHECK (MonthDay BETWEEN 1 AND 31), StartDate "
            "DATE NOT NULL, EndDate DATE NOT NULL DEFAULT 0, Times INTEGER NOT NULL DEFAULT 0 "
            "CHECK (Times >= 0), Auto BOOLEAN NOT NULL DEFAULT 0, Ahead INTEGER NOT NULL DEFAULT 0 "
            "CHECK (Ahead >= 0));"
            "CREATE TABLE ScheduleDone (ScheduleID INTEGER NOT NULL, Occurrence INTEGER NOT NULL, "
            "RecordID INTEGER NOT NULL DEFAULT 0, PRIMARY KEY (ScheduleID, Occurrence));"
            "CREATE TABLE Budget (TypeID INTEGER NOT NULL PRIMARY KEY, Period INTEGER NOT NULL "
            "DEFAULT 0 CHECK (Period IN (0, 1)), Fare NUMERIC NOT NULL CHECK (Fare > 0 AND Fare < "
            "100000000000), Rollover BOOLEAN NOT NULL DEFAULT 0, StartDate DATE NOT NULL);"
                + UndoLog::Triggers(8),
        };
    }();
    return steps;
}

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

// The first column of up to `limit` rows of a query; false when it fails.
bool QueryRows(sqlite3 *db, const char *sql, int limit, QStringList &rows)
{
    rows.clear();
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
    while (rc == SQLITE_OK && rows.size() < limit && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        rows << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)))
                    .trimmed();
        rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    return rc == SQLITE_OK || rc == SQLITE_DONE;
}

// Runs a check of the engine's that answers "ok" or its findings.
Outcome PageCheck(sqlite3 *db, const char *pragma)
{
    QStringList problems;
    if (!QueryRows(db, pragma, 4, problems))
        return Outcome::Fault(DbFile::Explain(db));
    if (problems != QStringList {QStringLiteral("ok")})
        return Outcome::Fault(
            QStringLiteral("数据文件已损坏（%1）").arg(problems.join(QStringLiteral("；"))));
    return Outcome::Sound();
}

} // namespace

namespace DbFile {

Outcome CheckPages(sqlite3 *db)
{
    return PageCheck(db, "PRAGMA quick_check");
}

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

QString Explain(sqlite3 *db, const QString &fileName)
{
    const QString engine = LastError(db);
    const int code = sqlite3_extended_errcode(db);
    switch (code & 0xff) {
    case SQLITE_FULL:
        return QStringLiteral("磁盘空间不足（%1）").arg(engine);
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        return QStringLiteral("数据文件已损坏（%1）").arg(engine);
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN: {
        // A change that was cut off leaves a journal beside the file; opening
        // the file rolls it back, which writes the file and removes the journal.
        const char *name = sqlite3_db_filename(db, "main");
        const QString file = fileName.isEmpty() && name ? QFile::decodeName(name) : fileName;
        if (file.isEmpty() || !QFileInfo::exists(file + QStringLiteral("-journal")))
            break;
        const QString dir = QDir::toNativeSeparators(QFileInfo(file).absolutePath());
        if (!QFileInfo(QFileInfo(file).absolutePath()).isWritable())
            return QStringLiteral("文件夹 %1 是只读的：数据文件上次有一项修改没有完成，"
                                  "要先撤销这项修改才能打开它。请让这个文件夹可写后再试（%2）")
                .arg(dir, engine);
        return QStringLiteral("数据文件上次有一项修改没有完成，无法撤销这项修改（%1）").arg(engine);
    }
    default:
        break;
    }
    return engine;
}

QString PartialTemplate(const QString &fileName)
{
    return fileName + kPartialMark + QStringLiteral("XXXXXX");
}

void RemovePartials(const QString &dir, const QString &keep)
{
    if (dir.isEmpty())
        return;
    const QString pattern = u'*' + kPartialMark + QStringLiteral("??????");
    const QStringList patterns
        = {pattern, pattern + QStringLiteral("-journal"), pattern + QStringLiteral("-wal"),
           pattern + QStringLiteral("-shm")};
    const QDir folder(dir);
    for (const QString &name :
         folder.entryList(patterns, QDir::Files | QDir::Hidden | QDir::System)) {
        if (keep.isEmpty() || !name.startsWith(keep))
            QFile::remove(folder.filePath(name));
    }
}

Outcome Check(sqlite3 *db, TCheckDepth depth)
{
    QString value;
    if (!QueryText(db, "PRAGMA application_id", value)) {
        if ((sqlite3_extended_errcode(db) & 0xff) == SQLITE_NOTADB)
            return Outcome::Fault(QStringLiteral("文件不是有效的数据库（%1）").arg(LastError(db)));
        return Outcome::Fault(Explain(db));
    }
    if (value.toInt() != kApplicationId)
        return Outcome::Fault(QStringLiteral("文件不是本软件的数据文件"));
    if (!QueryText(db, "PRAGMA user_version", value))
        return Outcome::Fault(Explain(db));
    if (value.toInt() > kSchemaVersion)
        return Outcome::Fault(QStringLiteral("数据文件来自更新版本的软件，本版本无法打开"));
    if (value.toInt() < 1)
        return Outcome::Fault(QStringLiteral("数据文件的版本无效"));
    const int version = value.toInt();

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
        return Outcome::Fault(QStringLiteral("数据库密码错误"));

    // A file cut short by a partial page passes the page checks when only
    // bytes of a record are lost; its length tells it. Bytes past the last
    // page are harmless: a change that shrinks the file deletes its journal
    // before it truncates the file, so a kill in between leaves them; the
    // engine ignores them and drops them at its next change.
    QString pageSize;
    QString pageCount;
    QString journalMode;
    const char *name = sqlite3_db_filename(db, "main");
    if (!QueryText(db, "PRAGMA page_size", pageSize)
        || !QueryText(db, "PRAGMA page_count", pageCount)
        || !QueryText(db, "PRAGMA journal_mode", journalMode))
        return Outcome::Fault(Explain(db));
    if (name && *name) {
        const qint64 size = QFileInfo(QFile::decodeName(name)).size();
        const qint64 expected = pageSize.toLongLong() * pageCount.toLongLong();
        // In WAL mode the pages not yet copied back live in the WAL file.
        const bool wal = journalMode == u"wal";
        if (size < expected && (!wal || size % pageSize.toLongLong() != 0))
            return Outcome::Fault(QStringLiteral("数据文件不完整（文件长 %1 字节，应为 %2 字节）")
                                      .arg(size)
                                      .arg(expected));
    }

    // The quick check reads every page and checks each one's structure; the
    // integrity check also compares every index with its table.
    if (depth == TCheckDepth::Restore) {
        if (const Outcome pages = PageCheck(db, "PRAGMA integrity_check"); !pages.IsSound())
            return pages;
    } else if (depth == TCheckDepth::Open) {
        if (const Outcome pages = CheckPages(db); !pages.IsSound())
            return pages;
    }
    for (const TTable &table : kTables) {
        if (version < table.Since)
            continue;
        const QByteArray exists
            = QByteArray("select count(*) from sqlite_master where type='table' and name='")
            + table.Name + '\'';
        if (!QueryText(db, exists.constData(), value) || value != u"1")
            return Outcome::Fault(
                QStringLiteral("数据文件缺少表 %1").arg(QLatin1StringView(table.Name)));
        const QByteArray columns
            = QByteArray("select ") + table.Columns + " from " + table.Name + " limit 0";
        if (sqlite3_prepare_v2(db, columns.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            const QString message = LastError(db);
            sqlite3_finalize(stmt);
            return Outcome::Fault(QStringLiteral("数据文件的表 %1 不完整（%2）")
                                      .arg(QLatin1StringView(table.Name), message));
        }
        sqlite3_finalize(stmt);
    }
    return depth == TCheckDepth::Restore ? CheckTotals(db) : Outcome::Sound();
}

Outcome CheckTotals(sqlite3 *db)
{
    // What the records fix is each account's income total (InFare, the sum of
    // its income records) and expense total (OutFare, the sum of its expense
    // records). The balance is the opening amount plus income less expense,
    // but the opening amount is not kept apart, so the balance cannot be
    // checked. Records of an account that does not exist move no totals.
    struct TSums
    {
        qint64 In = 0;
        qint64 Out = 0;
    };
    std::map<QByteArray, TSums> records;
    const auto read = [db](const char *sql, auto &&row) {
        sqlite3_stmt *stmt = nullptr;
        int rc = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr);
        while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            row(QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)),
                           sqlite3_column_bytes(stmt, 0)),
                sqlite3_column_int64(stmt, 1), sqlite3_column_int64(stmt, 2));
            rc = SQLITE_OK;
        }
        sqlite3_finalize(stmt);
        return rc == SQLITE_DONE;
    };
    if (!read(kRecordTotals, [&](const QByteArray &name, qint64 in, qint64 out) {
            records[name] = {in, out};
        }))
        return Outcome::Fault(QStringLiteral("无法核对账户合计（%1）").arg(LastError(db)));
    Outcome totals = Outcome::Sound();
    if (!read(kAccountTotals, [&](const QByteArray &name, qint64 in, qint64 out) {
            const TSums sums = records.count(name) ? records[name] : TSums();
            if (totals.IsSound() && (sums.In != in || sums.Out != out))
                totals = Outcome::Fault(QStringLiteral("账户“%1”的收入或支出合计与它的记录不符，"
                                                       "数据文件不完整（可能是在写入时中断的）")
                                            .arg(QString::fromUtf8(name)));
        }))
        return Outcome::Fault(QStringLiteral("无法核对账户合计（%1）").arg(LastError(db)));
    return totals;
}

Outcome Configure(sqlite3 *db)
{
    QString mode;
    if (!QueryText(db, "PRAGMA journal_mode=DELETE", mode) || mode != u"delete")
        return Outcome::Fault(QStringLiteral("无法设置日志模式（%1）").arg(LastError(db)));
    QString sync;
    if (sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) != SQLITE_OK
        || !QueryText(db, "PRAGMA synchronous", sync) || sync != u"2")
        return Outcome::Fault(QStringLiteral("无法设置同步模式（%1）").arg(LastError(db)));
    sqlite3_busy_timeout(db, 5000);
    return Outcome::Sound();
}

int SchemaVersion(sqlite3 *db)
{
    QString value;
    return QueryText(db, "PRAGMA user_version", value) ? value.toInt() : -1;
}

bool OpensUnchanged(sqlite3 *db)
{
    QString mode;
    return SchemaVersion(db) == kSchemaVersion && QueryText(db, "PRAGMA journal_mode", mode)
        && mode != u"wal";
}

Outcome Upgrade(sqlite3 *db)
{
    QString value;
    if (!QueryText(db, "PRAGMA user_version", value))
        return Outcome::Fault(LastError(db));
    for (int version = value.toInt(); version < kSchemaVersion; ++version) {
        const QByteArray sql = QByteArray("begin immediate;") + UpgradeSteps()[version - 1]
            + ";PRAGMA user_version=" + QByteArray::number(version + 1) + ";commit;";
        if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK) {
            const QString message = LastError(db);
            sqlite3_exec(db, "rollback", nullptr, nullptr, nullptr);
            return Outcome::Fault(QStringLiteral("无法升级数据文件（%1）").arg(message));
        }
    }
    return Outcome::Sound();
}

Outcome CopyInto(const QString &from, QFileDevice &to)
{
    QFile source(from);
    const auto unreadable = [&] {
        return Outcome::Fault(QStringLiteral("无法读取文件 %1（%2）")
                                  .arg(QDir::toNativeSeparators(from), source.errorString()));
    };
    if (!source.open(QIODevice::ReadOnly))
        return unreadable();
    // Written to the descriptor itself, so that a full disk is told as such
    // and not hidden in a short write.
    const int fd = to.handle();
    for (;;) {
        const QByteArray chunk = source.read(1 << 20);
        if (chunk.isEmpty())
            return source.error() == QFile::NoError ? Outcome::Sound() : unreadable();
        for (qsizetype done = 0; done < chunk.size();) {
            const ssize_t written = ::write(fd, chunk.constData() + done, chunk.size() - done);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                const int error = written < 0 ? errno : ENOSPC;
                const QString file = QDir::toNativeSeparators(to.fileName());
                if (error == ENOSPC || error == EDQUOT)
                    return Outcome::Fault(
                        QStringLiteral("磁盘空间不足，无法写入临时文件 %1").arg(file));
                return Outcome::Fault(
                    QStringLiteral("无法写入临时文件 %1（%2）").arg(file, qt_error_string(error)));
            }
            done += written;
        }
    }
}

} // namespace DbFile
