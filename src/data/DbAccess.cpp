#include "DbAccess.h"

#include "DbFile.h"
#include "SqlFormat.h"
#include "UException.h"
#include "UndoLog.h"
#include "UntPublic.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

TDbAccess *GDbAccess = nullptr;

namespace {

const QString kConnectTitle = QStringLiteral("数据库连接失败！");
const QString kQueryTitle = QStringLiteral("数据库查询错误，请检查！");
const QString kExecTitle = QStringLiteral("数据库操作失败！");
const QString kBackupTitle = QStringLiteral("数据库备份失败！");
const QString kRestoreTitle = QStringLiteral("数据库恢复失败！");
const QString kUndoTitle = QStringLiteral("撤销失败！");
const QString kRedoTitle = QStringLiteral("重做失败！");
const QString kChecking = QStringLiteral("正在检查数据文件，请稍候再试。");

// A transaction that rolls back when it goes out of scope uncommitted, so a
// failure anywhere in a batch leaves none of it in effect. Within a
// transaction already open it does nothing: that one commits or rolls back.
class TTransaction
{
public:
    TTransaction(sqlite3 *db, bool joined)
        : FDb(db)
        , FDone(joined)
    {
        if (!joined && sqlite3_exec(FDb, "begin immediate", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw Exception(DbFile::LastError(FDb));
    }
    TTransaction(const TTransaction &) = delete;
    TTransaction &operator=(const TTransaction &) = delete;
    ~TTransaction()
    {
        if (!FDone)
            sqlite3_exec(FDb, "rollback", nullptr, nullptr, nullptr);
    }
    void Commit()
    {
        if (FDone)
            return;
        if (sqlite3_exec(FDb, "commit", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw Exception(DbFile::LastError(FDb));
        FDone = true;
    }

private:
    sqlite3 *FDb;
    bool FDone;
};

// Runs every statement of a piece of text; rows a statement returns are dropped.
void ExecText(sqlite3 *db, const QString &sql)
{
    const QByteArray utf8 = sql.toUtf8();
    const char *at = utf8.constData();
    const char *end = at + utf8.size();
    while (at < end) {
        sqlite3_stmt *stmt = nullptr;
        const char *tail = nullptr;
        if (sqlite3_prepare_v2(db, at, int(end - at), &stmt, &tail) != SQLITE_OK)
            throw Exception(DbFile::LastError(db));
        int rc = SQLITE_DONE;
        if (stmt) {
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) { }
            sqlite3_finalize(stmt);
        }
        if (rc != SQLITE_DONE)
            throw Exception(DbFile::LastError(db));
        at = tail;
    }
}

bool IsBlank(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= u' '; });
}

// Copies the whole database behind `from` into `to` with the online backup API.
// Copies a few megabytes at a time, so that work on another thread can tell
// how far it got and stop between two parts. The target's write transaction
// lasts the whole copy: a copy stopped or failing part way leaves it as it was.
Outcome CopyDatabase(sqlite3 *to, sqlite3 *from, const TWorkHooks &hooks = {})
{
    sqlite3_backup *backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup)
        return Outcome::Fault(DbFile::LastError(to));
    constexpr int kPagesAtOnce = 1024;
    const int pagesAtOnce = hooks.Report || hooks.Cancelled ? kPagesAtOnce : -1;
    int rc = SQLITE_OK;
    while (!(hooks.Cancelled && hooks.Cancelled())
           && (rc = sqlite3_backup_step(backup, pagesAtOnce)) == SQLITE_OK) {
        if (const int pages = sqlite3_backup_pagecount(backup); hooks.Report && pages > 0)
            hooks.Report(1.0 - double(sqlite3_backup_remaining(backup)) / pages, {});
    }
    sqlite3_backup_finish(backup);
    // Stopped between two parts.
    if (rc == SQLITE_OK)
        return Outcome::Fault(QStringLiteral("已取消"));
    if (rc == SQLITE_FULL)
        return Outcome::Fault(
            QStringLiteral("磁盘空间不足（%1）").arg(QString::fromUtf8(sqlite3_errstr(rc))));
    if (rc != SQLITE_DONE)
        return Outcome::Fault(QString::fromUtf8(sqlite3_errstr(rc)));
    return Outcome::Sound();
}

// The side files in which SQLite keeps an unfinished change (a rollback
// journal) or committed changes not yet in the file itself (a WAL file).
const QString kSideFiles[] = {QStringLiteral("-journal"), QStringLiteral("-wal")};

void RemoveSideFiles(const QString &fileName)
{
    for (const QString &suffix : kSideFiles)
        QFile::remove(fileName + suffix);
    QFile::remove(fileName + QStringLiteral("-shm"));
}

// Log rows that no step holds were left by a change another connection made:
// they become a step of their own, so that the next command's step holds only
// its own change.
Outcome SealPending(sqlite3 *db, UndoLog::THistory &history)
{
    try {
        TTransaction transaction(db, false);
        history.SealStep({});
        transaction.Commit();
    } catch (const Exception &failure) {
        return Outcome::Fault(failure.Message());
    }
    return Outcome::Sound();
}

// Brings the private copy of a restore up to date and checks it as the books
// are checked from then on: fully before the upgrade, which runs only on a
// file shown to be this program's books, and again after it. A fault when
// the books must not take it in.
Outcome PrepareCopy(sqlite3 *db)
{
    const auto check = [db] { return DbFile::Check(db, DbFile::TCheckDepth::Restore); };
    // A file in WAL mode is brought back to a single file first.
    return check()
        .Then([db] { return DbFile::Configure(db); })
        .Then([db, &check] {
            if (DbFile::SchemaVersion(db) == DbFile::kSchemaVersion)
                return Outcome::Sound();
            return DbFile::Upgrade(db).Then(check);
        })
        .Then([db] {
            UndoLog::THistory history(db);
            return SealPending(db, history);
        });
}

// Raises a fault as the failure of the command with this headline.
void Require(const Outcome &outcome, const QString &title, const QString &sql = {})
{
    if (!outcome.IsSound())
        throw EDBException(outcome.Reason(), title, sql);
}

// Opens a file as a database; on failure db is null.
Outcome OpenFile(const QString &fileName, int flags, sqlite3 *&db)
{
    db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(fileName).constData(), &db, flags, nullptr)
        != SQLITE_OK) {
        const QString reason = db ? DbFile::LastError(db) : QStringLiteral("out of memory");
        sqlite3_close_v2(db);
        db = nullptr;
        return Outcome::Fault(reason);
    }
    return Outcome::Sound();
}

