#include "AutoBackup.h"

#include "DbAccess.h"
#include "DbFile.h"
#include "SqlFormat.h"
#include "UntPublic.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <algorithm>
#include <array>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sqlite3.h>
#include <unistd.h>

namespace {

// The tables whose row counts a copy must share with the books.
const std::array<const char *, 13> kTables
    = {"Account",    "BookKeep",   "InType",     "OutType",  "Notepad",      "SysSet", "Transfer",
       "Reconciled", "ImportLink", "ImportRule", "Schedule", "ScheduleDone", "Budget"};

constexpr int kWeeksKept = 4;
constexpr int kMonthsKept = 12;

// Closes a connection however the function that opened it ends.
struct TConnection
{
    sqlite3 *Db = nullptr;
    TConnection() = default;
    TConnection(const TConnection &) = delete;
    TConnection &operator=(const TConnection &) = delete;
    ~TConnection() { sqlite3_close_v2(Db); }

    Outcome Open(const QString &fileName, int flags)
    {
        if (sqlite3_open_v2(QFile::encodeName(fileName).constData(), &Db,
                            flags | SQLITE_OPEN_NOMUTEX, nullptr)
            == SQLITE_OK)
            return Outcome::Sound();
        return Outcome::Fault(Db ? DbFile::LastError(Db) : QStringLiteral("out of memory"));
    }
};

// The file change counter from the header (bytes 24 to 27, big-endian), read
// through the connection's own file; the caller holds a read transaction.
std::optional<quint32> ReadCounter(sqlite3 *db)
{
    sqlite3_file *file = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file
        || !file->pMethods)
        return std::nullopt;
    unsigned char bytes[4] = {};
    if (file->pMethods->xRead(file, bytes, 4, 24) != SQLITE_OK)
        return std::nullopt;
    return quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | bytes[3];
}

// The row counts of the tables a copy is compared by; false when a count fails.
bool CountRows(sqlite3 *db, std::array<qint64, kTables.size()> &counts)
{
    for (size_t i = 0; i < kTables.size(); ++i) {
        const QByteArray sql = QByteArray("select count(*) from ") + kTables[i];
        sqlite3_stmt *stmt = nullptr;
        const bool ok = sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) == SQLITE_OK
            && sqlite3_step(stmt) == SQLITE_ROW;
        counts[i] = ok ? sqlite3_column_int64(stmt, 0) : -1;
        sqlite3_finalize(stmt);
        if (!ok)
            return false;
    }
    return true;
}

// Flushes a file or folder to the disk.
Outcome Sync(const QString &path, bool folder)
{
    const int fd
        = ::open(QFile::encodeName(path).constData(), folder ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0)
        return Outcome::Fault(qt_error_string(errno));
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    return rc == 0 ? Outcome::Sound() : Outcome::Fault(qt_error_string(error));
}

// Whether a copy can be used, or why not: this program's sound books with the
// row counts given.
Outcome Verify(const QString &fileName, const std::array<qint64, kTables.size()> &expected)
{
    TConnection copy;
    const Outcome checked = copy.Open(fileName, SQLITE_OPEN_READONLY).Then([&] {
        return DbFile::Check(copy.Db, DbFile::TCheckDepth::Restore);
    });
    if (!checked.IsSound())
        return checked;
    std::array<qint64, kTables.size()> counts {};
    if (!CountRows(copy.Db, counts))
        return Outcome::Fault(DbFile::LastError(copy.Db));
    for (size_t i = 0; i < kTables.size(); ++i) {
        if (counts[i] != expected[i])
            return Outcome::Fault(QStringLiteral("表 %1 有 %2 行，数据文件中有 %3 行")
                                      .arg(QLatin1StringView(kTables[i]))
                                      .arg(counts[i])
                                      .arg(expected[i]));
    }
    return Outcome::Sound();
}

} // namespace

