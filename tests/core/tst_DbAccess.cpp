// The connection, statement batches, queries, backup and restore.

#include "TestSupport.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTest>

namespace {

int AccountCount()
{
    return DbQueryInt(QStringLiteral("select count(*) from Account"));
}

void InsertAccount(const QString &name, const QString &fare = QStringLiteral("0"))
{
    DbExec(
        Format(QStringLiteral("insert into Account(AccountName,Remark,Fare) values ('%s','',%s) "),
               {SqlText(name), SqlAmount(Currency::Parse(fare))}));
}

// Runs f, which must raise an EDBException, and returns it.
template<typename F> EDBException DbFailure(F f)
{
    try {
        f();
    } catch (const EDBException &failure) {
        return failure;
    }
    qFatal("no database failure raised");
}

} // namespace

class TestDbAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void batchIsAllOrNothing();
    void batchSeparatorsAndBlanks();
    void checksAndBatchesCommitTogether();
    void separatorInsideQuotedValue();
    void splitStr();
    void textRoundTrip();
    void queryIntOfEmptySelection();
    void failingQueryRaisesWithStatement();
    void fieldsByPositionAndName();
    void pendingQueryDoesNotBlockBatch();
    void reconnectsAfterClose();
    void connectRefusesBadFiles_data();
    void connectRefusesBadFiles();
    void backupMakesWorkingCopy();
    void backupIntoMissingDirectoryFails();
    void restoreRefusesBadFiles_data();
    void restoreRefusesBadFiles();
    void restoreBringsDataBack();
    void totalsStayExactThroughManyUpdates();
    void totalsBeyondExactRangeRefused();
};

void TestDbAccess::batchIsAllOrNothing()
{
    TTestBooks books;
    const QString batch = QStringLiteral("insert into Account(AccountName,Remark,Fare) values "
                                         "('A','',1) @#@insert into Nowhere values (1)");
    const EDBException failure = DbFailure([&] { DbExec(batch); });
    QCOMPARE(failure.FTitle, QStringLiteral("数据库操作失败！"));
    QCOMPARE(failure.FSqlText, batch);
    QVERIFY(failure.Message().contains(QStringLiteral("Nowhere")));
    QCOMPARE(AccountCount(), 0);
}

void TestDbAccess::checksAndBatchesCommitTogether()
{
    TTestBooks books;
    const QString first
        = QStringLiteral("insert into Account(AccountName,Remark,Fare) values ('A','',1)");
    // A check that fails after a batch was written takes the batch back.
    QVERIFY_THROWS_EXCEPTION(Exception, GDbAccess->InTransaction([&] {
        DbExec(first);
        QCOMPARE(AccountCount(), 1);
        throw Exception(QStringLiteral("账户不存在"));
    }));
    QCOMPARE(AccountCount(), 0);

    // A commit that fails reports the batches written, and keeps none of them.
    DbExec(QStringLiteral("create table P(ID integer primary key)@#@"
                          "create table C(P references P(ID) deferrable initially deferred)"));
    GDbAccess->OpenQuery(QStringLiteral("PRAGMA foreign_keys=ON")).Close();
    const QString orphan = QStringLiteral("insert into C values (5)");
    const EDBException failure = DbFailure([&] {
        GDbAccess->InTransaction([&] {
            DbExec(first);
            DbExec(orphan);
        });
    });
    QCOMPARE(failure.FTitle, QStringLiteral("数据库操作失败！"));
    QCOMPARE(failure.FSqlText, first + orphan);
    QCOMPARE(AccountCount(), 0);
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from C")), 0);

    // The connection is out of the transaction: a batch on its own commits.
    DbExec(first);
    QCOMPARE(AccountCount(), 1);
}

void TestDbAccess::batchSeparatorsAndBlanks()
{
    TTestBooks books;
    // Trailing separator, separator plus blanks, an empty piece in the middle
    // and a statement with blanks around it all run.
    DbExec(
        QStringLiteral("  insert into Account(AccountName,Remark,Fare) values ('A','',1)  @#@@#@"
                       "insert into Account(AccountName,Remark,Fare) values ('B','',2)@#@ \r\n\t"));
    QCOMPARE(AccountCount(), 2);
    DbExec(QString());
    DbExec(QStringLiteral("@#@"));
    QCOMPARE(AccountCount(), 2);
}