// The quick check of the books through a read-only connection of its own;
// stops part way when `stop` is set. Never raises: it runs on a worker thread.
Outcome CheckPagesOf(const QString &fileName, std::atomic<bool> &stop)
{
    sqlite3 *db = nullptr;
    Outcome checked = Outcome::Sound();
    try {
        checked = OpenFile(fileName, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, db).Then([&] {
            sqlite3_progress_handler(
                db, 10000,
                [](void *flag) { return static_cast<std::atomic<bool> *>(flag)->load() ? 1 : 0; },
                &stop);
            return DbFile::CheckPages(db);
        });
    } catch (...) {
        checked = Outcome::Fault(QStringLiteral("检查数据文件时出错"));
    }
    sqlite3_close_v2(db);
    return checked;
}

} // namespace

// The quick check running after the start; its result is read once the
// worker is joined.
struct TDbAccess::TPageRun
{
    std::thread Worker;
    std::atomic<bool> Stop {false};
    Outcome Result = Outcome::Sound();
};

// ---- TField ----------------------------------------------------------------

TField::TField(const TQuery &query, int index)
    : FQuery(query)
    , FStmt(query.FStmt)
    , FIndex(index)
{
}

bool TField::IsNull() const
{
    return sqlite3_column_type(FStmt, FIndex) == SQLITE_NULL;
}

QString TField::AsString() const
{
    QByteArray utf8;
    AppendUtf8(utf8);
    return QString::fromUtf8(utf8);
}

