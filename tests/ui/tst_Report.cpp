// The report window and its figures: categories rolled up and drilled into,
// months, balances that end at the accounts' own, totals equal to the main
// window's on generated books, empty and extreme books, copying and saving.

#include "LedgerTestSupport.h"
#include "WidgetTestSupport.h"

#include "BenchBooks.h"
#include "data/ListModel.h"
#include "data/UException.h"
#include "ledger/Transfers.h"
#include "ledger/UntTree.h"
#include "reports/Report.h"
#include "shell/JobRunner.h"
#include "shell/Main.h"

#include <QAccessible>
#include <QBarCategoryAxis>
#include <QCategoryAxis>
#include <QChartView>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPieSeries>
#include <QPieSlice>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <sqlite3.h>

// Amounts read as their text when a comparison fails.
char *toString(const Currency &amount)
{
    return QTest::toString(amount.ToString());
}

using namespace Qt::StringLiterals;

namespace {

const QString kCash = QStringLiteral("现金");
const QString kBank = QStringLiteral("银行卡");

// Expense tree 餐饮 > 外卖 > 夜宵, 交通; income tree 工资. Records in May 2024
// on two accounts, one of them filed under a category deleted since, and one
// on each side of the month.
class TReportBooks : public TTestBooks
{
public:
    TReportBooks()
    {
        DbExec(QStringLiteral("insert into OutType values (1,0,'餐饮')@#@"
                              "insert into OutType values (2,1,'外卖')@#@"
                              "insert into OutType values (3,2,'夜宵')@#@"
                              "insert into OutType values (4,0,'交通')@#@"
                              "insert into InType values (1,0,'工资')"));
        InsertAccount(kCash, Amount("100"));
        InsertAccount(kBank, Amount("1000"));
        AddRecord(1, kCash, Amount("10"), 1, {}, QDate(2024, 5, 1));
        AddRecord(1, kCash, Amount("20.05"), 2, {}, QDate(2024, 5, 2));
        AddRecord(1, kBank, Amount("5"), 3, {}, QDate(2024, 5, 31));
        AddRecord(1, kBank, Amount("7"), 4, {}, QDate(2024, 5, 15));
        AddRecord(1, kCash, Amount("3"), 99, {}, QDate(2024, 5, 20));
        AddRecord(0, kBank, Amount("500"), 1, {}, QDate(2024, 5, 10));
        AddRecord(1, kCash, Amount("1000"), 1, {}, QDate(2024, 4, 30));
        AddRecord(0, kCash, Amount("2000"), 1, {}, QDate(2024, 6, 1));
        // Transfers move the balances only: one with a fee, one back a month later.
        Transfers::Add({0, QDate(2024, 5, 12), kCash, kBank, Amount("60"), Amount("1.5"), {}});
        Transfers::Add({0, QDate(2024, 6, 3), kBank, kCash, Amount("25"), {}, {}});
    }
};

const RecordFilter kMay = RecordFilter::Days(QDate(2024, 5, 1), QDate(2024, 5, 31));

// The days from begin to end on one account, or on every one when it is empty.
RecordFilter OnAccount(const QDate &begin, const QDate &end, const QString &account)
{
    RecordFilter filter = RecordFilter::Days(begin, end);
    filter.Account = account;
    return filter;
}

QStringList Lines(const std::vector<TCategoryLine> &lines)
{
    QStringList texts;
    for (const TCategoryLine &line : lines)
        texts << line.Name + u'=' + line.Amount.ToString();
    return texts;
}

TCategoryTree ExpenseTree()
{
    TCategoryTree tree;
    tree.Load(false);
    return tree;
}

// Replaces the test's books with generated ones.
void UseGeneratedBooks(const TTestBooks &books, int records)
{
    GDbAccess->Close();
    QFile::remove(books.DatabaseFile());
    const QString reason
        = MakeBooks(QStringLiteral(TEMPLATE_DB), books.DatabaseFile(), records, 2026);
    const QString transfers = reason.isEmpty() ? AddTransfers(books.DatabaseFile()) : reason;
    if (!transfers.isEmpty())
        qFatal("%s", qPrintable(transfers));
    GDbAccess->Connect();
}

// A report window shown on the books, its first report built.
struct TShownReport
{
    TShownReport()
    {
        Form->show();
        RunQueuedCommands(Form);
    }
    ~TShownReport() { delete Form; }
    void SetPeriod(QDate begin, QDate end)
    {
        Child<QDateEdit>(Form, "DBBegin")->setDate(begin);
        Child<QDateEdit>(Form, "DBOver")->setDate(end);
        RunQueuedCommands(Form);
    }
    void Show(TFormReport::TReport report)
    {
        Child<QTabWidget>(Form, "pgReports")->setCurrentIndex(report);
        RunQueuedCommands(Form);
    }

