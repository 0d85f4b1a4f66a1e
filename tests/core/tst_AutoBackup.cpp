// Automatic backups without the window: which copies rotation keeps, when a
// copy is due, that a copy is checked before it is named, and what a failure
// leaves (nothing of the copy, the books untouched, a report and a log entry).

#include "FaultVfs.h"
#include "LedgerTestSupport.h"

#include "data/AutoBackup.h"
#include "data/DbFile.h"
#include "data/UntPublic.h"
#include "ledger/UntConfig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>

namespace {

const QDateTime kNow(QDate(2026, 6, 17), QTime(10, 30, 0)); // a Wednesday

QStringList NamesAt(const QList<QDateTime> &times)
{
    QStringList names;
    for (const QDateTime &time : times)
        names << AutoBackup::FileName(time);
    return names;
}

QString Folder()
{
    return AutoBackup::Folder(AppPath);
}

// The entries of a folder, hidden ones included.
QStringList Entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System
                               | QDir::NoDotAndDotDot);
}

qint64 PragmaValue(const QString &fileName, const char *sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(fileName).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    qint64 value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

// Runs a backup with the clock at `now`; the reason when it failed.
QString MakeAt(const QDateTime &now)
{
    AutoBackup::TMade made;
    return AutoBackup::Make(TDbAccess::DatabaseFile(), Folder(), now, made).Reason();
}

} // namespace

class TestAutoBackup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rotation_data();
    void rotation();
    void copyIsCheckedAndNamed();
    void twoStartsOnOneDayMakeOneCopy();
    void failedWrite_data();
    void failedWrite();
    void copyFailingItsCheckIsRemoved();
    void olderBooksAreUpgraded();
    void largeBooksCopyTime();
};

void TestAutoBackup::rotation_data()
{
    QTest::addColumn<QList<QDateTime>>("copies");
    QTest::addColumn<int>("daily");
    QTest::addColumn<QList<int>>("expired"); // indexes into copies

    QList<QDateTime> everyDay;
    for (int day = 0; day < 10; ++day)
        everyDay << kNow.addDays(-day);
    // Last week's newest copy (Sunday, 3 days back) is a daily copy already,
    // so 7 to 9 days back go.
    QTest::newRow("ten days, seven kept") << everyDay << 7 << QList<int> {7, 8, 9};
    // With three daily copies, last week keeps its Sunday as its weekly copy.
    QTest::newRow("three daily copies") << everyDay << 3 << QList<int> {4, 5, 6, 7, 8, 9};

    // The clock was set back a year: nothing can be judged by age, and the
    // newest copy stays whatever happens.
    QList<QDateTime> future;
    for (int day = 0; day < 20; ++day)
        future << kNow.addYears(1).addDays(-day);
    QTest::newRow("clock set back") << future << 1 << QList<int> {};

    // Several copies on one day: once the day is over, its newest is its
    // daily copy; today's all stay.
    const QDateTime yesterday = kNow.addDays(-1);
    const QList<QDateTime> sameDay {kNow, kNow.addSecs(-60), yesterday, yesterday.addSecs(-60),
                                    yesterday.addSecs(-7200)};
    QTest::newRow("same day") << sameDay << 7 << QList<int> {3, 4};

    // Copies older than every week and month: the newest seven days stay.
    QList<QDateTime> old;
    for (int month = 0; month < 9; ++month)
        old << kNow.addMonths(-13 - month);
    QTest::newRow("only old copies") << old << 7 << QList<int> {7, 8};
    QTest::newRow("newest of all") << old << 0 << QList<int> {1, 2, 3, 4, 5, 6, 7, 8};
}

void TestAutoBackup::rotation()
{
    QFETCH(QList<QDateTime>, copies);
    QFETCH(int, daily);
    QFETCH(QList<int>, expired);
    const QStringList names = NamesAt(copies);
    QStringList expected;
    for (int index : expired)
        expected << names[index];
    QStringList actual
        = AutoBackup::Expired(names + QStringList {QStringLiteral("notes.txt")}, kNow, daily);
    actual.sort();
    expected.sort();
    QCOMPARE(actual, expected);
}

