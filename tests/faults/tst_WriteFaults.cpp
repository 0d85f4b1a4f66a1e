// A failing write, sync or truncate, and a power loss, at every such call of
// a change of a record or a transfer, a backup and a restore: the books stay
// sound and hold the old or the new state, and a failure is reported as one.

#include "FaultBooks.h"
#include "FaultVfs.h"
#include "TestSupport.h"

#include "data/DbAccess.h"
#include "data/UException.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace {

enum class TChange { Add, Move, Delete, Transfer, Backup, RestoreLarger, RestoreSmaller };

// The most calls a change may make before the test gives up on reaching its end.
constexpr int kMaxPoints = 3000;

QString BackupTarget(const TBooksCopy &books)
{
    return books.Dir() + QStringLiteral("backup.dat");
}

} // namespace

Q_DECLARE_METATYPE(TChange)
Q_DECLARE_METATYPE(FaultVfs::TFault)

class TestWriteFaults : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void faultAtEveryCall_data();
    void faultAtEveryCall();

private:
    void Run(TChange change, const TBooksCopy &books);
    // After a power loss that left a journal: opening the books rolls it
    // back, and a write failing at any call of that is reported and leaves
    // what the next opening completes.
    void Recover(const TBooksCopy &books, const QString &where, const TBooksState &oldState,
                 const TBooksState &newState);

    QTemporaryDir FWork;
    QString FBase;
    QString FLarger;
    QString FSmaller;
    TLedgerModel FModel;
    QElapsedTimer FTimer;
    int FPoints = 0;
    int FRecoveryPoints = 0;
};

