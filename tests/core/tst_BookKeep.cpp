#include "LedgerStream.h"
#include "LedgerTestSupport.h"

#include "data/ListModel.h"
#include "data/UException.h"

#include <QLocale>
#include <QTest>

Q_DECLARE_METATYPE(TTotals)

namespace {

const QString kA = QStringLiteral("A");
const QString kB = QStringLiteral("B");
const QDate kMay1(2024, 5, 1); // day number 45413

// Books with the accounts A (1000) and B (500), the income category 1 "工资"
// and the expense category 1 "餐饮".
class TRecordBooks : public TTestBooks
{
public:
    TRecordBooks()
    {
        InsertAccount(kA, Amount("1000"));
        InsertAccount(kB, Amount("500"));
        DbExec(QStringLiteral("insert into InType(SelfIndex,ParentIndex,TypeName) values "
                              "(1,0,'工资')@#@insert into OutType(SelfIndex,ParentIndex,TypeName) "
                              "values (1,0,'餐饮')"));
    }
};

// Reads a record and changes it the way the modify dialog does: the old kind,
// account and amount are the ones read back.
void ModifyRecord(const QString &id, int kind, const QString &account, Currency fare)
{
    GBookKeep->ReadRecord(id);
    const int oldKind = GBookKeep->FInOutType;
    const QString oldAccount = GBookKeep->FAccountName;
    const Currency oldFare = GBookKeep->FFare;
    GBookKeep->FInOutType = kind;
    GBookKeep->FAccountName = account;
    GBookKeep->FFare = fare;
    GBookKeep->ModifyRecord(oldKind, oldAccount, oldFare);
}

QString ShortDate(QDate date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

} // namespace

class TestBookKeep : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addAndDeleteKeepTotals();
    void modifyCases_data();
    void modifyCases();
    void modifyDetailsOnlyChangesNoAccount();
    void missingRecord();
    void recordIdMustBeWholeNumber();
    void transferRefusals_data();
    void transferRefusals();
    void listRecords();
    void failingBatchChangesNothing();
    void awkwardTextsRoundTrip_data();
    void awkwardTextsRoundTrip();
    void statementTexts();
};

void TestBookKeep::addAndDeleteKeepTotals()
{
    TRecordBooks books;
    AddRecord(0, kA, Amount("100"));
    QCOMPARE(ReadTotals(kA), Totals("1100", "100", "0"));
    const QString expense = AddRecord(1, kA, Amount("30"));
    QCOMPARE(ReadTotals(kA), Totals("1070", "100", "30"));
    GBookKeep->DeleteRecord(expense);
    QCOMPARE(ReadTotals(kA), Totals("1100", "100", "0"));

    // A negative amount goes into the statements as "-(-5)", never a comment.
    const QString negative = AddRecord(1, kB, Amount("-5.0001"));
    QCOMPARE(ReadTotals(kB), Totals("505.0001", "0", "-5.0001"));
    GBookKeep->DeleteRecord(negative);
    QCOMPARE(ReadTotals(kB), Totals("500", "0", "0"));
    QCOMPARE(ReadTotals(kA), Totals("1100", "100", "0"));
}

