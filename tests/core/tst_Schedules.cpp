// Scheduled records: the rule's dates against a day-by-day reading of the
// rule, catching up after years closed, checks in parts, restores, undo,
// schedules that cannot post, the clock set back, and the checks of a change.
#include "LedgerTestSupport.h"

#include "data/UException.h"
#include "ledger/Schedules.h"

#include <QTest>
#include <functional>

Q_DECLARE_METATYPE(TSchedule)

namespace {

const QString kCash = QStringLiteral("现金");
const QString kCard = QStringLiteral("银行卡");
const QDate kToday(2026, 1, 10);

// The dates of the rule found by looking at every day from the start.
QList<QDate> DayByDay(const TSchedule &s, QDate from, QDate to)
{
    QList<QDate> dates;
    int count = 0;
    for (QDate d = s.Start; d <= to && (!s.End.isValid() || d <= s.End); d = d.addDays(1)) {
        if (s.Times > 0 && count == s.Times)
            break;
        const int months = (d.year() - s.Start.year()) * 12 + d.month() - s.Start.month();
        const bool onDay = d.day() == qMin(s.MonthDay, d.daysInMonth());
        const qint64 days = s.Start.daysTo(d);
        const bool on = s.Unit == TSchedule::Days ? days % s.Every == 0
            : s.Unit == TSchedule::Weeks          ? days % (7 * s.Every) == 0
            : s.Unit == TSchedule::Months         ? onDay && months % s.Every == 0
                                                  : onDay && months % (12 * s.Every) == 0;
        if (!on)
            continue;
        ++count;
        if (d >= from)
            dates << d;
    }
    return dates;
}

Currency operator*(Currency amount, qsizetype times)
{
    return Currency::FromUnits(amount.Units() * times);
}

TSchedule Rule(int unit, int every, int monthDay, QDate start, QDate end = {}, int times = 0)
{
    TSchedule s;
    s.Unit = unit;
    s.Every = every;
    s.MonthDay = monthDay;
    s.Start = start;
    s.End = end;
    s.Times = times;
    return s;
}

TSchedule Schedule(int kind, int typeId, const QString &account, const char *fare, TSchedule rule,
                   bool automatic = true, int ahead = 0, const QString &to = {})
{
    rule.Kind = kind;
    rule.TypeID = typeId;
    rule.Account = account;
    rule.ToAccount = to;
    rule.Fare = Amount(fare);
    rule.Auto = automatic;
    rule.Ahead = ahead;
    rule.Id = Schedules::Add(rule);
    return rule;
}

// Books with 现金 (1000) and 银行卡 (5000), the income category 1 and the
// expense categories 1 and 2; and five schedules from 2023: rent on the 1st
// posted 5 days ahead, salary on the month's last day, a bill every two
// weeks, a yearly transfer, all posted by themselves, and a daily one of 10
// times that asks.
class TScheduleBooks : public TTestBooks
{
public:
    TScheduleBooks()
    {
        InsertAccount(kCash, Amount("1000"));
        InsertAccount(kCard, Amount("5000"));
        DbExec(QStringLiteral("insert into InType values (1,0,'工资')@#@insert into OutType "
                              "values (1,0,'房租')@#@insert into OutType values (2,0,'话费')"));
        Rent = Schedule(1, 1, kCash, "3000", Rule(TSchedule::Months, 1, 1, {2023, 1, 1}), true, 5);
        Salary = Schedule(0, 1, kCash, "8000.5", Rule(TSchedule::Months, 1, 31, {2023, 1, 31}));
        Phone = Schedule(1, 2, kCash, "49.9", Rule(TSchedule::Weeks, 2, 1, {2023, 1, 4}));
        Move = Schedule(2, 0, kCard, "1000", Rule(TSchedule::Years, 1, 15, {2023, 3, 15}), true, 0,
                        kCash);
        Lunch = Schedule(1, 2, kCash, "10", Rule(TSchedule::Days, 1, 1, {2025, 12, 1}, {}, 10),
                         false);
    }

    // What the automatic ones post by `day`: the number, and the two balances.
    qsizetype Count(QDate day) const
    {
        return Times(Rent, day) + Times(Salary, day) + Times(Phone, day) + Times(Move, day);
    }
    TTotals CashTotals(QDate day) const
    {
        const Currency in = Amount("8000.5") * Times(Salary, day);
        const Currency out = Amount("3000") * Times(Rent, day) + Amount("49.9") * Times(Phone, day);
        return {Amount("1000") + in - out + Amount("1000") * Times(Move, day), in, out};
    }
    static qsizetype Times(const TSchedule &s, QDate day)
    {
        return DayByDay(s, s.Start, day.addDays(s.Ahead)).size();
    }

