// Damaged, foreign and half-written files offered as the books at start and
// as the source of a restore, and the copies a killed backup or restore
// leaves behind.

#include "TestSupport.h"

#include "data/DbAccess.h"
#include "data/DbFile.h"
#include "data/SqlFormat.h"
#include "data/UException.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>
#include <unistd.h>

namespace {

const QString kConnectTitle = QStringLiteral("数据库连接失败！");
const QString kRestoreTitle = QStringLiteral("数据库恢复失败！");

QByteArray RandomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator random(seed);
    for (char &b : bytes)
        b = char(random.bounded(256));
    return bytes;
}

// Books with two accounts whose totals match their 400 records, written into
// the program's connection and copied out as `fileName`.
void MakeGoodBooks(const QString &fileName)
{
    QString batch = QStringLiteral(
        "insert into Account(AccountName,Remark,Fare,InFare,OutFare) values ('A','',7.5,0,0)@#@"
        "insert into Account(AccountName,Remark,Fare,InFare,OutFare) values ('B','',0,0,0)");
    for (int i = 0; i < 400; ++i) {
        const bool income = i % 3 != 0;
        const QString account = i % 2 ? QStringLiteral("A") : QStringLiteral("B");
        const QString fare = QStringLiteral("%1.25").arg(i);
        batch += Format(QStringLiteral("@#@insert into BookKeep(InOutType,TypeID,Remark,Fare,"
                                       "AccountName,InDate) values ('%s',1,'%s',%s,'%s','45000')"),
                        {income ? QStringLiteral("0") : QStringLiteral("1"),
                         QString(150, QChar(u'a' + i % 26)), fare, account})
            + Format(income
                         ? QStringLiteral("@#@update Account set Fare=Fare+%s,InFare=InFare+%s "
                                          "where AccountName='%s'")
                         : QStringLiteral("@#@update Account set Fare=Fare-%s,OutFare=OutFare+%s "
                                          "where AccountName='%s'"),
                     {fare, fare, account});
    }
    DbExec(batch);
    DbBackup(fileName);
}

// A file whose writer was cut off in the middle of a transaction, with the
// journal that undoes it beside it: the file alone holds the account's new
// totals but only part of the changed records. Returns the account's InFare
// before the transaction, which a rollback brings back.
QString MakeTornBooks(const QString &dir, const QString &fileName)
{
    const QString work = dir + QStringLiteral("writer.bat");
    QFile::remove(work);
    QFile::copy(QStringLiteral(TEMPLATE_DB), work);
    QFile::setPermissions(work, QFile::ReadOwner | QFile::WriteOwner);
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(work).constData(), &db);
    const auto exec = [db](const QString &sql) {
        char *error = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK)
            qFatal("%s", error);
    };
    // Without the undo log the change rewrites pages in place, so the torn
    // file keeps its length and only its totals tell.
    exec(DropUndoTriggers());
    exec(QStringLiteral("insert into Account(AccountName,Remark,Fare) values ('A','',0);"
                        "begin;"));
    for (int i = 0; i < 2000; ++i)
        exec(QStringLiteral("insert into BookKeep(InOutType,TypeID,Remark,Fare,AccountName,InDate)"
                            " values (0,1,'%1',5,'A',45000);")
                 .arg(QString(300, u'r')));
    exec(QStringLiteral("update Account set Fare=Fare+10000,InFare=InFare+10000;commit;"));
    // A one-page cache makes the transaction write changed pages into the
    // file before it ends; the files are taken while it is still open.
    exec(QStringLiteral("pragma cache_size=1;begin;"
                        "update Account set Fare=Fare+2000,InFare=InFare+2000;"
                        "update BookKeep set Fare=6;"));
    QFile::remove(fileName);
    QFile::remove(fileName + QStringLiteral("-journal"));
    if (!QFile::copy(work, fileName)
        || !QFile::copy(work + QStringLiteral("-journal"), fileName + QStringLiteral("-journal")))
        qFatal("no journal to take");
    exec(QStringLiteral("rollback"));
    sqlite3_close(db);
    return QStringLiteral("10000");
}