    TFormReport *Form = new TFormReport;
};

// Sums the books by hand: each account's balance less all its records, plus
// the records up to the day, less the transfers after it.
Currency BalanceAt(const QDate &day, const QString &account)
{
    Currency balance;
    TQuery &opening = GDbAccess->OpenQuery(
        QStringLiteral("select AccountName,Fare,InFare,OutFare from Account"));
    for (; !opening.Eof(); opening.Next()) {
        if (account.isEmpty() || opening.Fields(0).AsString() == account)
            balance += opening.Fields(1).AsCurrency() - opening.Fields(2).AsCurrency()
                + opening.Fields(3).AsCurrency();
    }
    opening.Close();
    TQuery &records = GDbAccess->OpenQuery(
        QStringLiteral("select InOutType,Fare,AccountName from BookKeep where InDate <= ")
        + QString::number(DayNumber(day)));
    for (; !records.Eof(); records.Next()) {
        if (!account.isEmpty() && records.Fields(2).AsString() != account)
            continue;
        const Currency fare = records.Fields(1).AsCurrency();
        balance += records.Fields(0).AsInteger() == 0 ? fare : -fare;
    }
    records.Close();
    const QString name = SqlText(account);
    TQuery &moved = GDbAccess->OpenQuery(Format(
        QStringLiteral("select sum(iif(ToAccount='%s',Fare,0)-iif(FromAccount='%s',Fare,0)-iif("
                       "FromAccount='%s' or '%s'='',Fee,0)) from Transfer where InDate > %s"),
        {name, name, name, name, QString::number(DayNumber(day))}));
    balance -= moved.Fields(0).AsCurrency();
    moved.Close();
    return balance;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void categoriesRollUpAndDrillDown();
    void categoriesFollowTheTreeAsShown();
    void slicesGatherTheSmallOnes();
    void figuresReadAsMoney_data();
    void figuresReadAsMoney();
    void monthsAndTheirBoundaries();
    void balanceEndsAtTheAccounts();
    void totalsEqualTheMainWindow_data();
    void totalsEqualTheMainWindow();
    void largestAmountsStayExact();
    void emptyPeriodAndOnlyIncome();
    void windowDrillsDownAndBack();
    void figuresReadAsAJob_data();
    void figuresReadAsAJob();
    void monthAxesHoldEveryMonth();
    void copiesAndSaves();
    void menusOpenOneWindow();
    void everyControlIsNamed();
};

void TestReport::categoriesRollUpAndDrillDown()
{
    TReportBooks books;
    const TCategoryFigures figures = QueryCategorySums(kMay);
    QCOMPARE(figures.ExpenseTotal, Amount("45.05"));
    QCOMPARE(figures.IncomeTotal, Amount("500"));
    QCOMPARE(figures.Count, qint64(6));
    const TCategoryTree tree = ExpenseTree();
    QCOMPARE(Lines(Breakdown(figures.Expense, tree, 0)),
             QStringList({QStringLiteral("餐饮=35.05"), QStringLiteral("交通=7"),
                          QStringLiteral("未分类=3")}));
    QCOMPARE(Lines(Breakdown(figures.Expense, tree, 1)),
             QStringList({QStringLiteral("外卖=25.05"), QStringLiteral("餐饮（未细分）=10")}));
    QCOMPARE(Lines(Breakdown(figures.Expense, tree, 2)),
             QStringList({QStringLiteral("外卖（未细分）=20.05"), QStringLiteral("夜宵=5")}));
    QVERIFY(Breakdown(figures.Expense, tree, 0).front().HasChildren);

    // One account only.
    const TCategoryFigures bank = QueryCategorySums(OnAccount(kMay.Begin, kMay.End, kBank));
    QCOMPARE(Lines(Breakdown(bank.Expense, tree, 0)),
             QStringList({QStringLiteral("交通=7"), QStringLiteral("餐饮=5")}));
    QCOMPARE(bank.IncomeTotal, Amount("500"));
}

void TestReport::categoriesFollowTheTreeAsShown()
{
    TTestBooks books;
    // Parents listed after their children, a missing parent, a node its own
    // parent: the main window's tree puts each somewhere, and sums must roll
    // up to where the user sees them.
    DbExec(QStringLiteral("insert into OutType values (5,0,'甲')@#@"
                          "insert into OutType values (6,9,'乙')@#@"
                          "insert into OutType values (7,7,'丙')@#@"
                          "insert into OutType values (8,12,'丁')@#@"
                          "insert into OutType values (10,0,'戊')@#@"
                          "insert into OutType values (11,6,'己')@#@"
                          "insert into OutType values (12,0,'庚')"));
    QTreeWidget view;
    TCardTree shown(&view, QStringLiteral("OutType"), QStringLiteral("支出类别"));
    shown.LoadTypes();
    TCategoryTree tree = ExpenseTree();
    tree.Load(false); // loaded again, as each new period does
    int compared = 0;
    for (QTreeWidgetItemIterator it(&view); *it; ++it) {
        const qint32 self = TCardTree::NodeData(*it).SelfIndex;
        if (self == 0)
            continue;
        const qint32 parent = TCardTree::NodeData((*it)->parent()).SelfIndex;
        QCOMPARE(tree.Parent(self), parent);
        ++compared;
    }
    QCOMPARE(compared, 7);
}

void TestReport::slicesGatherTheSmallOnes()
{
    // 2 % of 100 is a slice of its own, 1.99 % is not.
    std::vector<TCategoryLine> lines(5);
    const char *amounts[] = {"95.01", "2", "1.99", "-5", "1"};
    for (int i = 0; i < 5; ++i) {
        lines[i].Name = QString::number(i);
        lines[i].Amount = Amount(amounts[i]);
    }
    lines[0].Name = QStringLiteral("其他");
    std::vector<TSlice> slices = PieSlices(lines);
    QCOMPARE(int(slices.size()), 3);
    QCOMPARE(slices[1].Name, QStringLiteral("1"));
    QCOMPARE(slices[2].Name, QStringLiteral("其余"));
    QCOMPARE(slices[2].Amount, Amount("2.99"));
    // A single small line keeps its name.
    lines.pop_back();
    QCOMPARE(PieSlices(lines).back().Name, QStringLiteral("2"));
    QCOMPARE(ShareText(Amount("1"), Amount("3")), QStringLiteral("33.3%"));
    QCOMPARE(ShareText(Amount("1"), Currency()), QStringLiteral("—"));
    QCOMPARE(ShareText(Amount("-1"), Amount("3")), QStringLiteral("冲减"));

    // 2,000 categories: a readable pie, every category still in the list.
    TTestBooks books;
    InsertAccount(kCash, Amount("0"));
    QStringList batch;
    for (int i = 1; i <= 2000; ++i)
        batch << QStringLiteral("insert into OutType values (%1,0,'类别%1')").arg(i);
    for (int i = 1; i <= 2000; ++i)
        batch << QStringLiteral("insert into BookKeep(InOutType,TypeID,Remark,Fare,AccountName,"
                                "InDate) values (1,%1,'',%2,'现金',%3)")
                     .arg(i)
                     .arg(i <= 5 ? 10000 : 1)
                     .arg(DayNumber(QDate(2024, 5, 3)));
    DbExec(batch.join(kBatchSeparator));
    const TCategoryFigures figures = QueryCategorySums(kMay);
    lines = Breakdown(figures.Expense, ExpenseTree(), 0);
    QCOMPARE(int(lines.size()), 2000);
    QCOMPARE(LinesTotal(lines), Amount("51995"));
    slices = PieSlices(lines);
    QCOMPARE(int(slices.size()), 6);
    QCOMPARE(slices.back().Name, kOtherName);
    QCOMPARE(slices.back().Amount, Amount("1995"));
}

void TestReport::figuresReadAsMoney_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("alone");
    QTest::addColumn<QString>("axis"); // from zero to the amount
    QTest::newRow("cents") << u"1471.9934"_s << u"1,471.99"_s << u"¥1,471.99"_s
                           << u"0 500 1,000 1,500"_s;
    QTest::newRow("negative") << u"-80.255"_s << u"-80.26"_s << u"-¥80.26"_s
                              << u"-100 -80 -60 -40 -20 0"_s;
    QTest::newRow("tiny") << u"-0.0001"_s << u"0.00"_s << u"¥0.00"_s << u"-0.01 0"_s;
    QTest::newRow("zero") << u"0"_s << u"0.00"_s << u"¥0.00"_s << u"0 0.2 0.4 0.6 0.8 1"_s;
    QTest::newRow("ten thousands") << u"12345.6"_s << u"12,345.60"_s << u"¥12,345.60"_s
                                   << u"0 0.25万 0.5万 0.75万 1万 1.25万"_s;
    QTest::newRow("largest") << u"99999999999.9999"_s << u"100,000,000,000.00"_s
                             << u"¥100,000,000,000.00"_s << u"0 200亿 400亿 600亿 800亿 1,000亿"_s;
}