void TestBookKeep::modifyCases_data()
{
    QTest::addColumn<int>("oldKind");
    QTest::addColumn<QString>("oldFare");
    QTest::addColumn<int>("newKind");
    QTest::addColumn<QString>("newAccount");
    QTest::addColumn<QString>("newFare");
    QTest::addColumn<TTotals>("a");
    QTest::addColumn<TTotals>("b");
    QTest::addColumn<QString>("corrections");

    // Every record starts on A; A holds 1000 and B 500 before it.
    QTest::newRow("1 same amount") << 0 << "100" << 0 << kA << "100" << Totals("1100", "100", "0")
                                   << Totals("500", "0", "0") << QString();
    QTest::newRow("2 income lowered")
        << 0 << "100" << 0 << kA << "80" << Totals("1080", "80", "0") << Totals("500", "0", "0")
        << QStringLiteral("update Account set Fare=Fare+(-20),InFare=InFare+(-20) where "
                          "AccountName='A' ");
    QTest::newRow("2 income raised")
        << 0 << "100" << 0 << kA << "130.5" << Totals("1130.5", "130.5", "0")
        << Totals("500", "0", "0")
        << QStringLiteral("update Account set Fare=Fare+30.5,InFare=InFare+30.5 where "
                          "AccountName='A' ");
    QTest::newRow("3 expense raised")
        << 1 << "30" << 1 << kA << "50" << Totals("950", "0", "50") << Totals("500", "0", "0")
        << QStringLiteral("update Account set Fare=Fare+(-20),OutFare=OutFare-(-20) where "
                          "AccountName='A' ");
    QTest::newRow("3 expense lowered")
        << 1 << "30" << 1 << kA << "10.0001" << Totals("989.9999", "0", "10.0001")
        << Totals("500", "0", "0")
        << QStringLiteral("update Account set Fare=Fare+19.9999,OutFare=OutFare-19.9999 where "
                          "AccountName='A' ");
    QTest::newRow("4 income to expense")
        << 0 << "100" << 1 << kA << "40" << Totals("960", "0", "40") << Totals("500", "0", "0")
        << QStringLiteral("update Account set Fare=Fare-140,InFare=InFare-100,OutFare=OutFare+40 "
                          "where AccountName='A' ");
    QTest::newRow("5 expense to income")
        << 1 << "30" << 0 << kA << "12.5" << Totals("1012.5", "12.5", "0")
        << Totals("500", "0", "0")
        << QStringLiteral("update Account set Fare=Fare+42.5,OutFare=OutFare-30,InFare=InFare+12.5 "
                          "where AccountName='A' ");
    QTest::newRow("6 income moved")
        << 0 << "100" << 0 << kB << "60.25" << Totals("1000", "0", "0")
        << Totals("560.25", "60.25", "0")
        << QStringLiteral(
               "update Account set Fare=Fare-100,InFare=InFare-100 where "
               "AccountName='A' @#@update Account set Fare=Fare+60.25,InFare=InFare+60.25 "
               "where AccountName='B' ");
    QTest::newRow("7 expense moved")
        << 1 << "30" << 1 << kB << "0.0001" << Totals("1000", "0", "0")
        << Totals("499.9999", "0", "0.0001")
        << QStringLiteral("update Account set Fare=Fare+30,OutFare=OutFare-30 where "
                          "AccountName='A' @#@update Account set "
                          "Fare=Fare-0.0001,OutFare=OutFare+0.0001 where AccountName='B' ");
    QTest::newRow("8 income moved as expense")
        << 0 << "100" << 1 << kB << "40" << Totals("1000", "0", "0") << Totals("460", "0", "40")
        << QStringLiteral("update Account set Fare=Fare-100,InFare=InFare-100 where "
                          "AccountName='A' @#@update Account set Fare=Fare-40,OutFare=OutFare+40 "
                          "where AccountName='B' ");
    QTest::newRow("9 expense moved as income")
        << 1 << "30" << 0 << kB << "30" << Totals("1000", "0", "0") << Totals("530", "30", "0")
        << QStringLiteral("update Account set Fare=Fare+30,OutFare=OutFare-30 where "
                          "AccountName='A' @#@update Account set Fare=Fare+30,InFare=InFare+30 "
                          "where AccountName='B' ");
    // Two expense codes are the same kind: no change of kind, no correction.
    QTest::newRow("expense code 1 to 2") << 1 << "30" << 2 << kA << "30" << Totals("970", "0", "30")
                                         << Totals("500", "0", "0") << QString();
}

