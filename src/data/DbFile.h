#pragma once

#include <QString>

struct sqlite3;

// What makes a SQLite file this program's books: the application id, the
// schema version, and a salted verifier of the database password.
namespace DbFile {

constexpr int kApplicationId = 0x424B4550; // "BKEP"
constexpr int kSchemaVersion = 1;

// The salted SHA-256 verifier of the database password, as hex.
QString PasswordVerifier(const QString &saltHex);
// A new random salt, as hex.
QString NewSalt();

// Why the open file is not usable books, or an empty text when it is. The
// full check also runs the integrity check and looks for every table.
QString Check(sqlite3 *db, bool full);
// Sets the journal and sync modes every connection runs with.
QString Configure(sqlite3 *db);
// Brings a file of an older schema version up to the current one.
QString Upgrade(sqlite3 *db);

// The engine's message for the last failure on db.
QString LastError(sqlite3 *db);

} // namespace DbFile
