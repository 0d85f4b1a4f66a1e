// A record change, a backup and a restore in a helper process that runs out
// of room: under a file size limit (RLIMIT_FSIZE, SIGXFSZ ignored, so writes
// fail with EFBIG) at many levels, and on a small tmpfs filled to several
// levels where the machine lets the test mount one. Afterwards the books are
// sound and hold the old state after a reported failure or the new one after
// a success, and nothing half written is left behind.

#include "FaultBooks.h"
#include "TestSupport.h"

#include "data/DbAccess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <cerrno>
#include <cstring>
#include <optional>
#include <set>
#include <sys/mount.h>

namespace {

constexpr int kRunTimeoutMs = 60'000;

struct TOutcome
{
    bool Ok = false;
    QString Title;
    QString Message;
    QString Trouble; // the helper did not answer as it should
};

// Runs one change in the helper with a file size limit (-1 for none).
TOutcome RunChange(const QString &booksDir, qint64 limit, const QString &what, const QString &file,
                   const QString &tempDir)
{
    TOutcome outcome;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), tempDir);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(WORKER_EXE),
                  {QStringLiteral("once"), booksDir, QString::number(limit), what, file});
    if (!process.waitForFinished(kRunTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        outcome.Trouble = QStringLiteral("the helper did not end");
        return outcome;
    }
    const QStringList lines
        = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    const QString last = lines.value(lines.size() - 1);
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        outcome.Trouble = QStringLiteral("the helper failed: ") + lines.join(u' ');
    else if (last == u"OK")
        outcome.Ok = true;
    else if (last.startsWith(QStringLiteral("ERROR\t")) && last.count(u'\t') == 2) {
        outcome.Title = last.section(u'\t', 1, 1);
        outcome.Message = last.section(u'\t', 2);
    } else
        outcome.Trouble = QStringLiteral("unexpected answer: ") + lines.join(u' ');
    return outcome;
}

// Fills the file system of `dir` up to `room` bytes of free space; the filler
// goes with the object.
class TFiller
{
public:
    TFiller(const QString &dir, qint64 room)
        : FFile(dir + QStringLiteral("/filler"))
    {
        if (!FFile.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray chunk(64 * 1024, '\0');
        while (FFile.write(chunk) > 0) { }
        FFile.resize(std::max<qint64>(0, FFile.size() - room));
        FFile.close();
    }
    ~TFiller() { FFile.remove(); }

private:
    QFile FFile;
};

} // namespace

class TestDiskFull : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void fileSizeLimit_data();
    void fileSizeLimit();
    void smallFileSystem_data();
    void smallFileSystem();
    void restoreOutOfRoomSaysWhy();

private:
    void AddChangeRows();
    // Runs the change on a fresh copy of the books in `parent` (the
    // temporary directory when empty) and checks what it left.
    void RunAndCheck(const QString &what, qint64 limit, qint64 room, const QString &parent);

    QTemporaryDir FWork;
    QString FBase;
    QString FSource;
    QString FOldSource;
    TLedgerModel FModel;
    QElapsedTimer FTimer;
    int FLevels = 0;
    int FFailures = 0;
    QString FLastFailure;
};