TCellValue TField::Value() const
{
    // The column's value is read once and asked for its type and content
    // directly: one call into the engine's statement instead of one per
    // question, which a long list feels on every cell.
    sqlite3_value *cell = sqlite3_column_value(FStmt, FIndex);
    TCellValue value;
    switch (sqlite3_value_type(cell)) {
    case SQLITE_NULL:
        return value;
    case SQLITE_INTEGER: {
        if (FQuery.FDateColumns[FIndex]) {
            value.Kind = TCellValue::TKind::Day;
            value.Number = qint64(std::floor(sqlite3_value_double(cell)));
            return value;
        }
        const qint64 whole = sqlite3_value_int64(cell);
        if (whole >= -Currency::kMaxUnits / Currency::kScale
            && whole <= Currency::kMaxUnits / Currency::kScale) {
            value.Kind = TCellValue::TKind::Amount;
            value.Number = Currency::FromWhole(whole).Units();
        } else {
            value.Kind = TCellValue::TKind::Text;
            value.Owned = QByteArray::number(whole);
        }
        return value;
    }
    case SQLITE_FLOAT: {
        const double number = sqlite3_value_double(cell);
        if (FQuery.FDateColumns[FIndex]) {
            value.Kind = TCellValue::TKind::Day;
            value.Number = qint64(std::floor(number));
            return value;
        }
        Currency amount;
        if (Currency::FromDouble(number, amount)) {
            value.Kind = TCellValue::TKind::Amount;
            value.Number = amount.Units();
        } else {
            value.Kind = TCellValue::TKind::Text;
            value.Owned = QByteArray::number(number, 'g', 15);
        }
        return value;
    }
    default: {
        value.Kind = TCellValue::TKind::Text;
        const unsigned char *text = sqlite3_value_text(cell);
        // Out of memory: the statement's own call records the failure, so
        // that the next step reports it, and the cell reads empty till then.
        if (!text)
            text = sqlite3_column_text(FStmt, FIndex);
        if (text)
            value.Column
                = QByteArrayView(reinterpret_cast<const char *>(text), sqlite3_value_bytes(cell));
        return value;
    }
    }
}

void TField::AppendUtf8(QByteArray &out) const
{
    const TCellValue value = Value();
    switch (value.Kind) {
    case TCellValue::TKind::Empty:
        return;
    case TCellValue::TKind::Amount:
        out += Currency::FromUnits(value.Number).ToString().toUtf8();
        return;
    case TCellValue::TKind::Day:
        out += FQuery.DateText(value.Number);
        return;
    case TCellValue::TKind::Text:
        out += value.Text();
    }
}

int TField::AsInteger() const
{
    if (sqlite3_column_type(FStmt, FIndex) == SQLITE_FLOAT)
        return int(std::lround(sqlite3_column_double(FStmt, FIndex)));
    return int(sqlite3_column_int64(FStmt, FIndex));
}

qint64 TField::AsInt64() const
{
    if (sqlite3_column_type(FStmt, FIndex) == SQLITE_FLOAT)
        return std::llround(sqlite3_column_double(FStmt, FIndex));
    return sqlite3_column_int64(FStmt, FIndex);
}

bool TField::AsBoolean() const
{
    if (sqlite3_column_type(FStmt, FIndex) == SQLITE_TEXT) {
        const QString text = AsString().trimmed();
        return text.compare(u"true", Qt::CaseInsensitive) == 0 || text.toLongLong() != 0;
    }
    return sqlite3_column_double(FStmt, FIndex) != 0.0;
}

Currency TField::AsCurrency() const
{
    Currency amount;
    switch (sqlite3_column_type(FStmt, FIndex)) {
    case SQLITE_INTEGER: {
        const qint64 whole = sqlite3_column_int64(FStmt, FIndex);
        if (whole < -Currency::kMaxUnits / Currency::kScale
            || whole > Currency::kMaxUnits / Currency::kScale)
            throw EConvertError(
                QStringLiteral("'%1' is not a valid floating point value").arg(whole));
        return Currency::FromWhole(whole);
    }
    case SQLITE_FLOAT: {
        const double value = sqlite3_column_double(FStmt, FIndex);
        if (!Currency::FromDouble(value, amount))
            throw EConvertError(
                QStringLiteral("'%1' is not a valid floating point value").arg(value, 0, 'g', 17));
        return amount;
    }
    case SQLITE_TEXT:
        return Currency::ParseLenient(AsString());
    default:
        return amount;
    }
}

QDateTime TField::AsDateTime() const
{
    return DateTimeOfDayNumber(sqlite3_column_double(FStmt, FIndex));
}

// ---- TQuery ----------------------------------------------------------------

TQuery::~TQuery()
{
    Close();
}

void TQuery::Close()
{
    sqlite3_finalize(FStmt);
    FStmt = nullptr;
    FEof = true;
}

void TQuery::Open(sqlite3 *db, const QString &sql)
{
    Close();
    FSql = sql;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db, utf8.constData(), int(utf8.size()), &FStmt, nullptr) != SQLITE_OK
        || !FStmt) {
        const QString message = DbFile::LastError(db);
        Close();
        throw EDBException(message, kQueryTitle, sql);
    }
    const int columns = sqlite3_column_count(FStmt);
    FDateColumns.assign(columns, false);
    for (int i = 0; i < columns; ++i) {
        const char *type = sqlite3_column_decltype(FStmt, i);
        FDateColumns[i] = type && (qstricmp(type, "DATE") == 0 || qstricmp(type, "DATETIME") == 0);
    }
    FLocale = QLocale();
    FLastDay = -1;
    FEof = false;
    Step();
}

