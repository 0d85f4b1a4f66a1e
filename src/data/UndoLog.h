#pragma once

#include <QString>
#include <array>

struct sqlite3;
struct sqlite3_stmt;

// The undo history kept in the books (tables UndoLog and UndoStep; see
// schema.sql): the triggers on the books' tables log, for every changed row,
// the statement that reverses the change; a THistory groups the log into
// named steps and replays them. Each of its routines runs inside the caller's transaction and
// raises Exception when the engine fails, so the caller's rollback leaves history as it was.
namespace UndoLog {

// The steps kept; older ones are dropped when a new step is made.
constexpr int kMaxSteps = 500;
// The name of a step whose command named none.
inline const QString kUnnamedStep = QStringLiteral("修改账本");

// A name or remark as a step's name shows it: on one line, a long one cut short.
QString StepText(const QString &text);

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
    // change ends them). Nothing when the change logged no row. Files the
    // steps when the log has grown enough since they were last filed.
    void SealStep(const QString &name);
    // Files the marked steps as undo steps and drops the oldest past
    // kMaxSteps. Only steps were made since the last filing, so dropping then
    // keeps the same steps as dropping at each one would.
    void FileSteps();
    // The name of the step an undo (redo false) or a redo would replay; empty
    // when there is none.
    QString TopName(bool redo);
    // Runs the reversing statements of the top undo (or redo) step, newest
    // first, and makes what they logged the top step of the other stack.
    // Raises when there is no such step.
    void Replay(bool redo);

private:
    // The statements kept prepared, and one run of one of them.
    enum TStatementId {
        SealState,
        RedoSteps,
        DeleteRedoSteps,
        AddMarker,
        Markers,
        LastMarker,
        AddStep,
        OldestKept,
        DeleteLogUpTo,
        DeleteStepsUpTo,
        TopStep,
        LastSeqs,
        StepStatements,
        DeleteLog,
        DeleteStep,
        StartReplay,
        EndReplay,
        StatementCount
    };
    class TRun;
    // The last log row that a filed step holds.
    qint64 FiledSeq();

    sqlite3 *FDb;
    std::array<sqlite3_stmt *, StatementCount> FStatements {};
};

} // namespace UndoLog
