// A helper process changes the books through the ledger, backs them up,
// restores them or takes back a large step and does it again, and is killed
// with SIGKILL at moments a seeded generator picks: after so many
// acknowledged operations, or after so many writes and syncs it reported.
// After every kill the books open, pass the integrity check, their totals
// follow their records, and they hold what was acknowledged plus at most the
// one operation under way.

#include "FaultBooks.h"
#include "TestSupport.h"

#include "data/DbAccess.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <csignal>
#include <functional>

namespace {

constexpr int kOpKills = 80;
constexpr int kBackupKills = 16;
constexpr int kRestoreKills = 16;
constexpr int kUndoKills = 16;
constexpr quint32 kStreamSeed = 20240501;
constexpr quint32 kKillSeed = 77;
// A helper run that takes longer than this has hung.
constexpr int kRunTimeoutMs = 60'000;

// What a helper printed before it was killed or ended.
struct TRun
{
    int Markers = 0; // writes, syncs and truncates reported
    int Acks = 0;
    int LastAck = -1;
    bool Killed = false;
    bool TimedOut = false;
    QString Failure;
};

// Starts the helper and kills it as soon as `stop` holds for what it printed.
TRun RunUntil(const QStringList &args, const QString &tempDir,
              const std::function<bool(const TRun &)> &stop)
{
    TRun run;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), tempDir);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral(WORKER_EXE), args);

    QByteArray line;
    const auto consume = [&](const QByteArray &bytes) {
        for (const char c : bytes) {
            if (line.isEmpty() && (c == 'w' || c == 's' || c == 't' || c == 'd')) {
                ++run.Markers;
            } else if (c != '\n') {
                line += c;
            } else {
                if (line.startsWith("ACK ")) {
                    ++run.Acks;
                    run.LastAck = line.mid(4).toInt();
                } else if (line.startsWith("FAIL")) {
                    run.Failure = QString::fromUtf8(line);
                }
                line.clear();
            }
        }
    };

    const QDeadlineTimer deadline(kRunTimeoutMs);
    if (!process.waitForStarted(kRunTimeoutMs)) {
        run.Failure = QStringLiteral("the helper did not start: ") + process.errorString();
        return run;
    }
    while (process.state() == QProcess::Running) {
        if (stop(run)) {
            process.kill();
            break;
        }
        if (deadline.hasExpired()) {
            process.kill();
            run.TimedOut = true;
            break;
        }
        process.waitForReadyRead(int(deadline.remainingTime()));
        consume(process.readAllStandardOutput());
    }
    process.waitForFinished(kRunTimeoutMs);
    consume(process.readAllStandardOutput());
    run.Killed = process.exitStatus() == QProcess::CrashExit && process.exitCode() == SIGKILL;
    return run;
}

// A moment to kill at: after so many acknowledgements, or so many reported
// writes and syncs, up to about `operations` operations of `calls` each.
std::function<bool(const TRun &)> KillMoment(QRandomGenerator &random, int operations, int calls)
{
    if (random.bounded(2) == 0) {
        const int acks = random.bounded(operations + 1);
        return [acks](const TRun &run) { return run.Acks >= acks; };
    }
    const int markers = random.bounded(1, operations * calls + 1);
    return [markers](const TRun &run) { return run.Markers >= markers; };
}

bool Never(const TRun &)
{
    return false;
}

// The program's connection opens the books without a word.
QString ConnectFails()
{
    TRecordingPrompt prompt;
    GDbAccess->Connect();
    if (!GDbAccess->Connected() || !prompt.Boxes.isEmpty())
        return QStringLiteral("Connect fails: ") + prompt.Boxes.value(0).Text;
    return {};
}

// Removes what is in dir but the names kept; how many it removed.
int RemoveOthers(const QString &dir, const QStringList &keep)
{
    int removed = 0;
    for (const QString &name : TBooksCopy::Entries(dir)) {
        if (!keep.contains(name))
            removed += QFile::remove(dir + u'/' + name);
    }
    return removed;
}

} // namespace

class TestKills : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void killsDuringChanges();
    void killsDuringBackup();
    void killsDuringRestore();
    void killsDuringUndo();

private:
    QElapsedTimer FTimer;
    int FKills = 0;
};

void TestKills::initTestCase()
{
    FTimer.start();
}