void TestReport::figuresReadAsMoney()
{
    QFETCH(QString, amount);
    QFETCH(QString, shown);
    QFETCH(QString, alone);
    QFETCH(QString, axis);
    QCOMPARE(MoneyText(Currency::Parse(amount)), shown);
    QCOMPARE(YuanText(Currency::Parse(amount)), alone);
    QStringList labels;
    for (const TAxisTick &tick : MoneyTicks(Currency::Parse(amount), Currency::Parse(amount)))
        labels << tick.Label;
    QCOMPARE(labels.join(u' '), axis);
}

void TestReport::monthsAndTheirBoundaries()
{
    TReportBooks books;
    AddRecord(1, kCash, Amount("1.5"), 4, {}, QDate(2024, 2, 29));
    AddRecord(1, kCash, Amount("2.25"), 4, {}, QDate(2024, 3, 1));
    // A short period shows twelve whole months, back from its last.
    const std::vector<TMonthFigures> trend = QueryTrend(kMay);
    QCOMPARE(int(trend.size()), 12);
    QCOMPARE(trend.front().Month, QDate(2023, 6, 1));
    QCOMPARE(trend.back().Month, QDate(2024, 5, 1));
    const auto month = [&](int m) { return trend[size_t(m + 12 - 6) % 12]; };
    QCOMPARE(month(2).Expense, Amount("1.5"));
    QCOMPARE(month(3).Expense, Amount("2.25"));
    QCOMPARE(month(4).Expense, Amount("1000"));
    QCOMPARE(month(5).Expense, Amount("45.05"));
    QCOMPARE(month(5).Income, Amount("500"));

    // Twelve months or more: summed from the period's first day, so its
    // totals are the period's.
    const RecordFilter year = RecordFilter::Days(QDate(2023, 5, 2), QDate(2024, 5, 30));
    const std::vector<TMonthFigures> long_ = QueryTrend(year);
    QCOMPARE(int(long_.size()), 13);
    QCOMPARE(long_.back().Expense, Amount("40.05"));
    QVERIFY(QueryTrend(RecordFilter::Days(QDate(2024, 6, 1), QDate(2024, 5, 31))).empty());
    QCOMPARE(QuickPeriod(TQuickPeriod::LastMonth, QDate(2024, 3, 31)),
             std::make_pair(QDate(2024, 2, 1), QDate(2024, 2, 29)));
    QCOMPARE(QuickPeriod(TQuickPeriod::Last12Months, QDate(2024, 3, 31)),
             std::make_pair(QDate(2023, 4, 1), QDate(2024, 3, 31)));
}

