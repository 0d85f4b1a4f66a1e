#pragma once

#include <QLockFile>
#include <QString>

// The single-instance guard: a lock file in the per-user runtime directory,
// held for the whole run. A lock left by an instance that has ended is taken
// over, whatever host name it records; anything that keeps the guard from
// being taken, other than a running instance, refuses the start with a reason.
class TInstanceLock
{
public:
    enum class TResult {
        Owned, // this process holds the lock
        Running, // another instance of the program holds it
        Blocked, // the lock cannot be made or taken over; see Reason()
    };

    explicit TInstanceLock(const QString &fileName);
    TInstanceLock(const TInstanceLock &) = delete;
    TInstanceLock &operator=(const TInstanceLock &) = delete;

    TResult Acquire();
    // Why the start is refused, for the error box (after Blocked).
    QString Reason() const { return FReason; }

    // Tallyo.lock in the runtime directory, or in the temporary directory
    // when the system has no usable runtime directory.
    static QString DefaultFileName();

private:
    enum class TFound { Live, Removed, Blocker };
    TFound TakeOverStale();

    QLockFile FLock;
    QString FFileName;
    QString FReason;
};