// A copy of good books switched to WAL mode by another tool, holding an
// account "W" only in its WAL file.
void MakeWalBooks(const QString &good, const QString &fileName)
{
    QFile::copy(good, fileName);
    QFile::setPermissions(fileName, QFile::ReadOwner | QFile::WriteOwner);
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(fileName).constData(), &db);
    if (sqlite3_exec(db,
                     "pragma journal_mode=WAL;pragma wal_autocheckpoint=0;"
                     "insert into Account(AccountName,Remark,Fare) values ('W','',1);",
                     nullptr, nullptr, nullptr)
        != SQLITE_OK)
        qFatal("cannot switch to WAL");
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    sqlite3_close(db);
    if (!QFile::exists(fileName + QStringLiteral("-wal")))
        qFatal("no WAL file left");
}

// Makes a broken file of the given kind from good books.
void MakeBroken(const QString &kind, const QString &good, const QString &target)
{
    QFile::remove(target);
    const QByteArray bytes = ReadAll(good);
    const qsizetype page = 4096;
    const auto copyAndRun = [&](const QString &sql) {
        QFile::copy(good, target);
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        RawExec(target, sql);
    };
    if (kind == u"empty") {
        WriteFile(target, {});
    } else if (kind == u"random bytes") {
        WriteFile(target, RandomBytes(3 * 4096, 7));
    } else if (kind.startsWith(u"cut at ")) {
        const qsizetype at = kind.endsWith(u"half") ? bytes.size() / 2 : kind.mid(7).toLongLong();
        WriteFile(target, bytes.left(at < 0 ? bytes.size() + at : at));
    } else if (kind == u"zeroed page") {
        WriteFile(target, bytes.left(5 * page) + QByteArray(page, '\0') + bytes.mid(6 * page));
    } else if (kind == u"random page") {
        WriteFile(target, bytes.left(7 * page) + RandomBytes(page, 11) + bytes.mid(8 * page));
    } else if (kind == u"foreign") {
        RawExec(target, QStringLiteral("create table Account(x); insert into Account values (1);"));
    } else if (kind.startsWith(u"no table ")) {
        copyAndRun(QStringLiteral("drop table ") + kind.mid(9));
    } else if (kind == u"column missing") {
        copyAndRun(QStringLiteral("alter table Notepad drop column Remark"));
    } else if (kind == u"password") {
        copyAndRun(QStringLiteral("update DbKey set Verifier='00'"));
    } else if (kind == u"newer") {
        copyAndRun(QStringLiteral("pragma user_version=99"));
    } else if (kind == u"totals") {
        copyAndRun(QStringLiteral("update Account set InFare=InFare+0.0001 where AccountName='B'"));
    } else if (kind == u"torn without journal") {
        MakeTornBooks(QFileInfo(target).absolutePath() + u'/', target);
        QFile::remove(target + QStringLiteral("-journal"));
    } else {
        qFatal("unknown kind %s", qPrintable(kind));
    }
}

// The rows shared by the start and the restore: what is broken and a part
// of the reason given.
void AddBrokenRows()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("empty") << "empty"
                           << "不是本软件的数据文件";
    QTest::newRow("random bytes") << "random bytes"
                                  << "不是有效的数据库";
    QTest::newRow("cut in the header") << "cut at 50"
                                       << "";
    QTest::newRow("cut in the first page") << "cut at 3000"
                                           << "";
    QTest::newRow("cut in half") << "cut at half"
                                 << "";
    QTest::newRow("last page missing") << "cut at -4096"
                                       << "";
    QTest::newRow("last byte missing") << "cut at -1"
                                       << "不完整";
    QTest::newRow("zeroed page") << "zeroed page"
                                 << "损坏";
    QTest::newRow("random page") << "random page"
                                 << "损坏";
    QTest::newRow("another program's file") << "foreign"
                                            << "不是本软件的数据文件";
    for (const char *table : {"Account", "BookKeep", "InType", "OutType", "Notepad", "SysSet",
                              "UndoLog", "UndoRedo", "Transfer", "Reconciled"})
        QTest::addRow("no table %s", table)
            << QStringLiteral("no table %1").arg(QLatin1StringView(table))
            << QStringLiteral("缺少表 %1").arg(QLatin1StringView(table));
    QTest::newRow("column missing") << "column missing"
                                    << "Notepad";
    QTest::newRow("another database password") << "password"
                                               << "数据库密码错误";
    QTest::newRow("newer schema") << "newer"
                                  << "更新版本";
}

