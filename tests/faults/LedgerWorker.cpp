// Changes the books at DIR/bookkeep.dat through the ledger, as the program
// does, for tests that kill it or starve it of disk. Standard output carries
// a byte for every write ('w'), sync ('s'), truncate ('t') and file deletion
// ('d') the engine makes, and lines that start with a capital letter:
//
//   ledger_worker ops DIR SEED START   operations START, START+1, ... of the
//                                      stream SEED; "ACK i" once i is committed
//   ledger_worker backup DIR TARGET    backs up to TARGET again and again;
//                                      "ACK n" after the nth backup
//   ledger_worker restore DIR A B [shrink]
//                                      restores A, B, A, ...; "ACK n" after
//                                      the nth restore; "shrink": dies at a cut
//                                      that follows a deletion (the journal's)
//   ledger_worker undo DIR             takes back the books' last step and
//                                      does it again, again and again; "ACK n"
//                                      after the nth replay
//   ledger_worker once DIR LIMIT WHAT [FILE]
//                                      with the file size limit LIMIT (bytes,
//                                      -1 for none) runs one change: add, move,
//                                      delete, backup FILE or restore FILE;
//                                      prints "OK" or "ERROR\ttitle\tmessage"
//
// Backups, restores and replays run as the program's jobs run them: on a
// thread of their own with the books' connection lent to it, printing
// "STEP fraction" as they report progress. "READY" follows the opening of
// the books; a failure that was not asked for ends it with "FAIL reason" and
// exit code 2.

#include "FaultVfs.h"
#include "LedgerStream.h"
#include "TestSupport.h"

#include "data/DbAccess.h"
#include "data/UException.h"
#include "data/UntPublic.h"

#include <QCoreApplication>
#include <QDir>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <functional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

void Say(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            std::_Exit(3);
        done += n;
    }
}

bool GKillAtShrink = false;

void TraceCall(char kind)
{
    static char previous = 0;
    if (GKillAtShrink && previous == 'd' && kind == 't')
        std::raise(SIGKILL);
    previous = kind;
    if (::write(STDOUT_FILENO, &kind, 1) != 1)
        std::_Exit(3);
}

[[noreturn]] void Fail(const QString &reason)
{
    Say(QStringLiteral("FAIL ") + reason);
    std::exit(2);
}

// A prompt that turns every box into a failure line: nothing here asks.
class TFailingPrompt : public TPrompt
{
public:
    bool Box(TBoxKind, const QString &caption, const QString &text) override
    {
        Fail(caption + u' ' + text);
    }
    QString FileDialog(TFileDialogKind, const QString &) override { return {}; }
    void OpenDocument(const QString &) override { }
};

int RunOps(quint32 seed, int start)
{
    TLedgerModel model;
    const QString error = LoadModel(TDbAccess::DatabaseFile(), seed, model);
    if (!error.isEmpty())
        Fail(error);
    Say(QStringLiteral("READY"));
    // Bounded, so that a test that never kills it still ends.
    for (int index = start; index < start + 5000; ++index) {
        const TLedgerOp op = NextOp(seed, index, model);
        RunOp(op);
        ApplyOp(model, op);
        if (op.Kind == TLedgerOp::Add
            && DbQueryInt(QStringLiteral("select max(ID) from BookKeep")) != model.LastId)
            Fail(QStringLiteral("record %1 got another ID").arg(model.LastId));
        Say(QStringLiteral("ACK %1").arg(index));
    }
    return 0;
}

// Runs work on a thread of its own that borrows the books' connection, and
// raises here what it raised.
void OnThread(const std::function<void(const TWorkHooks &)> &work)
{
    const TWorkHooks hooks {
        [](double fraction, const QString &) { Say(QStringLiteral("STEP %1").arg(fraction)); }, {}};
    GDbAccess->Lend(QStringLiteral("busy"));
    std::exception_ptr failure;
    std::thread thread([&] {
        GDbAccess->Borrow();
        try {
            work(hooks);
        } catch (...) {
            failure = std::current_exception();
        }
        GDbAccess->Return();
    });
    thread.join();
    if (failure)
        std::rethrow_exception(failure);
}