void TestReport::balanceEndsAtTheAccounts()
{
    TReportBooks books;
    for (const QString &account : {QString(), kCash, kBank}) {
        const std::vector<TBalancePoint> points
            = QueryBalance(OnAccount(QDate(2024, 1, 1), QDate(2024, 12, 31), account));
        QCOMPARE(int(points.size()), 12);
        for (const TBalancePoint &point : points)
            QCOMPARE(point.Balance, BalanceAt(point.Day, account));
    }
    // May's end after the transfer out with its fee: on the account, and on all.
    QCOMPARE(QueryBalance(OnAccount(kMay.Begin, kMay.End, kCash)).back().Balance,
             Amount("-994.55"));
    QCOMPARE(QueryBalance(kMay).back().Balance, Amount("553.45"));
    // Ending today, the line ends at the account window's balances.
    const QDate today = QDate::currentDate();
    const std::vector<TBalancePoint> now
        = QueryBalance(RecordFilter::Days(today.addDays(-3), today));
    QCOMPARE(now.back().Day, today);
    QCOMPARE(now.back().Balance, ReadTotals(kCash).Fare + ReadTotals(kBank).Fare);
}

void TestReport::totalsEqualTheMainWindow_data()
{
    QTest::addColumn<QDate>("begin");
    QTest::addColumn<QDate>("end");
    const QDate today = QDate::currentDate();
    for (const TQuickPeriod quick :
         {TQuickPeriod::ThisMonth, TQuickPeriod::LastMonth, TQuickPeriod::ThisYear,
          TQuickPeriod::LastYear, TQuickPeriod::Last12Months}) {
        const auto [begin, end] = QuickPeriod(quick, today);
        QTest::addRow("quick %d", int(quick)) << begin << end;
    }
    QTest::newRow("ten years") << today.addYears(-11) << today;
    QTest::newRow("mid-month to mid-month")
        << today.addMonths(-14).addDays(-9) << today.addDays(-40);
}