const QByteArray &TQuery::DateText(qint64 day) const
{
    if (day != FLastDay) {
        FLastDay = day;
        FLastDayText = FLocale.toString(DateOfDayNumber(day), QLocale::ShortFormat).toUtf8();
    }
    return FLastDayText;
}

void TQuery::Step()
{
    const int rc = sqlite3_step(FStmt);
    if (rc == SQLITE_ROW)
        return;
    FEof = true;
    if (rc != SQLITE_DONE) {
        const QString message = DbFile::LastError(sqlite3_db_handle(FStmt));
        Close();
        throw EDBException(message, kQueryTitle, FSql);
    }
}

void TQuery::Next()
{
    if (!FEof)
        Step();
}

int TQuery::FieldCount() const
{
    return FStmt ? sqlite3_column_count(FStmt) : 0;
}

TField TQuery::Fields(int index) const
{
    if (!FStmt || index < 0 || index >= int(FDateColumns.size()))
        throw Exception(QStringLiteral("List index out of bounds (%1)").arg(index));
    return TField(*this, index);
}

TField TQuery::FieldByName(const QString &name) const
{
    return TField(*this, FieldIndex(name));
}

int TQuery::FieldIndex(const QString &name) const
{
    const QByteArray utf8 = name.toUtf8();
    const int count = FieldCount();
    for (int i = 0; i < count; ++i) {
        if (qstricmp(utf8.constData(), sqlite3_column_name(FStmt, i)) == 0)
            return i;
    }
    throw Exception(QStringLiteral("Field '%1' not found").arg(name));
}

// ---- TDbAccess -------------------------------------------------------------

TDbAccess::TDbAccess()
    : FReceiver(std::make_unique<QObject>())
{
}

TDbAccess::~TDbAccess()
{
    Close();
}

QString TDbAccess::DatabaseFile()
{
    return AppPath + QStringLiteral("bookkeep.dat");
}

void TDbAccess::Close()
{
    StopPageCheck();
    FQuery.Close();
    FHistory.reset();
    sqlite3_close_v2(FConnection);
    FConnection = nullptr;
    FMapped = false;
}

Outcome TDbAccess::Open(TPageCheck pages)
{
    const QString fileName = DatabaseFile();
    if (!QFileInfo(fileName).isFile())
        return Outcome::Fault(QStringLiteral("找不到数据库文件 %1").arg(fileName));
    sqlite3 *db = nullptr;
    std::unique_ptr<UndoLog::THistory> history;
    // Nothing is written before the check has passed, so a refused file
    // stays as it was (a file in WAL mode is not checkpointed on close either).
    // The pages are checked afterwards only when opening writes nothing, and
    // till then nothing else is written either.
    bool afterwards = false;
    const Outcome opened
        = OpenFile(fileName, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, db)
              .Then([&] {
                  if (sqlite3_db_readonly(db, "main") == 1)
                      return Outcome::Fault(QStringLiteral("数据库文件 %1 是只读的").arg(fileName));
                  return Outcome::Sound();
              })
              .Then([&] {
                  afterwards = pages == TPageCheck::Afterwards && DbFile::OpensUnchanged(db);
                  return DbFile::Check(
                      db, afterwards ? DbFile::TCheckDepth::Start : DbFile::TCheckDepth::Open);
              })
              .Then([&] { return DbFile::Configure(db); })
              .Then([&] { return DbFile::Upgrade(db); })
              .Then([&] {
                  history = std::make_unique<UndoLog::THistory>(db);
                  // Sealing may write: it waits for the page check.
                  return afterwards ? Outcome::Sound() : SealPending(db, *history);
              });
    if (!opened.IsSound()) {
        history.reset();
        if (db)
            sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        sqlite3_close_v2(db);
        return opened;
    }
    FConnection = db;
    FHistory = std::move(history);
    if (afterwards)
        StartPageCheck();
    return opened;
}

void TDbAccess::Connect(TPageCheck pages)
{
    Close();
    FPageFault.clear();
    FAfterCheck.clear();
    // Copies left by a backup or restore that was killed.
    DbFile::RemovePartials(AppPath);
    if (const Outcome opened = Open(pages); !opened.IsSound())
        ShowErrorDetail(kConnectTitle, opened.Reason(), {});
}