void TestBookKeep::modifyCases()
{
    QFETCH(int, oldKind);
    QFETCH(QString, oldFare);
    QFETCH(int, newKind);
    QFETCH(QString, newAccount);
    QFETCH(QString, newFare);
    QFETCH(TTotals, a);
    QFETCH(TTotals, b);
    QFETCH(QString, corrections);

    TRecordBooks books;
    const QString id = AddRecord(oldKind, kA, Currency::Parse(oldFare));
    ModifyRecord(id, newKind, newAccount, Currency::Parse(newFare));

    QCOMPARE(ReadTotals(kA), a);
    QCOMPARE(ReadTotals(kB), b);
    const QString record = GBookKeep->FSql.section(QStringLiteral("@#@"), 0, 0);
    QCOMPARE(GBookKeep->FSql.mid(record.size() + 3), corrections);

    GBookKeep->ReadRecord(id);
    QCOMPARE(GBookKeep->FInOutType, newKind);
    QCOMPARE(GBookKeep->FAccountName, newAccount);
    QCOMPARE(GBookKeep->FFare, Currency::Parse(newFare));

    // Deleting the changed record takes exactly its new effect off again.
    GBookKeep->DeleteRecord(id);
    QCOMPARE(ReadTotals(kA), Totals("1000", "0", "0"));
    QCOMPARE(ReadTotals(kB), Totals("500", "0", "0"));
}

void TestBookKeep::modifyDetailsOnlyChangesNoAccount()
{
    TRecordBooks books;
    DbExec(
        QStringLiteral("insert into InType(SelfIndex,ParentIndex,TypeName) values (2,1,'奖金')"));
    const QString id = AddRecord(0, kA, Amount("100"), 1, QStringLiteral("旧"));

    GBookKeep->ReadRecord(id);
    GBookKeep->FTypeID = 2;
    GBookKeep->FRemark = QStringLiteral("新");
    GBookKeep->FInDate = QDateTime(QDate(2023, 12, 31), QTime(0, 0));
    GBookKeep->ModifyRecord(0, kA, Amount("100"));

    QVERIFY(!GBookKeep->FSql.contains(QStringLiteral("@#@")));
    QCOMPARE(ReadTotals(kA), Totals("1100", "100", "0"));
    GBookKeep->ReadRecord(id);
    QCOMPARE(GBookKeep->FTypeID, 2);
    QCOMPARE(GBookKeep->FRemark, QStringLiteral("新"));
    QCOMPARE(GBookKeep->FInDate, QDateTime(QDate(2023, 12, 31), QTime(0, 0)));
}

void TestBookKeep::missingRecord()
{
    TRecordBooks books;
    const QString id = AddRecord(1, kA, Amount("30"), 1, QStringLiteral("有"));
    GBookKeep->ReadRecord(id);
    QCOMPARE(GBookKeep->FAccountName, kA);

    GBookKeep->ReadRecord(QStringLiteral("999"));
    QCOMPARE(GBookKeep->FID, QStringLiteral("999"));
    QCOMPARE(GBookKeep->FAccountName, QString());
    QCOMPARE(GBookKeep->FRemark, QString());
    QCOMPARE(GBookKeep->FFare, Currency());
    QCOMPARE(GBookKeep->FInOutType, 0);
    QCOMPARE(GBookKeep->FTypeID, 0);

    GBookKeep->DeleteRecord(QStringLiteral("999"));
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 1);
    QCOMPARE(ReadTotals(kA), Totals("970", "0", "30"));
    QCOMPARE(ReadTotals(kB), Totals("500", "0", "0"));

    // Changing a record that is gone, or booking on an account that does not
    // exist, is refused and moves nothing.
    GBookKeep->FID = QStringLiteral("999");
    GBookKeep->FAccountName = kA;
    GBookKeep->FInOutType = 0;
    GBookKeep->FFare = Amount("5");
    QVERIFY_THROWS_EXCEPTION(Exception, GBookKeep->ModifyRecord(1, kB, Amount("30")));
    GBookKeep->FID = id;
    GBookKeep->FAccountName = QStringLiteral("没有的账户");
    QVERIFY_THROWS_EXCEPTION(Exception, GBookKeep->ModifyRecord(1, kA, Amount("30")));
    QVERIFY_THROWS_EXCEPTION(Exception, GBookKeep->AddRecord());
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 1);
    QCOMPARE(ReadTotals(kA), Totals("970", "0", "30"));
    QCOMPARE(ReadTotals(kB), Totals("500", "0", "0"));
}