namespace AutoBackup {

QString Folder(const QString &appPath)
{
    return appPath + QStringLiteral("backups/");
}

QString FileName(const QDateTime &time)
{
    return QStringLiteral("bookkeep-") + time.toString(QStringLiteral("yyyyMMdd-HHmmss"))
        + QStringLiteral(".bat");
}

QDateTime TimeOf(const QString &fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^bookkeep-(\\d{8})-(\\d{6})\\.bat$"));
    const QRegularExpressionMatch match = pattern.match(QFileInfo(fileName).fileName());
    if (!match.hasMatch())
        return {};
    return QDateTime::fromString(match.captured(1) + match.captured(2),
                                 QStringLiteral("yyyyMMddHHmmss"));
}

QStringList Names(const QString &folder)
{
    QStringList names;
    for (const QString &name :
         QDir(folder).entryList({QStringLiteral("bookkeep-*.bat")}, QDir::Files)) {
        if (TimeOf(name).isValid())
            names << name;
    }
    return names;
}

bool DueAtStart(const QStringList &names, const QDateTime &now)
{
    return std::none_of(names.cbegin(), names.cend(),
                        [&](const QString &name) { return TimeOf(name).date() == now.date(); });
}

QStringList Expired(const QStringList &names, const QDateTime &now, int daily, const QString &keep)
{
    struct TEntry
    {
        QString Name;
        QDateTime Time;
    };
    std::vector<TEntry> copies;
    for (const QString &name : names) {
        const QDateTime time = TimeOf(name);
        if (time.isValid())
            copies.push_back({name, time});
    }
    // Newest first, so the first copy met in a period is that period's newest.
    std::sort(copies.begin(), copies.end(),
              [](const TEntry &a, const TEntry &b) { return a.Time > b.Time; });

    const QDate today = now.date();
    const QDate thisWeek = today.addDays(1 - today.dayOfWeek());
    const QDate thisMonth(today.year(), today.month(), 1);
    std::set<QDate> days;
    std::set<QDate> weeks;
    std::set<QDate> months;
    QStringList expired;
    for (size_t i = 0; i < copies.size(); ++i) {
        const TEntry &copy = copies[i];
        const QDate day = copy.Time.date();
        const QDate week = day.addDays(1 - day.dayOfWeek());
        const QDate month(day.year(), day.month(), 1);
        // A copy from the future takes no period's place: the clock was set
        // back, and the copies made from now on are the ones to rotate.
        if (copy.Time > now)
            continue;
        // Today's copies all stay until the day is over: each one holds work
        // the next may not.
        bool kept = i == 0 || copy.Name == keep || day == today;
        if (!days.count(day) && int(days.size()) < daily) {
            days.insert(day);
            kept = true;
        }
        if (!weeks.count(week) && week.daysTo(thisWeek) < 7 * kWeeksKept) {
            weeks.insert(week);
            kept = true;
        }
        const int monthsAgo
            = (thisMonth.year() - month.year()) * 12 + thisMonth.month() - month.month();
        if (!months.count(month) && monthsAgo < kMonthsKept) {
            months.insert(month);
            kept = true;
        }
        if (!kept)
            expired << copy.Name;
    }
    return expired;
}

std::optional<quint32> ChangeCounter(const QString &booksFile)
{
    TConnection books;
    if (!books.Open(booksFile, SQLITE_OPEN_READONLY).IsSound())
        return std::nullopt;
    sqlite3_busy_timeout(books.Db, 5000);
    std::optional<quint32> counter;
    if (sqlite3_exec(books.Db, "begin; select count(*) from sqlite_master", nullptr, nullptr,
                     nullptr)
        == SQLITE_OK)
        counter = ReadCounter(books.Db);
    sqlite3_exec(books.Db, "commit", nullptr, nullptr, nullptr);
    return counter;
}

Outcome Make(const QString &booksFile, const QString &folder, const QDateTime &now, TMade &made)
{
    const QString shownFolder = QDir::toNativeSeparators(folder);
    if (!QDir().mkpath(folder))
        return Outcome::Fault(QStringLiteral("无法创建备份文件夹 %1").arg(shownFolder));
    // Copies left by a run that was killed while making one.
    DbFile::RemovePartials(folder);
    const QString fileName = QDir(folder).filePath(FileName(now));
    QTemporaryFile temporary(DbFile::PartialTemplate(fileName));
    if (!temporary.open())
        return Outcome::Fault(QStringLiteral("无法在备份文件夹 %1 中写入文件（%2）")
                                  .arg(shownFolder, temporary.errorString()));
    temporary.close();
    const QString temporaryName = temporary.fileName();

    // The counts, the change counter and the copy come from one read
    // transaction, so they describe the same state of the books.
    std::array<qint64, kTables.size()> counts {};
    {
        TConnection books;
        if (const Outcome opened = books.Open(booksFile, SQLITE_OPEN_READONLY); !opened.IsSound())
            return Outcome::Fault(QStringLiteral("无法打开数据文件（%1）").arg(opened.Reason()));
        sqlite3_busy_timeout(books.Db, 5000);
        if (sqlite3_exec(books.Db, "begin", nullptr, nullptr, nullptr) != SQLITE_OK
            || !CountRows(books.Db, counts))
            return Outcome::Fault(
                QStringLiteral("无法读取数据文件（%1）").arg(DbFile::Explain(books.Db)));
        const std::optional<quint32> counter = ReadCounter(books.Db);
        if (!counter)
            return Outcome::Fault(QStringLiteral("无法读取数据文件的文件头"));
        made.ChangeCounter = *counter;

        TConnection copy;
        Outcome copied
            = copy.Open(temporaryName, SQLITE_OPEN_READWRITE)
                  .Then([&] {
                      // The copy is synced once, as a whole, below; a journal
                      // would only double its writes.
                      if (sqlite3_exec(copy.Db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF",
                                       nullptr, nullptr, nullptr)
                          != SQLITE_OK)
                          return Outcome::Fault(DbFile::LastError(copy.Db));
                      return Outcome::Sound();
                  })
                  .Then([&] {
                      sqlite3_backup *backup
                          = sqlite3_backup_init(copy.Db, "main", books.Db, "main");
                      if (!backup)
                          return Outcome::Fault(DbFile::LastError(copy.Db));
                      sqlite3_backup_step(backup, -1);
                      if (sqlite3_backup_finish(backup) != SQLITE_OK)
                          return Outcome::Fault(DbFile::Explain(copy.Db, temporaryName));
                      return Outcome::Sound();
                  });
        sqlite3_exec(books.Db, "commit", nullptr, nullptr, nullptr);
        copied = copied.Then([&] {
            if (sqlite3_close(copy.Db) != SQLITE_OK)
                return Outcome::Fault(DbFile::LastError(copy.Db));
            copy.Db = nullptr;
            return Outcome::Sound();
        });
        if (!copied.IsSound())
            return Outcome::Fault(QStringLiteral("复制数据文件失败：%1").arg(copied.Reason()));
    }
    if (const Outcome synced = Sync(temporaryName, false); !synced.IsSound())
        return Outcome::Fault(QStringLiteral("无法把备份写入磁盘（%1）").arg(synced.Reason()));

    if (const Outcome verified = Verify(temporaryName, counts); !verified.IsSound())
        return Outcome::Fault(QStringLiteral("备份未通过检查：%1").arg(verified.Reason()));

    std::error_code error;
    std::filesystem::rename(QFile::encodeName(temporaryName).toStdString(),
                            QFile::encodeName(fileName).toStdString(), error);
    if (error)
        return Outcome::Fault(
            QStringLiteral("无法命名备份文件 %1（%2）")
                .arg(QDir::toNativeSeparators(fileName), QString::fromLocal8Bit(error.message())));
    // The new name must last as well as the copy; a folder that cannot be
    // synced leaves the copy made all the same.
    static_cast<void>(Sync(folder, true));
    made.File = fileName;
    return Outcome::Sound();
}

void Rotate(const QString &folder, const QDateTime &now, int daily, const QString &keep)
{
    const QDir dir(folder);
    for (const QString &name : Expired(Names(folder), now, daily, QFileInfo(keep).fileName()))
        QFile::remove(dir.filePath(name));
}

TCopy Inspect(const QString &fileName, const std::function<bool()> &cancelled)
{
    TCopy copy;
    copy.File = fileName;
    copy.Time = TimeOf(fileName);
    copy.Size = QFileInfo(fileName).size();
    TConnection db;
    std::function<bool()> asked = cancelled;
    copy.Check = db.Open(fileName, SQLITE_OPEN_READONLY).Then([&] {
        // Reading large books takes a while: a cancel interrupts the statement.
        // Asked every million steps, a few milliseconds apart: asked every
        // ten thousand, the checks on a worker took half as long again.
        if (asked)
            sqlite3_progress_handler(
                db.Db, 1000000,
                [](void *ask) { return (*static_cast<std::function<bool()> *>(ask))() ? 1 : 0; },
                &asked);
        return DbFile::Check(db.Db, DbFile::TCheckDepth::Open);
    });
    if (!copy.Check.IsSound())
        return copy;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.Db, "select count(*),max(InDate) from BookKeep", -1, &stmt, nullptr)
            == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW) {
        copy.Records = sqlite3_column_int64(stmt, 0);
        if (sqlite3_column_type(stmt, 1) != SQLITE_NULL)
            copy.LastRecord = DateOfDayNumber(qint64(sqlite3_column_double(stmt, 1)));
    } else {
        copy.Check = Outcome::Fault(DbFile::Explain(db.Db, fileName));
    }
    sqlite3_finalize(stmt);
    return copy;
}

} // namespace AutoBackup