void TestKills::cleanupTestCase()
{
    qInfo("%d kills survived in %lld ms", FKills, FTimer.elapsed());
}

void TestKills::killsDuringChanges()
{
    TLedgerModel model = SeedModel(kStreamSeed);
    TBooksCopy books(QStringLiteral(TEMPLATE_DB));
    InsertSeedAccounts(model);
    GDbAccess->Close();

    QRandomGenerator random(kKillSeed);
    int next = 0;
    int unacknowledgedIn = 0;
    int journals = 0; // kills that left a change to roll back
    for (int kill = 0; kill < kOpKills; ++kill) {
        const TRun run = RunUntil({QStringLiteral("ops"), books.Dir(), QString::number(kStreamSeed),
                                   QString::number(next)},
                                  books.TempDir(), KillMoment(random, 8, 25));
        const QString where = QStringLiteral("kill %1 after %2 acks, %3 writes")
                                  .arg(kill)
                                  .arg(run.Acks)
                                  .arg(run.Markers);
        QVERIFY2(run.Failure.isEmpty(), qPrintable(where + u' ' + run.Failure));
        QVERIFY2(!run.TimedOut, qPrintable(where + QStringLiteral(": timed out")));
        QVERIFY2(run.Killed, qPrintable(where + QStringLiteral(": ended by itself")));
        ++FKills;

        // What was acknowledged is in; the operation after it may be.
        for (int index = next; index <= run.LastAck; ++index)
            ApplyOp(model, NextOp(kStreamSeed, index, model));
        const int pending = std::max(next, run.LastAck + 1);
        const TLedgerOp op = NextOp(kStreamSeed, pending, model);
        TLedgerModel withPending = model;
        ApplyOp(withPending, op);

        journals += QFileInfo(books.File() + QStringLiteral("-journal")).size() > 0;
        const QString connect = ConnectFails();
        QVERIFY2(connect.isEmpty(), qPrintable(where + u' ' + connect));
        const QString check = CheckBooks(books.File(), model.Initial);
        QVERIFY2(check.isEmpty(), qPrintable(where + QStringLiteral(": ") + check));
        TBooksState state;
        QCOMPARE(ReadBooksState(books.File(), state), QString());
        if (state == model.Expected()) {
            next = pending;
        } else if (state == withPending.Expected()) {
            model = withPending;
            next = pending + 1;
            ++unacknowledgedIn;
        } else {
            QFAIL(qPrintable(where
                             + QStringLiteral(": the books hold %1; acknowledged: %2; with %3: %4")
                                   .arg(state.Describe(), model.Expected().Describe(),
                                        op.Describe(), withPending.Expected().Describe())));
        }
        GDbAccess->Close();
    }
    qInfo("%d kills during record changes: %d operations committed, %d of them unacknowledged; "
          "%d kills left a journal",
          kOpKills, next, unacknowledgedIn, journals);
    QVERIFY(next > kOpKills);
}