void TestBookKeep::recordIdMustBeWholeNumber()
{
    TRecordBooks books;
    AddRecord(0, kA, Amount("100"));
    AddRecord(0, kA, Amount("50"));

    QVERIFY_THROWS_EXCEPTION(EConvertError, GBookKeep->DeleteRecord(QStringLiteral("1 or 1=1")));
    QVERIFY_THROWS_EXCEPTION(EConvertError, GBookKeep->ReadRecord(QString()));
    GBookKeep->FID = QStringLiteral("ID");
    QVERIFY_THROWS_EXCEPTION(EConvertError, GBookKeep->ModifyRecord(0, kA, Amount("100")));

    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 2);
    QCOMPARE(ReadTotals(kA), Totals("1150", "150", "0"));
}

void TestBookKeep::transferRefusals_data()
{
    // A new transfer, or the transfer A to B 10 changed; "rename" renames B
    // before a new one, "remove" deletes and "stale" changes it before.
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("to");
    QTest::addColumn<qint64>("amount"); // in ten-thousandths
    QTest::addColumn<qint64>("fee");
    QTest::addColumn<QString>("message");
    const qint64 one = Currency::kScale;
    const qint64 most = Currency::kMaxUnits;
    const QString beyond = QStringLiteral("'100000000000' is not a valid floating point value");
    const QString missing = QStringLiteral("账户“%1”不存在，转账未保存！");
    QTest::newRow("same") << "add" << kA << one << 0LL << "转出账户和转入账户不能相同！";
    QTest::newRow("zero") << "modify" << kB << 0LL << 0LL << "转账金额必须大于零！";
    QTest::newRow("negative") << "add" << kB << -one << 0LL << "转账金额必须大于零！";
    QTest::newRow("fee negative") << "modify" << kB << one << -1LL << "手续费不能为负数！";
    QTest::newRow("beyond the limit") << "add" << kB << most + 1 << 0LL << beyond;
    QTest::newRow("with the fee beyond") << "modify" << kB << most << 1LL << beyond;
    QTest::newRow("missing account") << "modify"
                                     << "C" << one << 0LL << missing.arg(u"C");
    QTest::newRow("renamed meanwhile") << "rename" << kB << one << 0LL << missing.arg(kB);
    QTest::newRow("deleted meanwhile") << "remove" << kB << one << 0LL << kTransferGone;
    QTest::newRow("changed meanwhile") << "stale" << kB << one << 0LL << kTransferChanged;
}

// A refused transfer writes nothing and makes no undo step.
void TestBookKeep::transferRefusals()
{
    QFETCH(QString, change);
    QFETCH(QString, to);
    QFETCH(qint64, amount);
    QFETCH(qint64, fee);
    QFETCH(QString, message);
    TRecordBooks books;
    Transfer transfer = NewTransfer(kA, kB, Amount("10"));
    transfer.Id = Transfers::Add(transfer);
    const Transfer read = transfer;
    if (change == u"rename")
        DbExec(QStringLiteral("update Account set AccountName='B2' where AccountName='B'"));
    else if (change == u"stale")
        Transfers::Modify(read, NewTransfer(kA, kB, Amount("11")));
    else if (change == u"remove")
        QVERIFY(Transfers::Remove(transfer.Id));
    const QByteArray dump = DumpBooks(books.DatabaseFile());
    const QString step = GDbAccess->UndoName();
    transfer.To = to;
    transfer.Amount = Currency::FromUnits(amount);
    transfer.Fee = Currency::FromUnits(fee);
    try {
        change == u"add" || change == u"rename" ? void(Transfers::Add(transfer))
                                                : Transfers::Modify(read, transfer);
        QFAIL("not refused");
    } catch (const Exception &failure) {
        QCOMPARE(failure.Message(), message);
    }
    QVERIFY(DumpBooks(books.DatabaseFile()) == dump);
    QCOMPARE(GDbAccess->UndoName(), step);
}