// ---- TAutoBackup -----------------------------------------------------------

TAutoBackup::TAutoBackup(QObject *parent)
    : QObject(parent)
    , FClock([] { return QDateTime::currentDateTime(); })
{
}

TAutoBackup::~TAutoBackup()
{
    if (FWorker.joinable())
        FWorker.join();
}

void TAutoBackup::Configure(bool enabled, int daily)
{
    FEnabled = enabled;
    FDaily = std::max(1, daily);
}

TAutoBackup::TAttempt TAutoBackup::Run(const QString &books, const QString &folder,
                                       const QDateTime &now, int daily)
{
    TAttempt attempt;
    attempt.Result = AutoBackup::Make(books, folder, now, attempt.Copy);
    // Older copies go only once the new one has passed its check.
    if (attempt.Result.IsSound())
        AutoBackup::Rotate(folder, now, daily, attempt.Copy.File);
    return attempt;
}

bool TAutoBackup::Finish(const TAttempt &attempt)
{
    if (attempt.Result.IsSound()) {
        FBaseline = attempt.Copy.ChangeCounter;
        Q_EMIT Made(attempt.Copy.File);
        return true;
    }
    WriteLog(QStringLiteral("自动备份失败！") + attempt.Result.Reason());
    Q_EMIT Failed(attempt.Result.Reason());
    return false;
}

