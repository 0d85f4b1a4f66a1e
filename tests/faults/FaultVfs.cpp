#include "FaultVfs.h"

#include <fcntl.h>
#include <map>
#include <random>
#include <sqlite3.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr sqlite3_int64 kBlock = 512;

// What a file held at its last sync, for the blocks changed since: enough to
// put back any of them when the power goes.
struct TUnsynced
{
    sqlite3_int64 SyncedSize = 0;
    std::map<sqlite3_int64, std::string> Original;
};

struct TState
{
    sqlite3_vfs *Real = nullptr;
    sqlite3_vfs Vfs {};
    bool Armed = false;
    FaultVfs::TFault Fault = FaultVfs::TFault::IoError;
    int Nth = 0;
    int Calls = 0;
    bool Fired = false;
    bool Dead = false;
    quint32 Seed = 0;
    bool RealSync = true;
    void (*Trace)(char) = nullptr;
    // By path, so that what a closed file left unsynced is still lost.
    std::map<std::string, TUnsynced> Unsynced;
};

TState G;

struct TFile
{
    sqlite3_file Base;
    sqlite3_file *Real;
    const char *Path; // valid until xClose; null for SQLite's nameless temp files
};

sqlite3_file *RealOf(sqlite3_file *file)
{
    return reinterpret_cast<TFile *>(file)->Real;
}

bool Tracking()
{
    return G.Armed && !G.Fired && G.Fault == FaultVfs::TFault::PowerLoss;
}

// Puts the disk in the state a power loss leaves: per file, all unsynced
// blocks kept, all lost, or each one either way.
void LosePower()
{
    std::mt19937 random(G.Seed);
    for (const auto &[path, unsynced] : G.Unsynced) {
        const int fd = ::open(path.c_str(), O_RDWR);
        if (fd < 0)
            continue;
        struct stat info
        {
        };
        ::fstat(fd, &info);
        const int policy = int(random() % 3); // 0 keep all, 1 lose all, 2 each block
        sqlite3_int64 size = info.st_size;
        if (policy == 1 || (policy == 2 && random() % 2 == 0)) {
            size = unsynced.SyncedSize;
            if (::ftruncate(fd, size) != 0)
                size = info.st_size;
        }
        for (const auto &[block, original] : unsynced.Original) {
            const sqlite3_int64 start = block * kBlock;
            if (policy == 0 || start >= size || (policy == 2 && random() % 2 == 0))
                continue;
            std::string content = original;
            content.resize(size_t(std::min(kBlock, size - start)), '\0');
            if (::pwrite(fd, content.data(), content.size(), start) != ssize_t(content.size()))
                break;
        }
        ::close(fd);
    }
    G.Unsynced.clear();
}

// Counts a changing call; true when it is the one that fails.
bool Strikes(char kind)
{
    if (G.Trace)
        G.Trace(kind);
    if (!G.Armed || G.Fired)
        return false;
    if (++G.Calls != G.Nth)
        return false;
    G.Fired = true;
    if (G.Fault == FaultVfs::TFault::PowerLoss) {
        LosePower();
        G.Dead = true;
    }
    return true;
}

// Keeps the synced content of the blocks in [from, to) before they change.
void Remember(sqlite3_file *file, sqlite3_int64 from, sqlite3_int64 to)
{
    const char *path = reinterpret_cast<TFile *>(file)->Path;
    if (!Tracking() || !path || from >= to)
        return;
    sqlite3_file *real = RealOf(file);
    auto [at, fresh] = G.Unsynced.try_emplace(path);
    TUnsynced &unsynced = at->second;
    if (fresh && real->pMethods->xFileSize(real, &unsynced.SyncedSize) != SQLITE_OK)
        unsynced.SyncedSize = 0;
    for (sqlite3_int64 block = from / kBlock; block <= (to - 1) / kBlock; ++block) {
        if (unsynced.Original.count(block))
            continue;
        const sqlite3_int64 start = block * kBlock;
        std::string content;
        if (start < unsynced.SyncedSize) {
            content.resize(size_t(std::min(kBlock, unsynced.SyncedSize - start)));
            // A short read fills with zeros, which is what the tail held.
            real->pMethods->xRead(real, content.data(), int(content.size()), start);
        }
        unsynced.Original.emplace(block, std::move(content));
    }
}

