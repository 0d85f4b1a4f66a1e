#include "Schedules.h"

#include "Categories.h"
#include "Transfers.h"
#include "UntAccount.h"
#include "UntBookKeep.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "data/UntPublic.h"

#include <QHash>
#include <QLocale>
#include <QSet>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// clang-format off
const QString kListSchedules = QStringLiteral("select ID,InOutType,TypeID,AccountName,ToAccount,Fare,Remark,Unit,Every,MonthDay,StartDate,EndDate,Times,Auto,Ahead from Schedule order by ID");
const QString kInsertSchedule = QStringLiteral("insert into Schedule(InOutType,TypeID,AccountName,ToAccount,Fare,Remark,Unit,Every,MonthDay,StartDate,EndDate,Times,Auto,Ahead) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
const QString kUpdateSchedule = QStringLiteral("update Schedule set InOutType=?,TypeID=?,AccountName=?,ToAccount=?,Fare=?,Remark=?,Unit=?,Every=?,MonthDay=?,StartDate=?,EndDate=?,Times=?,Auto=?,Ahead=? where ID=?");
const QString kDeleteSchedule = QStringLiteral("delete from Schedule where ID=%s");
const QString kScheduleCount = QStringLiteral("select count(*) from Schedule where ID=%s");
const QString kLastId = QStringLiteral("select last_insert_rowid()");
const QString kListDone = QStringLiteral("select ScheduleID,Occurrence from ScheduleDone order by ScheduleID,Occurrence");
const QString kDoneOf = QStringLiteral("select Occurrence from ScheduleDone where ScheduleID=%s order by Occurrence");
const QString kLastDone = QStringLiteral("select coalesce(max(Occurrence),0) from ScheduleDone where ScheduleID=%s");
const QString kDoneSince = QStringLiteral("select count(*) from ScheduleDone where ScheduleID=%s and Occurrence>=%s");
const QString kMarkDone = QStringLiteral("insert into ScheduleDone(ScheduleID,Occurrence,RecordID) values (%s,%s,%s)");
const QString kLastRecord = QStringLiteral("select max(ID) from BookKeep");
const QString kReadChecked = QStringLiteral("select ScheduleChecked from SysSet");
const QString kWriteChecked = QStringLiteral("update SysSet set ScheduleChecked=%s");
// clang-format on

const QString kPostStep = QStringLiteral("周期记账");
const QString kSkipStep = QStringLiteral("跳过周期记账");
// Days ahead beyond a year would post bills of the year after.
constexpr int kMaxAhead = 366;
// Statements per batch when many occurrences are marked.
constexpr int kMarksPerBatch = 500;

// The dates of a rule from its start, in order, as day numbers.
class TRuleWalk
{
public:
    explicit TRuleWalk(const TSchedule &schedule)
        : FRule(schedule)
        , FStart(DayNumber(schedule.Start))
        , FEnd(schedule.End.isValid() ? DayNumber(schedule.End)
                                      : std::numeric_limits<qint64>::max())
    {
    }

    // The next date; false when the rule has ended.
    bool Next(qint64 &day)
    {
        if (FRule.Times > 0 && FCount >= FRule.Times)
            return false;
        for (;;) {
            qint64 candidate = 0;
            if (!Candidate(FStep++, candidate) || candidate > FEnd)
                return false;
            // Only a month's or year's first day can lie before the start.
            if (candidate < FStart)
                continue;
            ++FCount;
            day = candidate;
            return true;
        }
    }

    // Moves on to the dates from `day` on, where no count of times needs the
    // ones before it.
    void SkipTo(qint64 day)
    {
        if (FRule.Times > 0 || day <= FStart
            || (FRule.Unit != TSchedule::Days && FRule.Unit != TSchedule::Weeks))
            return;
        const qint64 step = qint64(FRule.Every) * (FRule.Unit == TSchedule::Weeks ? 7 : 1);
        FStep = (day - FStart + step - 1) / step;
    }

private:
    bool Candidate(qint64 k, qint64 &day) const
    {
        const qint64 steps = k * FRule.Every;
        switch (FRule.Unit) {
        case TSchedule::Days:
            day = FStart + steps;
            return true;
        case TSchedule::Weeks:
            day = FStart + 7 * steps;
            return true;
        case TSchedule::Months: {
            const qint64 month = qint64(FRule.Start.month() - 1) + steps;
            return OnDay(FRule.Start.year() + month / 12, int(month % 12) + 1, day);
        }
        default:
            return OnDay(FRule.Start.year() + steps, FRule.Start.month(), day);
        }
    }

    // The rule's day of a month; a day past its end is its last day.
    bool OnDay(qint64 year, int month, qint64 &day) const
    {
        if (year > 9999)
            return false;
        const QDate first(int(year), month, 1);
        day = DayNumber(first) + qMin(FRule.MonthDay, first.daysInMonth()) - 1;
        return true;
    }

    const TSchedule &FRule;
    qint64 FStart;
    qint64 FEnd;
    qint64 FStep = 0;
    int FCount = 0;
};

// The occurrences dealt with, by schedule, each in date order.
using TDoneIndex = QHash<int, std::vector<qint64>>;

TDoneIndex ReadDone()
{
    TDoneIndex done;
    GDbAccess->ReadLong(kListDone, [&](TQuery &query) {
        for (; !query.Eof(); query.Next())
            done[query.Fields(0).AsInteger()].push_back(query.Fields(1).AsInt64());
    });
    return done;
}

std::vector<qint64> DoneOf(int id)
{
    std::vector<qint64> done;
    for (TQuery &query = GDbAccess->OpenQuery(Format(kDoneOf, {QString::number(id)})); !query.Eof();
         query.Next())
        done.push_back(query.Fields(0).AsInt64());
    GDbAccess->FQuery.Close();
    return done;
}

bool Contains(const std::vector<qint64> &sorted, qint64 day)
{
    return std::binary_search(sorted.cbegin(), sorted.cend(), day);
}

// An occurrence's key: its schedule and its date's day number.
quint64 Key(int id, qint64 day)
{
    return (quint64(quint32(id)) << 32) | quint32(day);
}

quint64 Key(int id, const QDate &occurrence)
{
    return Key(id, DayNumber(occurrence));
}

// The keys of every occurrence dealt with.
QSet<quint64> DoneKeys()
{
    QSet<quint64> keys;
    GDbAccess->ReadLong(kListDone, [&](TQuery &query) {
        for (; !query.Eof(); query.Next())
            keys.insert(Key(query.Fields(0).AsInteger(), query.Fields(1).AsInt64()));
    });
    return keys;
}

// The accounts and categories a schedule can post to, read once.
struct TBooksNames
{
    TBooksNames()
    {
        QStringList names;
        TAccount().ListAccountNames(names);
        Accounts = QSet<QString>(names.cbegin(), names.cend());
        for (int kind = 0; kind < 2; ++kind)
            for (const Categories::Row &row : Categories::OfKind(kind).Rows())
                Types[kind].insert(row.Data.SelfIndex);
    }
    QSet<QString> Accounts;
    QSet<int> Types[2];
};

QString Fault(const TSchedule &schedule, Currency fare, const TBooksNames &names)
{
    if (fare <= Currency())
        return QStringLiteral("没有金额（金额必须大于零）");
    if (!names.Accounts.contains(schedule.Account))
        return QStringLiteral("账户“%1”已不存在").arg(schedule.Account);
    if (schedule.Kind == TSchedule::Move) {
        if (!names.Accounts.contains(schedule.ToAccount))
            return QStringLiteral("转入账户“%1”已不存在").arg(schedule.ToAccount);
        if (schedule.ToAccount == schedule.Account)
            return QStringLiteral("转出账户和转入账户相同");
    } else if (!names.Types[schedule.Kind].contains(schedule.TypeID)) {
        return QStringLiteral("%1分类已不存在").arg(Schedules::KindText(schedule.Kind));
    }
    return {};
}

// An occurrence as a line of a report: "2026年3月1日 支出 房租 3000".
QString Describe(const TDueOccurrence &due)
{
    QStringList parts {QLocale().toString(due.Occurrence, QLocale::LongFormat),
                       Schedules::KindText(due.Schedule.Kind)};
    if (!due.Remark.isEmpty())
        parts << due.Remark;
    parts << due.Fare.ToString();
    return parts.join(u' ');
}

TSchedule Read(TQuery &query)
{
    TSchedule schedule;
    schedule.Id = query.Fields(0).AsInteger();
    schedule.Kind = query.Fields(1).AsInteger();
    schedule.TypeID = query.Fields(2).AsInteger();
    schedule.Account = query.Fields(3).AsString();
    schedule.ToAccount = query.Fields(4).AsString();
    schedule.Fare = query.Fields(5).AsCurrency();
    schedule.Remark = query.Fields(6).AsString();
    schedule.Unit = query.Fields(7).AsInteger();
    schedule.Every = query.Fields(8).AsInteger();
    schedule.MonthDay = query.Fields(9).AsInteger();
    schedule.Start = DateOfDayNumber(query.Fields(10).AsInt64());
    const qint64 end = query.Fields(11).AsInt64();
    schedule.End = end == 0 ? QDate() : DateOfDayNumber(end);
    schedule.Times = query.Fields(12).AsInteger();
    schedule.Auto = query.Fields(13).AsBoolean();
    schedule.Ahead = query.Fields(14).AsInteger();
    return schedule;
}

// Refuses a schedule the books cannot keep as it is.
void Validate(const TSchedule &schedule)
{
    if (schedule.Kind < TSchedule::Income || schedule.Kind > TSchedule::Move)
        throw Exception(QStringLiteral("请选择收入、支出或转账"));
    if (schedule.Fare <= Currency())
        throw Exception(QStringLiteral("请输入金额"));
    schedule.Fare.RequireInRange();
    if (schedule.Account.isEmpty())
        throw Exception(QStringLiteral("请选择账户"));
    if (!TAccount().AccountExists(schedule.Account))
        throw Exception(QStringLiteral("账户“%1”不存在").arg(schedule.Account));
    if (schedule.Kind == TSchedule::Move) {
        if (schedule.ToAccount.isEmpty())
            throw Exception(QStringLiteral("请选择转入账户"));
        if (schedule.ToAccount == schedule.Account)
            throw Exception(QStringLiteral("转出账户和转入账户不能相同"));
        if (!TAccount().AccountExists(schedule.ToAccount))
            throw Exception(QStringLiteral("账户“%1”不存在").arg(schedule.ToAccount));
    } else {
        if (schedule.TypeID == 0)
            throw Exception(QStringLiteral("请选择%1分类").arg(Schedules::KindText(schedule.Kind)));
        if (Categories::OfKind(schedule.Kind).Name(schedule.TypeID).isEmpty())
            throw Exception(QStringLiteral("所选的%1分类已不存在，请重新选择")
                                .arg(Schedules::KindText(schedule.Kind)));
    }
    if (const Outcome text = TextFault(schedule.Remark, TTextUse::Bound); !text.IsSound())
        throw Exception(text.Reason());
    if (schedule.Unit < TSchedule::Days || schedule.Unit > TSchedule::Years)
        throw Exception(QStringLiteral("请选择按天、周、月或年重复"));
    if (schedule.Every < 1 || schedule.Every > 999)
        throw Exception(QStringLiteral("间隔应在 1 到 999 之间"));
    if (schedule.MonthDay < 1 || schedule.MonthDay > 31)
        throw Exception(QStringLiteral("每月的日子应在 1 到 31 之间"));
    if (!schedule.Start.isValid())
        throw Exception(QStringLiteral("请选择开始日期"));
    if (schedule.End.isValid() && schedule.End < schedule.Start)
        throw Exception(QStringLiteral("结束日期不能早于开始日期"));
    if (schedule.Times < 0)
        throw Exception(QStringLiteral("次数不能为负数"));
    if (schedule.Ahead < 0 || schedule.Ahead > kMaxAhead)
        throw Exception(QStringLiteral("提前天数应在 0 到 %1 之间").arg(kMaxAhead));
}

QStringList BoundValues(const TSchedule &schedule)
{
    return {QString::number(schedule.Kind),
            QString::number(schedule.Kind == TSchedule::Move ? 0 : schedule.TypeID),
            schedule.Account,
            schedule.Kind == TSchedule::Move ? schedule.ToAccount : QString(),
            schedule.Fare.ToString(),
            schedule.Remark,
            QString::number(schedule.Unit),
            QString::number(schedule.Every),
            QString::number(schedule.MonthDay),
            SqlDate(schedule.Start),
            schedule.End.isValid() ? SqlDate(schedule.End) : QStringLiteral("0"),
            QString::number(schedule.Times),
            SqlBool(schedule.Auto),
            QString::number(schedule.Ahead)};
}

const QString kWeekdays[] = {QStringLiteral("周一"), QStringLiteral("周二"), QStringLiteral("周三"),
                             QStringLiteral("周四"), QStringLiteral("周五"), QStringLiteral("周六"),
                             QStringLiteral("周日")};

QString DayText(int monthDay)
{
    return monthDay >= 31 ? QStringLiteral("最后一天") : QStringLiteral(" %1 日").arg(monthDay);
}

} // namespace