    TSchedule Rent, Salary, Phone, Move, Lunch;
};

} // namespace

class TestSchedules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void RuleDates_data();
    void RuleDates();
    void CatchesUpOnce_data();
    void CatchesUpOnce();
    void RestoreBringsItsState();
    void UndoMakesDueAgain();
    void CannotPostIsReported();
    void ClockSetBack();
    void ChangeKeepsDealtDates();
    void RefusesBadSchedules_data();
    void RefusesBadSchedules();
};

void TestSchedules::RuleDates_data()
{
    QTest::addColumn<TSchedule>("rule");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QList<QDate>>("among");
    const QDate y2023(2023, 1, 1);
    const QDate y2029(2029, 12, 31);
    QTest::newRow("daily") << Rule(0, 1, 1, {2024, 2, 27}) << y2023 << QDate(2024, 3, 2)
                           << QList<QDate> {{2024, 2, 29}, {2024, 3, 1}};
    QTest::newRow("every 3 days, window") << Rule(0, 3, 1, {2024, 1, 1}) << QDate(2024, 3, 1)
                                          << QDate(2024, 4, 1) << QList<QDate> {{2024, 3, 4}};
    QTest::newRow("every 2 weeks") << Rule(1, 2, 1, {2024, 1, 3}) << y2023 << QDate(2024, 6, 1)
                                   << QList<QDate> {{2024, 1, 17}};
    QTest::newRow("day 31") << Rule(2, 1, 31, {2023, 1, 31}) << y2023 << QDate(2024, 12, 31)
                            << QList<QDate> {{2023, 2, 28}, {2024, 2, 29}, {2024, 4, 30}};
    QTest::newRow("day 29") << Rule(2, 1, 29, {2023, 1, 1}) << y2023 << QDate(2024, 3, 31)
                            << QList<QDate> {{2023, 2, 28}, {2024, 2, 29}, {2024, 3, 29}};
    QTest::newRow("day 30") << Rule(2, 1, 30, {2024, 1, 30}) << y2023 << QDate(2024, 5, 1)
                            << QList<QDate> {{2024, 2, 29}, {2024, 3, 30}};
    QTest::newRow("day before start") << Rule(2, 1, 10, {2024, 1, 15}) << y2023 << QDate(2024, 4, 1)
                                      << QList<QDate> {{2024, 2, 10}};
    QTest::newRow("every 3 months") << Rule(2, 3, 15, {2023, 11, 1}) << y2023 << y2029
                                    << QList<QDate> {{2024, 2, 15}, {2029, 8, 15}};
    QTest::newRow("yearly leap day") << Rule(3, 1, 29, {2020, 2, 29}) << y2023 << y2029
                                     << QList<QDate> {{2023, 2, 28}, {2028, 2, 29}};
    QTest::newRow("every 2 years")
        << Rule(3, 2, 31, {2021, 4, 1}) << y2023 << y2029 << QList<QDate> {{2023, 4, 30}};
    QTest::newRow("end date") << Rule(2, 1, 5, {2024, 1, 1}, {2024, 6, 5}) << y2023 << y2029
                              << QList<QDate> {{2024, 6, 5}};
    QTest::newRow("count, window") << Rule(2, 1, 10, {2024, 1, 15}, {}, 5) << QDate(2024, 4, 1)
                                   << y2029 << QList<QDate> {{2024, 6, 10}};
    QTest::newRow("count of days") << Rule(0, 2, 1, {2024, 1, 1}, {}, 7) << QDate(2024, 1, 5)
                                   << y2029 << QList<QDate> {{2024, 1, 13}};
}

void TestSchedules::RuleDates()
{
    QFETCH(TSchedule, rule);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QList<QDate>, among);
    const QList<QDate> dates = Schedules::Dates(rule, from, to);
    QCOMPARE(dates, DayByDay(rule, from, to));
    for (const QDate &date : among)
        QVERIFY2(dates.contains(date), qPrintable(date.toString(Qt::ISODate)));
}

void TestSchedules::CatchesUpOnce_data()
{
    QTest::addColumn<QList<QDate>>("checks");
    QTest::newRow("three years at once") << QList<QDate> {kToday};
    QTest::newRow("a restart between") << QList<QDate> {{2024, 6, 30}, kToday};
    QTest::newRow("every month") << [] {
        QList<QDate> days;
        for (QDate d(2023, 1, 1); d < kToday; d = d.addMonths(1))
            days << d;
        return days << kToday;
    }();
}