// Every row of the six tables of a file, as text.
QStringList Dump(const QString &fileName)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(fileName).constData(), &db);
    QStringList rows;
    for (const char *table : {"Account", "BookKeep", "InType", "OutType", "Notepad", "SysSet"}) {
        sqlite3_stmt *stmt = nullptr;
        const QByteArray sql = QByteArray("select * from ") + table + " order by rowid";
        sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QString row = QString::fromLatin1(table);
            for (int i = 0; i < sqlite3_column_count(stmt); ++i)
                row += u'|'
                    + QString::fromUtf8(
                           reinterpret_cast<const char *>(sqlite3_column_text(stmt, i)));
            rows << row;
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return rows;
}

QStringList Partials(const QString &dir)
{
    return QDir(dir).entryList({u'*' + DbFile::kPartialMark + u'*'}, QDir::Files);
}

int Count(const QString &sql)
{
    return DbQueryInt(sql);
}

} // namespace

class TestBrokenFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void connectRefuses_data();
    void connectRefuses();
    void connectRollsBackHotJournal();
    void restoreAfterPageCheckFails();
    void connectTakesWalFile();
    void connectExplainsReadOnlyFolder();
    void restoreRefuses_data();
    void restoreRefuses();
    void restoreGoodFiles_data();
    void restoreGoodFiles();
    void restoreLeavesNoCopy();
    void fullDiskIsNamed();
    void leftoversRemoved();
};

void TestBrokenFiles::connectRefuses_data()
{
    AddBrokenRows();
}

void TestBrokenFiles::connectRefuses()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    TTestBooks books;
    const QString good = books.Dir() + QStringLiteral("good.bat");
    MakeGoodBooks(good);
    GDbAccess->Close();
    QFile::remove(books.DatabaseFile());
    MakeBroken(kind, good, books.DatabaseFile());
    const QByteArray before = ReadAll(books.DatabaseFile());
    const QString insert = QStringLiteral("insert into Notepad(ID,Remark) values (2,'x')");

    // With the pass over every page left for afterwards, books whose pages
    // only that pass refuses open, but take no write until it has passed.
    for (const TPageCheck pages : {TPageCheck::First, TPageCheck::Afterwards}) {
        TRecordingPrompt prompt;
        QObject context;
        bool passed = false;
        GDbAccess->Connect(pages);
        GDbAccess->AfterPageCheck(&context, [&passed] { passed = true; });
        if (GDbAccess->Connected()) {
            try {
                DbExec(insert);
                QFAIL("written before the check passed");
            } catch (const Exception &refused) {
                QCOMPARE(refused.Message(), QStringLiteral("正在检查数据文件，请稍候再试。"));
            }
        }
        QTRY_VERIFY(!GDbAccess->CheckingPages());
        QVERIFY(!GDbAccess->Connected());
        QVERIFY(!passed);
        QCOMPARE(prompt.Boxes.size(), 1);
        const QString text = prompt.Boxes[0].Text;
        QVERIFY2(text.startsWith(kConnectTitle + QStringLiteral("\r\n详细信息：")),
                 qPrintable(text));
        QVERIFY2(text.size() > kConnectTitle.size() + 7, qPrintable(text));
        QVERIFY2(text.contains(reason), qPrintable(text));
        // A later use meets the same refusal and writes nothing either.
        QVERIFY_THROWS_EXCEPTION(EDBException, DbExec(insert));
        GDbAccess->Close();
        QCOMPARE(ReadAll(books.DatabaseFile()), before);
        QCOMPARE(QDir(books.Dir()).entryList({QStringLiteral("bookkeep.dat-*")}), QStringList());
    }
}

