#include "UndoLog.h"

#include "DbFile.h"
#include "UException.h"

#include <QByteArray>
#include <algorithm>
#include <sqlite3.h>
#include <utility>
#include <vector>

namespace UndoLog {

namespace {

// The statements of THistory, at their TStatementId. Every step is made of
// the newest log rows, so the step of the highest ID holds the highest filed
// row.
const char *const kStatements[] = {
    // SealState: the last filed row, the last row and whether it is a
    // marker, and whether there are redo steps; no row when the log is empty.
    "select (select LastSeq from UndoStep order by ID desc limit 1),Seq,Name is not null,"
    "(select max(ID) from UndoStep where Redo=1) from UndoLog order by Seq desc limit 1",
    "select FirstSeq,LastSeq from UndoStep where Redo=1",
    "delete from UndoStep where Redo=1",
    "insert into UndoLog(Name) values (?1)",
    "select Seq,Name from UndoLog where Seq>?1 and Name is not null order by Seq",
    "select Name from UndoLog where Seq>?1 and Name is not null order by Seq desc limit 1",
    "insert into UndoStep(Redo,Name,FirstSeq,LastSeq) values (?1,?2,?3,?4)",
    "select ID,LastSeq from UndoStep order by ID desc limit 1 offset ?1",
    "delete from UndoLog where Seq<=?1",
    "delete from UndoStep where ID<=?1",
    "select ID,Name,FirstSeq,LastSeq from UndoStep where Redo=?1 order by ID desc limit 1",
    // LastSeqs: the last filed row and the last row.
    "select (select LastSeq from UndoStep order by ID desc limit 1),(select max(Seq) from UndoLog)",
    "select Statement from UndoLog where Seq between ?1 and ?2 and Statement is not null "
    "order by Seq desc",
    "delete from UndoLog where Seq between ?1 and ?2",
    "delete from UndoStep where ID=?1",
    "insert into UndoReplay(Running) values (1)",
    "delete from UndoReplay",
};

[[noreturn]] void Fail(sqlite3 *db)
{
    throw Exception(DbFile::Explain(db));
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
            Fail(db);
        int rc = SQLITE_DONE;
        if (stmt) {
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) { }
            sqlite3_finalize(stmt);
        }
        if (rc != SQLITE_DONE)
            Fail(db);
        at = tail;
    }
}

// Our own inserts must not change what last_insert_rowid() tells the
// program's statements.
class TKeepLastRowid
{
public:
    explicit TKeepLastRowid(sqlite3 *db)
        : FDb(db)
        , FRowid(sqlite3_last_insert_rowid(db))
    {
    }
    ~TKeepLastRowid() { sqlite3_set_last_insert_rowid(FDb, FRowid); }

private:
    sqlite3 *FDb;
    sqlite3_int64 FRowid;
};

} // namespace

// One run of a prepared statement: parameters bound, rows stepped; reset when
// it goes, so it holds no lock afterwards.
class THistory::TRun
{
public:
    TRun(THistory &history, TStatementId id)
        : FDb(history.FDb)
    {
        sqlite3_stmt *&stmt = history.FStatements[id];
        if (!stmt
            && sqlite3_prepare_v3(FDb, kStatements[id], -1, SQLITE_PREPARE_PERSISTENT, &stmt,
                                  nullptr)
                != SQLITE_OK)
            Fail(FDb);
        FStmt = stmt;
    }
    TRun(const TRun &) = delete;
    TRun &operator=(const TRun &) = delete;
    ~TRun()
    {
        sqlite3_reset(FStmt);
        sqlite3_clear_bindings(FStmt);
    }

    TRun &Bind(int index, qint64 value)
    {
        if (sqlite3_bind_int64(FStmt, index, value) != SQLITE_OK)
            Fail(FDb);
        return *this;
    }
    TRun &Bind(int index, const QString &value)
    {
        const QByteArray utf8 = value.toUtf8();
        if (sqlite3_bind_text(FStmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT)
            != SQLITE_OK)
            Fail(FDb);
        return *this;
    }
    // Steps once: true on a row, false when done.
    bool Step()
    {
        const int rc = sqlite3_step(FStmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            Fail(FDb);
        return false;
    }
    void Run()
    {
        while (Step()) { }
    }
    bool IsNull(int column) const { return sqlite3_column_type(FStmt, column) == SQLITE_NULL; }
    qint64 Int(int column) const { return sqlite3_column_int64(FStmt, column); }
    QByteArray Text(int column) const
    {
        return QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(FStmt, column)),
                          sqlite3_column_bytes(FStmt, column));
    }

private:
    sqlite3 *FDb;
    sqlite3_stmt *FStmt = nullptr;
};

QString StepText(const QString &text)
{
    constexpr int kLongest = 16;
    const QString line = text.simplified();
    return line.size() > kLongest ? line.left(kLongest - 1) + u'…' : line;
}

