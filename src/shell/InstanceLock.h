#pragma once

#include <QLockFile>
#include <QString>

// The single-instance guard: a lock file beside the books, held for the
// whole run, so that one set of books has one program whatever the
// environment of each start. A lock left by an instance that has ended is
// taken over, whatever host name it records; anything that keeps the guard
// from being taken, other than a running instance, refuses the start with a
// reason.
class TInstanceLock
{
public:
    enum class TResult {
        Owned, // this process holds the lock
        Running, // another instance of the program holds it
        Blocked, // the lock cannot be made or taken over; see Reason()
        Unneeded, // the folder is missing or read-only: no books there can change
    };

    explicit TInstanceLock(const QString &fileName);
    TInstanceLock(const TInstanceLock &) = delete;
    TInstanceLock &operator=(const TInstanceLock &) = delete;

    TResult Acquire();
    // Why the start is refused, for the error box (after Blocked).
    QString Reason() const { return FReason; }

    // Tallyo.lock in the books' folder (with a trailing '/').
    static QString FileNameIn(const QString &folder);

private:
    enum class TFound { Live, Removed, Blocker };
    TFound TakeOverStale();

    QLockFile FLock;
    QString FFileName;
    QString FReason;
};