void TAutoBackup::AtStart()
{
    if (!FEnabled || Busy())
        return;
    const QString books = TDbAccess::DatabaseFile();
    const QString folder = AutoBackup::Folder(AppPath);
    const QDateTime now = FClock();
    if (!AutoBackup::DueAtStart(AutoBackup::Names(folder), now)) {
        FBaseline = AutoBackup::ChangeCounter(books);
        return;
    }
    FWorker = std::thread([this, books, folder, now, daily = FDaily] {
        FWorkerAttempt = Run(books, folder, now, daily);
        QMetaObject::invokeMethod(this, &TAutoBackup::Wait, Qt::QueuedConnection);
    });
}

void TAutoBackup::Wait()
{
    if (!FWorker.joinable())
        return;
    FWorker.join();
    Finish(FWorkerAttempt);
}

bool TAutoBackup::MakeNow()
{
    return Finish(Run(TDbAccess::DatabaseFile(), AutoBackup::Folder(AppPath), FClock(), FDaily));
}

bool TAutoBackup::BeforeChange()
{
    Wait();
    return !FEnabled || MakeNow();
}

bool TAutoBackup::AtExit()
{
    Wait();
    if (!FEnabled)
        return true;
    const std::optional<quint32> counter = AutoBackup::ChangeCounter(TDbAccess::DatabaseFile());
    if (FBaseline && counter && *counter == *FBaseline)
        return true;
    return MakeNow();
}