void TestBookKeep::listRecords()
{
    TRecordBooks books;
    const QString late
        = AddRecord(1, kB, Amount("8.25"), 1, QStringLiteral("午饭"), QDate(2024, 6, 2));
    const QString early = AddRecord(0, kA, Amount("12.5"), 1, QStringLiteral("五月"), kMay1);
    const QString orphan
        = AddRecord(0, kA, Amount("3"), 99, QStringLiteral("孤儿"), QDate(2024, 5, 9));

    TListModel list({});
    GBookKeep->ListRecords(list, {});
    QCOMPARE(list.rowCount(), 3);
    QCOMPARE(list.Cell(0, 0), early);
    QCOMPARE(list.Cell(1, 0), orphan);
    QCOMPARE(list.Cell(2, 0), late);

    const QStringList incomeRow {
        early, QStringLiteral("收入"), QStringLiteral("工资"), QStringLiteral("12.5"),
        kA,    QStringLiteral("五月"), ShortDate(kMay1)};
    const QStringList expenseRow {
        late, QStringLiteral("支出"), QStringLiteral("餐饮"),      QStringLiteral("8.25"),
        kB,   QStringLiteral("午饭"), ShortDate(QDate(2024, 6, 2))};
    const QStringList orphanRow {orphan,
                                 QStringLiteral("收入"),
                                 QString(),
                                 QStringLiteral("3"),
                                 kA,
                                 QStringLiteral("孤儿"),
                                 ShortDate(QDate(2024, 5, 9))};
    for (int column = 0; column < 7; ++column) {
        QCOMPARE(list.Cell(0, column), incomeRow[column]);
        QCOMPARE(list.Cell(1, column), orphanRow[column]);
        QCOMPARE(list.Cell(2, column), expenseRow[column]);
    }

    // The main window's period filter: day numbers, ending in a blank.
    GBookKeep->ListRecords(list, QStringLiteral("where InDate >= 45414 and InDate <= 45450 "));
    QCOMPARE(list.rowCount(), 2);
    QCOMPARE(list.Cell(0, 0), orphan);
    QCOMPARE(list.Cell(1, 0), late);
    GBookKeep->ListRecords(list,
                           QStringLiteral("where InDate >= 45414 and InDate <= 45450  and "
                                          "InOutType=1 "));
    QCOMPARE(list.rowCount(), 1);
    QCOMPARE(list.Cell(0, 1), QStringLiteral("支出"));
}

void TestBookKeep::failingBatchChangesNothing()
{
    TRecordBooks books;
    InsertAccount(QStringLiteral("X"), Amount("7"));
    const QString id = AddRecord(0, kA, Amount("100"), 1, QStringLiteral("原样"));
    DbExec(QStringLiteral("create trigger Boom BEFORE UPDATE ON Account WHEN "
                          "NEW.AccountName='X' BEGIN SELECT RAISE(ABORT,'boom'); END"));

    // Case 6: the record and A are updated before X fails.
    GBookKeep->ReadRecord(id);
    GBookKeep->FAccountName = QStringLiteral("X");
    GBookKeep->FRemark = QStringLiteral("改了");
    try {
        GBookKeep->ModifyRecord(0, kA, Amount("100"));
        QFAIL("the batch went through");
    } catch (const EDBException &failure) {
        QCOMPARE(failure.FTitle, QStringLiteral("数据库操作失败！"));
        QCOMPARE(failure.FSqlText, GBookKeep->FSql);
        QCOMPARE(failure.FSqlText.count(QStringLiteral("@#@")), 2);
        QVERIFY(failure.Message().contains(QStringLiteral("boom")));
    }
    GBookKeep->ReadRecord(id);
    QCOMPARE(GBookKeep->FAccountName, kA);
    QCOMPARE(GBookKeep->FRemark, QStringLiteral("原样"));
    QCOMPARE(ReadTotals(kA), Totals("1100", "100", "0"));
    QCOMPARE(ReadTotals(QStringLiteral("X")), Totals("7", "0", "0"));

    QVERIFY_THROWS_EXCEPTION(EDBException, AddRecord(1, QStringLiteral("X"), Amount("1")));
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 1);
}