void TestSchedules::CatchesUpOnce()
{
    QFETCH(QList<QDate>, checks);
    TScheduleBooks books;
    int posted = 0;
    for (const QDate &day : checks)
        posted += Schedules::Check(day).Posted;
    QCOMPARE(posted, books.Count(kToday));
    QCOMPARE(RowCount(QStringLiteral("ScheduleDone")), posted);
    QCOMPARE(RowCount(QStringLiteral("Transfer")), TScheduleBooks::Times(books.Move, kToday));
    QCOMPARE(ReadTotals(kCash), books.CashTotals(kToday));
    // Nothing more that day: the ones that ask stay due, each date once.
    const TScheduleCheck again = Schedules::Check(kToday);
    QCOMPARE(again.Posted, 0);
    QCOMPARE(again.Due.size(), 10);
    QCOMPARE(again.Due.first().Occurrence, QDate(2025, 12, 1));
    QCOMPARE(again.Due.last().Occurrence, QDate(2025, 12, 10));
    QCOMPARE(DbQueryInt(QStringLiteral("select ScheduleChecked from SysSet")), DayNumber(kToday));
}

void TestSchedules::RestoreBringsItsState()
{
    TScheduleBooks books;
    const QDate middle(2024, 6, 30);
    Schedules::Check(middle);
    const QString copy = books.Dir() + QStringLiteral("copy.bat");
    DbBackup(copy);
    Schedules::Check(kToday);
    DbRestore(copy);
    QCOMPARE(ReadTotals(kCash), books.CashTotals(middle));
    QCOMPARE(Schedules::Check(kToday).Posted, books.Count(kToday) - books.Count(middle));
    QCOMPARE(ReadTotals(kCash), books.CashTotals(kToday));
}

void TestSchedules::UndoMakesDueAgain()
{
    TScheduleBooks books;
    const int posted = Schedules::Check(kToday).Posted;
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("周期记账"));
    GDbAccess->Undo();
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 0);
    QCOMPARE(Schedules::Due(kToday).size(), posted + 10);
    GDbAccess->Redo();
    QCOMPARE(ReadTotals(kCash), books.CashTotals(kToday));
    QCOMPARE(Schedules::Due(kToday).size(), 10);

    // Skipping: dealt with, nothing posted, a step of its own.
    Schedules::Skip(Schedules::Due(kToday));
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("跳过周期记账"));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from ScheduleDone where RecordID=0")), 10);
    QVERIFY(Schedules::Due(kToday).isEmpty());
    QCOMPARE(ReadTotals(kCash), books.CashTotals(kToday));
}

void TestSchedules::CannotPostIsReported()
{
    TScheduleBooks books;
    InsertAccount(QStringLiteral("旧卡"), {});
    Schedule(1, 1, QStringLiteral("旧卡"), "20", Rule(TSchedule::Months, 1, 1, {2025, 11, 1}));
    DbExec(QStringLiteral("insert into OutType values (3,0,'临时')"));
    Schedule(1, 3, kCash, "30", Rule(TSchedule::Months, 1, 1, {2025, 11, 1}));
    GAccount->DeleteAccount(QStringLiteral("旧卡"));
    DbExec(QStringLiteral("delete from OutType where SelfIndex=3"));
    const TScheduleCheck check = Schedules::Check(kToday);
    QCOMPARE(check.Posted, books.Count(kToday));
    QCOMPARE(check.Due.size(), 10 + 3 + 3);
    QVERIFY(check.Due[10].Error.contains(QStringLiteral("旧卡")));
    QVERIFY(check.Due[13].Error.contains(QStringLiteral("分类")));
    // Posting them anyway reports each and posts the others.
    int posted = 0;
    const QStringList faults = Schedules::Post(check.Due, &posted);
    QCOMPARE(faults.size(), 6);
    QCOMPARE(posted, 10);
    QCOMPARE(Schedules::Due(kToday).size(), 6);
    // An amount cleared in the window is refused.
    TDueOccurrence edited = check.Due[10];
    edited.Fare = {};
    QVERIFY(Schedules::Post({edited}).first().contains(QStringLiteral("没有金额")));
}

void TestSchedules::ClockSetBack()
{
    TScheduleBooks books;
    QVERIFY(!Schedules::Check(kToday).ClockBack);
    const TScheduleCheck back = Schedules::Check(QDate(2025, 6, 1));
    QVERIFY(back.ClockBack);
    QCOMPARE(back.Posted, 0);
    QCOMPARE(DbQueryInt(QStringLiteral("select ScheduleChecked from SysSet")), DayNumber(kToday));
    QCOMPARE(ReadTotals(kCash), books.CashTotals(kToday));
    QVERIFY(!Schedules::Check(kToday.addDays(1)).ClockBack);
}

