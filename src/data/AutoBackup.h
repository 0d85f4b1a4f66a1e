#pragma once

#include "Outcome.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <thread>

// Backups made without the user asking: copies of the books in the folder
// "backups" beside them, each written under a temporary name, synced and
// checked before it gets its dated name, and thinned out by age.
namespace AutoBackup {

// The folder of the copies beside the books in `appPath`.
QString Folder(const QString &appPath);
// The name of a copy made at `time`: bookkeep-yyyyMMdd-HHmmss.bat.
QString FileName(const QDateTime &time);
// The time a copy's name gives; invalid for any other name.
QDateTime TimeOf(const QString &fileName);
// The copies' names in a folder.
QStringList Names(const QString &folder);

// Whether a copy is due when the program starts: none is dated `now`'s day.
bool DueAtStart(const QStringList &names, const QDateTime &now);

// Of the copies' names, the ones to remove at `now`. Kept: every copy of
// `now`'s day, the newest copy of each of the `daily` newest days, the newest
// of each of the last 4 weeks and of the last 12 months, the newest copy of
// all, `keep`, and every copy dated after `now` (the clock was set back: their
// age cannot be told). Names that are not copies' names are never returned.
QStringList Expired(const QStringList &names, const QDateTime &now, int daily,
                    const QString &keep = {});

// The file change counter of the books (it moves with every committed change),
// read through a connection of its own; empty when the file cannot be read.
std::optional<quint32> ChangeCounter(const QString &booksFile);

// A copy just made.
struct TMade
{
    QString File;
    quint32 ChangeCounter = 0; // of the books when they were copied
};

// Copies the books into the folder as the copy of `now`, through a read-only
// connection of its own and the online backup API, under a temporary name;
// syncs it, checks it (integrity, this program's books, the row counts of the
// books when copied) and only then gives it its name. A failed copy leaves no
// file behind and the books untouched.
Outcome Make(const QString &booksFile, const QString &folder, const QDateTime &now, TMade &made);
// Removes the copies that Expired names. Never raises.
void Rotate(const QString &folder, const QDateTime &now, int daily, const QString &keep);

// A copy as the restore list shows it.
struct TCopy
{
    QString File;
    QDateTime Time;
    qint64 Size = 0;
    qint64 Records = 0;
    QDate LastRecord; // invalid when the copy holds no record
    Outcome Check = Outcome::Sound(); // whether it can be restored, or why not
};
// Reads and checks one copy, through a connection of its own (so on any
// thread). When `cancelled` answers true the check stops part way, with a
// fault.
TCopy Inspect(const QString &fileName, const std::function<bool()> &cancelled = {});

} // namespace AutoBackup

// When the automatic backups are made: at start when none was made today (on a
// worker thread, so the window comes up at once), before a restore or an
// import, and at the end when the books changed since the last copy. Lives on
// the user-interface thread; its signals arrive there.
class TAutoBackup : public QObject
{
    Q_OBJECT

public:
    explicit TAutoBackup(QObject *parent = nullptr);
    // Waits for a copy under way.
    ~TAutoBackup() override;

    // The clock the copies are named and rotated by; the system's by default.
    void SetClock(std::function<QDateTime()> clock) { FClock = std::move(clock); }
    // The user's setting: whether copies are made, how many daily ones are kept.
    void Configure(bool enabled, int daily);
    bool Enabled() const { return FEnabled; }

    // At start: a copy on the worker thread when none is dated today.
    void AtStart();
    // Before the books are replaced or filled from outside (a restore, an
    // import): a copy made now. False when it failed; the failure is reported.
    bool BeforeChange();
    // At the end: a copy when the books changed since the last one. False when
    // it failed; the failure is reported.
    bool AtExit();

    // Whether a copy is being made on the worker thread.
    bool Busy() const { return FWorker.joinable(); }
    // Waits for the copy on the worker thread and reports its outcome.
    void Wait();

Q_SIGNALS:
    void Made(const QString &file);
    // The copy failed and nothing of it is left; the reason is in the user's words.
    void Failed(const QString &reason);

private:
    struct TAttempt
    {
        Outcome Result = Outcome::Sound();
        AutoBackup::TMade Copy;
    };
    static TAttempt Run(const QString &books, const QString &folder, const QDateTime &now,
                        int daily);
    bool Finish(const TAttempt &attempt);
    bool MakeNow();

    std::function<QDateTime()> FClock;
    bool FEnabled = true;
    int FDaily = 7;
    std::thread FWorker;
    TAttempt FWorkerAttempt; // written by the worker, read after it is joined
    // The change counter of the books at the last copy, or at start when no
    // copy was due.
    std::optional<quint32> FBaseline;
};
