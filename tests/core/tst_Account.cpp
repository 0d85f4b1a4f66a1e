#include "LedgerTestSupport.h"

#include "data/DateFormats.h"
#include "data/ListModel.h"
#include "data/UException.h"
#include "ledger/AccountStatement.h"
#include "ledger/Categories.h"
#include "ledger/Transfers.h"

#include <QTest>
#include <algorithm>

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
    void statementBalancesAndReconciliation_data();
    void statementBalancesAndReconciliation();
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
    DbExec(QStringLiteral("insert into ImportSetting values ('source:零钱','旧名')@#@"
                          "insert into ImportSetting values ('account:wechat','旧名')"));

    GAccount->FAccountName = QStringLiteral("新名");
    GAccount->FRemark = QString();
    GAccount->UpdateAccount(QStringLiteral("旧名"));

    QCOMPARE(AccountNames(), QStringList {QStringLiteral("新名")});
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from BookKeep where AccountName='新名'")),
             2);
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from ImportSetting where Value='新名'")),
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

void TestAccount::statementBalancesAndReconciliation_data()
{
    // "day kind amount [fee]" on 甲 (opened with 1000), entered in this order:
    // i income, e expense, o transfer to 乙, t transfer from 乙; x is 乙's.
    QTest::addColumn<QString>("lines");
    QTest::addColumn<int>("begin"); // the period in days after the first; -1: no bound
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("kinds");
    QTest::newRow("records") << "1 i 100; 2 e 30.5; 2 i 0.0001" << -1 << -1 << "收入|支出|收入";
    QTest::newRow("transfers both ways, a fee")
        << "1 o 200 2; 3 t 50; 4 e 10" << -1 << -1 << "转出|转入|支出";
    QTest::newRow("same day: records first, each by ID")
        << "5 t 20; 5 o 30 1.5; 5 e 7; 5 i 3" << -1 << -1 << "支出|收入|转入|转出";
    QTest::newRow("lines before and after the period")
        << "1 i 100; 2 o 40 1; 6 e 5; 7 t 9; 9 i 1" << 5 << 8 << "支出|转入";
    QTest::newRow("another account's records") << "1 x 50; 2 i 10; 3 x 1" << -1 << -1 << "收入";
    QTest::newRow("nothing in the period") << "1 i 10; 6 o 1" << 3 << 4 << "";
}

void TestAccount::statementBalancesAndReconciliation()
{
    QFETCH(QString, lines);
    QFETCH(int, begin);
    QFETCH(int, end);
    QFETCH(QString, kinds);
    TTestBooks books;
    const QString a = QStringLiteral("甲"), b = QStringLiteral("乙");
    InsertAccount(a, Amount("1000"));
    InsertAccount(b, {});
    Categories(QStringLiteral("InType")).Insert({1, 0}, QStringLiteral("工资"));
    Categories(QStringLiteral("OutType")).Insert({1, 0}, QStringLiteral("午饭"));
    const QDate first(2024, 5, 1);
    struct TEntry
    {
        int Day;
        bool Transfer;
        Currency In, Out;
        QString Name;
    };
    std::vector<TEntry> entries; // 甲's, as entered
    for (const QString &line : lines.split(u';')) {
        const QStringList f = line.simplified().split(u' ');
        const QChar kind = f[1][0];
        const Currency amount = Currency::Parse(f[2]);
        const Currency fee = f.size() > 3 ? Currency::Parse(f[3]) : Currency();
        const QDate date = first.addDays(f[0].toInt());
        const bool out = kind == u'o', transfer = out || kind == u't';
        if (transfer)
            Transfers::Add({0, date, out ? a : b, out ? b : a, amount, fee, {}});
        else
            AddRecord(kind == u'i' ? 0 : 1, kind == u'x' ? b : a, amount, 1, {}, date);
        const QString name = !transfer ? QString::fromUtf8(kind == u'i' ? "工资" : "午饭")
            : fee == Currency()        ? b
                                       : b + QStringLiteral("（手续费 %1）").arg(f[3]);
        const bool in = kind == u'i' || kind == u't';
        if (kind != u'x')
            entries.push_back({f[0].toInt(), transfer, in ? amount : Currency(),
                               in ? Currency() : amount + fee, name});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const TEntry &x, const TEntry &y) {
        return std::pair(x.Day, x.Transfer) < std::pair(y.Day, y.Transfer);
    });

    TStatementModel model;
    const QDate to = end < 0 ? QDate() : first.addDays(end);
    model.Load(a, begin < 0 ? QDate() : first.addDays(begin), to);
    Currency balance = Amount("1000"), closing = balance;
    int row = 0;
    for (const TEntry &entry : entries) {
        balance += entry.In - entry.Out;
        if (end >= 0 && entry.Day > end)
            continue;
        closing = balance;
        if (entry.Day < begin)
            continue;
        const TStatementLine line = model.Line(row++);
        QCOMPARE(line.Date, first.addDays(entry.Day));
        QCOMPARE(line.Name, entry.Name);
        QCOMPARE(std::pair(line.In, line.Out), std::pair(entry.In, entry.Out));
        QCOMPARE(line.Balance, balance);
        QCOMPARE(line.TransferId != 0, entry.Transfer);
    }
    QStringList listed;
    for (int r = 0; r < model.rowCount(); ++r)
        listed << model.index(r, TStatementModel::ColKind).data().toString();
    QCOMPARE(listed.join(u'|'), kinds);
    QCOMPARE(model.rowCount(), row);
    QCOMPARE(model.Closing(), closing);
    QCOMPARE(model.Opening() + model.TotalIn() - model.TotalOut(), closing);
    QCOMPARE(balance, ReadTotals(a).Fare);

    // The books' balance at the end of the day agrees, or nothing is stored.
    const QDate day = to.isNull() ? first.addDays(9) : to;
    const Reconciliation::TResult off = Reconciliation::Reconcile(a, day, closing + Amount("0.01"));
    QCOMPARE(std::pair(off.Books, off.Difference), std::pair(closing, Amount("0.01")));
    QCOMPARE(RowCount(QStringLiteral("Reconciled")), 0);
    QCOMPARE(Reconciliation::Reconcile(a, day, closing).Difference, Currency());
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("对账 甲 ") + DateText(day));
    QCOMPARE(Reconciliation::Latest(a)->Agreed, closing);
    // A line after the day leaves the point as it was; one on the day changes it.
    AddRecord(0, a, Amount("4"), 1, {}, day.addDays(1));
    QVERIFY(Reconciliation::Latest(a)->Holds());
    AddRecord(1, a, Amount("3"), 1, {}, day);
    QCOMPARE(Reconciliation::Latest(a)->Now, closing - Amount("3"));
    QVERIFY(!Reconciliation::Latest(a)->Holds());
    GDbAccess->Undo();
    GDbAccess->Undo();
    QVERIFY(Reconciliation::Latest(a)->Holds());
    GDbAccess->Undo();
    QVERIFY(!Reconciliation::Latest(a));
}

QTEST_GUILESS_MAIN(TestAccount)
#include "tst_Account.moc"
