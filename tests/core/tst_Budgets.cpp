// Budgets: their figures against plain sums of the records, and the checks.

#include "LedgerTestSupport.h"

#include "data/UException.h"
#include "ledger/Budgets.h"
#include "ledger/Categories.h"

#include <QTest>

namespace {

const QString kCash = QStringLiteral("现金");

// The expenses of the categories ids from begin to the day before end, summed
// one record at a time.
Currency PlainSpent(const QString &ids, const QDate &begin, const QDate &end)
{
    Currency spent;
    TQuery &query = GDbAccess->OpenQuery(
        QStringLiteral("select Fare from BookKeep where InOutType=1 and TypeID in (%1) "
                       "and InDate >= %2 and InDate < %3")
            .arg(ids)
            .arg(DayNumber(begin))
            .arg(DayNumber(end)));
    for (; !query.Eof(); query.Next())
        spent += query.Fields(0).AsCurrency();
    query.Close();
    return spent;
}

QString StoredBudgets()
{
    TQuery &query = GDbAccess->OpenQuery(QStringLiteral(
        "select group_concat(TypeID||','||Period||','||Fare||','||Rollover||','||StartDate,';') "
        "from Budget"));
    const QString text = query.Fields(0).AsString();
    query.Close();
    return text;
}

} // namespace

class TestBudgets : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void figures_data();
    void figures();
    void figureForRecord();
    void badInputWritesNothing_data();
    void badInputWritesNothing();
    void startDateAndRemoval();
    void levels_data();
    void levels();

private:
    std::unique_ptr<TTestBooks> FBooks;
    QString FLunchFeb; // the February lunch that overspends 餐饮
    QString FLunchMar;
};

void TestBudgets::init()
{
    FBooks = std::make_unique<TTestBooks>();
    InsertAccount(kCash, Amount("10000"));
    DbExec(QStringLiteral("insert into InType values (1,0,'工资')@#@"
                          "insert into OutType values (1,0,'餐饮'),(2,1,'早餐'),(3,1,'午饭'),"
                          "(4,0,'交通'),(5,0,'娱乐')"));
    const struct
    {
        int Kind, TypeID;
        const char *Fare;
        QDate Date;
    } records[] = {
        {1, 4, "100", {2022, 3, 10}},   {1, 4, "300", {2023, 7, 1}},
        {1, 4, "50", {2023, 12, 31}},   {1, 1, "200", {2024, 1, 5}},
        {1, 2, "30.25", {2024, 1, 20}}, {1, 3, "500.5", {2024, 2, 3}},
        {1, 2, "12", {2024, 2, 28}},    {1, 3, "80", {2024, 3, 1}},
        {1, 2, "19.99", {2024, 3, 31}}, {1, 4, "-20", {2024, 3, 15}},
        {1, 4, "45.5", {2024, 3, 10}},  {0, 1, "5000", {2024, 3, 5}},
        {1, 1, "-15", {2024, 4, 10}},   {1, 2, "60", {2024, 4, 11}},
        {1, 3, "25.75", {2024, 5, 2}},  {1, 5, "99", {2024, 5, 31}},
        {1, 9, "70", {2024, 3, 3}},
    };
    for (const auto &record : records) {
        const QString id
            = AddRecord(record.Kind, kCash, Amount(record.Fare), record.TypeID, {}, record.Date);
        if (record.TypeID == 3 && record.Date.month() <= 3)
            (record.Date.month() == 2 ? FLunchFeb : FLunchMar) = id;
    }
}

void TestBudgets::cleanup()
{
    FBooks.reset();
}