void TestWriteFaults::initTestCase()
{
    FTimer.start();
    FBase = FWork.filePath(QStringLiteral("base.dat"));
    FLarger = FWork.filePath(QStringLiteral("larger.dat"));
    FSmaller = FWork.filePath(QStringLiteral("smaller.dat"));
    FModel = PrepareBooks(FBase);

    // A file that makes the books grow when restored, and one that makes
    // them shrink: the accounts alone.
    TLedgerModel larger = FModel;
    DeriveBooks(FBase, FLarger, larger, LongRecordAdds(FModel, 6, 70'000, 1, 3000, u'长'));
    TLedgerModel smaller = FModel;
    DeriveBooks(FBase, FSmaller, smaller, DeleteAll(FModel));
    QVERIFY(QFileInfo(FLarger).size() > QFileInfo(FBase).size());

    FaultVfs::Install();
    FaultVfs::SetRealSync(false);
}

void TestWriteFaults::cleanupTestCase()
{
    FaultVfs::Disarm();
    qInfo("%d fault points tried, and %d in the recovery after a power loss, in %lld ms", FPoints,
          FRecoveryPoints, FTimer.elapsed());
}

void TestWriteFaults::Run(TChange change, const TBooksCopy &books)
{
    switch (change) {
    case TChange::Add:
        RunOp(SampleAdd(FModel));
        break;
    case TChange::Move:
        RunOp(SampleMove(FModel));
        break;
    case TChange::Delete:
        RunOp(SampleDelete(FModel));
        break;
    case TChange::Transfer:
        RunOp(SampleTransfer(FModel));
        break;
    case TChange::Backup:
        DbBackup(BackupTarget(books));
        break;
    case TChange::RestoreLarger:
        DbRestore(FLarger);
        break;
    case TChange::RestoreSmaller:
        DbRestore(FSmaller);
        break;
    }
}

void TestWriteFaults::Recover(const TBooksCopy &books, const QString &where,
                              const TBooksState &oldState, const TBooksState &newState)
{
    const QString journal = books.File() + QStringLiteral("-journal");
    if (QFileInfo(journal).size() == 0)
        return;
    const QByteArray booksBytes = ReadAll(books.File());
    const QByteArray journalBytes = ReadAll(journal);
    const auto put = [](const QString &fileName, const QByteArray &bytes) {
        QFile file(fileName);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(bytes) == bytes.size();
    };
    for (int point = 1; point < kMaxPoints; ++point) {
        const QString at = where + QStringLiteral(", recovery call %1").arg(point);
        QVERIFY(put(books.File(), booksBytes) && put(journal, journalBytes));
        TRecordingPrompt prompt;
        FaultVfs::Arm(FaultVfs::TFault::IoError, point, 0);
        GDbAccess->Connect();
        const bool fired = FaultVfs::Fired();
        FaultVfs::Disarm();
        if (!fired) {
            QVERIFY2(GDbAccess->Connected() && prompt.Boxes.isEmpty(), qPrintable(at));
            GDbAccess->Close();
            return;
        }
        ++FRecoveryPoints;
        QVERIFY2(GDbAccess->Connected() || !prompt.Boxes.isEmpty(),
                 qPrintable(at + QStringLiteral(": neither open nor reported")));
        GDbAccess->Close();
        GDbAccess->Connect();
        QVERIFY2(GDbAccess->Connected(), qPrintable(at + QStringLiteral(": no reopen")));
        GDbAccess->Close();
        const QString check = CheckBooks(books.File(), FModel.Initial);
        QVERIFY2(check.isEmpty(), qPrintable(at + QStringLiteral(": ") + check));
        TBooksState state;
        QCOMPARE(ReadBooksState(books.File(), state), QString());
        QVERIFY2(state == oldState || state == newState,
                 qPrintable(at + QStringLiteral(": neither old nor new: ") + state.Describe()));
    }
    QFAIL(qPrintable(where + QStringLiteral(": the recovery never ends")));
}

void TestWriteFaults::faultAtEveryCall_data()
{
    QTest::addColumn<TChange>("change");
    QTest::addColumn<FaultVfs::TFault>("fault");
    const std::pair<const char *, TChange> changes[] = {
        {"add", TChange::Add},
        {"move to another account", TChange::Move},
        {"delete", TChange::Delete},
        {"transfer", TChange::Transfer},
        {"backup", TChange::Backup},
        {"restore larger", TChange::RestoreLarger},
        {"restore smaller", TChange::RestoreSmaller},
    };
    for (const auto &[name, change] : changes) {
        QTest::addRow("%s, I/O error", name) << change << FaultVfs::TFault::IoError;
        QTest::addRow("%s, power loss", name) << change << FaultVfs::TFault::PowerLoss;
    }
}

void TestWriteFaults::faultAtEveryCall()
{
    QFETCH(TChange, change);
    QFETCH(FaultVfs::TFault, fault);
    const bool powerLoss = fault == FaultVfs::TFault::PowerLoss;
    const bool backup = change == TChange::Backup;

    TBooksState oldState;
    QCOMPARE(ReadBooksState(FBase, oldState), QString());
    TBooksState newState = oldState;
    TLedgerModel model = FModel;
    switch (change) {
    case TChange::Add:
        ApplyOp(model, SampleAdd(FModel));
        newState = model.Expected();
        break;
    case TChange::Move:
        ApplyOp(model, SampleMove(FModel));
        newState = model.Expected();
        break;
    case TChange::Delete:
        ApplyOp(model, SampleDelete(FModel));
        newState = model.Expected();
        break;
    case TChange::Transfer:
        ApplyOp(model, SampleTransfer(FModel));
        newState = model.Expected();
        break;
    case TChange::Backup:
        break;
    case TChange::RestoreLarger:
        QCOMPARE(ReadBooksState(FLarger, newState), QString());
        break;
    case TChange::RestoreSmaller:
        QCOMPARE(ReadBooksState(FSmaller, newState), QString());
        break;
    }
    QCOMPARE(oldState, FModel.Expected());
    QVERIFY(!(oldState == newState) || backup);
    const QByteArray baseBytes = ReadAll(FBase);
    const QByteArray oldTarget = ReadAll(QStringLiteral(TEMPLATE_DB));
    const QString source = change == TChange::RestoreLarger ? FLarger : FSmaller;
    const QByteArray sourceBytes = ReadAll(source);

    int reported = 0;
    int landedNew = 0;
    int point = 1;
    for (;; ++point) {
        QVERIFY2(point < kMaxPoints, "the change never ends");
        TBooksCopy books(FBase);
        TRecordingPrompt prompt;
        const QString target = BackupTarget(books);
        // The backup finds no file at odd points and an older one at even ones.
        if (backup && point % 2 == 0)
            QVERIFY(QFile::copy(QStringLiteral(TEMPLATE_DB), target));
        const QString where = QStringLiteral("call %1").arg(point);

        FaultVfs::Arm(fault, point, quint32(point) * 7919u + quint32(change));
        bool raised = false;
        QString other;
        try {
            Run(change, books);
        } catch (const EDBException &failure) {
            raised = true;
            QVERIFY2(!failure.Message().isEmpty() && !failure.FTitle.isEmpty(), qPrintable(where));
        } catch (const std::exception &failure) {
            other = QString::fromUtf8(failure.what());
        }
        const bool fired = FaultVfs::Fired();
        const QStringList unsynced = FaultVfs::Unsynced();
        // The machine went down, and the program with it.
        if (powerLoss && fired)
            GDbAccess->Close();
        FaultVfs::Disarm();
        QVERIFY2(other.isEmpty(),
                 qPrintable(where + QStringLiteral(": not a database failure: ") + other));
        ++FPoints;

        if (powerLoss && fired) {
            Recover(books, where, oldState, newState);
            if (QTest::currentTestFailed())
                return;
            GDbAccess->Connect();
            QVERIFY2(GDbAccess->Connected(), qPrintable(where + QStringLiteral(": no reopen")));
        }
        QVERIFY2(prompt.Boxes.isEmpty(), qPrintable(where + u' ' + prompt.Boxes.value(0).Text));
        const QString check = CheckBooks(books.File(), FModel.Initial);
        QVERIFY2(check.isEmpty(), qPrintable(where + QStringLiteral(": ") + check));
        TBooksState state;
        QCOMPARE(ReadBooksState(books.File(), state), QString());
        QVERIFY2(state == oldState || state == newState,
                 qPrintable(where + QStringLiteral(": neither old nor new: ") + state.Describe()));
        if (!fired) {
            QVERIFY2(!raised, qPrintable(where + QStringLiteral(": failed without a fault")));
            QVERIFY(state == newState);
            // A power loss right after the success would take nothing back.
            QVERIFY2(unsynced.isEmpty() || !powerLoss,
                     qPrintable(where + QStringLiteral(": done, but not synced: ")
                                + unsynced.join(u' ')));
        } else if (raised) {
            ++reported;
            landedNew += state == newState && !backup;
        } else {
            // A fault the engine got over is fine; a success that did not
            // land is not.
            QVERIFY2(state == newState,
                     qPrintable(where + QStringLiteral(": success reported, change lost")));
        }

        if (backup) {
            QVERIFY2(ReadAll(books.File()) == baseBytes,
                     qPrintable(where + QStringLiteral(": books touched")));
            if (QFile::exists(target) && ReadAll(target) != oldTarget) {
                const QString copy = CheckBooks(target, FModel.Initial);
                QVERIFY2(copy.isEmpty(), qPrintable(where + QStringLiteral(": copy ") + copy));
                TBooksState copied;
                QCOMPARE(ReadBooksState(target, copied), QString());
                QVERIFY2(copied == oldState, qPrintable(where + QStringLiteral(": copy differs")));
            } else {
                QVERIFY2(fired && raised,
                         qPrintable(where + QStringLiteral(": success without a copy")));
            }
        }
        if (change == TChange::RestoreLarger || change == TChange::RestoreSmaller) {
            QVERIFY2(ReadAll(source) == sourceBytes,
                     qPrintable(where + QStringLiteral(": source touched")));
            QVERIFY2(TBooksCopy::Entries(books.TempDir()).isEmpty() || powerLoss,
                     qPrintable(where + QStringLiteral(": private copy left")));
        }

        // Once the fault has cleared, the same connection works on.
        try {
            RunOp(SampleAdd(FModel));
        } catch (const Exception &failure) {
            QFAIL(qPrintable(where + QStringLiteral(": the next change fails: ")
                             + failure.Message()));
        }
        QVERIFY2(CheckBooks(books.File(), FModel.Initial).isEmpty(), qPrintable(where));
        if (!powerLoss) {
            QStringList expected {QStringLiteral("bookkeep.dat"), QStringLiteral("tmp")};
            if (QFile::exists(target))
                expected.prepend(QStringLiteral("backup.dat"));
            QCOMPARE(TBooksCopy::Entries(books.Dir()), expected);
        }
        if (!fired)
            break;
    }
    qInfo("%d fault points; %d failures reported, %d of them with the change in", point, reported,
          landedNew);
    QVERIFY(reported > 0);
}

QTEST_GUILESS_MAIN(TestWriteFaults)
#include "tst_WriteFaults.moc"