// ---- the file methods ------------------------------------------------------

int Close(sqlite3_file *file)
{
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xClose(real);
}

int Read(sqlite3_file *file, void *data, int amount, sqlite3_int64 offset)
{
    if (G.Dead)
        return SQLITE_IOERR_READ;
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xRead(real, data, amount, offset);
}

int Write(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset)
{
    if (G.Dead || Strikes('w'))
        return SQLITE_IOERR_WRITE;
    Remember(file, offset, offset + amount);
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xWrite(real, data, amount, offset);
}

int Truncate(sqlite3_file *file, sqlite3_int64 size)
{
    if (G.Dead || Strikes('t'))
        return SQLITE_IOERR_TRUNCATE;
    sqlite3_file *real = RealOf(file);
    sqlite3_int64 current = 0;
    if (Tracking() && real->pMethods->xFileSize(real, &current) == SQLITE_OK)
        Remember(file, size, current);
    return real->pMethods->xTruncate(real, size);
}

int Sync(sqlite3_file *file, int flags)
{
    if (G.Dead || Strikes('s'))
        return SQLITE_IOERR_FSYNC;
    sqlite3_file *real = RealOf(file);
    const int rc = G.RealSync ? real->pMethods->xSync(real, flags) : SQLITE_OK;
    const char *path = reinterpret_cast<TFile *>(file)->Path;
    if (rc == SQLITE_OK && path)
        G.Unsynced.erase(path);
    return rc;
}

int FileSize(sqlite3_file *file, sqlite3_int64 *size)
{
    if (G.Dead)
        return SQLITE_IOERR_FSTAT;
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xFileSize(real, size);
}

int Lock(sqlite3_file *file, int level)
{
    if (G.Dead)
        return SQLITE_IOERR_LOCK;
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xLock(real, level);
}

int Unlock(sqlite3_file *file, int level)
{
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xUnlock(real, level);
}

int CheckReservedLock(sqlite3_file *file, int *result)
{
    if (G.Dead)
        return SQLITE_IOERR_CHECKRESERVEDLOCK;
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xCheckReservedLock(real, result);
}

int FileControl(sqlite3_file *file, int op, void *arg)
{
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xFileControl(real, op, arg);
}

int SectorSize(sqlite3_file *file)
{
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xSectorSize(real);
}

int DeviceCharacteristics(sqlite3_file *file)
{
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xDeviceCharacteristics(real);
}

int ShmMap(sqlite3_file *file, int region, int size, int extend, void volatile **at)
{
    if (G.Dead)
        return SQLITE_IOERR_SHMMAP;
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xShmMap(real, region, size, extend, at);
}

int ShmLock(sqlite3_file *file, int offset, int n, int flags)
{
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xShmLock(real, offset, n, flags);
}

void ShmBarrier(sqlite3_file *file)
{
    sqlite3_file *real = RealOf(file);
    real->pMethods->xShmBarrier(real);
}

int ShmUnmap(sqlite3_file *file, int deleteFlag)
{
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xShmUnmap(real, deleteFlag);
}

int Fetch(sqlite3_file *file, sqlite3_int64 offset, int amount, void **at)
{
    *at = nullptr;
    if (G.Dead)
        return SQLITE_OK; // no mapping: the engine falls back to xRead
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xFetch(real, offset, amount, at);
}

int Unfetch(sqlite3_file *file, sqlite3_int64 offset, void *at)
{
    sqlite3_file *real = RealOf(file);
    return real->pMethods->xUnfetch(real, offset, at);
}

const sqlite3_io_methods kMethods = {
    3,
    Close,
    Read,
    Write,
    Truncate,
    Sync,
    FileSize,
    Lock,
    Unlock,
    CheckReservedLock,
    FileControl,
    SectorSize,
    DeviceCharacteristics,
    ShmMap,
    ShmLock,
    ShmBarrier,
    ShmUnmap,
    Fetch,
    Unfetch,
};

// ---- the VFS methods -------------------------------------------------------

int Open(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    auto *ours = reinterpret_cast<TFile *>(file);
    ours->Base.pMethods = nullptr;
    if (G.Dead)
        return SQLITE_CANTOPEN;
    ours->Real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) + sizeof(TFile));
    ours->Real->pMethods = nullptr;
    ours->Path = name;
    const int rc = G.Real->xOpen(G.Real, name, ours->Real, flags, outFlags);
    if (rc != SQLITE_OK) {
        if (ours->Real->pMethods)
            ours->Real->pMethods->xClose(ours->Real);
        return rc;
    }
    ours->Base.pMethods = &kMethods;
    return SQLITE_OK;
}