void TestBookKeep::awkwardTextsRoundTrip_data()
{
    AddAwkwardTextRows();
}

void TestBookKeep::awkwardTextsRoundTrip()
{
    QFETCH(QString, text);
    TRecordBooks books;
    const QString other = text + QStringLiteral("2");
    InsertAccount(text, Amount("1"));
    InsertAccount(other, Amount("2"));

    const QString id = AddRecord(0, text, Amount("10"), 1, text);
    GBookKeep->ReadRecord(id);
    QCOMPARE(GBookKeep->FAccountName, text);
    QCOMPARE(GBookKeep->FRemark, text);
    QCOMPARE(ReadTotals(text), Totals("11", "10", "0"));

    TListModel list({});
    GBookKeep->ListRecords(list, {});
    QCOMPARE(list.rowCount(), 1);
    QCOMPARE(list.Cell(0, 4), text);
    QCOMPARE(list.Cell(0, 5), text);

    ModifyRecord(id, 1, other, Amount("4"));
    QCOMPARE(ReadTotals(text), Totals("1", "0", "0"));
    QCOMPARE(ReadTotals(other), Totals("-2", "0", "4"));
    GBookKeep->DeleteRecord(id);
    QCOMPARE(ReadTotals(other), Totals("2", "0", "0"));
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 0);
}

void TestBookKeep::statementTexts()
{
    TRecordBooks books;
    const QString id = AddRecord(1, kA, Amount("12.5"), 3, QStringLiteral("it's"), kMay1);
    QCOMPARE(
        GBookKeep->FSql,
        QStringLiteral("insert into BookKeep(InOutType,TypeID,Remark,Fare,AccountName,InDate)  "
                       "values ('1',3,'it''s',12.5,'A','45413') @#@update Account set "
                       "Fare=Fare-12.5,OutFare=OutFare+12.5 where AccountName='A' "));

    GBookKeep->ReadRecord(id);
    QCOMPARE(GBookKeep->FSql, QStringLiteral("select * from BookKeep where ID=%1  ").arg(id));

    GBookKeep->FInOutType = 0;
    GBookKeep->FFare = Amount("80");
    GBookKeep->ModifyRecord(1, kA, Amount("12.5"));
    QCOMPARE(GBookKeep->FSql,
             QStringLiteral("update BookKeep set InOutType='0',TypeID=3,Remark='it''s',  "
                            "Fare=80,AccountName='A',InDate='45413' where ID=%1 @#@update Account "
                            "set Fare=Fare+92.5,OutFare=OutFare-12.5,InFare=InFare+80 where "
                            "AccountName='A' ")
                 .arg(id));

    const QString expense = AddRecord(1, kB, Amount("0.5"));
    GBookKeep->DeleteRecord(expense);
    QCOMPARE(GBookKeep->FSql,
             QStringLiteral("delete from BookKeep where ID=%1 @#@update Account set "
                            "Fare=Fare+0.5,outFare=outFare-0.5 where AccountName='B' ")
                 .arg(expense));
    GBookKeep->DeleteRecord(id);
    QCOMPARE(GBookKeep->FSql,
             QStringLiteral("delete from BookKeep where ID=%1 @#@update Account set "
                            "Fare=Fare-80,InFare=InFare-80 where AccountName='A' ")
                 .arg(id));

    TListModel list({});
    GBookKeep->ListRecords(list, QStringLiteral("where InDate >= 1 "));
    QCOMPARE(GBookKeep->FSql,
             QStringLiteral("select ID,iif(InOutType=0,'收入','支出'),  iif(InOutType=0,(select "
                            "TypeName from InType where SelfIndex=TypeID),(select TypeName from "
                            "OutType where SelfIndex=TypeID)), Fare,AccountName,Remark,InDate from "
                            "BookKeep where InDate >= 1 order by InDate"));
}

QTEST_GUILESS_MAIN(TestBookKeep)
#include "tst_BookKeep.moc"
