#include "InstanceLock.h"

#include <QDateTime>
#include <QFileInfo>
#include <QList>
#include <QSysInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const QString kCannotStart = QStringLiteral("记账软件无法启动：");
const QString kCrLf = QStringLiteral("\r\n");

#ifdef Q_OS_UNIX

// A lock file that does not yet name its writer is younger than this only
// while a starting instance is writing it; an older one was left by a start
// that ended there.
constexpr qint64 kUnwrittenSeconds = 10;

QString ErrorText(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("没有权限");
    case EROFS:
        return QStringLiteral("文件系统只读");
    case ENOENT:
        return QStringLiteral("文件夹不存在");
    case ENOTDIR:
        return QStringLiteral("路径中有一项不是文件夹");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足");
    default:
        return QStringLiteral("系统错误 %1").arg(error);
    }
}

QString UserName(uid_t uid)
{
    if (const passwd *entry = ::getpwuid(uid))
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(uid);
}

// "属于用户 X，" for a file of another user, nothing for one of our own.
QString OtherOwner(uid_t owner)
{
    return owner == ::geteuid() ? QString() : QStringLiteral("属于用户 %1，").arg(UserName(owner));
}

class TDescriptor
{
public:
    explicit TDescriptor(int fd)
        : FFd(fd)
    {
    }
    TDescriptor(const TDescriptor &) = delete;
    TDescriptor &operator=(const TDescriptor &) = delete;
    ~TDescriptor()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    int Fd() const { return FFd; }

private:
    int FFd;
};

QByteArray FileName(QByteArray path)
{
    if (path.endsWith(" (deleted)"))
        path.chop(10);
    return path.mid(path.lastIndexOf('/') + 1);
}

// Whether the process is alive and runs the program the lock file names; a
// process id taken over by another program does not keep the lock.
bool IsLiveInstance(qint64 pid, const QByteArray &appName)
{
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return false;
    char target[4096];
    const QByteArray link = "/proc/" + QByteArray::number(pid) + "/exe";
    const ssize_t size = ::readlink(link.constData(), target, sizeof target);
    if (size < 0)
        return errno != ENOENT; // not ours to inspect: taken as running
    return appName.isEmpty() || FileName(QByteArray(target, size)) == FileName(appName);
}

// Whether the writer of a lock file (its lines: pid, program, host name,
// machine id, boot id) is certainly gone. The host name is not compared: a
// host name changed since the crash must not keep the lock, and a live
// holder keeps its native lock, which is tested first.
bool WriterGone(const QByteArray &contents)
{
    const QList<QByteArray> lines = contents.split('\n');
    const QByteArray machineId = lines.value(3).trimmed();
    const QByteArray bootId = lines.value(4).trimmed();
    if (!machineId.isEmpty() && machineId != QSysInfo::machineUniqueId())
        return true;
    if (!bootId.isEmpty() && bootId != QSysInfo::bootUniqueId())
        return true;
    return !IsLiveInstance(lines.value(0).trimmed().toLongLong(), lines.value(1).trimmed());
}

#endif

} // namespace

TInstanceLock::TInstanceLock(const QString &fileName)
    : FLock(fileName)
    , FFileName(fileName)
{
    FLock.setStaleLockTime(0);
}

QString TInstanceLock::FileNameIn(const QString &folder)
{
    return folder + QStringLiteral("Tallyo.lock");
}

TInstanceLock::TResult TInstanceLock::Acquire()
{
    // Each round that removes a stale file may lose the race for the new one
    // to another start; that start then runs.
    for (int round = 0; round < 3; ++round) {
        if (FLock.tryLock(0))
            return TResult::Owned;
        if (FLock.error() != QLockFile::LockFailedError) {
#ifdef Q_OS_UNIX
            // Every change writes its journal beside the books, so books in a
            // folder that is missing or cannot be written cannot change:
            // opening them tells the user what is wrong.
            const QByteArray dir = QFile::encodeName(QFileInfo(FFileName).absolutePath());
            if (::access(dir.constData(), W_OK | X_OK) != 0)
                return TResult::Unneeded;
#endif
            // Without the lock nothing keeps a second instance from changing
            // the same books at the same time.
            FReason = kCannotStart + QStringLiteral("不能建立运行锁文件") + kCrLf + FFileName
                + kCrLf
                + QStringLiteral("原因：无法写入。没有它，两个记账软件可能同时修改同一个账本。");
            return TResult::Blocked;
        }
        switch (TakeOverStale()) {
        case TFound::Live:
            return TResult::Running;
        case TFound::Blocker:
            return TResult::Blocked;
        case TFound::Removed:
            break;
        }
    }
    return TResult::Running;
}

// QLockFile leaves a lock alone whose recorded host name differs from the
// current one, and cannot remove a file it is not allowed to. A live instance
// holds the native lock on its file from creating it until it ends, so a file
// on which that lock can be taken, and whose writer is gone, is stale.
TInstanceLock::TFound TInstanceLock::TakeOverStale()
{
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(FFileName);
    const auto blocker = [this](const QString &why) {
        FReason = kCannotStart + QStringLiteral("运行锁文件") + kCrLf + FFileName + kCrLf + why
            + QStringLiteral("。");
        return TFound::Blocker;
    };

    const TDescriptor file(
        ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.Fd() < 0) {
        const int error = errno;
        if (error == ENOENT)
            return TFound::Removed; // gone meanwhile: try again
        if (error == ELOOP)
            return blocker(QStringLiteral("是一个符号链接，不是记账软件建立的锁文件"));
        struct stat entry
        {
        };
        const QString owner
            = ::lstat(path.constData(), &entry) == 0 ? OtherOwner(entry.st_uid) : QString();
        return blocker(owner + QStringLiteral("无法读取（%1）").arg(ErrorText(error)));
    }
    struct stat opened
    {
    };
    if (::fstat(file.Fd(), &opened) != 0 || !S_ISREG(opened.st_mode))
        return blocker(QStringLiteral("不是普通文件，不是记账软件建立的锁文件"));

    if (::flock(file.Fd(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error != EWOULDBLOCK)
            return blocker(QStringLiteral("无法检查（%1）").arg(ErrorText(error)));
        if (opened.st_uid != ::geteuid())
            return blocker(OtherOwner(opened.st_uid)
                           + QStringLiteral("被该用户正在运行的程序占用"));
        return TFound::Live;
    }

    char buffer[4096];
    const ssize_t size = ::read(file.Fd(), buffer, sizeof buffer);
    const QByteArray contents(buffer, size > 0 ? size : 0);
    if (contents.split('\n').value(0).trimmed().toLongLong() > 0) {
        if (!WriterGone(contents))
            return TFound::Live; // an instance that is just ending
    } else if (QDateTime::fromSecsSinceEpoch(opened.st_mtime)
                   .secsTo(QDateTime::currentDateTimeUtc())
               < kUnwrittenSeconds) {
        return TFound::Live; // being written by a start
    }

    // Removed only while the name still refers to the file checked; every
    // remover holds the native lock first, so it cannot change hands now.
    struct stat current
    {
    };
    if (::lstat(path.constData(), &current) != 0 || current.st_dev != opened.st_dev
        || current.st_ino != opened.st_ino)
        return TFound::Removed;
    if (::unlink(path.constData()) != 0) {
        const int error = errno;
        return blocker(QStringLiteral("是已经结束的记账软件留下的，") + OtherOwner(opened.st_uid)
                       + QStringLiteral("当前用户无法删除（%1）").arg(ErrorText(error)));
    }
    return TFound::Removed;
#else
    return TFound::Live;
#endif
}