void TestDbAccess::separatorInsideQuotedValue()
{
    TTestBooks books;
    const QString odd = QStringLiteral("a@#@b'c--d");
    DbExec(
        Format(QStringLiteral("insert into Account(AccountName,Remark,Fare) values ('%s','%s',1)@#@"
                              "update Account set Remark='%s' where AccountName='%s'"),
               {SqlText(odd), SqlText(odd), SqlText(odd + odd), SqlText(odd)}));
    TQuery &query = GDbAccess->OpenQuery(QStringLiteral("select AccountName,Remark from Account"));
    QCOMPARE(query.Fields(0).AsString(), odd);
    QCOMPARE(query.Fields(1).AsString(), odd + odd);
}

void TestDbAccess::splitStr()
{
    const QString sep = QStringLiteral("@#@");
    QCOMPARE(SplitStr(QStringLiteral("a@#@@#@b"), sep),
             QStringList({QStringLiteral("a"), QString(), QStringLiteral("b")}));
    QCOMPARE(SplitStr(QString(), sep), QStringList({QString()}));
    QCOMPARE(SplitStr(QStringLiteral("x='@#@'''@#@y"), sep),
             QStringList({QStringLiteral("x='@#@'''"), QStringLiteral("y")}));
}

void TestDbAccess::textRoundTrip()
{
    TTestBooks books;
    const QStringList texts
        = {QStringLiteral("O'Brien's \"quote\""), QStringLiteral("--not a comment"),
           QStringLiteral("工资收入 100%"), QStringLiteral("a@#@b"), QString(10000, QChar(u'记'))};
    for (const QString &text : texts)
        InsertAccount(text);
    TQuery &query
        = GDbAccess->OpenQuery(QStringLiteral("select AccountName from Account order by rowid"));
    QStringList read;
    for (; !query.Eof(); query.Next())
        read << query.FieldByName(QStringLiteral("accountname")).AsString();
    QCOMPARE(read, texts);
}

void TestDbAccess::queryIntOfEmptySelection()
{
    TTestBooks books;
    QCOMPARE(
        DbQueryInt(QStringLiteral("select Count(AccountName) from Account where AccountName='x'")),
        0);
    QCOMPARE(DbQueryInt(QStringLiteral("select Fare from Account")), 0);
    QCOMPARE(DbQueryInt(QStringLiteral("select null")), 0);
    InsertAccount(QStringLiteral("A"));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from Account")), 1);
}

void TestDbAccess::failingQueryRaisesWithStatement()
{
    TTestBooks books;
    const QString sql = QStringLiteral("select * from Nowhere");
    for (const auto &run : {std::function<void()>([&] { GDbAccess->OpenQuery(sql); }),
                            std::function<void()>([&] { DbQueryInt(sql); })}) {
        const EDBException failure = DbFailure(run);
        QCOMPARE(failure.FTitle, QStringLiteral("数据库查询错误，请检查！"));
        QCOMPARE(failure.FSqlText, sql);
    }
}

void TestDbAccess::fieldsByPositionAndName()
{
    TTestBooks books;
    DbExec(QStringLiteral("insert into BookKeep(InOutType,TypeID,Remark,Fare,AccountName,InDate) "
                          "values ('1',3,null,12.5,'A','46363')@#@"
                          "insert into BookKeep(InOutType,TypeID,Remark,Fare,AccountName,InDate) "
                          "values ('0',4,'r',100,'A','46364')@#@"
                          "update SysSet set bPass='-1'"));
    TQuery &query = GDbAccess->OpenQuery(QStringLiteral(
        "select ID,InOutType,TypeID,Remark,Fare,AccountName,InDate from BookKeep order by ID"));
    QCOMPARE(query.FieldCount(), 7);
    QVERIFY(!query.Eof());
    QCOMPARE(query.Fields(1).AsInteger(), 1);
    QCOMPARE(query.Fields(3).AsString(), QString());
    QVERIFY(query.Fields(3).IsNull());
    QCOMPARE(query.Fields(4).AsString(), QStringLiteral("12.5"));
    QCOMPARE(query.FieldByName(QStringLiteral("Fare")).AsCurrency(), Currency::FromUnits(125000));
    QCOMPARE(query.Fields(6).AsString(),
             QLocale::system().toString(QDate(2026, 12, 7), QLocale::ShortFormat));
    QCOMPARE(query.Fields(6).AsDateTime(), QDateTime(QDate(2026, 12, 7), QTime(0, 0)));
    query.Next();
    QCOMPARE(query.Fields(4).AsString(), QStringLiteral("100"));
    QCOMPARE(query.Fields(4).AsCurrency(), Currency::FromWhole(100));
    query.Next();
    QVERIFY(query.Eof());
    QVERIFY_THROWS_EXCEPTION(Exception, query.FieldByName(QStringLiteral("Nothing")));

    TQuery &set = GDbAccess->OpenQuery(QStringLiteral("select * from SysSet"));
    QVERIFY(set.FieldByName(QStringLiteral("bPass")).AsBoolean());
}

