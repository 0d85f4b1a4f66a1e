#include "UndoLog.h"

#include "DbFile.h"
#include "UException.h"

#include <QByteArray>
#include <sqlite3.h>
#include <vector>

namespace {

// The top step of a stack and the highest log row any step holds.
const char *const kTopStep
    = "select ID,Name,FirstSeq,LastSeq from UndoStep where Redo=?1 order by ID desc limit 1";
const char *const kLastStepSeq = "select LastSeq from UndoStep order by ID desc limit 1";
const char *const kLastLogSeq = "select max(Seq) from UndoLog";
const char *const kRedoSteps = "select ID,FirstSeq,LastSeq from UndoStep where Redo=1";
const char *const kStepStatements
    = "select Statement from UndoLog where Seq between ?1 and ?2 order by Seq desc";
const char *const kDeleteLog = "delete from UndoLog where Seq between ?1 and ?2";
const char *const kDeleteStep = "delete from UndoStep where ID=?1";
const char *const kDeleteStepsUpTo = "delete from UndoStep where ID<=?1";
const char *const kDeleteLogUpTo = "delete from UndoLog where Seq<=?1";
const char *const kOldestKept
    = "select ID,LastSeq from UndoStep order by ID desc limit 1 offset ?1";
const char *const kAddStep
    = "insert into UndoStep(Redo,Name,FirstSeq,LastSeq) values (?1,?2,?3,?4)";
const char *const kStartReplay = "insert into UndoReplay(Running) values (1)";
const char *const kEndReplay = "delete from UndoReplay";

// One prepared statement with its parameters bound, finalized when it goes.
class TStatement
{
public:
    TStatement(sqlite3 *db, const char *sql)
        : FDb(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &FStmt, nullptr) != SQLITE_OK)
            Fail();
    }
    TStatement(const TStatement &) = delete;
    TStatement &operator=(const TStatement &) = delete;
    ~TStatement() { sqlite3_finalize(FStmt); }

    TStatement &Bind(int index, qint64 value)
    {
        if (sqlite3_bind_int64(FStmt, index, value) != SQLITE_OK)
            Fail();
        return *this;
    }
    TStatement &Bind(int index, const QString &value)
    {
        const QByteArray utf8 = value.toUtf8();
        if (sqlite3_bind_text(FStmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT)
            != SQLITE_OK)
            Fail();
        return *this;
    }
    // Steps once: true on a row, false when done.
    bool Step()
    {
        const int rc = sqlite3_step(FStmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            Fail();
        return false;
    }
    void Run()
    {
        while (Step()) { }
    }
    qint64 Int(int column) const { return sqlite3_column_int64(FStmt, column); }
    bool IsNull(int column) const { return sqlite3_column_type(FStmt, column) == SQLITE_NULL; }
    QByteArray Text(int column) const
    {
        return QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(FStmt, column)),
                          sqlite3_column_bytes(FStmt, column));
    }

private:
    [[noreturn]] void Fail() const { throw Exception(DbFile::Explain(FDb)); }

    sqlite3 *FDb;
    sqlite3_stmt *FStmt = nullptr;
};

// The first column of a query's first row; `none` when it has no row or NULL.
qint64 QueryInt(sqlite3 *db, const char *sql, qint64 none)
{
    TStatement query(db, sql);
    return query.Step() && !query.IsNull(0) ? query.Int(0) : none;
}

// Runs every statement of a logged text, which may hold more than one.
void ExecAll(sqlite3 *db, const QByteArray &text)
{
    const char *at = text.constData();
    const char *end = at + text.size();
    while (at < end) {
        sqlite3_stmt *stmt = nullptr;
        const char *tail = nullptr;
        if (sqlite3_prepare_v2(db, at, int(end - at), &stmt, &tail) != SQLITE_OK)
            throw Exception(DbFile::Explain(db));
        int rc = SQLITE_DONE;
        if (stmt) {
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) { }
            sqlite3_finalize(stmt);
        }
        if (rc != SQLITE_DONE)
            throw Exception(DbFile::Explain(db));
        at = tail;
    }
}

void DeleteRange(sqlite3 *db, qint64 first, qint64 last)
{
    TStatement(db, kDeleteLog).Bind(1, first).Bind(2, last).Run();
}

void AddStep(sqlite3 *db, bool redo, const QString &name, qint64 first, qint64 last)
{
    TStatement(db, kAddStep).Bind(1, redo ? 1 : 0).Bind(2, name).Bind(3, first).Bind(4, last).Run();
}

} // namespace

namespace UndoLog {

QString StepText(const QString &text)
{
    constexpr int kLongest = 16;
    const QString line = text.simplified();
    return line.size() > kLongest ? line.left(kLongest - 1) + u'…' : line;
}

void SealStep(sqlite3 *db, const QString &name)
{
    // Every step is made of the newest log rows, so the step of the highest
    // ID holds the highest sealed row, and the rows above it are the change.
    const qint64 sealed = QueryInt(db, kLastStepSeq, 0);
    const qint64 last = QueryInt(db, kLastLogSeq, 0);
    if (last <= sealed)
        return;
    {
        std::vector<qint64> redo;
        TStatement steps(db, kRedoSteps);
        while (steps.Step()) {
            DeleteRange(db, steps.Int(1), steps.Int(2));
            redo.push_back(steps.Int(0));
        }
        for (const qint64 id : redo)
            TStatement(db, kDeleteStep).Bind(1, id).Run();
    }
    AddStep(db, false, name.isEmpty() ? kUnnamedStep : name, sealed + 1, last);
    // Only undo steps are left: the oldest past the limit go with their rows.
    TStatement oldest(db, kOldestKept);
    oldest.Bind(1, kMaxSteps);
    if (oldest.Step()) {
        const qint64 id = oldest.Int(0);
        const qint64 seq = oldest.Int(1);
        TStatement(db, kDeleteLogUpTo).Bind(1, seq).Run();
        TStatement(db, kDeleteStepsUpTo).Bind(1, id).Run();
    }
}

QString TopName(sqlite3 *db, bool redo)
{
    TStatement top(db, kTopStep);
    top.Bind(1, redo ? 1 : 0);
    return top.Step() ? QString::fromUtf8(top.Text(1)) : QString();
}

void Replay(sqlite3 *db, bool redo)
{
    TStatement top(db, kTopStep);
    top.Bind(1, redo ? 1 : 0);
    if (!top.Step())
        throw Exception(redo ? QStringLiteral("没有可以重做的操作")
                             : QStringLiteral("没有可以撤销的操作"));
    const qint64 id = top.Int(0);
    const QString name = QString::fromUtf8(top.Text(1));
    const qint64 first = top.Int(2);
    const qint64 last = top.Int(3);

    std::vector<QByteArray> statements;
    {
        TStatement log(db, kStepStatements);
        log.Bind(1, first).Bind(2, last);
        while (log.Step())
            statements.push_back(log.Text(0));
    }
    const qint64 sealed = QueryInt(db, kLastStepSeq, 0);
    TStatement(db, kStartReplay).Run();
    for (const QByteArray &statement : statements)
        ExecAll(db, statement);
    TStatement(db, kEndReplay).Run();
    // What the statements logged reverses them again: the step of the other stack.
    DeleteRange(db, first, last);
    TStatement(db, kDeleteStep).Bind(1, id).Run();
    AddStep(db, !redo, name, sealed + 1, QueryInt(db, kLastLogSeq, sealed));
}

} // namespace UndoLog
