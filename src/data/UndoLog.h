#pragma once

#include <QByteArray>
#include <QString>
#include <array>

struct sqlite3;
struct sqlite3_stmt;
struct sqlite3_value;

// The undo history kept in the books. Triggers on the books' tables log, for
// every changed row, what reverses the change: the row's key and its old
// values, in plain columns, into UndoLog. A THistory closes each command's
// change with a marker row naming the step, and replays steps. Each of its
// routines runs inside the caller's transaction and raises Exception when the
// engine fails, so the caller's rollback leaves history as it was.
namespace UndoLog {

// The steps kept; older ones are dropped as new steps are made.
constexpr int kMaxSteps = 500;
// The name of a step whose command named none.
inline const QString kUnnamedStep = QStringLiteral("修改账本");

// A name or remark as a step's name shows it: on one line, a long one cut short.
QString StepText(const QString &text);

// The two statements with which a commit closes its step: the read of the
// log's rows newest first (is the row a step's, are there redo steps, its
// Seq, does its table row hold the values it would put back) and the insert
// of the marker (?1 the step's name).
extern const char *const kSealRead;
extern const char *const kSealMarker;

// The history's tables and the triggers that write it, as SQL, for the
// tables of schema version `version`. The template (the current version) and
// the upgrade to the schema version that brought the history both run this.
QByteArray Schema(int version);
// The triggers of the tables that schema version `version` added to those
// the history logs; the upgrade to that version runs this.
QByteArray Triggers(int version);

// The history of the books open on one connection. Every commit seals its
// change as a step, so the statements are kept prepared; they are finalized
// with this object, before the connection closes.
class THistory
{
public:
    explicit THistory(sqlite3 *db);
    ~THistory();
    THistory(const THistory &) = delete;
    THistory &operator=(const THistory &) = delete;

    // Closes the log rows of the change in progress with a marker of the step
    // `name` (the general name when empty) and drops the redo steps (a new
    // change ends them). Nothing when the change logged no row; when its rows
    // changed nothing (each row holds the values it would put back), they are
    // dropped and the redo steps stay. Drops the oldest steps past kMaxSteps
    // now and then.
    void SealStep(const QString &name);
    // The name of the step an undo (redo false) or a redo would replay; empty
    // when there is none.
    QString TopName(bool redo);
    // Reverses the top undo (or redo) step, newest row first, and makes what
    // that logged the top step of the other stack. Raises when there is no
    // such step.
    void Replay(bool redo);

private:
    // The statements kept prepared, and one run of one of them. Where a pair
    // is listed, the second is the same on the redo steps.
    enum TStatementId {
        SealState,
        DropRedo,
        AddMarker,
        AddRedoMarker,
        OldestKept,
        DropLogBefore,
        MakeBase,
        TopMarker,
        TopRedoMarker,
        StepStart,
        RedoStepStart,
        StepRows,
        RedoStepRows,
        DropStep,
        DropRedoStep,
        MoveToRedo,
        DropLogAfter,
        SetCounter,
        AddCounter,
        DropCounter,
        SealStatePlain,
        StatementCount
    };
    class TRun;
    // Sets the record ID counter to a value a marker kept (null: no counter).
    void RestoreCounter(sqlite3_value *counter);
    // Drops the steps past kMaxSteps; the marker of the newest one dropped
    // stays as the base row that keeps the counter before the oldest step.
    void Trim();

    sqlite3 *FDb;
    std::array<sqlite3_stmt *, StatementCount> FStatements {};
    // The log row at which the history was last trimmed in this session.
    qint64 FTrimmedAt = 0;
};

} // namespace UndoLog