void TestReport::totalsEqualTheMainWindow()
{
    QFETCH(QDate, begin);
    QFETCH(QDate, end);
    TTestBooks books;
    UseGeneratedBooks(books, 3000);
    {
        TFormMain main;
        Child<QDateEdit>(&main, "DBBegin")->setDate(begin);
        Child<QDateEdit>(&main, "DBOver")->setDate(end);
        main.btnQueryClick();
        const TRecordTotals listed = SumListedRecords(main.Records());
        const RecordFilter period = RecordFilter::Days(begin, end);
        const TCategoryFigures figures = QueryCategorySums(period);
        QCOMPARE(figures.Count, qint64(listed.Count));
        QCOMPARE(figures.IncomeTotal, listed.Income);
        QCOMPARE(figures.ExpenseTotal, listed.Expense);
        QCOMPARE(Child<QLabel>(&main, "statPanel3")->text(), figures.IncomeTotal.ToString());
        QCOMPARE(LinesTotal(Breakdown(figures.Expense, ExpenseTree(), 0)), listed.Expense);
        Currency income, expense;
        for (const TMonthFigures &month : QueryTrend(period)) {
            income += month.Income;
            expense += month.Expense;
        }
        if (ReportMonths(period).front() >= QDate(begin.year(), begin.month(), 1)) {
            QCOMPARE(income, listed.Income);
            QCOMPARE(expense, listed.Expense);
        }
    }
    // The balance line ends at the account window's balances, for all
    // accounts and each one.
    const QDate today = QDate::currentDate();
    TListModel accounts({QStringLiteral("账户名称"), QStringLiteral("余额")});
    GAccount->ListAccounts(accounts);
    Currency all;
    for (int row = 0; row < accounts.rowCount(); ++row) {
        const QString name = accounts.Cell(row, 0);
        all += accounts.CellAmount(row, 1);
        const std::vector<TBalancePoint> points = QueryBalance(OnAccount(begin, today, name));
        QCOMPARE(points.back().Balance, accounts.CellAmount(row, 1));
        QCOMPARE(points.front().Balance, BalanceAt(points.front().Day, name));
    }
    QCOMPARE(QueryBalance(RecordFilter::Days(begin, today)).back().Balance, all);
}

void TestReport::largestAmountsStayExact()
{
    TTestBooks books;
    InsertAccount(kCash, Currency());
    InsertAccount(kBank, Currency());
    DbExec(QStringLiteral("insert into OutType values (1,0,'大额')"));
    const Currency largest = Currency::FromUnits(Currency::kMaxUnits);
    AddRecord(0, kCash, largest, 1, {}, QDate(2024, 5, 1));
    AddRecord(0, kBank, largest, 1, {}, QDate(2024, 5, 2));
    AddRecord(1, kBank, largest, 1, {}, QDate(2024, 5, 3));
    AddRecord(1, kCash, Amount("0.0001"), 1, {}, QDate(2024, 5, 4));
    const TCategoryFigures figures = QueryCategorySums(kMay);
    QCOMPARE(figures.IncomeTotal.ToString(), QStringLiteral("199999999999.9998"));
    QCOMPARE(figures.ExpenseTotal.ToString(), QStringLiteral("100000000000"));
    QCOMPARE(QueryTrend(kMay).back().Income, largest + largest);
    const std::vector<TBalancePoint> points = QueryBalance(kMay);
    QCOMPARE(points.back().Balance.ToString(), QStringLiteral("99999999999.9998"));
}