void TestDbAccess::pendingQueryDoesNotBlockBatch()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("A"));
    InsertAccount(QStringLiteral("B"));
    TQuery &query = GDbAccess->OpenQuery(QStringLiteral("select AccountName from Account"));
    QVERIFY(!query.Eof());
    InsertAccount(QStringLiteral("C"));
    QCOMPARE(AccountCount(), 3);
}

void TestDbAccess::reconnectsAfterClose()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("A"));
    GDbAccess->Close();
    QVERIFY(!GDbAccess->Connected());
    QCOMPARE(AccountCount(), 1);
    QVERIFY(GDbAccess->Connected());
}

void TestDbAccess::connectRefusesBadFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("not SQLite") << "garbage";
    QTest::newRow("zero length") << "empty";
    QTest::newRow("another program's SQLite file") << "foreign";
    QTest::newRow("another database password") << "password";
    QTest::newRow("newer schema") << "newer";
}

void TestDbAccess::connectRefusesBadFiles()
{
    QFETCH(QString, kind);
    TTestBooks books;
    TRecordingPrompt prompt;
    GDbAccess->Close();
    const QString file = books.DatabaseFile();
    QFile::remove(file);
    if (kind == u"garbage" || kind == u"empty") {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        if (kind == u"garbage")
            out.write(QByteArray(4096, 'x'));
    } else if (kind == u"foreign") {
        RawExec(file, QStringLiteral("create table Account(x); insert into Account values (1);"));
    } else if (kind == u"password" || kind == u"newer") {
        QVERIFY(QFile::copy(QStringLiteral(TEMPLATE_DB), file));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        RawExec(file,
                kind == u"password" ? QStringLiteral("update DbKey set Verifier='00'")
                                    : QStringLiteral("pragma user_version=99"));
    }
    GDbAccess->Connect();
    QVERIFY(!GDbAccess->Connected());
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Caption, QStringLiteral("错误"));
    QVERIFY(prompt.Boxes[0].Text.startsWith(QStringLiteral("数据库连接失败！\r\n详细信息：")));
    // A connection failure is shown, not logged.
    QCOMPARE(QDir(books.Dir()).entryList({QStringLiteral("Log*")}), QStringList());
    // A later use does not go on with a bad file either.
    QVERIFY_THROWS_EXCEPTION(EDBException, AccountCount());
}

void TestDbAccess::backupMakesWorkingCopy()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("A"), QStringLiteral("12.5"));
    const QString target = books.Dir() + QStringLiteral("copy.bat");
    QFile::remove(target);
    DbBackup(target);
    DbBackup(target); // replacing an existing copy
    // A copy stopped part way leaves the one before.
    QVERIFY_THROWS_EXCEPTION(EAbort, GDbAccess->BackupTo(target, {{}, [] { return true; }}));
    QCOMPARE(QDir(books.Dir()).entryList({QStringLiteral("copy.bat*")}),
             QStringList({QStringLiteral("copy.bat")}));

    // The copy is a complete set of books that opens on its own.
    GDbAccess->Close();
    QVERIFY(QFile::remove(books.DatabaseFile()));
    QVERIFY(QFile::copy(target, books.DatabaseFile()));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from Account where Fare=12.5")), 1);
}

void TestDbAccess::backupIntoMissingDirectoryFails()
{
    TTestBooks books;
    const QString target = books.Dir() + QStringLiteral("nowhere/copy.bat");
    const EDBException failure = DbFailure([&] { DbBackup(target); });
    QCOMPARE(failure.FTitle, QStringLiteral("数据库备份失败！"));
    QCOMPARE(failure.FSqlText, QString());
    QVERIFY(!QFile::exists(target));
}