THistory::THistory(sqlite3 *db)
    : FDb(db)
{
}

THistory::~THistory()
{
    for (sqlite3_stmt *stmt : FStatements)
        sqlite3_finalize(stmt);
}

void THistory::SealStep(const QString &name)
{
    bool redo = false;
    qint64 filed = 0;
    {
        TRun state(*this, SealState);
        // Nothing logged since the last marker or step.
        if (!state.Step() || state.Int(2) != 0 || state.Int(1) <= state.Int(0))
            return;
        filed = state.Int(0);
        redo = !state.IsNull(3);
    }
    const TKeepLastRowid keep(FDb);
    if (redo) {
        {
            TRun steps(*this, RedoSteps);
            while (steps.Step())
                TRun(*this, DeleteLog).Bind(1, steps.Int(0)).Bind(2, steps.Int(1)).Run();
        }
        TRun(*this, DeleteRedoSteps).Run();
    }
    TRun(*this, AddMarker).Bind(1, name.isEmpty() ? kUnnamedStep : name).Run();
    // Filed now and then, so that the limit holds for books that are never
    // undone: the log grows by at most this many rows past it.
    constexpr qint64 kFileEvery = 2000;
    if (sqlite3_last_insert_rowid(FDb) - filed >= kFileEvery)
        FileSteps();
}

qint64 THistory::FiledSeq()
{
    TRun seqs(*this, LastSeqs);
    seqs.Step();
    return seqs.Int(0);
}

void THistory::FileSteps()
{
    qint64 filed = FiledSeq();
    std::vector<std::pair<qint64, QString>> markers;
    {
        TRun rows(*this, Markers);
        rows.Bind(1, filed);
        while (rows.Step())
            markers.emplace_back(rows.Int(0), QString::fromUtf8(rows.Text(1)));
    }
    if (markers.empty())
        return;
    const TKeepLastRowid keep(FDb);
    for (const auto &[seq, name] : markers) {
        TRun(*this, AddStep).Bind(1, 0).Bind(2, name).Bind(3, filed + 1).Bind(4, seq).Run();
        filed = seq;
    }
    // A marker ends any redo steps, so only undo steps are here.
    qint64 id = 0;
    qint64 seq = 0;
    {
        TRun kept(*this, OldestKept);
        kept.Bind(1, kMaxSteps);
        if (!kept.Step())
            return;
        id = kept.Int(0);
        seq = kept.Int(1);
    }
    TRun(*this, DeleteLogUpTo).Bind(1, seq).Run();
    TRun(*this, DeleteStepsUpTo).Bind(1, id).Run();
}

QString THistory::TopName(bool redo)
{
    if (!redo) {
        TRun marker(*this, LastMarker);
        marker.Bind(1, FiledSeq());
        if (marker.Step())
            return QString::fromUtf8(marker.Text(0));
    }
    TRun top(*this, TopStep);
    top.Bind(1, redo ? 1 : 0);
    return top.Step() ? QString::fromUtf8(top.Text(1)) : QString();
}

void THistory::Replay(bool redo)
{
    FileSteps();
    qint64 id = 0;
    QString name;
    qint64 first = 0;
    qint64 last = 0;
    {
        TRun top(*this, TopStep);
        top.Bind(1, redo ? 1 : 0);
        if (!top.Step())
            throw Exception(redo ? QStringLiteral("没有可以重做的操作")
                                 : QStringLiteral("没有可以撤销的操作"));
        id = top.Int(0);
        name = QString::fromUtf8(top.Text(1));
        first = top.Int(2);
        last = top.Int(3);
    }
    std::vector<QByteArray> statements;
    {
        TRun log(*this, StepStatements);
        log.Bind(1, first).Bind(2, last);
        while (log.Step())
            statements.push_back(log.Text(0));
    }
    const TKeepLastRowid keep(FDb);
    const qint64 filed = FiledSeq();
    TRun(*this, StartReplay).Run();
    for (const QByteArray &statement : statements)
        ExecAll(FDb, statement);
    TRun(*this, EndReplay).Run();
    // What the statements logged reverses them again: the step of the other stack.
    TRun(*this, DeleteLog).Bind(1, first).Bind(2, last).Run();
    TRun(*this, DeleteStep).Bind(1, id).Run();
    qint64 logged = filed;
    {
        TRun seqs(*this, LastSeqs);
        seqs.Step();
        if (!seqs.IsNull(1))
            logged = std::max(filed, seqs.Int(1));
    }
    TRun(*this, AddStep)
        .Bind(1, redo ? 0 : 1)
        .Bind(2, name)
        .Bind(3, filed + 1)
        .Bind(4, logged)
        .Run();
}

} // namespace UndoLog