void TestReport::emptyPeriodAndOnlyIncome()
{
    TTestBooks books;
    {
        TShownReport shown;
        QCOMPARE(shown.Form->EmptyText(TFormReport::rpCategory),
                 QStringLiteral("所选期间没有支出记录。"));
        QVERIFY(shown.Form->Table(TFormReport::rpCategory).Rows.isEmpty());
        shown.Show(TFormReport::rpTrend);
        QCOMPARE(shown.Form->EmptyText(TFormReport::rpTrend),
                 QStringLiteral("所选期间没有收支记录。"));
        QCOMPARE(int(shown.Form->Trend().size()), 12);
        shown.Show(TFormReport::rpBalance);
        QCOMPARE(shown.Form->Balance().back().Balance, Currency());
        QVERIFY(!shown.Form->EmptyText(TFormReport::rpBalance).isEmpty());
        // A start after the end: nothing to sum, on every report.
        shown.SetPeriod(QDate(2024, 6, 1), QDate(2024, 5, 1));
        QVERIFY(shown.Form->Balance().empty());
        QVERIFY(!shown.Form->EmptyText(TFormReport::rpBalance).isEmpty());
        shown.Show(TFormReport::rpCategory);
        QVERIFY(!shown.Form->EmptyText(TFormReport::rpCategory).isEmpty());
    }
    DbExec(QStringLiteral("insert into InType values (1,0,'工资')"));
    InsertAccount(kCash, Currency());
    AddRecord(0, kCash, Amount("8000"), 1, {}, QDate::currentDate());
    TShownReport shown;
    QCOMPARE(shown.Form->EmptyText(TFormReport::rpCategory),
             QStringLiteral("所选期间没有支出记录。"));
    Child<QRadioButton>(shown.Form, "rbIncome")->setChecked(true);
    RunQueuedCommands(shown.Form);
    QCOMPARE(shown.Form->EmptyText(TFormReport::rpCategory), QString());
    QCOMPARE(int(shown.Form->Slices().size()), 1);
    QCOMPARE(shown.Form->Table(TFormReport::rpCategory).Rows.first(),
             QStringList({QStringLiteral("1"), QStringLiteral("工资"), QStringLiteral("8000"),
                          QStringLiteral("100.0%"), QStringLiteral("1")}));
    shown.Show(TFormReport::rpTrend);
    QCOMPARE(shown.Form->Trend().back().Income, Amount("8000"));
}

void TestReport::windowDrillsDownAndBack()
{
    TReportBooks books;
    TShownReport shown;
    TFormReport &form = *shown.Form;
    shown.SetPeriod(kMay.Begin, kMay.End);
    QCOMPARE(Child<QComboBox>(&form, "cbbPeriod")->currentText(), QStringLiteral("自定义"));
    QCOMPARE(
        Child<QLabel>(&form, "lblCategoryTotals")->text(),
        QStringLiteral("记录数：6    收入合计：¥500.00    支出合计：¥45.05    收入-支出：¥454.95"));
    auto *series = static_cast<QPieSeries *>(
        form.ChartView(TFormReport::rpCategory)->chart()->series().first());
    QCOMPARE(series->count(), 3);
    // A click on the slice of 餐饮 opens its children.
    Q_EMIT series->slices().first()->clicked();
    RunQueuedCommands(&form);
    QCOMPARE(form.CategoryNode(), 1);
    QCOMPARE(Child<QLabel>(&form, "lblPath")->text(), QStringLiteral("全部支出 › 餐饮"));
    // A click on the row of 外卖 in the ranked list opens its children.
    QTest::mouseClick(Child<QTreeView>(&form, "tvCategory")->viewport(), Qt::LeftButton, {},
                      Child<QTreeView>(&form, "tvCategory")
                          ->visualRect(Child<QTreeView>(&form, "tvCategory")->model()->index(0, 1))
                          .center());
    RunQueuedCommands(&form);
    QCOMPARE(form.CategoryNode(), 2);
    QCOMPARE(Lines(form.CategoryLines()),
             QStringList({QStringLiteral("外卖（未细分）=20.05"), QStringLiteral("夜宵=5")}));
    // A leaf opens nothing; the way back goes up one level at a time.
    form.OpenCategory(3);
    QCOMPARE(form.CategoryNode(), 2);
    Child<QPushButton>(&form, "btnUp")->click();
    RunQueuedCommands(&form);
    QCOMPARE(form.CategoryNode(), 1);
    Child<QPushButton>(&form, "btnUp")->click();
    RunQueuedCommands(&form);
    QCOMPARE(form.CategoryNode(), 0);
    QVERIFY(!Child<QPushButton>(&form, "btnUp")->isEnabled());

    // One account; a quick choice puts the dates back.
    Child<QComboBox>(&form, "cbbAccount")
        ->setCurrentIndex(Child<QComboBox>(&form, "cbbAccount")->findText(kBank));
    Q_EMIT Child<QComboBox>(&form, "cbbAccount")
        ->activated(Child<QComboBox>(&form, "cbbAccount")->currentIndex());
    RunQueuedCommands(&form);
    QCOMPARE(form.CategoryFigures().ExpenseTotal, Amount("12"));
    form.SetQuickPeriod(TQuickPeriod::LastYear);
    QCOMPARE(Child<QDateEdit>(&form, "DBBegin")->date(),
             QDate(QDate::currentDate().year() - 1, 1, 1));
    QCOMPARE(Child<QComboBox>(&form, "cbbPeriod")->currentText(), QStringLiteral("去年"));
}