void TestKills::killsDuringBackup()
{
    QTemporaryDir work;
    const QString prepared = work.filePath(QStringLiteral("books.dat"));
    const TLedgerModel model = PrepareBooks(prepared);
    TBooksCopy books(prepared);
    GDbAccess->Close();
    const QByteArray booksBytes = ReadAll(books.File());
    const QByteArray oldBytes = ReadAll(QStringLiteral(TEMPLATE_DB));
    TBooksState booksState;
    QCOMPARE(ReadBooksState(books.File(), booksState), QString());
    const QString out = books.Dir() + QStringLiteral("out");
    QVERIFY(QDir(books.Dir()).mkdir(QStringLiteral("out")));
    const QString target = out + QStringLiteral("/backup.dat");

    QRandomGenerator random(kKillSeed + 1);
    int copies = 0;
    int leftovers = 0;
    for (int kill = 0; kill < kBackupKills; ++kill) {
        // Half the runs back up over an older file, half to a new name.
        QFile::remove(target);
        if (kill % 2 == 1)
            QVERIFY(QFile::copy(QStringLiteral(TEMPLATE_DB), target));
        const TRun run = RunUntil({QStringLiteral("backup"), books.Dir(), target}, books.TempDir(),
                                  KillMoment(random, 3, 18));
        const QString where = QStringLiteral("kill %1 after %2 backups, %3 writes")
                                  .arg(kill)
                                  .arg(run.Acks)
                                  .arg(run.Markers);
        QVERIFY2(run.Failure.isEmpty() && !run.TimedOut && run.Killed,
                 qPrintable(where + u' ' + run.Failure));
        ++FKills;

        QVERIFY2(ReadAll(books.File()) == booksBytes,
                 qPrintable(where + QStringLiteral(": books touched")));
        const QString connect = ConnectFails();
        QVERIFY2(connect.isEmpty(), qPrintable(where + u' ' + connect));
        GDbAccess->Close();

        const bool old = kill % 2 == 1 ? ReadAll(target) == oldBytes : !QFile::exists(target);
        if (old) {
            QVERIFY2(run.Acks == 0, qPrintable(where + QStringLiteral(": acknowledged copy lost")));
        } else {
            const QString check = CheckBooks(target, model.Initial);
            QVERIFY2(check.isEmpty(), qPrintable(where + QStringLiteral(": copy: ") + check));
            TBooksState copied;
            QCOMPARE(ReadBooksState(target, copied), QString());
            QVERIFY2(copied == booksState, qPrintable(where + QStringLiteral(": copy differs")));
            ++copies;
        }
        // A killed backup leaves its temporary file beside the target.
        leftovers += RemoveOthers(out, {QStringLiteral("backup.dat")});
    }
    qInfo("%d kills during backups: %d left a complete copy, %d temporary files left beside it",
          kBackupKills, copies, leftovers);
}