void TestAutoBackup::copyIsCheckedAndNamed()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("现金"), Amount("100"));
    AddRecord(1, QStringLiteral("现金"), Amount("12.5"), 1, QStringLiteral("午饭"),
              QDate(2026, 3, 4));
    const QByteArray before = ReadAll(books.DatabaseFile());

    AutoBackup::TMade made;
    QCOMPARE(AutoBackup::Make(books.DatabaseFile(), Folder(), kNow, made).Reason(), QString());
    QCOMPARE(made.File, Folder() + QStringLiteral("bookkeep-20260617-103000.bat"));
    // Only the named copy: no temporary file or journal is left.
    QCOMPARE(Entries(Folder()), QStringList {QStringLiteral("bookkeep-20260617-103000.bat")});
    QCOMPARE(ReadAll(books.DatabaseFile()), before);
    QCOMPARE(made.ChangeCounter, *AutoBackup::ChangeCounter(books.DatabaseFile()));

    const AutoBackup::TCopy copy = AutoBackup::Inspect(made.File);
    QCOMPARE(copy.Check.Reason(), QString());
    QCOMPARE(copy.Time, kNow);
    QCOMPARE(copy.Records, qint64(1));
    QCOMPARE(copy.LastRecord, QDate(2026, 3, 4));
    QCOMPARE(copy.Size, QFileInfo(made.File).size());
    QCOMPARE(PragmaValue(made.File, "PRAGMA user_version"), qint64(DbFile::kSchemaVersion));

    // The connection still writes to the books, and the change moves the counter.
    AddRecord(0, QStringLiteral("现金"), Amount("1"));
    QVERIFY(*AutoBackup::ChangeCounter(books.DatabaseFile()) != made.ChangeCounter);
}

void TestAutoBackup::twoStartsOnOneDayMakeOneCopy()
{
    TTestBooks books;
    for (const QDateTime &start : {kNow, kNow.addSecs(90)}) {
        TAutoBackup backup;
        backup.SetClock([start] { return start; });
        QSignalSpy made(&backup, &TAutoBackup::Made);
        backup.AtStart();
        backup.Wait();
        QCOMPARE(made.size(), start == kNow ? 1 : 0);
    }
    QCOMPARE(AutoBackup::Names(Folder()).size(), 1);

    // The next day's start makes the next copy, delivered on the window's
    // thread without anyone waiting for it.
    TAutoBackup backup;
    backup.SetClock([] { return kNow.addDays(1); });
    QSignalSpy made(&backup, &TAutoBackup::Made);
    backup.AtStart();
    QVERIFY(made.wait());
    QVERIFY(!backup.Busy());
    QCOMPARE(AutoBackup::Names(Folder()).size(), 2);
}

void TestAutoBackup::failedWrite_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::newRow("disk full") << true;
    QTest::newRow("write error") << false;
}

void TestAutoBackup::failedWrite()
{
    QFETCH(bool, diskFull);
    TTestBooks books;
    for (int i = 0; i < 200; ++i)
        InsertAccount(QStringLiteral("账户%1").arg(i), Amount("1"), QString(200, u'备'));
    const QByteArray before = ReadAll(books.DatabaseFile());
    QVERIFY(before.size() > 64 * 1024);
    QVERIFY(QDir().mkpath(Folder()));

    QString reason;
    if (diskFull) {
        // No file may grow past 16 KiB: the copy runs out of room part way.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limit = old;
        limit.rlim_cur = 16 * 1024;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        reason = MakeAt(kNow);
        setrlimit(RLIMIT_FSIZE, &old);
    } else {
        // The copy is the only writer: its third write fails.
        FaultVfs::Install();
        FaultVfs::Arm(FaultVfs::TFault::IoError, 3, 0);
        reason = MakeAt(kNow);
        const bool fired = FaultVfs::Fired();
        FaultVfs::Disarm();
        QVERIFY(fired);
    }

    QVERIFY2(reason.startsWith(QStringLiteral("复制数据文件失败")), qPrintable(reason));
    QCOMPARE(Entries(Folder()), QStringList());
    QCOMPARE(ReadAll(books.DatabaseFile()), before);
    // A retry that can write succeeds.
    QCOMPARE(MakeAt(kNow), QString());
}