void TestReport::figuresReadAsAJob_data()
{
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("totals"); // as the job ends
    QTest::newRow("waited for")
        << false << u"记录数：6    收入合计：¥500.00    支出合计：¥45.05    收入-支出：¥454.95"_s;
    QTest::newRow("cancelled")
        << true << u"记录数：0    收入合计：¥0.00    支出合计：¥0.00    收入-支出：¥0.00"_s;
}

void TestReport::figuresReadAsAJob()
{
    QFETCH(bool, cancel);
    QFETCH(QString, totals);
    TReportBooks books;
    TRecordingPrompt prompt;
    TShownReport shown;
    // A change being written holds the statements back until the dialog shows;
    // it ends only after the cancel, so the read cannot be done before it.
    sqlite3 *writer = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(books.DatabaseFile()).constData(), &writer), SQLITE_OK);
    QCOMPARE(sqlite3_exec(writer, "begin exclusive", nullptr, nullptr, nullptr), SQLITE_OK);
    QString name;
    connect(
        &TJobDialogs::Instance(), &TJobDialogs::Shown, shown.Form,
        [&](QWidget *dialog) {
            name = Child<QLabel>(dialog, "lblJobName")->text();
            if (cancel)
                Child<QPushButton>(dialog, "btnJobCancel")->click();
            sqlite3_exec(writer, "commit", nullptr, nullptr, nullptr);
        },
        Qt::SingleShotConnection);
    const int delay = TJobDialogs::Instance().Delay();
    TJobDialogs::Instance().SetDelay(0);
    shown.SetPeriod(kMay.Begin, kMay.End);
    TJobDialogs::Instance().SetDelay(delay);
    sqlite3_close(writer);
    QCOMPARE(name, QStringLiteral("正在统计…"));
    QCOMPARE(Child<QLabel>(shown.Form, "lblCategoryTotals")->text(), totals);
    QVERIFY(prompt.Boxes.isEmpty());
    // A cancelled report is read when asked again.
    Child<QPushButton>(shown.Form, "btnRefresh")->click();
    RunQueuedCommands(shown.Form);
    QCOMPARE(shown.Form->CategoryFigures().ExpenseTotal, Amount("45.05"));
}

void TestReport::monthAxesHoldEveryMonth()
{
    TReportBooks books;
    TShownReport shown;
    shown.Show(TFormReport::rpBalance);
    // Twelve months, one label each; twenty, under a label for each year,
    // the axis still reaching the last month (a month's name shows only once
    // on an axis, so twenty month names would drop eight months).
    shown.SetPeriod(QDate(2024, 1, 1), QDate(2024, 12, 31));
    QChart *chart = shown.Form->ChartView(TFormReport::rpBalance)->chart();
    auto *months = qobject_cast<QBarCategoryAxis *>(chart->axes(Qt::Horizontal).first());
    QVERIFY(months);
    QCOMPARE(months->count(), 12);
    shown.SetPeriod(QDate(2023, 5, 1), QDate(2024, 12, 31));
    QCOMPARE(int(shown.Form->Balance().size()), 20);
    auto *years = qobject_cast<QCategoryAxis *>(chart->axes(Qt::Horizontal).first());
    QVERIFY(years);
    QCOMPARE(years->max(), 19.5);
    QCOMPARE(years->categoriesLabels(),
             QStringList({QStringLiteral("2023年"), QStringLiteral("2024年")}));
}