void TestKills::killsDuringRestore()
{
    QTemporaryDir work;
    const QString prepared = work.filePath(QStringLiteral("books.dat"));
    const QString first = work.filePath(QStringLiteral("first.dat"));
    const QString second = work.filePath(QStringLiteral("second.dat"));
    TLedgerModel model = PrepareBooks(prepared);
    TLedgerModel firstModel = model;
    QList<TLedgerOp> ops;
    for (int i = 0; i < 8; ++i) {
        ops << NextOp(kStreamSeed, i, firstModel);
        ApplyOp(firstModel, ops.last());
    }
    // Long records, so that restoring the second file cuts the books short.
    ops << LongRecordAdds(firstModel, 4, 10'000, 1, 3000, u'长');
    firstModel = model;
    DeriveBooks(prepared, first, firstModel, ops);
    TLedgerModel secondModel = model;
    DeriveBooks(prepared, second, secondModel, DeleteAll(model));
    TBooksCopy books(prepared);
    GDbAccess->Close();
    const QByteArray firstBytes = ReadAll(first);
    const QByteArray secondBytes = ReadAll(second);
    TBooksState state[3];
    QCOMPARE(ReadBooksState(books.File(), state[0]), QString());
    QCOMPARE(ReadBooksState(first, state[1]), QString());
    QCOMPARE(ReadBooksState(second, state[2]), QString());
    QVERIFY(!(state[0] == state[1]) && !(state[1] == state[2]) && !(state[0] == state[2]));

    QRandomGenerator random(kKillSeed + 2);
    int before = 0; // which of the three the books held before the run
    int counts[3] = {};
    int leftovers = 0;
    int journals = 0;
    for (int kill = 0; kill <= kRestoreKills; ++kill) {
        // The last run kills itself when the restore of the smaller file has
        // deleted the journal and is to cut the books short.
        const bool shrink = kill == kRestoreKills;
        QStringList args {QStringLiteral("restore"), books.Dir(), first, second};
        if (shrink)
            args << QStringLiteral("shrink");
        const TRun run
            = RunUntil(args, books.TempDir(), shrink ? Never : KillMoment(random, 3, 70));
        const QString where = QStringLiteral("kill %1 after %2 restores, %3 writes")
                                  .arg(kill)
                                  .arg(run.Acks)
                                  .arg(run.Markers);
        QVERIFY2(run.Failure.isEmpty() && !run.TimedOut && run.Killed,
                 qPrintable(where + u' ' + run.Failure));
        ++FKills;

        // Restores alternate between the first file (odd) and the second.
        const int done = run.Acks == 0 ? before : run.Acks % 2 == 1 ? 1 : 2;
        const int underWay = run.Acks % 2 == 0 ? 1 : 2;
        journals += QFileInfo(books.File() + QStringLiteral("-journal")).size() > 0;
        const QString connect = ConnectFails();
        QVERIFY2(connect.isEmpty(), qPrintable(where + u' ' + connect));
        GDbAccess->Close();
        const QString check = CheckBooks(books.File(), model.Initial);
        QVERIFY2(check.isEmpty(), qPrintable(where + QStringLiteral(": ") + check));
        TBooksState now;
        QCOMPARE(ReadBooksState(books.File(), now), QString());
        if (now == state[done]) {
            before = done;
        } else {
            QVERIFY2(now == state[underWay],
                     qPrintable(where + QStringLiteral(": the books hold ") + now.Describe()));
            before = underWay;
        }
        QVERIFY(!shrink || before == 2);
        ++counts[before];
        QVERIFY(ReadAll(first) == firstBytes && ReadAll(second) == secondBytes);
        // A killed restore leaves its private copy in the temporary directory.
        leftovers += RemoveOthers(books.TempDir(), {});
        // An empty journal a kill left before its first write is harmless.
        QStringList entries = TBooksCopy::Entries(books.Dir());
        entries.removeOne(QStringLiteral("bookkeep.dat-journal"));
        QCOMPARE(entries.join(u' '), QStringLiteral("bookkeep.dat tmp"));
    }
    qInfo("%d kills during restores: books left as before %d times, as the first file %d, as "
          "the second %d; %d left a journal, %d private copies left in TMPDIR",
          kRestoreKills + 1, counts[0], counts[1], counts[2], journals, leftovers);
}

void TestKills::killsDuringUndo()
{
    QTemporaryDir work;
    const QString prepared = work.filePath(QStringLiteral("books.dat"));
    TLedgerModel model = PrepareBooks(prepared);
    TBooksState state[2]; // without the step and with it
    QCOMPARE(ReadBooksState(prepared, state[0]), QString());
    {
        // On top, one step of many records, as an import makes.
        TBooksCopy step(prepared);
        const QList<TLedgerOp> ops = LongRecordAdds(model, 1000, 20'000, 2, 200, u'撤');
        GDbAccess->InTransaction([&] {
            for (const TLedgerOp &op : ops)
                RunOp(op);
        });
        GDbAccess->Close();
        QFile::remove(prepared);
        QVERIFY(QFile::copy(step.File(), prepared));
    }
    QCOMPARE(ReadBooksState(prepared, state[1]), QString());
    QVERIFY(!(state[0] == state[1]));
    TBooksCopy books(prepared);
    GDbAccess->Close();

    QRandomGenerator random(kKillSeed + 3);
    int before = 1;
    int counts[2] = {};
    for (int kill = 0; kill < kUndoKills; ++kill) {
        const TRun run = RunUntil({QStringLiteral("undo"), books.Dir()}, books.TempDir(),
                                  KillMoment(random, 3, 1100));
        const QString where = QStringLiteral("kill %1 after %2 replays, %3 writes")
                                  .arg(kill)
                                  .arg(run.Acks)
                                  .arg(run.Markers);
        QVERIFY2(run.Failure.isEmpty() && !run.TimedOut && run.Killed,
                 qPrintable(where + u' ' + run.Failure));
        ++FKills;

        // Each replay turns the books from one state to the other.
        const int done = (before + run.Acks) % 2;
        const QString connect = ConnectFails();
        QVERIFY2(connect.isEmpty(), qPrintable(where + u' ' + connect));
        GDbAccess->Close();
        const QString check = CheckBooks(books.File(), model.Initial);
        QVERIFY2(check.isEmpty(), qPrintable(where + QStringLiteral(": ") + check));
        TBooksState now;
        QCOMPARE(ReadBooksState(books.File(), now), QString());
        if (now == state[done]) {
            before = done;
        } else {
            QVERIFY2(now == state[1 - done],
                     qPrintable(where + QStringLiteral(": the books hold ") + now.Describe()));
            before = 1 - done;
        }
        ++counts[before];
    }
    qInfo("%d kills during undo and redo of a step of 1000 records: books left without it %d "
          "times, with it %d",
          kUndoKills, counts[0], counts[1]);
}

QTEST_GUILESS_MAIN(TestKills)
#include "tst_Kills.moc"