void TestBudgets::figures_data()
{
    QTest::addColumn<int>("typeId");
    QTest::addColumn<QString>("ids"); // the category and every one below it
    QTest::addColumn<int>("period");
    QTest::addColumn<bool>("rollover");
    QTest::addColumn<QDate>("made");
    QTest::addColumn<QDate>("day");
    QTest::addColumn<QString>("fare");

    // March also holds an income on index 1, which no expense budget counts.
    QTest::newRow("children count toward the parent")
        << 1 << "1,2,3" << 0 << false << QDate(2024, 1, 3) << QDate(2024, 3, 20) << "300";
    QTest::newRow("a child alone")
        << 2 << "2" << 0 << false << QDate(2024, 1, 3) << QDate(2024, 2, 10) << "40";
    QTest::newRow("year") << 1 << "1,2,3" << 1 << false << QDate(2024, 2, 1) << QDate(2024, 12, 31)
                          << "3000";
    QTest::newRow("a refund") << 4 << "4" << 0 << false << QDate(2024, 3, 1) << QDate(2024, 3, 2)
                              << "100";
    QTest::newRow("monthly rollover, over- and underspent")
        << 1 << "1,2,3" << 0 << true << QDate(2024, 1, 15) << QDate(2024, 5, 15) << "300";
    QTest::newRow("yearly rollover")
        << 4 << "4" << 1 << true << QDate(2022, 5, 1) << QDate(2024, 6, 1) << "200";
    QTest::newRow("overspent month carried")
        << 5 << "5" << 0 << true << QDate(2024, 5, 1) << QDate(2024, 6, 1) << "50";
    QTest::newRow("before the start nothing carries")
        << 1 << "1,2,3" << 0 << true << QDate(2024, 4, 2) << QDate(2024, 2, 10) << "300";
}

void TestBudgets::figures()
{
    QFETCH(int, typeId);
    QFETCH(QString, ids);
    QFETCH(int, period);
    QFETCH(bool, rollover);
    QFETCH(QDate, made);
    QFETCH(QDate, day);
    QFETCH(QString, fare);
    const auto kind = TBudget::TPeriod(period);
    Budgets::Add(typeId, kind, fare, rollover, made);
    const auto next = [&](const QDate &begin) {
        return kind == TBudget::Month ? begin.addMonths(1) : begin.addYears(1);
    };
    const QDate begin
        = kind == TBudget::Month ? QDate(day.year(), day.month(), 1) : QDate(day.year(), 1, 1);
    // Each past record changed shows in the next figures.
    for (const char *lunch : {"500.5", "100"}) {
        DbExec(QStringLiteral("update BookKeep set Fare=%1 where ID=%2")
                   .arg(QLatin1StringView(lunch), FLunchFeb));
        Currency available = Amount(qPrintable(fare));
        if (rollover)
            for (QDate p = Budgets::PeriodBegin(kind, made); p < begin; p = next(p))
                available += Amount(qPrintable(fare)) - PlainSpent(ids, p, next(p));
        const std::vector<TBudgetFigure> figures = Budgets::Figures(day);
        QCOMPARE(figures.size(), size_t(1));
        const TBudgetFigure &figure = figures.front();
        QCOMPARE(figure.Name, Categories::OfKind(1).Name(typeId));
        QCOMPARE(figure.Begin, begin);
        QCOMPARE(figure.End, next(begin).addDays(-1));
        QCOMPARE(figure.Spent.ToString(), PlainSpent(ids, begin, next(begin)).ToString());
        QCOMPARE(figure.Available.ToString(), available.ToString());
    }
}

void TestBudgets::figureForRecord()
{
    Budgets::Add(1, TBudget::Month, QStringLiteral("300"), false);
    Budgets::Add(2, TBudget::Year, QStringLiteral("400"), false);
    const QDate march(2024, 3, 9);
    QCOMPARE(Budgets::FigureFor(3, march)->Budget.TypeID, 1);
    QCOMPARE(Budgets::FigureFor(3, march)->Spent, Amount("99.99"));
    QCOMPARE(Budgets::FigureFor(3, march, FLunchMar.toLongLong())->Spent, Amount("19.99"));
    QCOMPARE(Budgets::FigureFor(2, march)->Spent, Amount("122.24"));
    QVERIFY(!Budgets::FigureFor(4, march));
    QVERIFY(!Budgets::FigureFor(9, march));
}

