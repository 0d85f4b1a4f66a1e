#include "LedgerTestSupport.h"

#include "data/ListModel.h"
#include "data/UException.h"

#include <QTest>

namespace {

const QString kAccountExists = QStringLiteral("该账户已经存在！");
const QString kAccountInUse = QStringLiteral("该账户已经使用，不能删除！");

template<typename Op> QString FailureOf(Op op)
{
    try {
        op();
    } catch (const Exception &failure) {
        return failure.Message();
    }
    return {};
}

// The names in a fixed order: the engine returns them in an order of its own.
QStringList AccountNames()
{
    QStringList names;
    GAccount->ListAccountNames(names);
    names.sort();
    return names;
}

} // namespace

class TestAccount : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void insertListsInitialAmount_data();
    void insertListsInitialAmount();
    void duplicateInsertIsRefused();
    void deleteOnlyWhileNoRecordNamesIt();
    void remarkChangeKeepsTotals();
    void renameOntoAnotherAccountIsRefused();
    void renameCarriesIntoRecords();
    void readMissingAccountGivesEmptyFields();
    void listAccountNames();
    void awkwardTextsRoundTrip_data();
    void awkwardTextsRoundTrip();
    void statementTexts();
};

void TestAccount::insertListsInitialAmount_data()
{
    QTest::addColumn<QString>("initial");
    QTest::newRow("hundred") << QStringLiteral("100");
    QTest::newRow("zero") << QStringLiteral("0");
    QTest::newRow("negative fraction") << QStringLiteral("-80.2501");
}

void TestAccount::insertListsInitialAmount()
{
    QFETCH(QString, initial);
    TTestBooks books;
    InsertAccount(QStringLiteral("现金"), Currency::Parse(initial), QStringLiteral("钱包"));

    TListModel list({});
    GAccount->ListAccounts(list);
    QCOMPARE(list.rowCount(), 1);
    QCOMPARE(list.Cell(0, 0), QStringLiteral("现金"));
    QCOMPARE(list.Cell(0, 1), initial);
    QCOMPARE(list.Cell(0, 2), QStringLiteral("0"));
    QCOMPARE(list.Cell(0, 3), QStringLiteral("0"));
    QCOMPARE(list.Cell(0, 4), QStringLiteral("钱包"));

    GAccount->ReadAccount(QStringLiteral("现金"));
    QCOMPARE(GAccount->FFare, Currency::Parse(initial));
    QCOMPARE(GAccount->FInFare, Currency());
    QCOMPARE(GAccount->FOutFare, Currency());
}

void TestAccount::duplicateInsertIsRefused()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("现金"), Amount("100"), QStringLiteral("原来的"));

    GAccount->FRemark = QStringLiteral("新的");
    GAccount->FFare = Amount("5");
    QCOMPARE(FailureOf([] { GAccount->InsertAccount(); }), kAccountExists);

    QCOMPARE(RowCount(QStringLiteral("Account")), 1);
    GAccount->ReadAccount(QStringLiteral("现金"));
    QCOMPARE(GAccount->FRemark, QStringLiteral("原来的"));
    QCOMPARE(GAccount->FFare, Amount("100"));
}

void TestAccount::deleteOnlyWhileNoRecordNamesIt()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("现金"), Amount("10"));
    InsertAccount(QStringLiteral("空账户"), Amount("250.5"));
    const QString id = AddRecord(1, QStringLiteral("现金"), Amount("3"));

    QCOMPARE(FailureOf([] { GAccount->DeleteAccount(QStringLiteral("现金")); }), kAccountInUse);
    QVERIFY(GAccount->AccountExists(QStringLiteral("现金")));

    GBookKeep->DeleteRecord(id);
    GAccount->DeleteAccount(QStringLiteral("现金"));
    QVERIFY(!GAccount->AccountExists(QStringLiteral("现金")));

    // Totals play no part: an account with a balance and no records goes.
    GAccount->DeleteAccount(QStringLiteral("空账户"));
    QCOMPARE(RowCount(QStringLiteral("Account")), 0);
}

void TestAccount::remarkChangeKeepsTotals()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("银行"), Amount("1000.0001"), QStringLiteral("旧"));
    AddRecord(0, QStringLiteral("银行"), Amount("12.3456"));
    AddRecord(1, QStringLiteral("银行"), Amount("0.0002"));
    const TTotals before = ReadTotals(QStringLiteral("银行"));
    const int logged = RowCount(QStringLiteral("UndoLog"));

    GAccount->FAccountName = QStringLiteral("银行");
    GAccount->FRemark = QStringLiteral("新备注");
    GAccount->UpdateAccount(QStringLiteral("银行"));
    QCOMPARE(RowCount(QStringLiteral("UndoLog")), logged + 2); // no record rewritten

    QCOMPARE(ReadTotals(QStringLiteral("银行")), before);
    QCOMPARE(before, Totals("1012.3455", "12.3456", "0.0002"));
    GAccount->ReadAccount(QStringLiteral("银行"));
    QCOMPARE(GAccount->FRemark, QStringLiteral("新备注"));
}

void TestAccount::renameOntoAnotherAccountIsRefused()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("甲"), Amount("1"), QStringLiteral("甲的"));
    InsertAccount(QStringLiteral("乙"), Amount("2"), QStringLiteral("乙的"));
    AddRecord(0, QStringLiteral("甲"), Amount("7"));

    GAccount->FAccountName = QStringLiteral("乙");
    GAccount->FRemark = QStringLiteral("改了");
    QCOMPARE(FailureOf([] { GAccount->UpdateAccount(QStringLiteral("甲")); }), kAccountExists);

    GAccount->ReadAccount(QStringLiteral("甲"));
    QCOMPARE(GAccount->FRemark, QStringLiteral("甲的"));
    GAccount->ReadAccount(QStringLiteral("乙"));
    QCOMPARE(GAccount->FRemark, QStringLiteral("乙的"));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from BookKeep where AccountName='甲'")), 1);
}