void TestAutoBackup::copyFailingItsCheckIsRemoved()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("现金"), Amount("100"));
    // Totals that disagree with the records: such a copy could not be restored.
    RawExec(books.DatabaseFile(), QStringLiteral("update Account set InFare=5"));
    const QByteArray before = ReadAll(books.DatabaseFile());

    TAutoBackup backup;
    backup.SetClock([] { return kNow; });
    QSignalSpy failed(&backup, &TAutoBackup::Failed);
    QVERIFY(!backup.BeforeChange());
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed[0][0].toString().startsWith(QStringLiteral("备份未通过检查")));
    QCOMPARE(Entries(Folder()), QStringList());
    QCOMPARE(ReadAll(books.DatabaseFile()), before);
}

void TestAutoBackup::olderBooksAreUpgraded()
{
    TTestBooks books;
    // Books as the first release wrote them: no backup setting, version 1.
    GDbAccess->Close();
    RawExec(books.DatabaseFile(),
            DropUndoHistory()
                + QStringLiteral("alter table SysSet drop column AutoBackup;"
                                 "alter table SysSet drop column BackupDays;"
                                 "drop table ImportedRow;drop table ImportSetting;"
                                 "update SysSet set bPass=-1,PassWord='旧密码';"
                                 "PRAGMA user_version=1"));
    QCOMPARE(PragmaValue(books.DatabaseFile(), "PRAGMA user_version"), qint64(1));
    GDbAccess->Connect();
    QVERIFY(GDbAccess->Connected());
    QCOMPARE(PragmaValue(books.DatabaseFile(), "PRAGMA user_version"),
             qint64(DbFile::kSchemaVersion));

    TConfig config;
    config.LoadConfig();
    QVERIFY(config.FbPass);
    QCOMPARE(config.FPassWord, QStringLiteral("旧密码"));
    QVERIFY(config.FAutoBackup);
    QCOMPARE(config.FBackupDays, 7);
    config.FAutoBackup = false;
    config.FBackupDays = 3;
    config.SaveBackupConfig();
    TConfig again;
    again.LoadConfig();
    QVERIFY(!again.FAutoBackup);
    QCOMPARE(again.FBackupDays, 3);
    QCOMPARE(again.FPassWord, QStringLiteral("旧密码"));

    // A version-1 copy is listed as usable: a restore brings it up to date.
    GDbAccess->Close();
    const QString old = books.Dir() + QStringLiteral("old.dat");
    QVERIFY(QFile::copy(books.DatabaseFile(), old));
    RawExec(old,
            DropUndoHistory()
                + QStringLiteral("alter table SysSet drop column AutoBackup;"
                                 "alter table SysSet drop column BackupDays;"
                                 "drop table ImportedRow;drop table ImportSetting;"
                                 "PRAGMA user_version=1"));
    QVERIFY(QDir().mkpath(Folder()));
    QVERIFY(QFile::rename(old, Folder() + AutoBackup::FileName(kNow)));
    QCOMPARE(AutoBackup::Inspect(Folder() + AutoBackup::FileName(kNow)).Check.Reason(), QString());
    DbRestore(Folder() + AutoBackup::FileName(kNow));
    QCOMPARE(PragmaValue(books.DatabaseFile(), "PRAGMA user_version"),
             qint64(DbFile::kSchemaVersion));
}

void TestAutoBackup::largeBooksCopyTime()
{
    // Prepared books of any size, e.g. a million records from the generator.
    const QString large = qEnvironmentVariable("BOOKKEEP_LARGE_BOOKS");
    if (large.isEmpty())
        QSKIP("BOOKKEEP_LARGE_BOOKS names no books");
    QTemporaryDir dir;
    AutoBackup::TMade made;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(AutoBackup::Make(large, dir.filePath(QStringLiteral("backups")), kNow, made).Reason(),
             QString());
    qInfo("copy of %lld bytes made and checked in %lld ms", QFileInfo(large).size(),
          timer.elapsed());
}

QTEST_GUILESS_MAIN(TestAutoBackup)
#include "tst_AutoBackup.moc"