namespace Schedules {

QList<QDate> Dates(const TSchedule &schedule, QDate from, QDate to)
{
    QList<QDate> dates;
    if (!schedule.Start.isValid() || schedule.Every < 1)
        return dates;
    const qint64 first = DayNumber(from);
    const qint64 last = DayNumber(to);
    TRuleWalk walk(schedule);
    walk.SkipTo(first);
    for (qint64 day = 0; walk.Next(day) && day <= last;)
        if (day >= first)
            dates << DateOfDayNumber(day);
    return dates;
}

QString KindText(int kind)
{
    return kind == TSchedule::Income ? QStringLiteral("收入")
        : kind == TSchedule::Move    ? QStringLiteral("转账")
                                     : QStringLiteral("支出");
}

QString RuleText(const TSchedule &schedule)
{
    const int every = schedule.Every;
    const QString weekday
        = schedule.Start.isValid() ? kWeekdays[schedule.Start.dayOfWeek() - 1] : QString();
    switch (schedule.Unit) {
    case TSchedule::Days:
        return every == 1 ? QStringLiteral("每天") : QStringLiteral("每 %1 天").arg(every);
    case TSchedule::Weeks:
        return every == 1 ? QStringLiteral("每") + weekday
                          : QStringLiteral("每 %1 周的%2").arg(every).arg(weekday);
    case TSchedule::Months:
        return (every == 1 ? QStringLiteral("每月") : QStringLiteral("每 %1 个月").arg(every))
            + DayText(schedule.MonthDay);
    default:
        return (every == 1 ? QStringLiteral("每年 ") : QStringLiteral("每 %1 年 ").arg(every))
            + QStringLiteral("%1 月").arg(schedule.Start.month()) + DayText(schedule.MonthDay);
    }
}

QList<TSchedule> List()
{
    QList<TSchedule> schedules;
    for (TQuery &query = GDbAccess->OpenQuery(kListSchedules); !query.Eof(); query.Next())
        schedules << Read(query);
    GDbAccess->FQuery.Close();
    return schedules;
}

QString PostingFault(const TSchedule &schedule, Currency fare)
{
    return Fault(schedule, fare, TBooksNames());
}

QDate NextDate(const TSchedule &schedule)
{
    const std::vector<qint64> done = DoneOf(schedule.Id);
    TRuleWalk walk(schedule);
    for (qint64 day = 0; walk.Next(day);)
        if (!Contains(done, day))
            return DateOfDayNumber(day);
    return {};
}

QDate LastDealt(int id)
{
    const int day = DbQueryInt(Format(kLastDone, {QString::number(id)}));
    return day == 0 ? QDate() : DateOfDayNumber(day);
}

int Add(const TSchedule &schedule)
{
    int id = 0;
    GDbAccess->InTransaction([&] {
        Validate(schedule);
        GDbAccess->ExecBound(kInsertSchedule, BoundValues(schedule));
        id = DbQueryInt(kLastId);
    });
    return id;
}

TSchedule Modify(const TSchedule &schedule)
{
    TSchedule stored = schedule;
    GDbAccess->InTransaction([&] {
        const QString id = QString::number(schedule.Id);
        if (DbQueryInt(Format(kScheduleCount, {id})) == 0)
            throw Exception(QStringLiteral("该周期记账已被删除"));
        Validate(schedule);
        const QList<TSchedule> before = List();
        const auto old = std::find_if(before.cbegin(), before.cend(),
                                      [&](const TSchedule &s) { return s.Id == schedule.Id; });
        // The dates dealt with stay dealt with: the rule starts after the last
        // of them, and those since the old start count towards the times.
        const QDate last = LastDealt(schedule.Id);
        if (last.isValid() && stored.Start <= last) {
            stored.Start = last.addDays(1);
            if (stored.Times > 0) {
                stored.Times -= DbQueryInt(Format(kDoneSince, {id, SqlDate(old->Start)}));
                if (stored.Times <= 0)
                    throw Exception(
                        QStringLiteral("设定的次数已全部记过（已处理到 %1），请增加次数")
                            .arg(QLocale().toString(last, QLocale::LongFormat)));
            }
            if (stored.End.isValid() && stored.End < stored.Start)
                throw Exception(QStringLiteral("已处理到 %1，结束日期不能早于它")
                                    .arg(QLocale().toString(last, QLocale::LongFormat)));
        }
        GDbAccess->ExecBound(kUpdateSchedule, BoundValues(stored) << id);
    });
    return stored;
}

void Remove(int id)
{
    DbExec(Format(kDeleteSchedule, {QString::number(id)}));
}

QList<TDueOccurrence> Due(QDate today)
{
    const QList<TSchedule> schedules = List();
    if (schedules.isEmpty())
        return {};
    const TDoneIndex done = ReadDone();
    const TBooksNames names;
    const std::vector<qint64> none;
    QList<TDueOccurrence> due;
    for (const TSchedule &schedule : schedules) {
        const qint64 last = DayNumber(today) + schedule.Ahead;
        const auto found = done.constFind(schedule.Id);
        const std::vector<qint64> &dealt = found == done.cend() ? none : found.value();
        const QString fault = Fault(schedule, schedule.Fare, names);
        TRuleWalk walk(schedule);
        // Both run in date order: one pass over the dealt-with dates.
        auto next = dealt.cbegin();
        for (qint64 day = 0; walk.Next(day) && day <= last;) {
            while (next != dealt.cend() && *next < day)
                ++next;
            if (next != dealt.cend() && *next == day)
                continue;
            const QDate date = DateOfDayNumber(day);
            due << TDueOccurrence {schedule, date, date, schedule.Fare, schedule.Remark, fault};
        }
    }
    return due;
}

QStringList Post(const QList<TDueOccurrence> &occurrences, int *posted)
{
    QStringList faults;
    int count = 0;
    GDbAccess->InTransaction([&] {
        GDbAccess->NameStep(kPostStep);
        QSet<quint64> done = DoneKeys();
        const TBooksNames names;
        QStringList accounts; // in the order of their first record
        QHash<QString, QList<const TDueOccurrence *>> records;
        QList<const TDueOccurrence *> transfers;
        for (const TDueOccurrence &due : occurrences) {
            const quint64 key = Key(due.Schedule.Id, due.Occurrence);
            // Dealt with meanwhile, or twice in the list: once only.
            if (done.contains(key))
                continue;
            QString fault = Fault(due.Schedule, due.Fare, names);
            if (fault.isEmpty() && !due.Date.isValid())
                fault = QStringLiteral("日期无效");
            if (fault.isEmpty())
                fault = TextFault(due.Remark, TTextUse::Statement).Reason();
            if (!fault.isEmpty()) {
                faults << Describe(due) + QStringLiteral("：") + fault;
                continue;
            }
            done.insert(key);
            if (due.Schedule.Kind == TSchedule::Move) {
                transfers << &due;
                continue;
            }
            if (!records.contains(due.Schedule.Account))
                accounts << due.Schedule.Account;
            records[due.Schedule.Account] << &due;
        }
        QStringList marks;
        const auto mark = [&](const TDueOccurrence &due, qint64 recordId) {
            marks << Format(kMarkDone,
                            {QString::number(due.Schedule.Id), SqlDate(due.Occurrence),
                             QString::number(recordId)});
            if (marks.size() >= kMarksPerBatch) {
                DbExec(marks.join(kBatchSeparator));
                marks.clear();
            }
        };
        TBookKeep books;
        for (const QString &account : std::as_const(accounts)) {
            const QList<const TDueOccurrence *> &dues = records[account];
            QList<TNewRecord> added;
            for (const TDueOccurrence *due : dues)
                added << TNewRecord {due->Schedule.Kind, due->Schedule.TypeID,
                                     due->Remark,        due->Fare,
                                     due->Date,          {}};
            books.AddRecords(account, added);
            // Record IDs only grow, so the records just added end at the largest.
            const qint64 first = DbQueryInt(kLastRecord) - dues.size() + 1;
            for (qsizetype i = 0; i < dues.size(); ++i)
                mark(*dues[i], first + i);
            count += int(dues.size());
        }
        for (const TDueOccurrence *due : std::as_const(transfers)) {
            const qint64 id = Transfers::Add(Transfer {0, due->Date, due->Schedule.Account,
                                                       due->Schedule.ToAccount, due->Fare,
                                                       Currency(), due->Remark});
            mark(*due, id);
            ++count;
        }
        if (!marks.isEmpty())
            DbExec(marks.join(kBatchSeparator));
    });
    if (posted)
        *posted = count;
    return faults;
}

void Skip(const QList<TDueOccurrence> &occurrences)
{
    GDbAccess->InTransaction([&] {
        GDbAccess->NameStep(kSkipStep);
        QSet<quint64> done = DoneKeys();
        QStringList marks;
        for (const TDueOccurrence &due : occurrences) {
            if (!due.Occurrence.isValid() || done.contains(Key(due.Schedule.Id, due.Occurrence)))
                continue;
            done.insert(Key(due.Schedule.Id, due.Occurrence));
            marks << Format(
                kMarkDone,
                {QString::number(due.Schedule.Id), SqlDate(due.Occurrence), QStringLiteral("0")});
        }
        if (!marks.isEmpty())
            DbExec(marks.join(kBatchSeparator));
    });
}

TScheduleCheck Check(QDate today)
{
    TScheduleCheck check;
    check.ClockBack = DayNumber(today) < DbQueryInt(kReadChecked);
    QList<TDueOccurrence> automatic;
    for (const TDueOccurrence &due : Due(today))
        (due.Schedule.Auto && due.Error.isEmpty() ? automatic : check.Due) << due;
    if (!automatic.isEmpty())
        Post(automatic, &check.Posted);
    if (!check.ClockBack)
        DbExec(Format(kWriteChecked, {SqlDate(today)}));
    return check;
}

} // namespace Schedules