void TestDbAccess::restoreRefusesBadFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("garbage") << "garbage";
    QTest::newRow("truncated copy") << "truncated";
    QTest::newRow("another program's SQLite file") << "foreign";
    QTest::newRow("another database password") << "password";
    QTest::newRow("older version whose upgrade fails") << "older";
}

void TestDbAccess::restoreRefusesBadFiles()
{
    QFETCH(QString, kind);
    TTestBooks books;
    InsertAccount(QStringLiteral("kept"));
    const QString source = books.Dir() + QStringLiteral("source.bat");
    if (kind == u"garbage") {
        QFile out(source);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QByteArray(8192, '\x5a'));
    } else if (kind == u"truncated") {
        for (int i = 0; i < 200; ++i)
            InsertAccount(QStringLiteral("padding %1 ").arg(i) + QString(200, u'x'));
        DbBackup(source);
        QFile file(source);
        QVERIFY(file.resize(file.size() / 2));
    } else if (kind == u"foreign") {
        RawExec(source, QStringLiteral("create table Account(x); insert into Account values (1);"));
    } else if (kind == u"password") {
        DbBackup(source);
        RawExec(source, QStringLiteral("update DbKey set Verifier='00'"));
    } else if (kind == u"older") {
        DbBackup(source);
        RawExec(source, QStringLiteral("pragma user_version=2"));
    }
    const QByteArray before = ReadAll(books.DatabaseFile());
    const EDBException failure = DbFailure([&] { DbRestore(source); });
    QCOMPARE(failure.FTitle, QStringLiteral("数据库恢复失败！"));
    QVERIFY(!failure.Message().isEmpty());
    QCOMPARE(ReadAll(books.DatabaseFile()), before);
    QVERIFY(DbQueryInt(QStringLiteral("select count(*) from Account where AccountName='kept'"))
            == 1);
}

void TestDbAccess::restoreBringsDataBack()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("A"), QStringLiteral("7.25"));
    const QString backup = books.Dir() + QStringLiteral("b.bat");
    DbBackup(backup);
    DbExec(QStringLiteral(
        "delete from Account@#@insert into Account(AccountName,Fare) values ('B',1)"));
    GDbAccess->OpenQuery(QStringLiteral("select * from Account"));
    DbRestore(backup);
    QVERIFY(!GDbAccess->FQuery.Active());
    QCOMPARE(DbQueryInt(QStringLiteral(
                 "select count(*) from Account where AccountName='A' and Fare=7.25")),
             1);
    QCOMPARE(AccountCount(), 1);
    InsertAccount(QStringLiteral("C"));
    QCOMPARE(AccountCount(), 2);
    // The restored books are still what a new connection accepts.
    GDbAccess->Connect();
    QVERIFY(GDbAccess->Connected());
}

void TestDbAccess::totalsStayExactThroughManyUpdates()
{
    // A million relative updates of four-decimal amounts near the largest
    // balance allowed: each result is rounded back to four decimals, so the
    // stored balance equals the exact integer sum at the end.
    TTestBooks books;
    const Currency start = Currency::Parse(QStringLiteral("99999000000.0001"));
    InsertAccount(QStringLiteral("A"), start.ToString());
    Currency expected = start;
    QString batch;
    quint32 seed = 2026;
    constexpr int kUpdates = 1000000;
    batch.reserve(kUpdates * 60);
    for (int i = 0; i < kUpdates; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const Currency amount = Currency::FromUnits(qint64(seed % 2000000) - 1000000);
        expected += amount;
        batch += Format(QStringLiteral("update Account set Fare=Fare+%s where rowid=1@#@"),
                        {SqlAmount(amount)});
    }
    DbExec(batch);
    TQuery &query = GDbAccess->OpenQuery(QStringLiteral("select Fare from Account"));
    QCOMPARE(query.Fields(0).AsCurrency(), expected);
    QCOMPARE(query.Fields(0).AsString(), expected.ToString());
}

void TestDbAccess::totalsBeyondExactRangeRefused()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("A"), QStringLiteral("99999999999.9999"));
    const EDBException failure = DbFailure(
        [] { DbExec(QStringLiteral("update Account set Fare=Fare+0.0001,InFare=InFare+0.0001")); });
    QCOMPARE(failure.FTitle, QStringLiteral("数据库操作失败！"));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from Account where InFare=0")), 1);
}

QTEST_GUILESS_MAIN(TestDbAccess)
#include "tst_DbAccess.moc"