int RunBackups(const QString &target)
{
    Say(QStringLiteral("READY"));
    for (int n = 1; n <= 5000; ++n) {
        OnThread([&](const TWorkHooks &hooks) { GDbAccess->BackupTo(target, hooks); });
        Say(QStringLiteral("ACK %1").arg(n));
    }
    return 0;
}

int RunRestores(const QString &first, const QString &second)
{
    Say(QStringLiteral("READY"));
    for (int n = 1; n <= 5000; ++n) {
        OnThread([&](const TWorkHooks &hooks) {
            TRestoreCopy copy(n % 2 == 1 ? first : second, hooks);
            GDbAccess->RestoreFrom(copy, {}, hooks);
        });
        Say(QStringLiteral("ACK %1").arg(n));
    }
    return 0;
}

int RunReplays()
{
    Say(QStringLiteral("READY"));
    for (int n = 1; n <= 5000; ++n) {
        // A step taken back is done again; one done again is taken back.
        const bool redo = !GDbAccess->RedoName().isEmpty();
        OnThread([redo](const TWorkHooks &) {
            if (redo)
                GDbAccess->Redo();
            else
                GDbAccess->Undo();
        });
        Say(QStringLiteral("ACK %1").arg(n));
    }
    return 0;
}

int RunOnce(const QString &what, const QString &file)
{
    TLedgerModel model;
    const QString error = LoadModel(TDbAccess::DatabaseFile(), 0, model);
    if (!error.isEmpty())
        Fail(error);
    Say(QStringLiteral("READY"));
    try {
        if (what == u"add")
            RunOp(SampleAdd(model));
        else if (what == u"move")
            RunOp(SampleMove(model));
        else if (what == u"delete")
            RunOp(SampleDelete(model));
        else if (what == u"backup")
            DbBackup(file);
        else if (what == u"restore")
            DbRestore(file);
        else
            Fail(QStringLiteral("unknown change ") + what);
    } catch (const EDBException &failure) {
        QString message = failure.Message();
        message.replace(u'\n', u' ');
        Say(QStringLiteral("ERROR\t%1\t%2").arg(failure.FTitle, message));
        return 0;
    }
    Say(QStringLiteral("OK"));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        Fail(QStringLiteral("usage: ledger_worker MODE DIR ..."));
    const QString &mode = args[0];

    if (mode == u"once") {
        const qint64 limit = args.value(2).toLongLong();
        if (limit >= 0) {
            // Writes beyond the limit then fail with EFBIG instead of ending
            // the process, as on a full disk.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit size {rlim_t(limit), rlim_t(limit)};
            if (setrlimit(RLIMIT_FSIZE, &size) != 0)
                Fail(QStringLiteral("setrlimit failed"));
        }
    } else {
        FaultVfs::Install();
        FaultVfs::SetTrace(TraceCall);
        GKillAtShrink = args.value(4) == u"shrink";
    }

    TFailingPrompt prompt;
    SetPrompt(&prompt);
    const TOpenBooks books(QDir(args[1]).absolutePath() + u'/');

    int result = 2;
    try {
        if (mode == u"ops" && args.size() == 4)
            result = RunOps(args[2].toUInt(), args[3].toInt());
        else if (mode == u"backup" && args.size() == 3)
            result = RunBackups(args[2]);
        else if (mode == u"restore" && args.size() == 4 + int(GKillAtShrink))
            result = RunRestores(args[2], args[3]);
        else if (mode == u"undo" && args.size() == 2)
            result = RunReplays();
        else if (mode == u"once" && args.size() >= 4)
            result = RunOnce(args[3], args.value(4));
        else
            Fail(QStringLiteral("bad arguments"));
    } catch (const Exception &failure) {
        Fail(failure.Message());
    }
    return result;
}