void TestBrokenFiles::connectRollsBackHotJournal()
{
    // The program's own books, cut off in the middle of a batch: opening
    // them undoes the batch, and the totals match the records again.
    TTestBooks books;
    GDbAccess->Close();
    const QString inFare = MakeTornBooks(books.Dir(), books.DatabaseFile());
    TRecordingPrompt prompt;
    GDbAccess->Connect(TPageCheck::Afterwards);
    bool passed = false;
    GDbAccess->AfterPageCheck(this, [&passed] { passed = true; });
    QTRY_VERIFY(passed);
    QVERIFY(GDbAccess->Connected());
    QCOMPARE(prompt.Boxes.size(), 0);
    QVERIFY(!QFile::exists(books.DatabaseFile() + QStringLiteral("-journal")));
    TQuery &query = GDbAccess->OpenQuery(
        QStringLiteral("select InFare,(select sum(Fare) from BookKeep) from Account"));
    QCOMPARE(query.Fields(0).AsString(), inFare);
    QCOMPARE(query.Fields(1).AsString(), inFare);
}

void TestBrokenFiles::restoreAfterPageCheckFails()
{
    // Books whose pages fail the check after the start can still be copied
    // out and replaced, and the restored books are written again.
    TTestBooks books;
    const QString good = books.Dir() + QStringLiteral("good.bat");
    MakeGoodBooks(good);
    GDbAccess->Close();
    MakeBroken(QStringLiteral("zeroed page"), good, books.DatabaseFile());
    const QByteArray broken = ReadAll(books.DatabaseFile());
    TRecordingPrompt prompt;
    GDbAccess->Connect(TPageCheck::Afterwards);
    QTRY_COMPARE(prompt.Boxes.size(), 1);
    QVERIFY_THROWS_EXCEPTION(EDBException, Count(QStringLiteral("select count(*) from Account")));
    const QString safety = books.Dir() + QStringLiteral("safety.bat");
    DbRestore(good, [&safety] { DbBackup(safety); });
    QCOMPARE(QFileInfo(safety).size(), broken.size());
    DbExec(QStringLiteral("insert into Notepad(ID,Remark) values (2,'x')"));
    QCOMPARE(Count(QStringLiteral("select count(*) from BookKeep")), 400);
    QCOMPARE(prompt.Boxes.size(), 1);
}

void TestBrokenFiles::connectTakesWalFile()
{
    // Books another tool switched to WAL mode open with what the WAL file
    // holds, and go back to a single file.
    TTestBooks books;
    const QString good = books.Dir() + QStringLiteral("good.bat");
    MakeGoodBooks(good);
    GDbAccess->Close();
    QFile::remove(books.DatabaseFile());
    MakeWalBooks(good, books.DatabaseFile());
    GDbAccess->Connect();
    QVERIFY(GDbAccess->Connected());
    QCOMPARE(Count(QStringLiteral("select count(*) from Account where AccountName='W'")), 1);
    GDbAccess->Close();
    QVERIFY(!QFile::exists(books.DatabaseFile() + QStringLiteral("-wal")));
    QCOMPARE(ReadAll(books.DatabaseFile()).at(18), char(1));
}

void TestBrokenFiles::connectExplainsReadOnlyFolder()
{
    // Sound books with a change to undo, in a folder that cannot be written:
    // the message says so instead of calling the file invalid. Root writes
    // into any folder, so then the program runs as another user.
    QTemporaryDir dir;
    QTemporaryDir runtime;
    const QString file = dir.path() + QStringLiteral("/bookkeep.dat");
    MakeTornBooks(dir.path() + u'/', file);
    QFile::remove(dir.path() + QStringLiteral("/writer.bat"));
    const QFile::Permissions all = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
        | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    QFile::setPermissions(file, all);
    QFile::setPermissions(file + QStringLiteral("-journal"), all);
    const QFile::Permissions readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(dir.path(), readOnly);
    QFile::setPermissions(runtime.path(), readOnly | all);

    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    environment.insert(QStringLiteral("HOME"), runtime.path());
    probe.setProcessEnvironment(environment);
    const QStringList arguments = {QStringLiteral("--data-dir"), dir.path()};
    if (geteuid() == 0)
        probe.start(QStringLiteral("setpriv"),
                    QStringList {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                 QStringLiteral("--clear-groups"), QStringLiteral(PROBE_EXE)}
                        + arguments);
    else
        probe.start(QStringLiteral(PROBE_EXE), arguments);
    QVERIFY(probe.waitForFinished(20000));
    const QString output = QString::fromUtf8(probe.readAllStandardOutput());
    QFile::setPermissions(dir.path(), readOnly | QFile::WriteOwner);
    QVERIFY2(output.contains(QStringLiteral("BOX|错误|数据库连接失败！\\n详细信息：文件夹 ")),
             qPrintable(output + QString::fromUtf8(probe.readAllStandardError())));
    QVERIFY2(output.contains(QStringLiteral("是只读的")), qPrintable(output));
    QVERIFY(!output.contains(QStringLiteral("不是有效的数据库")));
    QVERIFY(!output.contains(QStringLiteral("SHOWN|")));
}