void TestBudgets::badInputWritesNothing_data()
{
    QTest::addColumn<bool>("adding");
    QTest::addColumn<int>("typeId");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("message");

    QTest::newRow("zero") << true << 1 << "0"
                          << "预算金额必须大于 0";
    QTest::newRow("negative") << true << 1 << "-5"
                              << "预算金额必须大于 0";
    QTest::newRow("changed to negative") << false << 4 << "-0.01"
                                         << "预算金额必须大于 0";
    QTest::newRow("not a number") << true << 1 << "12元"
                                  << "预算金额“12元”不是有效的金额";
    QTest::newRow("too large") << true << 1 << "1e11"
                               << "预算金额“1e11”不是有效的金额";
    QTest::newRow("empty") << true << 1 << " "
                           << "请填写预算金额";
    QTest::newRow("no category") << true << 0 << "10"
                                 << "请选择支出分类";
    QTest::newRow("deleted category") << true << 9 << "10"
                                      << "所选的支出分类已不存在，请重新选择";
    QTest::newRow("second budget") << true << 4 << "10"
                                   << "“交通”已有预算，请在列表中选中它修改";
    QTest::newRow("changed after removal") << false << 1 << "10"
                                           << "“餐饮”的预算已被删除";
}

void TestBudgets::badInputWritesNothing()
{
    QFETCH(bool, adding);
    QFETCH(int, typeId);
    QFETCH(QString, amount);
    QFETCH(QString, message);
    Budgets::Add(4, TBudget::Month, QStringLiteral("100"), true, QDate(2024, 3, 17));
    const QString before = StoredBudgets();
    try {
        (adding ? Budgets::Add : Budgets::Modify)(typeId, TBudget::Year, amount, false,
                                                  QDate::currentDate());
        QFAIL("accepted");
    } catch (const Exception &refusal) {
        QCOMPARE(refusal.Message(), message);
    }
    QCOMPARE(StoredBudgets(), before);
}

void TestBudgets::startDateAndRemoval()
{
    Budgets::Add(4, TBudget::Month, QStringLiteral("100"), true, QDate(2024, 3, 17));
    Budgets::Add(5, TBudget::Year, QStringLiteral("1"), false, QDate(2024, 3, 17));
    Budgets::Modify(4, TBudget::Month, QStringLiteral("150.5"), false, QDate(2024, 6, 9));
    QCOMPARE(StoredBudgets(), QStringLiteral("4,0,150.5,0,45352;5,1,1,0,45292"));
    Budgets::Modify(4, TBudget::Year, QStringLiteral("150.5"), true, QDate(2024, 6, 9));
    QCOMPARE(Budgets::List().front().StartDate, QDate(2024, 1, 1));
    // A deleted category's budget is no longer listed nor figured.
    DbExec(QStringLiteral("delete from OutType where SelfIndex=5"));
    QCOMPARE(Budgets::List().size(), 1);
    QCOMPARE(Budgets::Figures(QDate(2024, 6, 9)).size(), size_t(1));
    Budgets::Remove(4);
    QVERIFY(Budgets::List().isEmpty());
}

void TestBudgets::levels_data()
{
    QTest::addColumn<QString>("available");
    QTest::addColumn<QString>("spent");
    QTest::addColumn<int>("level");
    QTest::addColumn<qint64>("perMille");

    QTest::newRow("below 80%") << "100"
                               << "79.99" << int(TBudgetLevel::Normal) << 799LL;
    QTest::newRow("80%") << "100"
                         << "80" << int(TBudgetLevel::Near) << 800LL;
    QTest::newRow("all of it") << "100"
                               << "100" << int(TBudgetLevel::Near) << 1000LL;
    QTest::newRow("over") << "100"
                          << "100.0001" << int(TBudgetLevel::Over) << 1000LL;
    QTest::newRow("refunds only") << "100"
                                  << "-5" << int(TBudgetLevel::Normal) << 0LL;
    QTest::newRow("nothing left, nothing spent") << "0"
                                                 << "0" << int(TBudgetLevel::Normal) << 0LL;
    QTest::newRow("overspent before") << "-20"
                                      << "0" << int(TBudgetLevel::Over) << 0LL;
    QTest::newRow("spent with nothing") << "-20"
                                        << "1" << int(TBudgetLevel::Over) << 2000LL;
}

void TestBudgets::levels()
{
    QFETCH(QString, available);
    QFETCH(QString, spent);
    QFETCH(int, level);
    QFETCH(qint64, perMille);
    TBudgetFigure figure;
    figure.Available = Currency::Parse(available);
    figure.Spent = Currency::Parse(spent);
    QCOMPARE(int(figure.Level()), level);
    QCOMPARE(figure.PerMille(), perMille);
}

QTEST_GUILESS_MAIN(TestBudgets)
#include "tst_Budgets.moc"
