#pragma once

#include "Currency.h"
#include "Outcome.h"

#include <QDateTime>
#include <QLocale>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
class QTemporaryFile;
class TQuery;
namespace UndoLog {
class THistory;
}

// A column's value in the form a list keeps it: an amount (also any whole
// number) as ten-thousandths, a date column's value as its day, anything else
// as text (valid until the query moves on).
struct TCellValue
{
    enum class TKind { Empty, Amount, Day, Text };
    TKind Kind = TKind::Empty;
    qint64 Number = 0;
    QByteArrayView Column; // the engine's text
    QByteArray Owned; // or the text of a number no amount can hold

    QByteArrayView Text() const { return Owned.isNull() ? Column : QByteArrayView(Owned); }
};

// One column of the current row of a query.
class TField
{
public:
    bool IsNull() const;
    // Plain text: NULL empty, amounts as their shortest decimal, a date
    // column as the date alone in the system's short date format.
    QString AsString() const;
    int AsInteger() const;
    // A whole number as the engine holds it (a real one rounded).
    qint64 AsInt64() const;
    bool AsBoolean() const;
    Currency AsCurrency() const;
    QDateTime AsDateTime() const;
    // AsString, appended as UTF-8.
    void AppendUtf8(QByteArray &out) const;
    TCellValue Value() const;

private:
    friend class TQuery;
    TField(const TQuery &query, int index);

    const TQuery &FQuery;
    sqlite3_stmt *FStmt;
    int FIndex;
};

// The shared result set: open on a statement, positioned on its first row,
// read row by row until Eof.
class TQuery
{
public:
    TQuery() = default;
    TQuery(const TQuery &) = delete;
    TQuery &operator=(const TQuery &) = delete;
    ~TQuery();

    bool Active() const { return FStmt != nullptr; }
    bool Eof() const { return FEof; }
    void Next();
    int FieldCount() const;
    // The locale a date column's text is written in.
    const QLocale &Locale() const { return FLocale; }
    TField Fields(int index) const;
    TField FieldByName(const QString &name) const;
    // The position of the named column (names compare case-insensitively);
    // raises when the query has none of that name.
    int FieldIndex(const QString &name) const;
    void Close();

private:
    friend class TDbAccess;
    friend class TField;
    void Open(sqlite3 *db, const QString &sql);
    void Step();
    // A day as the date column's text, in the system's short date format;
    // rows mostly come in date order, so the last day's text is kept.
    const QByteArray &DateText(qint64 day) const;

    sqlite3_stmt *FStmt = nullptr;
    bool FEof = true;
    QString FSql;
    std::vector<bool> FDateColumns;
    QLocale FLocale;
    mutable qint64 FLastDay = -1;
    mutable QByteArray FLastDayText;
};

// How work done away from the window tells how far it got (a fraction from 0
// to 1, below 0 when that cannot be told, and the step it is at) and learns
// that it should stop. Either may be empty; both are called on the thread
// doing the work.
struct TWorkHooks
{
    std::function<void(double fraction, const QString &step)> Report;
    std::function<bool()> Cancelled;
};

// The private copy a restore takes the books from: the chosen file copied
// beside the books (readable by the owner only), brought up to date and
// checked as the books are checked from then on. Made through connections of
// its own, never the books', so it may be made on a worker thread. Removed
// with its side files when it goes.
class TRestoreCopy
{
public:
    // Raises EDBException, with the restore's headline, when the file is
    // refused; EAbort when hooks.Cancelled answered true.
    explicit TRestoreCopy(const QString &fileName, const TWorkHooks &hooks = {});
    TRestoreCopy(const TRestoreCopy &) = delete;
    TRestoreCopy &operator=(const TRestoreCopy &) = delete;
    ~TRestoreCopy();

private:
    friend class TDbAccess;
    void Make(const QString &fileName, const TWorkHooks &hooks);
    // Closes the connection and removes the side files; the file goes with FFile.
    void Release();

    std::unique_ptr<QTemporaryFile> FFile;
    QString FName;
    sqlite3 *FDb = nullptr;
};

// When a connect runs the engine's quick check of the books (one pass over
// every page): before they are used, or afterwards on a worker thread, so
// that the window shows sooner. Until that check has passed the books are
// read but not written.
enum class TPageCheck { First, Afterwards };

// The one connection to AppPath/bookkeep.dat and everything done through it.
class TDbAccess
{
public:
    TDbAccess();
    TDbAccess(const TDbAccess &) = delete;
    TDbAccess &operator=(const TDbAccess &) = delete;
    ~TDbAccess();

    // Opens the books; on failure shows "数据库连接失败！" with the reason and
    // leaves the connection closed. Never raises. With the page check
    // afterwards, a failure of that check is shown the same way when it comes
    // (on this thread's event loop), and the connection closes: from then on
    // the books are only copied out (BackupTo) or replaced (RestoreFrom).
    void Connect(TPageCheck pages = TPageCheck::First);
    bool Connected() const { return FConnection != nullptr; }
    void Close();
    // Whether the page check a connect left for afterwards is still running.
    bool CheckingPages() const { return FChecking.load(); }
    // Runs `then` on this thread once the books have passed the page check a
    // connect left for afterwards: at once when none runs. Never when the
    // check fails, the connection closes first, or `context` is gone.
    void AfterPageCheck(QObject *context, std::function<void()> then);