void TestBrokenFiles::restoreRefuses_data()
{
    AddBrokenRows();
    QTest::newRow("missing file") << "missing"
                                  << "无法读取文件";
    QTest::newRow("totals not matching the records") << "totals"
                                                     << "“B”";
    QTest::newRow("torn file without its journal") << "torn without journal"
                                                   << "“A”";
}

void TestBrokenFiles::restoreRefuses()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    TTestBooks books;
    const QString good = books.Dir() + QStringLiteral("good.bat");
    MakeGoodBooks(good);
    DbExec(QStringLiteral("insert into Account(AccountName,Remark,Fare) values ('kept','',1)"));
    const QString source = books.Dir() + QStringLiteral("source.bat");
    if (kind == u"folder")
        QVERIFY(QDir().mkpath(source));
    else if (kind != u"missing")
        MakeBroken(kind, good, source);
    const QByteArray before = ReadAll(books.DatabaseFile());
    try {
        DbRestore(source);
        QFAIL("restored");
    } catch (const EDBException &failure) {
        QCOMPARE(failure.FTitle, kRestoreTitle);
        QCOMPARE(failure.FSqlText, QString());
        QVERIFY2(!failure.Message().isEmpty(), qPrintable(kind));
        QVERIFY2(failure.Message().contains(reason), qPrintable(failure.Message()));
    }
    QCOMPARE(ReadAll(books.DatabaseFile()), before);
    QCOMPARE(Count(QStringLiteral("select count(*) from Account where AccountName='kept'")), 1);
    QCOMPARE(Partials(books.Dir()), QStringList());
}

void TestBrokenFiles::restoreGoodFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("plain backup") << "plain";
    QTest::newRow("hot journal beside it") << "torn";
    QTest::newRow("WAL file beside it") << "wal";
}

void TestBrokenFiles::restoreGoodFiles()
{
    QFETCH(QString, kind);
    TTestBooks books;
    const QString good = books.Dir() + QStringLiteral("good.bat");
    MakeGoodBooks(good);
    const QString source = books.Dir() + QStringLiteral("source.bat");
    QString expected;
    if (kind == u"plain") {
        QFile::copy(good, source);
    } else if (kind == u"torn") {
        expected = MakeTornBooks(books.Dir(), source);
    } else {
        MakeWalBooks(good, source);
    }
    const QStringList sourceFiles = QDir(books.Dir()).entryList({QStringLiteral("source.bat*")});
    QByteArrayList sourceBytes;
    for (const QString &name : sourceFiles)
        sourceBytes << ReadAll(books.Dir() + name);
    DbExec(QStringLiteral("delete from Account"));

    DbRestore(source);
    if (kind == u"torn") {
        TQuery &query = GDbAccess->OpenQuery(
            QStringLiteral("select InFare,(select sum(Fare) from BookKeep) from Account"));
        QCOMPARE(query.Fields(0).AsString(), expected);
        QCOMPARE(query.Fields(1).AsString(), expected);
        query.Close();
    } else {
        QCOMPARE(Count(QStringLiteral("select count(*) from BookKeep")), 400);
        QCOMPARE(Count(QStringLiteral("select count(*) from Account where AccountName='W'")),
                 kind == u"wal" ? 1 : 0);
    }
    // The chosen file and its side files are only read.
    QCOMPARE(QDir(books.Dir()).entryList({QStringLiteral("source.bat*")}), sourceFiles);
    for (qsizetype i = 0; i < sourceFiles.size(); ++i)
        QCOMPARE(ReadAll(books.Dir() + sourceFiles[i]), sourceBytes[i]);
    // The books hold what the chosen file holds once its side file is taken
    // in: for the torn file, what its writer had before the cut-off change.
    GDbAccess->Close();
    const QStringList restored = Dump(books.DatabaseFile());
    QCOMPARE(restored.size() > 400, true);
    const QString original
        = kind == u"torn" ? QStringLiteral("writer.bat") : QStringLiteral("source.bat");
    QCOMPARE(restored, Dump(books.Dir() + original));
    // The restored books are a single file that opens again.
    QCOMPARE(Partials(books.Dir()), QStringList());
    GDbAccess->Connect();
    QVERIFY(GDbAccess->Connected());
    QCOMPARE(ReadAll(books.DatabaseFile()).at(18), char(1));
}