void TestSchedules::ChangeKeepsDealtDates()
{
    TScheduleBooks books;
    TSchedule rent = books.Rent;
    rent.Times = 37;
    rent = Schedules::Modify(rent);
    Schedules::Check(kToday);
    QCOMPARE(Schedules::LastDealt(rent.Id), QDate(2026, 1, 1));
    // From the 15th now: the days dealt with never come back, and they
    // count towards the times.
    rent.MonthDay = 15;
    QVERIFY_THROWS_EXCEPTION(Exception, Schedules::Modify(rent));
    rent.Times = 40;
    const TSchedule stored = Schedules::Modify(rent);
    QCOMPARE(stored.Start, QDate(2026, 1, 2));
    QCOMPARE(stored.Times, 40 - 37);
    QCOMPARE(Schedules::NextDate(stored), QDate(2026, 1, 15));
    QCOMPARE(Schedules::Modify(stored).Times, stored.Times);
    QCOMPARE(Schedules::Dates(stored, {2026, 1, 1}, {2030, 1, 1}).size(), 3);
    Schedules::Remove(rent.Id);
    QCOMPARE(RowCount(QStringLiteral("ScheduleDone")), books.Count(kToday));
}

void TestSchedules::RefusesBadSchedules_data()
{
    QTest::addColumn<TSchedule>("schedule");
    QTest::addColumn<QString>("reason");
    const auto with = [](const std::function<void(TSchedule &)> &change) {
        TSchedule s = Rule(TSchedule::Months, 1, 1, {2025, 1, 1});
        s.TypeID = 1;
        s.Account = kCash;
        s.Fare = Amount("10");
        change(s);
        return s;
    };
    QTest::newRow("valid") << with([](TSchedule &) {}) << QString();
    QTest::newRow("no amount") << with([](TSchedule &s) { s.Fare = {}; })
                               << QStringLiteral("请输入金额");
    QTest::newRow("end before start") << with([](TSchedule &s) { s.End = QDate(2024, 12, 31); })
                                      << QStringLiteral("结束日期不能早于开始日期");
    QTest::newRow("same account") << with([](TSchedule &s) {
        s.Kind = TSchedule::Move;
        s.ToAccount = kCash;
    }) << QStringLiteral("转出账户和转入账户不能相同");
    QTest::newRow("no to-account")
        << with([](TSchedule &s) { s.Kind = TSchedule::Move; }) << QStringLiteral("请选择转入账户");
    QTest::newRow("every 0") << with([](TSchedule &s) { s.Every = 0; })
                             << QStringLiteral("间隔应在 1 到 999 之间");
    QTest::newRow("no account") << with([](TSchedule &s) { s.Account = QStringLiteral("无"); })
                                << QStringLiteral("账户“无”不存在");
    QTest::newRow("no category") << with([](TSchedule &s) { s.TypeID = 0; })
                                 << QStringLiteral("请选择支出分类");
    QTest::newRow("gone category") << with([](TSchedule &s) { s.TypeID = 9; })
                                   << QStringLiteral("所选的支出分类已不存在，请重新选择");
    QTest::newRow("day 32") << with([](TSchedule &s) { s.MonthDay = 32; })
                            << QStringLiteral("每月的日子应在 1 到 31 之间");
}

void TestSchedules::RefusesBadSchedules()
{
    QFETCH(TSchedule, schedule);
    QFETCH(QString, reason);
    TTestBooks books;
    InsertAccount(kCash, {});
    DbExec(QStringLiteral("insert into OutType values (1,0,'房租')"));
    const TSchedule stored
        = Schedule(1, 1, kCash, "20", Rule(TSchedule::Months, 1, 1, {2025, 1, 1}));
    // Added or made of the stored one, a refusal leaves the books as they were.
    for (int id : {0, stored.Id}) {
        schedule.Id = id;
        QString refusal;
        try {
            if (id == 0)
                Schedules::Add(schedule);
            else
                Schedules::Modify(schedule);
        } catch (const Exception &failure) {
            refusal = failure.Message();
        }
        QCOMPARE(refusal, reason);
        if (!reason.isEmpty()) {
            QCOMPARE(RowCount(QStringLiteral("Schedule")), 1);
            QCOMPARE(Schedules::List().first().Fare, Amount("20"));
        }
    }
}

QTEST_GUILESS_MAIN(TestSchedules)
#include "tst_Schedules.moc"
