#pragma once

#include "Outcome.h"

#include <QString>

class QFileDevice;
struct sqlite3;

// What makes a SQLite file this program's books: the application id, the
// schema version, and a salted verifier of the database password.
namespace DbFile {

constexpr int kApplicationId = 0x424B4550; // "BKEP"
constexpr int kSchemaVersion = 8;

// The salted SHA-256 verifier of the database password, as hex.
QString PasswordVerifier(const QString &saltHex);
// A new random salt, as hex.
QString NewSalt();

// How much of a file is checked: at every open, the marks of our books, the
// six tables (and those later versions added) with their columns and
// the engine's quick check (one pass over every page); at start, all of that
// but the quick check, which runs afterwards (CheckPages); before a restore,
// the full integrity check instead, and the account totals against the
// records.
enum class TCheckDepth { Open, Start, Restore };

// Whether the open file is usable books, or why not. Only reads: a failed
// check leaves the file as it was.
Outcome Check(sqlite3 *db, TCheckDepth depth);
// The engine's quick check alone: whether every page is sound, or why not.
Outcome CheckPages(sqlite3 *db);
// Whether the accounts' income and expense totals match their records, or
// which does not.
Outcome CheckTotals(sqlite3 *db);
// Sets the journal and sync modes every connection runs with.
Outcome Configure(sqlite3 *db);
// The schema version of the open file; -1 when it cannot be read.
int SchemaVersion(sqlite3 *db);
// Whether opening the file as the books writes nothing to it: it is of the
// current schema and keeps a rollback journal (no WAL file to copy back).
bool OpensUnchanged(sqlite3 *db);
// Brings a file of an older schema version up to the current one.
Outcome Upgrade(sqlite3 *db);

// The engine's message for the last failure on db.
QString LastError(sqlite3 *db);
// The same in the user's words where the cause is one the user can act on
// (a full disk, a read-only folder), else the engine's message.
QString Explain(sqlite3 *db, const QString &fileName = {});

// Temporary copies of the books (a backup being written, the checked copy of
// a restore) carry this mark and six random characters in their names, so a
// copy left by a killed run is found and removed later.
inline const QString kPartialMark = QStringLiteral(".bookkeep-partial-");
// A temporary name beside `fileName`, for QTemporaryFile.
QString PartialTemplate(const QString &fileName);
// Removes the partial copies in a folder, with their journals, but the copy
// named `keep` and its journals. Never raises.
void RemovePartials(const QString &dir, const QString &keep = {});
// Copies the bytes of a file into an open file.
Outcome CopyInto(const QString &from, QFileDevice &to);

} // namespace DbFile