    TQuery &OpenQuery(const QString &sql);
    // Opens a query of many rows, hands it to read and closes it. Its pages
    // are read through a memory map of the file, which spares a system call
    // and a copy for each. The map stays for the next long read; the first
    // change after it drops it, so that changes read through the page cache,
    // which keeps the pages they need from one change to the next.
    void ReadLong(const QString &sql, const std::function<void(TQuery &)> &read);
    int QueryInt(const QString &sql);
    // Runs the statements of a batch ("@#@" between them) in one transaction;
    // its changes are the undo step `step` (see NameStep).
    void ExecBatch(const QString &batch, const QString &step = {});
    // Runs work as one transaction: what it reads to check a change and the
    // batches it writes commit together, or nothing does when it raises. What
    // it changed in the books becomes one undo step.
    void InTransaction(const std::function<void()> &work);
    // Names the undo step of the transaction running now, for the user
    // ("删除记账 午饭 35.5"); the first name given wins, so a command that
    // calls others names its step before them. A change committed without a
    // name is a step of a general name.
    void NameStep(const QString &name);
    // The names of the steps an undo or a redo would take back; empty when
    // there is none.
    QString UndoName();
    QString RedoName();
    // Takes back the last step, or does again the last step taken back, in
    // one transaction; a failure leaves the books and the history as they were.
    void Undo();
    void Redo();
    // Runs one statement in a transaction with its "?" placeholders bound to
    // texts, so any text is stored as it stands.
    void ExecBound(const QString &sql, const QStringList &values);
    // Writes a copy of the books to fileName; hooks may follow and stop it.
    void BackupTo(const QString &fileName, const TWorkHooks &hooks = {});
    // Replaces the books with a private copy of the file, brought up to date
    // and checked first; beforeCopyIn runs between the check and the copy in,
    // and what it raises ends the restore. A failure leaves the books as they
    // were.
    void RestoreFrom(const QString &fileName, const std::function<void()> &beforeCopyIn = {});
    // The same with a copy already made and checked.
    void RestoreFrom(TRestoreCopy &copy, const std::function<void()> &beforeCopyIn = {},
                     const TWorkHooks &hooks = {});

    // While long work on a thread of its own reads or writes the books, their
    // connection is that work's alone. Lend hands it out: from then on a call
    // from any other thread raises `busy` (in the user's words) instead of
    // touching it. The work's thread takes it with Borrow, and Return, on
    // that thread, ends the loan.
    void Lend(const QString &busy);
    void Borrow();
    void Return();

    TQuery FQuery;

    static QString DatabaseFile();

private:
    struct TPageRun;
    // What a caller does with the books: while their pages are checked after
    // the start, they are read and copied, not written nor replaced; once
    // the check has failed, they are only copied or replaced.
    enum class TUse { Read, Write, Copy, Replace };
    // Opens the connection when it is closed; raises EDBException with the
    // caller's headline and statement when that fails, or when the use is
    // not allowed now.
    void EnsureConnected(const QString &title, const QString &sql, TUse use);
    // Raises the loan's message when another thread holds the connection.
    void EnsureHere() const;
    Outcome Open(TPageCheck pages = TPageCheck::First);
    void StartPageCheck();
    void StopPageCheck();
    // Takes the result of page check number `run`, on the connection's thread.
    void PagesChecked(quint64 run);
    void MapFile(bool mapped);
    // Seals the change of the transaction about to commit as its named step.
    void SealStep();
    QString TopStepName(bool redo);
    void Replay(bool redo);

    sqlite3 *FConnection = nullptr;
    std::unique_ptr<UndoLog::THistory> FHistory; // of the books open on FConnection
    bool FInTransaction = false;
    bool FMapped = false;
    QString FWritten; // the batches written in it, for the report of a failing commit
    QString FStepName; // the name of the undo step the open transaction makes
    QString FRestoreCopy; // the name of a restore's checked copy while it waits
    std::atomic<bool> FLent {false};
    std::atomic<std::thread::id> FBorrower {}; // the thread that holds a lent connection
    QString FBusy; // written before FLent is set, read while it is
    std::unique_ptr<TPageRun> FPageRun; // the page check running after the start
    std::atomic<quint64> FPageRuns {0}; // how many were started: a stale result is dropped
    std::atomic<bool> FChecking {false};
    std::atomic<bool> FResultWaits {false}; // a result arrived while the connection was lent
    QString FPageFault; // why the pages failed the check after the start
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> FAfterCheck;
    std::unique_ptr<QObject> FReceiver; // where the worker's result is delivered
};

extern TDbAccess *GDbAccess;

// What joins the statements of a batch.
inline const QString kBatchSeparator = QStringLiteral("@#@");

void DbExec(const QString &batch, const QString &step = {});
int DbQueryInt(const QString &sql);
void DbBackup(const QString &fileName);
void DbRestore(const QString &fileName, const std::function<void()> &beforeCopyIn = {});

// The pieces of a text between its separators. Separators inside single-quoted
// literals ('' being a quote within one) do not split, so a value holding the
// separator stays whole.
QStringList SplitStr(const QString &text, const QString &separator);