void TDbAccess::StartPageCheck()
{
    FPageRun = std::make_unique<TPageRun>();
    FChecking = true;
    const quint64 run = ++FPageRuns;
    FPageRun->Worker = std::thread([this, run, page = FPageRun.get(), file = DatabaseFile()] {
        // Below the window's thread, which shows the first list meanwhile:
        // on a busy machine the check waits, not the user.
        setpriority(PRIO_PROCESS, ::gettid(), 10);
        page->Result = CheckPagesOf(file, page->Stop);
        QMetaObject::invokeMethod(
            FReceiver.get(), [this, run] { PagesChecked(run); }, Qt::QueuedConnection);
    });
}

void TDbAccess::StopPageCheck()
{
    if (!FPageRun)
        return;
    FPageRun->Stop = true;
    FPageRun->Worker.join();
    FPageRun.reset();
    FChecking = false;
    FResultWaits = false;
    FAfterCheck.clear();
}

void TDbAccess::PagesChecked(quint64 run)
{
    if (!FPageRun || run != FPageRuns.load())
        return;
    // While work on another thread holds the connection the result waits;
    // Return hands it back.
    FResultWaits = true;
    if (FLent.load() || !FResultWaits.exchange(false))
        return;
    FPageRun->Worker.join();
    // Changes another connection left unsealed are sealed only now, on
    // books whose pages are sound.
    const Outcome checked
        = FPageRun->Result.Then([this] { return SealPending(FConnection, *FHistory); });
    FPageRun.reset();
    FChecking = false;
    if (!checked.IsSound()) {
        Close();
        FAfterCheck.clear();
        FPageFault = checked.Reason();
        ShowErrorDetail(kConnectTitle, FPageFault, {});
        return;
    }
    const auto waiting = std::exchange(FAfterCheck, {});
    for (const auto &[context, then] : waiting) {
        if (context)
            then();
    }
}

void TDbAccess::AfterPageCheck(QObject *context, std::function<void()> then)
{
    if (FChecking.load())
        FAfterCheck.emplace_back(context, std::move(then));
    else if (FPageFault.isEmpty() && FConnection)
        then();
}

void TDbAccess::EnsureHere() const
{
    if (FLent.load() && FBorrower.load() != std::this_thread::get_id())
        throw Exception(FBusy);
}

void TDbAccess::Lend(const QString &busy)
{
    EnsureHere();
    FBusy = busy;
    FBorrower = std::thread::id();
    FLent = true;
}

void TDbAccess::Borrow()
{
    FBorrower = std::this_thread::get_id();
}

void TDbAccess::Return()
{
    FBorrower = std::thread::id();
    FLent = false;
    if (FResultWaits.exchange(false))
        QMetaObject::invokeMethod(
            FReceiver.get(), [this, run = FPageRuns.load()] { PagesChecked(run); },
            Qt::QueuedConnection);
}

void TDbAccess::EnsureConnected(const QString &title, const QString &sql, TUse use)
{
    EnsureHere();
    // Books whose pages failed the check are opened again only to be copied
    // out (the safety copy of a restore) or replaced: nothing else is
    // written to them, nor read from them.
    if (!FPageFault.isEmpty()) {
        if (use != TUse::Copy && use != TUse::Replace)
            throw EDBException(FPageFault, title, sql);
        if (!FConnection)
            Require(
                OpenFile(DatabaseFile(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, FConnection)
                    .Then([this] { return DbFile::Configure(FConnection); }),
                title, sql);
        return;
    }
    if (FChecking.load() && (use == TUse::Write || use == TUse::Replace))
        throw Exception(kChecking);
    if (!FConnection)
        Require(Open(), title, sql);
}

TQuery &TDbAccess::OpenQuery(const QString &sql)
{
    FQuery.Close();
    EnsureConnected(kQueryTitle, sql, TUse::Read);
    FQuery.Open(FConnection, sql);
    return FQuery;
}

void TDbAccess::ReadLong(const QString &sql, const std::function<void(TQuery &)> &read)
{
    FQuery.Close();
    EnsureConnected(kQueryTitle, sql, TUse::Read);
    MapFile(true);
    try {
        FQuery.Open(FConnection, sql);
        read(FQuery);
    } catch (...) {
        FQuery.Close();
        throw;
    }
    FQuery.Close();
}

void TDbAccess::MapFile(bool mapped)
{
    if (mapped == FMapped || !FConnection)
        return;
    // Only a speed setting: an engine or file system without it reads as before.
    sqlite3_exec(FConnection, mapped ? "PRAGMA mmap_size=1073741824" : "PRAGMA mmap_size=0",
                 nullptr, nullptr, nullptr);
    FMapped = mapped;
}

int TDbAccess::QueryInt(const QString &sql)
{
    EnsureConnected(kQueryTitle, sql, TUse::Read);
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    int rc = sqlite3_prepare_v2(FConnection, utf8.constData(), int(utf8.size()), &stmt, nullptr);
    qint64 value = 0;
    if (rc == SQLITE_OK && stmt) {
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW)
            value = sqlite3_column_int64(stmt, 0);
    }
    const QString message = DbFile::LastError(FConnection);
    sqlite3_finalize(stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE && rc != SQLITE_OK)
        throw EDBException(message, kQueryTitle, sql);
    return int(value);
}

