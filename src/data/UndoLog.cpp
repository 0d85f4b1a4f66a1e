#include "UndoLog.h"

#include "DbFile.h"
#include "UException.h"

#include <iterator>
#include <memory>
#include <sqlite3.h>
#include <vector>

namespace UndoLog {

namespace {

// A table whose changes are logged: its key and the columns a logged row
// restores. A log row's Op names the table and what reverses the change:
// 1 + 2 * index deletes the row of key Id; 2 + 2 * index puts the row of key
// Id back with the values V1... (deleting the row of that key first, so that
// a restore is never an update that other triggers would act on). Op 0 is a
// step's marker (V1 its name, V2 the record ID counter after it) and Op -1
// the base row before the oldest step (V2 the counter then).
struct TLogged
{
    const char *Table;
    const char *Key;
    std::vector<const char *> Columns;
    int Since = 5; // the schema version whose upgrade made its triggers
};
// New tables go last, so that the Ops of rows already logged keep their meaning.
const TLogged kLogged[] = {
    {"Account", "rowid", {"AccountName", "Remark", "Fare", "InFare", "OutFare"}},
    {"BookKeep", "ID", {"InOutType", "TypeID", "Remark", "Fare", "AccountName", "InDate"}},
    {"InType", "SelfIndex", {"ParentIndex", "TypeName"}},
    {"OutType", "SelfIndex", {"ParentIndex", "TypeName"}},
    {"ImportedRow", "rowid", {"SourceId", "RecordID"}},
    {"Transfer", "ID", {"InDate", "FromAccount", "ToAccount", "Fare", "Fee", "Remark"}, 6},
    {"Reconciled", "rowid", {"AccountName", "InDate", "Fare"}, 6},
    {"ImportLink", "rowid", {"SourceId", "RecordID", "TransferID", "App", "Awaits"}, 7},
    {"ScheduleDone", "rowid", {"ScheduleID", "Occurrence", "RecordID"}, 8},
};
constexpr int kImportedRow = 4; // its index in kLogged

int DeleteOp(int table)
{
    return 1 + 2 * table;
}

int RestoreOp(int table)
{
    return 2 + 2 * table;
}

// The values a logged row of this Op holds, its key first; raises for an Op
// no trigger writes.
int ValueCount(int op)
{
    const int table = (op - 1) / 2;
    if (op < 1 || table >= int(std::size(kLogged)))
        throw Exception(QStringLiteral("撤销记录无法识别（%1）").arg(op));
    return op == DeleteOp(table) ? 1 : 1 + int(kLogged[table].Columns.size());
}

// The log's columns after Seq; the redo steps are kept in a table of the same.
const char *const kLogColumns = "Op INTEGER NOT NULL, Id, V1, V2, V3, V4, V5, V6";

// The log's rows newest first: whether the row is a change's (not a marker or
// the base row), whether there are redo steps, its Seq, and whether the table
// row it would put back still holds those values, as after an update that
// wrote the values it found. No row when the log is empty.
QByteArray SealReadText()
{
    QByteArray unchanged = "case L.Op";
    for (int table = 0; table < int(std::size(kLogged)); ++table) {
        const TLogged &logged = kLogged[table];
        unchanged += " when " + QByteArray::number(RestoreOp(table)) + " then exists(select 1 from "
            + logged.Table + " where " + logged.Key + "=L.Id";
        for (std::size_t i = 0; i < logged.Columns.size(); ++i)
            unchanged += QByteArray(" and ") + logged.Columns[i] + " is L.V"
                + QByteArray::number(qsizetype(i + 1));
        unchanged += ")";
    }
    return "select L.Op>0,exists(select 1 from UndoRedo),L.Seq," + unchanged
        + " else 0 end from UndoLog L order by L.Seq desc";
}

const QByteArray kSealReadText = SealReadText();

} // namespace

const char *const kSealRead = kSealReadText.constData();
const char *const kSealMarker = "insert into UndoLog(Op,V1,V2) values (0,?1,(select seq from "
                                "sqlite_sequence where name='BookKeep'))";

namespace {

// The statements of THistory, at their TStatementId.
const char *const kStatements[] = {
    kSealRead,
    "delete from UndoRedo",
    kSealMarker,
    "insert into UndoRedo(Op,V1,V2) values (0,?1,?2)",
    "select Seq from UndoLog where Op=0 order by Seq desc limit 1 offset ?1",
    "delete from UndoLog where Seq<?1",
    "update UndoLog set Op=-1,V1=null where Seq=?1",
    "select Seq,V1,V2 from UndoLog where Op=0 order by Seq desc limit 1",
    "select Seq,V1,V2 from UndoRedo where Op=0 order by Seq desc limit 1",
    // StepStart: the marker or base row before a step, with its counter.
    "select Seq,V2 from UndoLog where Op<=0 and Seq<?1 order by Seq desc limit 1",
    "select Seq,V2 from UndoRedo where Op<=0 and Seq<?1 order by Seq desc limit 1",
    "select Op,Id,V1,V2,V3,V4,V5,V6 from UndoLog where Seq>?1 and Seq<?2 order by Seq desc",
    "select Op,Id,V1,V2,V3,V4,V5,V6 from UndoRedo where Seq>?1 and Seq<?2 order by Seq desc",
    "delete from UndoLog where Seq>?1 and Seq<=?2",
    "delete from UndoRedo where Seq>?1 and Seq<=?2",
    "insert into UndoRedo(Op,Id,V1,V2,V3,V4,V5,V6) "
    "select Op,Id,V1,V2,V3,V4,V5,V6 from UndoLog where Seq>?1 order by Seq",
    "delete from UndoLog where Seq>?1",
    "update sqlite_sequence set seq=?1 where name='BookKeep'",
    "insert into sqlite_sequence(name,seq) values ('BookKeep',?1)",
    "delete from sqlite_sequence where name='BookKeep'",
    "select Op>0,exists(select 1 from UndoRedo) from UndoLog order by Seq desc limit 1",
};

[[noreturn]] void Fail(sqlite3 *db)
{
    throw Exception(DbFile::Explain(db));
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

// A copy of a value read from the log, so that the log can change while the
// step is replayed.
struct TValueFree
{
    void operator()(sqlite3_value *value) const { sqlite3_value_free(value); }
};
using TValue = std::unique_ptr<sqlite3_value, TValueFree>;

// One logged row: its Op, then Id and the values V1... it holds, as read.
struct TLogRow
{
    int Op = 0;
    std::vector<TValue> Values;
};

// The statements that reverse logged rows, prepared for one replay: per
// table, the delete of a key and the insert of a whole row.
class TReverser
{
public:
    explicit TReverser(sqlite3 *db)
        : FDb(db)
    {
    }
    TReverser(const TReverser &) = delete;
    TReverser &operator=(const TReverser &) = delete;
    ~TReverser()
    {
        for (sqlite3_stmt *stmt : FStatements)
            sqlite3_finalize(stmt);
    }

    void Reverse(const TLogRow &row)
    {
        const int table = (row.Op - 1) / 2;
        Run(Statement(table, false), row, 1);
        if (row.Op == RestoreOp(table))
            Run(Statement(table, true), row, int(row.Values.size()));
    }

private:
    sqlite3_stmt *Statement(int table, bool insert)
    {
        sqlite3_stmt *&stmt = FStatements[2 * table + (insert ? 1 : 0)];
        if (stmt)
            return stmt;
        const TLogged &logged = kLogged[table];
        QByteArray sql;
        if (insert) {
            QByteArray names = logged.Key;
            QByteArray values = "?1";
            for (std::size_t i = 0; i < logged.Columns.size(); ++i) {
                names += QByteArray(",") + logged.Columns[i];
                values += ",?" + QByteArray::number(qsizetype(i + 2));
            }
            sql = "insert into " + QByteArray(logged.Table) + "(" + names + ") values (" + values
                + ")";
        } else {
            sql = "delete from " + QByteArray(logged.Table) + " where " + logged.Key + "=?1";
        }
        if (sqlite3_prepare_v2(FDb, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
            Fail(FDb);
        return stmt;
    }
    void Run(sqlite3_stmt *stmt, const TLogRow &row, int count)
    {
        for (int i = 0; i < count; ++i) {
            if (sqlite3_bind_value(stmt, i + 1, row.Values[i].get()) != SQLITE_OK)
                Fail(FDb);
        }
        const int rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        if (rc != SQLITE_DONE)
            Fail(FDb);
    }

    sqlite3 *FDb;
    std::array<sqlite3_stmt *, 2 * std::size(kLogged)> FStatements {};
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
    TRun &Bind(int index, sqlite3_value *value)
    {
        if (sqlite3_bind_value(FStmt, index, value) != SQLITE_OK)
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
    qint64 Int(int column) const { return sqlite3_column_int64(FStmt, column); }
    QString Text(int column) const
    {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(FStmt, column)),
                                 sqlite3_column_bytes(FStmt, column));
    }
    // A copy of a column's value, kept after the run.
    TValue Value(int column) const
    {
        TValue value(sqlite3_value_dup(sqlite3_column_value(FStmt, column)));
        if (!value)
            throw Exception(QStringLiteral("内存不足"));
        return value;
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

namespace {

// The triggers that log the changes of one table.
QByteArray TableTriggers(int table)
{
    const TLogged &logged = kLogged[table];
    const QByteArray name = logged.Table;
    QByteArray columns = "Op, Id";
    QByteArray oldValues = "OLD." + QByteArray(logged.Key);
    for (std::size_t i = 0; i < logged.Columns.size(); ++i) {
        columns += ", V" + QByteArray::number(qsizetype(i + 1));
        oldValues += QByteArray(", OLD.") + logged.Columns[i];
    }
    const QByteArray restore = "INSERT INTO UndoLog (" + columns + ") VALUES ("
        + QByteArray::number(RestoreOp(table)) + ", " + oldValues + ");";
    const QByteArray remove = "INSERT INTO UndoLog (Op, Id) VALUES ("
        + QByteArray::number(DeleteOp(table)) + ", NEW." + logged.Key + ");";
    QByteArray sql = "CREATE TRIGGER " + name + "UndoInsert AFTER INSERT ON " + name + " BEGIN "
        + remove + " END;\n";
    sql += "CREATE TRIGGER " + name + "UndoUpdate BEFORE UPDATE ON " + name + " BEGIN " + restore
        + " END;\n";
    sql += "CREATE TRIGGER " + name + "UndoDelete BEFORE DELETE ON " + name + " BEGIN " + restore
        + " END;\n";
    // A row moved to another key: its restore (logged before) must not
    // find the moved row still there.
    if (qstrcmp(logged.Key, "rowid") != 0)
        sql += "CREATE TRIGGER " + name + "UndoRekey AFTER UPDATE OF " + logged.Key + " ON " + name
            + " WHEN NEW." + logged.Key + " IS NOT OLD." + logged.Key + " BEGIN " + remove
            + " END;\n";
    return sql;
}

} // namespace

QByteArray Schema(int version)
{
    QByteArray sql = QByteArray("CREATE TABLE UndoLog (Seq INTEGER PRIMARY KEY, ") + kLogColumns
        + ");\nCREATE TABLE UndoRedo (Seq INTEGER PRIMARY KEY, " + kLogColumns + ");\n";
    for (int table = 0; table < int(std::size(kLogged)); ++table) {
        if (kLogged[table].Since <= version)
            sql += TableTriggers(table);
    }
    // An insert that replaces a row of the same source identity deletes it
    // without firing the delete trigger: its restore is logged before.
    sql += "CREATE TRIGGER ImportedRowUndoReplace BEFORE INSERT ON ImportedRow BEGIN INSERT INTO "
           "UndoLog (Op, Id, V1, V2) SELECT "
        + QByteArray::number(RestoreOp(kImportedRow))
        + ", rowid, SourceId, RecordID FROM ImportedRow WHERE SourceId = NEW.SourceId; END;\n";
    // The base row: the record ID counter before the first step.
    sql += "INSERT INTO UndoLog (Op, V2) VALUES (-1, (SELECT seq FROM sqlite_sequence WHERE name "
           "= 'BookKeep'));\n";
    return sql;
}

QByteArray Triggers(int version)
{
    QByteArray sql;
    for (int table = 0; table < int(std::size(kLogged)); ++table) {
        if (kLogged[table].Since == version)
            sql += TableTriggers(table);
    }
    return sql;
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
    // The marker commits with the change it closes, or rolls back with it.
    Q_ASSERT(!sqlite3_get_autocommit(FDb));
    bool redo = false;
    bool changed = false;
    qint64 since = 0; // the marker or base row before the change
    try {
        TRun state(*this, SealState);
        // Nothing logged since the last marker.
        if (!state.Step() || state.Int(0) == 0)
            return;
        redo = state.Int(1) != 0;
        // Read newest first back to the marker; the first row that changed
        // something ends the search, so a change is told by its last rows.
        do {
            if (state.Int(0) == 0) {
                since = state.Int(2);
                break;
            }
            changed = state.Int(3) == 0;
        } while (!changed && state.Step());
    } catch (const Exception &) {
        // The read names every logged table; books that lack one (damaged,
        // or changed by another program) cannot compare rows, and whatever
        // was logged is a step.
        TRun state(*this, SealStatePlain);
        if (!state.Step() || state.Int(0) == 0)
            return;
        redo = state.Int(1) != 0;
        changed = true;
    }
    // Rows that only wrote what they found make no step, and the steps to
    // redo stay: nothing was changed that they could clash with.
    if (!changed) {
        TRun(*this, DropLogAfter).Bind(1, since).Run();
        return;
    }
    const TKeepLastRowid keep(FDb);
    if (redo)
        TRun(*this, DropRedo).Run();
    TRun(*this, AddMarker).Bind(1, name.isEmpty() ? kUnnamedStep : name).Run();
    // Trimmed now and then: the log grows by at most this many rows past
    // the limit.
    constexpr qint64 kTrimEvery = 2000;
    const qint64 marker = sqlite3_last_insert_rowid(FDb);
    if (marker - FTrimmedAt >= kTrimEvery) {
        FTrimmedAt = marker;
        Trim();
    }
}

void THistory::Trim()
{
    qint64 oldest = 0;
    {
        TRun kept(*this, OldestKept);
        kept.Bind(1, kMaxSteps);
        if (!kept.Step())
            return;
        oldest = kept.Int(0);
    }
    TRun(*this, DropLogBefore).Bind(1, oldest).Run();
    TRun(*this, MakeBase).Bind(1, oldest).Run();
}

QString THistory::TopName(bool redo)
{
    TRun top(*this, redo ? TopRedoMarker : TopMarker);
    return top.Step() ? top.Text(1) : QString();
}

void THistory::RestoreCounter(sqlite3_value *counter)
{
    if (sqlite3_value_type(counter) == SQLITE_NULL) {
        TRun(*this, DropCounter).Run();
        return;
    }
    TRun(*this, SetCounter).Bind(1, counter).Run();
    if (sqlite3_changes(FDb) == 0)
        TRun(*this, AddCounter).Bind(1, counter).Run();
}

void THistory::Replay(bool redo)
{
    // A replay that fails part way is rolled back whole by the caller.
    Q_ASSERT(!sqlite3_get_autocommit(FDb));
    const auto pick = [redo](TStatementId undoId) { return TStatementId(undoId + (redo ? 1 : 0)); };
    // Only the kept steps can be undone, however many were made since the
    // last trim.
    if (!redo)
        Trim();
    qint64 last = 0;
    QString name;
    TValue counterAfter;
    {
        TRun top(*this, pick(TopMarker));
        if (!top.Step())
            throw Exception(redo ? QStringLiteral("没有可以重做的操作")
                                 : QStringLiteral("没有可以撤销的操作"));
        last = top.Int(0);
        name = top.Text(1);
        counterAfter = top.Value(2);
    }
    // The step's rows follow the marker or base row before it; an undo sets
    // the counter back to what that row kept (none kept it: left as it is).
    qint64 first = 0;
    TValue counterBefore;
    {
        TRun start(*this, pick(StepStart));
        start.Bind(1, last);
        if (start.Step()) {
            first = start.Int(0);
            if (!redo)
                counterBefore = start.Value(1);
        }
    }
    std::vector<TLogRow> rows;
    {
        TRun log(*this, pick(StepRows));
        log.Bind(1, first).Bind(2, last);
        while (log.Step()) {
            TLogRow row;
            row.Op = int(log.Int(0));
            const int count = ValueCount(row.Op);
            for (int column = 1; column <= count; ++column)
                row.Values.push_back(log.Value(column));
            rows.push_back(std::move(row));
        }
    }
    const TKeepLastRowid keep(FDb);
    {
        TReverser reverser(FDb);
        for (const TLogRow &row : rows)
            reverser.Reverse(row);
    }
    if (redo)
        RestoreCounter(counterAfter.get());
    else if (counterBefore)
        RestoreCounter(counterBefore.get());
    TRun(*this, pick(DropStep)).Bind(1, first).Bind(2, last).Run();
    // What the replay logged reverses it again: the top step of the other
    // stack. Everything was sealed before, so an undo's rows follow its
    // marker, and a redo's the last marker of the undo steps.
    if (redo) {
        TRun(*this, AddMarker).Bind(1, name).Run();
    } else {
        TRun(*this, MoveToRedo).Bind(1, last).Run();
        TRun(*this, DropLogAfter).Bind(1, last).Run();
        TRun(*this, AddRedoMarker).Bind(1, name).Bind(2, counterAfter.get()).Run();
    }
}

} // namespace UndoLog