void TestBrokenFiles::restoreLeavesNoCopy()
{
    // The checked copy lives beside the books, not in the shared temporary
    // folder: a restore works with none.
    TTestBooks books;
    const QString good = books.Dir() + QStringLiteral("good.bat");
    MakeGoodBooks(good);
    const QByteArray tmpdir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(books.Dir() + QStringLiteral("no such folder")));
    DbExec(QStringLiteral("delete from Account"));
    DbRestore(good);
    qputenv("TMPDIR", tmpdir);
    QCOMPARE(Count(QStringLiteral("select count(*) from Account")), 2);
    QCOMPARE(Partials(books.Dir()), QStringList());
}

void TestBrokenFiles::fullDiskIsNamed()
{
    QTemporaryDir dir;
    const QString source = dir.path() + QStringLiteral("/source.bat");
    WriteFile(source, RandomBytes(8192, 3));
    QFile full(QStringLiteral("/dev/full"));
    if (!full.open(QIODevice::WriteOnly))
        QSKIP("no /dev/full");
    const QString reason = DbFile::CopyInto(source, full).Reason();
    QVERIFY2(reason.startsWith(QStringLiteral("磁盘空间不足")), qPrintable(reason));
}

void TestBrokenFiles::leftoversRemoved()
{
    // Copies a killed backup or restore left behind go at the next start and
    // at the next backup into the same folder; nothing else does.
    TTestBooks books;
    const QString dir = books.Dir();
    const QString outside = dir + QStringLiteral("out/");
    QVERIFY(QDir().mkpath(outside));
    const QStringList leftovers = {QStringLiteral("bookkeep.dat.bookkeep-partial-a1B2c3"),
                                   QStringLiteral("bookkeep.dat.bookkeep-partial-a1B2c3-journal"),
                                   QStringLiteral("tmpData.bat.bookkeep-partial-Zz9Zz9"),
                                   QStringLiteral("tmpData.bat.bookkeep-partial-Zz9Zz9-wal")};
    const QStringList kept = {QStringLiteral("bookkeep.dat.bak"), QStringLiteral("x.bat.a1B2c3"),
                              QStringLiteral("tmpData.bat"), QStringLiteral("Log20261207.log")};
    for (const QString &name : leftovers + kept) {
        WriteFile(dir + name, "x");
        WriteFile(outside + name, "x");
    }
    GDbAccess->Connect();
    QVERIFY(GDbAccess->Connected());
    QStringList expected = kept + QStringList {QStringLiteral("bookkeep.dat")};
    expected.sort();
    QCOMPARE(QDir(dir).entryList(QDir::Files, QDir::Name), expected);
    QCOMPARE(QDir(outside).entryList(QDir::Files).size(), 8);

    DbBackup(outside + QStringLiteral("backup.bat"));
    expected = kept + QStringList {QStringLiteral("backup.bat")};
    expected.sort();
    QCOMPARE(QDir(outside).entryList(QDir::Files, QDir::Name), expected);
}

QTEST_GUILESS_MAIN(TestBrokenFiles)
#include "tst_BrokenFiles.moc"