void TDbAccess::ExecBatch(const QString &batch, const QString &step)
{
    EnsureConnected(kExecTitle, batch, TUse::Write);
    MapFile(false);
    if (FInTransaction) {
        FWritten += batch;
        NameStep(step);
    }
    try {
        TTransaction transaction(FConnection, FInTransaction);
        for (const QString &piece : SplitStr(batch, kBatchSeparator)) {
            if (!IsBlank(piece))
                ExecText(FConnection, piece);
        }
        if (!FInTransaction)
            FHistory->SealStep(step);
        transaction.Commit();
    } catch (const Exception &failure) {
        throw EDBException(failure.Message(), kExecTitle, batch);
    }
}

void TDbAccess::InTransaction(const std::function<void()> &work)
{
    if (FInTransaction) {
        work();
        return;
    }
    EnsureConnected(kExecTitle, {}, TUse::Write);
    MapFile(false);
    // Deferred: the checks' reads and the batches' writes take their locks
    // and report their failures as they would on their own.
    if (sqlite3_exec(FConnection, "begin", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw EDBException(DbFile::LastError(FConnection), kExecTitle, {});
    FInTransaction = true;
    FWritten.clear();
    // A step is named only while its transaction is open, and the name goes
    // when it ends: a new step starts without one.
    Q_ASSERT(FStepName.isEmpty());
    try {
        work();
        SealStep();
    } catch (...) {
        FInTransaction = false;
        FStepName.clear();
        FQuery.Close();
        sqlite3_exec(FConnection, "rollback", nullptr, nullptr, nullptr);
        throw;
    }
    FInTransaction = false;
    FStepName.clear();
    if (sqlite3_exec(FConnection, "commit", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const QString message = DbFile::LastError(FConnection);
        sqlite3_exec(FConnection, "rollback", nullptr, nullptr, nullptr);
        throw EDBException(message, kExecTitle, FWritten);
    }
}

void TDbAccess::ExecBound(const QString &sql, const QStringList &values)
{
    for (const QString &value : values) {
        if (const Outcome fault = TextFault(value, TTextUse::Bound); !fault.IsSound())
            throw Exception(fault.Reason());
    }
    EnsureConnected(kExecTitle, sql, TUse::Write);
    MapFile(false);
    try {
        TTransaction transaction(FConnection, FInTransaction);
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt *stmt = nullptr;
        int rc
            = sqlite3_prepare_v2(FConnection, utf8.constData(), int(utf8.size()), &stmt, nullptr);
        for (int i = 0; rc == SQLITE_OK && i < values.size(); ++i) {
            const QByteArray value = values[i].toUtf8();
            rc = sqlite3_bind_text(stmt, i + 1, value.constData(), int(value.size()),
                                   SQLITE_TRANSIENT);
        }
        if (rc == SQLITE_OK && stmt)
            rc = sqlite3_step(stmt);
        const QString message = DbFile::LastError(FConnection);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE && rc != SQLITE_ROW)
            throw Exception(message);
        if (!FInTransaction)
            FHistory->SealStep({});
        transaction.Commit();
    } catch (const Exception &failure) {
        throw EDBException(failure.Message(), kExecTitle, sql);
    }
}

void TDbAccess::NameStep(const QString &name)
{
    if (FInTransaction && FStepName.isEmpty())
        FStepName = name;
}

void TDbAccess::SealStep()
{
    // Only the step of InTransaction is sealed here; a batch run on its own
    // seals its step itself.
    Q_ASSERT(FInTransaction);
    try {
        FHistory->SealStep(FStepName);
    } catch (const Exception &failure) {
        throw EDBException(failure.Message(), kExecTitle, FWritten);
    }
}

QString TDbAccess::UndoName()
{
    return TopStepName(false);
}

QString TDbAccess::RedoName()
{
    return TopStepName(true);
}

QString TDbAccess::TopStepName(bool redo)
{
    EnsureConnected(kQueryTitle, {}, TUse::Read);
    try {
        return FHistory->TopName(redo);
    } catch (const Exception &failure) {
        throw EDBException(failure.Message(), kQueryTitle, {});
    }
}

void TDbAccess::Undo()
{
    Replay(false);
}

void TDbAccess::Redo()
{
    Replay(true);
}

void TDbAccess::Replay(bool redo)
{
    const QString &title = redo ? kRedoTitle : kUndoTitle;
    if (FInTransaction)
        throw EDBException(QStringLiteral("另一项修改还没有完成"), title, {});
    FQuery.Close();
    EnsureConnected(title, {}, TUse::Write);
    MapFile(false);
    if (sqlite3_exec(FConnection, "begin immediate", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw EDBException(DbFile::Explain(FConnection), title, {});
    try {
        // A change no command sealed is the step an undo takes back first.
        FHistory->SealStep({});
        FHistory->Replay(redo);
        // A failing commit (a full disk) is told in the user's words.
        if (sqlite3_exec(FConnection, "commit", nullptr, nullptr, nullptr) != SQLITE_OK)
            throw Exception(DbFile::Explain(FConnection));
    } catch (const Exception &failure) {
        sqlite3_exec(FConnection, "rollback", nullptr, nullptr, nullptr);
        throw EDBException(failure.Message(), title, {});
    }
}

void TDbAccess::BackupTo(const QString &fileName, const TWorkHooks &hooks)
{
    EnsureConnected(kBackupTitle, {}, TUse::Copy);
    // Renaming a copy over the open books would leave the connection writing
    // to a file that no longer has a name.
    std::error_code same;
    if (std::filesystem::equivalent(QFile::encodeName(fileName).toStdString(),
                                    QFile::encodeName(DatabaseFile()).toStdString(), same))
        throw EDBException(QStringLiteral("不能备份到正在使用的数据文件 %1，请另选文件名。")
                               .arg(QDir::toNativeSeparators(fileName)),
                           kBackupTitle, {});
    // Written beside the target under a temporary name, then renamed over it,
    // so the target is either the old file or a complete copy. A copy left
    // there by a killed backup goes first.
    DbFile::RemovePartials(QFileInfo(fileName).absolutePath(), FRestoreCopy);
    QTemporaryFile temporary(DbFile::PartialTemplate(fileName));
    if (!temporary.open())
        throw EDBException(
            QStringLiteral("无法创建文件 %1（%2）").arg(fileName, temporary.errorString()),
            kBackupTitle, {});
    temporary.close();
    sqlite3 *target = nullptr;
    Outcome copied
        = OpenFile(temporary.fileName(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, target)
              .Then([&] { return CopyDatabase(target, FConnection, hooks); });
    if (target && sqlite3_close(target) != SQLITE_OK && copied.IsSound())
        copied = Outcome::Fault(DbFile::LastError(target));
    if (!copied.IsSound() && hooks.Cancelled && hooks.Cancelled())
        throw EAbort();
    const Outcome renamed = copied.Then([&] {
        std::error_code error;
        std::filesystem::rename(QFile::encodeName(temporary.fileName()).toStdString(),
                                QFile::encodeName(fileName).toStdString(), error);
        return error ? Outcome::Fault(QString::fromLocal8Bit(error.message())) : Outcome::Sound();
    });
    Require(renamed, kBackupTitle);
}

void TDbAccess::RestoreFrom(const QString &fileName, const std::function<void()> &beforeCopyIn)
{
    FQuery.Close();
    EnsureConnected(kRestoreTitle, {}, TUse::Replace);
    TRestoreCopy copy(fileName);
    RestoreFrom(copy, beforeCopyIn);
}

void TDbAccess::RestoreFrom(TRestoreCopy &copy, const std::function<void()> &beforeCopyIn,
                            const TWorkHooks &hooks)
{
    FQuery.Close();
    EnsureConnected(kRestoreTitle, {}, TUse::Replace);
    if (beforeCopyIn) {
        FRestoreCopy = QFileInfo(copy.FName).fileName();
        const auto waited = qScopeGuard([this] { FRestoreCopy.clear(); });
        beforeCopyIn();
    }
    // The history's statements were prepared on the books being replaced. A
    // copy that fails part way is rolled back: the books stay as they were.
    FHistory.reset();
    const Outcome replaced = CopyDatabase(FConnection, copy.FDb, {hooks.Report, {}});
    FHistory = std::make_unique<UndoLog::THistory>(FConnection);
    Require(replaced, kRestoreTitle);
    // The books are now the checked copy.
    FPageFault.clear();
}

// ---- TRestoreCopy ----------------------------------------------------------

TRestoreCopy::TRestoreCopy(const QString &fileName, const TWorkHooks &hooks)
    : FFile(std::make_unique<QTemporaryFile>(DbFile::PartialTemplate(TDbAccess::DatabaseFile())))
{
    try {
        Make(fileName, hooks);
    } catch (...) {
        Release();
        throw;
    }
}

TRestoreCopy::~TRestoreCopy()
{
    Release();
}

void TRestoreCopy::Release()
{
    sqlite3_close_v2(FDb);
    FDb = nullptr;
    if (!FName.isEmpty())
        RemoveSideFiles(FName);
}

void TRestoreCopy::Make(const QString &fileName, const TWorkHooks &hooks)
{
    const auto report = [&hooks](double fraction, const QString &step) {
        if (hooks.Report)
            hooks.Report(fraction, step);
    };
    const auto stopIfCancelled = [&hooks] {
        if (hooks.Cancelled && hooks.Cancelled())
            throw EAbort();
    };
    // The chosen file is copied before anything else is written, so that
    // what is restored is what was chosen, even when that is the safety copy
    // about to be replaced. The copy lives beside the books (readable by the
    // owner only), where it is brought up to date and checked: the books
    // take in only what the next start accepts.
    if (!FFile->open())
        throw EDBException(QStringLiteral("无法在 %1 创建临时文件（%2）")
                               .arg(QDir::toNativeSeparators(AppPath), FFile->errorString()),
                           kRestoreTitle, {});
    FName = FFile->fileName();
    report(0, QStringLiteral("正在复制所选文件…"));
    Outcome copied = DbFile::CopyInto(fileName, *FFile);
    FFile->close();
    // A journal or WAL file beside the chosen file holds what the file alone
    // lacks: SQLite finishes or undoes that change in the copy when it opens it.
    for (const QString &suffix : kSideFiles) {
        copied = copied.Then([&] {
            if (!QFileInfo::exists(fileName + suffix))
                return Outcome::Sound();
            QFile side(FName + suffix);
            if (!side.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                           QFile::ReadOwner | QFile::WriteOwner))
                return Outcome::Fault(QStringLiteral("无法创建临时文件 %1（%2）")
                                          .arg(side.fileName(), side.errorString()));
            return DbFile::CopyInto(fileName + suffix, side);
        });
    }
    Require(copied, kRestoreTitle);
    stopIfCancelled();

    // The check's length cannot be told from outside the engine.
    report(-1, QStringLiteral("正在检查数据…"));
    std::function<bool()> cancelled = hooks.Cancelled;
    const Outcome prepared = OpenFile(FName, SQLITE_OPEN_READWRITE, FDb).Then([&] {
        // A cancel interrupts the statement running: the check of large
        // books takes seconds.
        if (cancelled)
            sqlite3_progress_handler(
                FDb, 10000,
                [](void *asked) {
                    return (*static_cast<std::function<bool()> *>(asked))() ? 1 : 0;
                },
                &cancelled);
        return PrepareCopy(FDb);
    });
    if (FDb)
        sqlite3_progress_handler(FDb, 0, nullptr, nullptr);
    stopIfCancelled();
    Require(prepared, kRestoreTitle);
    report(1, {});
}

// ---- free routines ---------------------------------------------------------

void DbExec(const QString &batch, const QString &step)
{
    GDbAccess->ExecBatch(batch, step);
}

int DbQueryInt(const QString &sql)
{
    return GDbAccess->QueryInt(sql);
}

void DbBackup(const QString &fileName)
{
    GDbAccess->BackupTo(fileName);
}

void DbRestore(const QString &fileName, const std::function<void()> &beforeCopyIn)
{
    GDbAccess->RestoreFrom(fileName, beforeCopyIn);
}

QStringList SplitStr(const QString &text, const QString &separator)
{
    QStringList pieces;
    bool quoted = false;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size();) {
        if (text[i] == u'\'') {
            quoted = !quoted;
            ++i;
        } else if (!quoted && !separator.isEmpty() && text[i] == separator[0]
                   && QStringView(text).mid(i).startsWith(separator)) {
            pieces += text.mid(start, i - start);
            i += separator.size();
            start = i;
        } else {
            ++i;
        }
    }
    pieces += text.mid(start);
    return pieces;
}