int Delete(sqlite3_vfs *, const char *name, int syncDir)
{
    if (G.Dead)
        return SQLITE_IOERR_DELETE;
    if (G.Trace)
        G.Trace('d');
    const int rc = G.Real->xDelete(G.Real, name, syncDir);
    if (rc == SQLITE_OK)
        G.Unsynced.erase(name);
    return rc;
}

int Access(sqlite3_vfs *, const char *name, int flags, int *result)
{
    if (G.Dead)
        return SQLITE_IOERR_ACCESS;
    return G.Real->xAccess(G.Real, name, flags, result);
}

int FullPathname(sqlite3_vfs *, const char *name, int size, char *out)
{
    return G.Real->xFullPathname(G.Real, name, size, out);
}

void *DlOpen(sqlite3_vfs *, const char *name)
{
    return G.Real->xDlOpen(G.Real, name);
}

void DlError(sqlite3_vfs *, int size, char *out)
{
    G.Real->xDlError(G.Real, size, out);
}

void (*DlSym(sqlite3_vfs *, void *handle, const char *symbol))(void)
{
    return G.Real->xDlSym(G.Real, handle, symbol);
}

void DlClose(sqlite3_vfs *, void *handle)
{
    G.Real->xDlClose(G.Real, handle);
}

int Randomness(sqlite3_vfs *, int size, char *out)
{
    return G.Real->xRandomness(G.Real, size, out);
}

int Sleep(sqlite3_vfs *, int microseconds)
{
    return G.Real->xSleep(G.Real, microseconds);
}

int CurrentTime(sqlite3_vfs *, double *now)
{
    return G.Real->xCurrentTime(G.Real, now);
}

int GetLastError(sqlite3_vfs *, int size, char *out)
{
    return G.Real->xGetLastError(G.Real, size, out);
}

int CurrentTimeInt64(sqlite3_vfs *, sqlite3_int64 *now)
{
    return G.Real->xCurrentTimeInt64(G.Real, now);
}

} // namespace

namespace FaultVfs {

void Install()
{
    if (G.Real)
        return;
    sqlite3_initialize();
    G.Real = sqlite3_vfs_find(nullptr);
    G.Vfs.iVersion = 2;
    G.Vfs.szOsFile = int(sizeof(TFile)) + G.Real->szOsFile;
    G.Vfs.mxPathname = G.Real->mxPathname;
    G.Vfs.zName = "bookkeep-fault";
    G.Vfs.xOpen = Open;
    G.Vfs.xDelete = Delete;
    G.Vfs.xAccess = Access;
    G.Vfs.xFullPathname = FullPathname;
    G.Vfs.xDlOpen = DlOpen;
    G.Vfs.xDlError = DlError;
    G.Vfs.xDlSym = DlSym;
    G.Vfs.xDlClose = DlClose;
    G.Vfs.xRandomness = Randomness;
    G.Vfs.xSleep = Sleep;
    G.Vfs.xCurrentTime = CurrentTime;
    G.Vfs.xGetLastError = GetLastError;
    G.Vfs.xCurrentTimeInt64 = CurrentTimeInt64;
    sqlite3_vfs_register(&G.Vfs, 1);
}

void Arm(TFault fault, int nth, quint32 seed)
{
    Disarm();
    G.Armed = true;
    G.Fault = fault;
    G.Nth = nth;
    G.Seed = seed;
}

void Disarm()
{
    G.Armed = false;
    G.Fired = false;
    G.Dead = false;
    G.Calls = 0;
    G.Unsynced.clear();
}

bool Fired()
{
    return G.Fired;
}

int Calls()
{
    return G.Calls;
}

QStringList Unsynced()
{
    QStringList paths;
    for (const auto &[path, unsynced] : G.Unsynced)
        paths << QString::fromStdString(path);
    return paths;
}

void SetTrace(void (*trace)(char))
{
    G.Trace = trace;
}

void SetRealSync(bool on)
{
    G.RealSync = on;
}

} // namespace FaultVfs