void TestAccount::renameCarriesIntoRecords()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("旧名"), Amount("100"));
    const QString income = AddRecord(0, QStringLiteral("旧名"), Amount("40"));
    AddRecord(1, QStringLiteral("旧名"), Amount("15.5"));

    GAccount->FAccountName = QStringLiteral("新名");
    GAccount->FRemark = QString();
    GAccount->UpdateAccount(QStringLiteral("旧名"));

    QCOMPARE(AccountNames(), QStringList {QStringLiteral("新名")});
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from BookKeep where AccountName='新名'")),
             2);
    QCOMPARE(FailureOf([] { GAccount->DeleteAccount(QStringLiteral("新名")); }), kAccountInUse);

    // The record now adjusts the renamed account when it goes.
    GBookKeep->DeleteRecord(income);
    QCOMPARE(ReadTotals(QStringLiteral("新名")), Totals("84.5", "0", "15.5"));
}

void TestAccount::readMissingAccountGivesEmptyFields()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("有"), Amount("9.99"), QStringLiteral("备注"));
    AddRecord(0, QStringLiteral("有"), Amount("1"));
    GAccount->ReadAccount(QStringLiteral("有"));
    QCOMPARE(GAccount->FInFare, Amount("1"));

    GAccount->ReadAccount(QStringLiteral("没有"));
    QCOMPARE(GAccount->FAccountName, QString());
    QCOMPARE(GAccount->FRemark, QString());
    QCOMPARE(GAccount->FFare, Currency());
    QCOMPARE(GAccount->FInFare, Currency());
    QCOMPARE(GAccount->FOutFare, Currency());
}

void TestAccount::listAccountNames()
{
    TTestBooks books;
    QStringList names {QStringLiteral("left over")};
    GAccount->ListAccountNames(names);
    QVERIFY(names.isEmpty());

    InsertAccount(QStringLiteral("现金"), {});
    InsertAccount(QStringLiteral("银行卡"), {});
    InsertAccount(QStringLiteral("支付宝"), {});
    QStringList expected {QStringLiteral("现金"), QStringLiteral("银行卡"),
                          QStringLiteral("支付宝")};
    expected.sort();
    QCOMPARE(AccountNames(), expected);
}

void TestAccount::awkwardTextsRoundTrip_data()
{
    AddAwkwardTextRows();
}

void TestAccount::awkwardTextsRoundTrip()
{
    QFETCH(QString, text);
    TTestBooks books;
    InsertAccount(text, Amount("-1.5"), text);
    InsertAccount(QStringLiteral("plain"), {});

    GAccount->ReadAccount(text);
    QCOMPARE(GAccount->FAccountName, text);
    QCOMPARE(GAccount->FRemark, text);
    QCOMPARE(GAccount->FFare, Amount("-1.5"));
    QVERIFY(GAccount->AccountExists(text));

    TListModel list({});
    GAccount->ListAccounts(list);
    QCOMPARE(list.Cell(0, 0), text);
    QCOMPARE(list.Cell(0, 4), text);
    QStringList expected {text, QStringLiteral("plain")};
    expected.sort();
    QCOMPARE(AccountNames(), expected);

    // Renamed both ways and deleted by the awkward name.
    GAccount->FAccountName = QStringLiteral("plain2");
    GAccount->FRemark = text;
    GAccount->UpdateAccount(text);
    GAccount->FAccountName = text;
    GAccount->UpdateAccount(QStringLiteral("plain2"));
    GAccount->ReadAccount(text);
    QCOMPARE(GAccount->FAccountName, text);
    GAccount->DeleteAccount(text);
    QCOMPARE(AccountNames(), QStringList {QStringLiteral("plain")});
}

void TestAccount::statementTexts()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("O'Neil"), Amount("-5"), QStringLiteral("r"));
    QCOMPARE(GAccount->FSql,
             QStringLiteral(
                 "insert into Account(AccountName,Remark,Fare) values ('O''Neil','r',(-5)) "));

    QVERIFY(!GAccount->AccountExists(QStringLiteral("x")));
    QCOMPARE(GAccount->FSql,
             QStringLiteral("select Count(AccountName) from Account where AccountName= 'x' "));

    GAccount->FAccountName = QStringLiteral("N");
    GAccount->FRemark = QStringLiteral("m");
    GAccount->UpdateAccount(QStringLiteral("O'Neil"));
    // Transfers and reconciliation points follow in statements of their own.
    QVERIFY(GAccount->FSql.startsWith(
        QStringLiteral("update Account set AccountName='N',Remark='m' where "
                       "AccountName='O''Neil' @#@update BookKeep set AccountName='N' where "
                       "AccountName='O''Neil' @#@")));

    GAccount->ReadAccount(QStringLiteral("N"));
    QCOMPARE(GAccount->FSql, QStringLiteral("select * from Account where AccountName='N'  "));

    GAccount->DeleteAccount(QStringLiteral("N"));
    QVERIFY(
        GAccount->FSql.startsWith(QStringLiteral("delete from Account where AccountName='N' @#@")));
}

QTEST_GUILESS_MAIN(TestAccount)
#include "tst_Account.moc"