void TestReport::copiesAndSaves()
{
    TReportBooks books;
    DbExec(QStringLiteral("update OutType set TypeName='=cmd,\"x\"' where SelfIndex=4"));
    // A refund booked as a negative expense takes away from the total.
    AddRecord(1, kCash, Amount("-20"), 4, {}, QDate(2024, 5, 16));
    TRecordingPrompt prompt;
    TShownReport shown;
    TFormReport &form = *shown.Form;
    shown.SetPeriod(kMay.Begin, kMay.End);
    QTemporaryDir dir;
    prompt.FileNames << dir.filePath(QStringLiteral("分类"))
                     << dir.filePath(QStringLiteral("图.PNG"));
    form.btnSaveCsvClick();
    const QByteArray csv = ReadAll(dir.filePath(QStringLiteral("分类.csv")));
    QVERIFY(csv.startsWith("\xEF\xBB\xBF排名,类别,金额,占比,笔数\r\n1,餐饮,35.05,92.1%,3\r\n"));
    // A name a spreadsheet would run as a formula is kept as text.
    QVERIFY(csv.contains("3,\"'=cmd,\"\"x\"\"\",-13,冲减,2\r\n"));
    QVERIFY(csv.endsWith(",合计,25.05,,6\r\n"));
    form.btnSavePngClick();
    const QImage image(dir.filePath(QStringLiteral("图.PNG")));
    QVERIFY(image.width() > 100);
    QCOMPARE(image.text(QStringLiteral("Title")), QStringLiteral("分类统计：全部支出"));
    QCOMPARE(image.text(QStringLiteral("Description")),
             QStringLiteral("2024年5月1日 至 2024年5月31日，全部账户"));
    // The list marks the lines that open; the saved table names them plainly.
    QCOMPARE(Child<QTreeView>(&form, "tvCategory")->model()->index(0, 1).data().toString(),
             QStringLiteral("餐饮 ▸"));
    form.btnCopyClick();
    QVERIFY(QApplication::clipboard()->text().startsWith(
        QStringLiteral("排名\t类别\t金额\t占比\t笔数\n1\t餐饮\t35.05\t")));

    // A file that cannot be written is reported, not passed over.
    prompt.FileNames << dir.filePath(QStringLiteral("没有的目录/表.csv"));
    QVERIFY_THROWS_EXCEPTION(Exception, form.btnSaveCsvClick());
}

void TestReport::menusOpenOneWindow()
{
    TTestBooks books;
    {
        TFormMain main;
        const auto after = [](QMenu *menu, const QString &text) {
            const QList<QAction *> actions = menu->actions();
            for (int i = 0; i + 1 < actions.size(); ++i) {
                if (actions[i]->text() == text)
                    return actions[i + 1];
            }
            return static_cast<QAction *>(nullptr);
        };
        QAction *fromMenu = after(main.SystemMenu(), QStringLiteral("账户信息"));
        QAction *fromTray = after(main.TrayMenu(), QStringLiteral("新建记账"));
        QVERIFY(fromMenu && fromTray);
        QCOMPARE(fromMenu->text(), QStringLiteral("统计报表"));
        QCOMPARE(fromTray->text(), QStringLiteral("统计报表"));
        fromMenu->trigger();
        RunQueuedCommands(&main);
        TFormReport *report = OpenReportWindow();
        QVERIFY(report);
        QVERIFY(report->isVisible());
        fromTray->trigger();
        RunQueuedCommands(&main);
        QCOMPARE(OpenReportWindow(), report);
        QCOMPARE(main.findChildren<TFormReport *>().size(), 1);
        report->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!OpenReportWindow());
    }
}

void TestReport::everyControlIsNamed()
{
    TReportBooks books;
    TShownReport shown;
    int named = 0;
    for (QWidget *control : shown.Form->findChildren<QWidget *>()) {
        const bool input = qobject_cast<QAbstractButton *>(control)
            || qobject_cast<QComboBox *>(control) || qobject_cast<QDateEdit *>(control)
            || qobject_cast<QTreeView *>(control) || qobject_cast<QChartView *>(control)
            || qobject_cast<QTabWidget *>(control);
        if (!input || control->objectName().startsWith(u"qt_"))
            continue;
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(control);
        QVERIFY2(face && !face->text(QAccessible::Name).isEmpty(),
                 qPrintable(control->objectName()));
        ++named;
    }
    QVERIFY(named >= 17);
}

BOOKKEEP_TEST_MAIN(TestReport)
#include "tst_Report.moc"