void TestDiskFull::initTestCase()
{
    FTimer.start();
    FBase = FWork.filePath(QStringLiteral("base.dat"));
    FSource = FWork.filePath(QStringLiteral("source.dat"));
    FModel = PrepareBooks(FBase);
    // A restore that makes the books grow.
    TLedgerModel source = FModel;
    DeriveBooks(FBase, FSource, source, LongRecordAdds(FModel, 8, 90'000, 3, 4000, u'满'));
    // The same of an older schema version: its upgrade makes it grow.
    FOldSource = FWork.filePath(QStringLiteral("old.dat"));
    QVERIFY(QFile::copy(FSource, FOldSource));
    RawExec(FOldSource, DropUndoHistory() + QStringLiteral("PRAGMA user_version=3;VACUUM"));
}

void TestDiskFull::cleanupTestCase()
{
    qInfo("%d runs out of room, %d of them failed as reported, in %lld ms", FLevels, FFailures,
          FTimer.elapsed());
}

void TestDiskFull::AddChangeRows()
{
    QTest::addColumn<QString>("what");
    for (const char *what : {"add", "move", "delete", "backup", "restore", "restore older"})
        QTest::newRow(what) << QString::fromLatin1(what);
}

void TestDiskFull::RunAndCheck(const QString &what, qint64 limit, qint64 room,
                               const QString &parent)
{
    const bool backup = what == u"backup";
    const bool restore = what.startsWith(u"restore");
    const QString source = what == u"restore older" ? FOldSource : FSource;
    TBooksState oldState;
    TBooksState newState;
    QCOMPARE(ReadBooksState(FBase, oldState), QString());
    TLedgerModel model = FModel;
    if (what == u"add")
        ApplyOp(model, SampleAdd(FModel));
    else if (what == u"move")
        ApplyOp(model, SampleMove(FModel));
    else if (what == u"delete")
        ApplyOp(model, SampleDelete(FModel));
    newState = model.Expected();
    if (restore)
        QCOMPARE(ReadBooksState(source, newState), QString());

    TBooksCopy books(FBase, parent);
    GDbAccess->Close();
    const QByteArray booksBytes = ReadAll(books.File());
    const QByteArray sourceBytes = ReadAll(source);
    const QByteArray oldTarget = ReadAll(QStringLiteral(TEMPLATE_DB));
    const QString target = books.Dir() + QStringLiteral("backup.dat");
    QVERIFY(QFile::copy(QStringLiteral(TEMPLATE_DB), target));
    const QString where = QStringLiteral("%1 with a limit of %2 bytes and %3 bytes free")
                              .arg(what)
                              .arg(limit)
                              .arg(room);

    TOutcome outcome;
    {
        std::optional<TFiller> filler;
        if (room >= 0)
            filler.emplace(books.Dir(), room);
        outcome = RunChange(books.Dir(), limit, restore ? QStringLiteral("restore") : what,
                            backup ? target : source, books.TempDir());
        QVERIFY2(outcome.Trouble.isEmpty(), qPrintable(where + u' ' + outcome.Trouble));

        // The books open again while the disk is still full.
        TRecordingPrompt prompt;
        GDbAccess->Connect();
        QVERIFY2(GDbAccess->Connected(), qPrintable(where + QStringLiteral(": no reopen")));
        GDbAccess->Close();
    }
    ++FLevels;
    if (!outcome.Ok) {
        ++FFailures;
        FLastFailure = outcome.Title + u' ' + outcome.Message;
        QVERIFY2(!outcome.Title.isEmpty() && !outcome.Message.isEmpty(), qPrintable(where));
    }

    const QString check = CheckBooks(books.File(), FModel.Initial);
    QVERIFY2(check.isEmpty(), qPrintable(where + QStringLiteral(": ") + check));
    TBooksState state;
    QCOMPARE(ReadBooksState(books.File(), state), QString());
    QVERIFY2(state == (outcome.Ok ? newState : oldState),
             qPrintable(where
                        + (outcome.Ok ? QStringLiteral(": success, but the books hold ")
                                      : QStringLiteral(": failure (%1), but the books hold ")
                                            .arg(outcome.Message))
                        + state.Describe()));
    if (backup) {
        QVERIFY2(ReadAll(books.File()) == booksBytes,
                 qPrintable(where + QStringLiteral(": books touched")));
        if (outcome.Ok) {
            const QString copy = CheckBooks(target, FModel.Initial);
            QVERIFY2(copy.isEmpty(), qPrintable(where + QStringLiteral(": copy: ") + copy));
            TBooksState copied;
            QCOMPARE(ReadBooksState(target, copied), QString());
            QVERIFY(copied == oldState);
        } else {
            QVERIFY2(ReadAll(target) == oldTarget,
                     qPrintable(where + QStringLiteral(": the older backup is gone")));
        }
    }
    if (restore)
        QVERIFY(ReadAll(source) == sourceBytes);
    if (restore && !outcome.Ok)
        QVERIFY2(ReadAll(books.File()) == booksBytes,
                 qPrintable(where + QStringLiteral(": books touched")));
    QCOMPARE(TBooksCopy::Entries(books.Dir()).join(u' '),
             QStringLiteral("backup.dat bookkeep.dat tmp"));
    QCOMPARE(TBooksCopy::Entries(books.TempDir()).join(u' '), QString());
}

void TestDiskFull::fileSizeLimit_data()
{
    AddChangeRows();
}

void TestDiskFull::fileSizeLimit()
{
    QFETCH(QString, what);
    const qint64 base = QFileInfo(FBase).size();
    const qint64 source = QFileInfo(FSource).size();
    const qint64 old = QFileInfo(FOldSource).size();
    std::set<qint64> levels = {0, 1, 511, 512, 4095, 4096, 8192, 12288, 16384, 24576, 32768};
    for (const qint64 size : {base, source, old})
        for (const qint64 delta : {-4096, -1, 0, 1, 4096, 8192})
            levels.insert(size + delta);
    levels.insert(2 * source);
    int failed = 0;
    for (const qint64 limit : levels) {
        const int before = FFailures;
        RunAndCheck(what, limit, -1, {});
        if (QTest::currentTestFailed())
            return;
        failed += FFailures - before;
    }
    qInfo("%zu limits from 0 to %lld bytes, %d of them failed as reported (%s)", levels.size(),
          *levels.rbegin(), failed, qUtf8Printable(FLastFailure));
    QVERIFY(failed > 0);
    QVERIFY(failed < int(levels.size()));
}

void TestDiskFull::smallFileSystem_data()
{
    AddChangeRows();
}

void TestDiskFull::smallFileSystem()
{
    QFETCH(QString, what);
    const QString mountPoint = FWork.filePath(QStringLiteral("small"));
    QVERIFY(QDir(FWork.path()).mkpath(QStringLiteral("small")));
    if (::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", 0, "size=1m") != 0)
        QSKIP(qPrintable(QStringLiteral("cannot mount a small tmpfs here (%1): needs root with "
                                        "CAP_SYS_ADMIN; only the file size limits ran")
                             .arg(QString::fromLocal8Bit(std::strerror(errno)))));
    const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(mountPoint), MNT_DETACH); });

    int failed = 0;
    const qint64 rooms[] = {0, 4096, 8192, 16384, 32768, 65536, 131072, 262144, 524288};
    for (const qint64 room : rooms) {
        const int before = FFailures;
        RunAndCheck(what, -1, room, mountPoint);
        if (QTest::currentTestFailed())
            return;
        failed += FFailures - before;
    }
    qInfo("%zu levels of free space up to %lld bytes, %d of them failed as reported (%s)",
          std::size(rooms), rooms[std::size(rooms) - 1], failed, qUtf8Printable(FLastFailure));
    QVERIFY(failed > 0);
}

void TestDiskFull::restoreOutOfRoomSaysWhy()
{
    // Room for part of the private copy of the chosen file, not for all of it.
    TBooksCopy books(FBase);
    GDbAccess->Close();
    const TOutcome outcome
        = RunChange(books.Dir(), 8192, QStringLiteral("restore"), FSource, books.TempDir());
    QVERIFY2(outcome.Trouble.isEmpty(), qPrintable(outcome.Trouble));
    QVERIFY(!outcome.Ok);
    QCOMPARE(outcome.Title, QStringLiteral("数据库恢复失败！"));
    QVERIFY2(outcome.Message.contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
             qPrintable(outcome.Message));
}

QTEST_GUILESS_MAIN(TestDiskFull)
#include "tst_DiskFull.moc"
