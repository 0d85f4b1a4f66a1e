#pragma once

#include <QString>

struct sqlite3;

// The undo history kept in the books (tables UndoLog and UndoStep): the
// triggers on the books' tables log, for every changed row, the statement that
// reverses the change; these routines group the log into named steps and
// replay them. Each runs inside the caller's transaction and raises Exception
// when the engine fails, so the caller's rollback leaves history as it was.
namespace UndoLog {

// The steps kept; older ones are dropped when a new step is made.
constexpr int kMaxSteps = 500;
// The name of a step whose command named none.
inline const QString kUnnamedStep = QStringLiteral("修改账本");

// A name or remark as a step's name shows it: on one line, a long one cut short.
QString StepText(const QString &text);

// Makes the log rows of the change in progress into an undo step named
// `name`, drops the redo steps (a new change ends them) and the oldest steps
// past kMaxSteps. Nothing when the change logged no row.
void SealStep(sqlite3 *db, const QString &name);
// The name of the step an undo (redo false) or a redo would replay; empty
// when there is none.
QString TopName(sqlite3 *db, bool redo);
// Runs the reversing statements of the top undo (or redo) step, newest first,
// and makes what they logged the top step of the other stack. Raises when
// there is no such step.
void Replay(sqlite3 *db, bool redo);

} // namespace UndoLog
