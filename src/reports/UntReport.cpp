#include "UntReport.h"

#include "data/DbAccess.h"
#include "data/DbFile.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "exchange/Export.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QScopeGuard>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <sqlite3.h>
#include <thread>

const QString kUnfiledName = QStringLiteral("未分类");
const QString kOtherName = QStringLiteral("其余");

namespace {

// The statements, "%s" marking each value; the records' conditions are the
// filter's. Amounts are summed as whole ten-thousandths, so every sum is exact.
// clang-format off
const QString kCategorySums = QStringLiteral("select InOutType<>0,TypeID,sum(cast(round(Fare*10000) as integer)),count(*) from BookKeep %sgroup by InOutType<>0,TypeID");
const QString kMonthSums = QStringLiteral("select %s,InOutType<>0,sum(cast(round(Fare*10000) as integer)) from BookKeep %sgroup by 1,2");
const QString kNetAfter = QStringLiteral("select %s,sum(iif(InOutType=0,1,-1)*cast(round(Fare*10000) as integer)) from BookKeep %sgroup by 1");
// What transfers moved balances by from a day on: into and out of one account
// (its fees with it), or, on all accounts together, their fees alone.
const QString kTransfersInAfter = QStringLiteral(" union all select %s,sum(cast(round(Fare*10000) as integer)) from Transfer where ToAccount='%s' and InDate >= %s group by 1");
const QString kTransfersOutAfter = QStringLiteral(" union all select %s,-sum(cast(round(Fare*10000) as integer)+cast(round(Fee*10000) as integer)) from Transfer where FromAccount='%s' and InDate >= %s group by 1");
const QString kFeesAfter = QStringLiteral(" union all select %s,-sum(cast(round(Fee*10000) as integer)) from Transfer where InDate >= %s group by 1");
const QString kAccountBalance = QStringLiteral("select sum(cast(round(Fare*10000) as integer)) from Account%s");
const QString kWhereAccount = QStringLiteral(" where AccountName='%s'");
const QString kMonthCase = QStringLiteral("(case when InDate < %s then %s else %s end)");
// clang-format on

const QString kQueryTitle = QStringLiteral("数据库查询错误，请检查！");

// The report's own read-only connection to the books, its statements in one
// read transaction: they see the same books, and they may run on a worker
// thread while the books' connection stays with the window. A cancel asked
// through the hooks interrupts the statement running, which then raises EAbort.
class TReportReader
{
public:
    explicit TReportReader(const TWorkHooks &hooks)
        : FCancelled(hooks.Cancelled)
    {
        auto closeOnFailure = qScopeGuard([this] { sqlite3_close_v2(FDb); });
        if (sqlite3_open_v2(QFile::encodeName(TDbAccess::DatabaseFile()).constData(), &FDb,
                            SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr)
            != SQLITE_OK)
            Fail({});
        if (FCancelled) {
            // An aggregate over a million records runs for seconds in one step.
            sqlite3_progress_handler(FDb, 10000, &TReportReader::Stop, &FCancelled);
            // A change being written holds the statements back: they wait for
            // it as long as the user lets them.
            sqlite3_busy_handler(
                FDb,
                [](void *asked, int) {
                    if (Stop(asked))
                        return 0;
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    return 1;
                },
                &FCancelled);
        } else {
            sqlite3_busy_timeout(FDb, 5000);
        }
        if (sqlite3_exec(FDb, "begin", nullptr, nullptr, nullptr) != SQLITE_OK)
            Fail({});
        closeOnFailure.dismiss();
    }
    TReportReader(const TReportReader &) = delete;
    TReportReader &operator=(const TReportReader &) = delete;
    // Only read: the transaction's end changes nothing.
    ~TReportReader() { sqlite3_close_v2(FDb); }

    // Runs a statement and hands each of its rows to `row`.
    void Read(const QString &sql, const std::function<void(sqlite3_stmt *)> &row)
    {
        const QByteArray utf8 = sql.toUtf8();
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(FDb, utf8.constData(), int(utf8.size()), &stmt, nullptr) != SQLITE_OK
            || !stmt) {
            sqlite3_finalize(stmt);
            Fail(sql);
        }
        int rc = SQLITE_ROW;
        try {
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
                row(stmt);
        } catch (...) {
            sqlite3_finalize(stmt);
            throw;
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE)
            Fail(sql);
    }

private:
    static int Stop(void *asked)
    {
        return (*static_cast<std::function<bool()> *>(asked))() ? 1 : 0;
    }

    [[noreturn]] void Fail(const QString &sql)
    {
        if (FCancelled && FCancelled())
            throw EAbort();
        throw EDBException(FDb ? DbFile::LastError(FDb) : QStringLiteral("out of memory"),
                           kQueryTitle, sql);
    }

    std::function<bool()> FCancelled;
    sqlite3 *FDb = nullptr;
};

// A whole number as the engine holds it, a real one rounded.
qint64 Whole(sqlite3_stmt *stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_FLOAT)
        return std::llround(sqlite3_column_double(stmt, column));
    return sqlite3_column_int64(stmt, column);
}

// The index of the bucket a record's day falls in: bucket i holds the days
// from starts[i] up to starts[i + 1], found by halving, so a row meets only a
// few comparisons however many months there are.
QString BucketIndex(const std::vector<qint64> &starts, size_t low, size_t high)
{
    if (high - low <= 1)
        return QString::number(low);
    const size_t middle = (low + high) / 2;
    return Format(kMonthCase,
                  {QString::number(starts[middle]), BucketIndex(starts, low, middle),
                   BucketIndex(starts, middle, high)});
}

QDate FirstOfMonth(const QDate &date)
{
    return QDate(date.year(), date.month(), 1);
}

// The records the trend sums: the filter's from its first day, or from the
// first of the earliest month shown when that lies before the period.
RecordFilter TrendFilter(const RecordFilter &filter, const std::vector<QDate> &months)
{
    RecordFilter trend = filter;
    if (months.front() < FirstOfMonth(filter.Begin))
        trend.Begin = months.front();
    return trend;
}

// The day of each balance point: each month's last day, the period's end for
// the last month.
std::vector<QDate> BalanceDays(const RecordFilter &filter, const std::vector<QDate> &months)
{
    std::vector<QDate> days;
    for (size_t i = 0; i + 1 < months.size(); ++i)
        days.push_back(months[i + 1].addDays(-1));
    days.push_back(filter.End);
    return days;
}

// value / scale with `decimals` digits after the point (scale a power of ten
// of at least that many digits; the rest cut off), thousands separated as the
// locale writes them.
QString DecimalText(qint64 value, qint64 scale, int decimals)
{
    const QLocale locale;
    const quint64 magnitude = value < 0 ? quint64(0) - quint64(value) : quint64(value);
    QString text = locale.toString(qulonglong(magnitude / quint64(scale)));
    if (decimals > 0) {
        quint64 cut = quint64(scale);
        for (int i = 0; i < decimals; ++i)
            cut /= 10;
        text += locale.decimalPoint()
            + QString::number(magnitude % quint64(scale) / cut).rightJustified(decimals, u'0');
    }
    return value < 0 ? locale.negativeSign() + text : text;
}

} // namespace

std::pair<QDate, QDate> QuickPeriod(TQuickPeriod which, const QDate &today)
{
    const QDate month = FirstOfMonth(today);
    switch (which) {
    case TQuickPeriod::ThisMonth:
        return {month, today};
    case TQuickPeriod::LastMonth:
        return {month.addMonths(-1), month.addDays(-1)};
    case TQuickPeriod::ThisYear:
        return {QDate(today.year(), 1, 1), today};
    case TQuickPeriod::LastYear:
        return {QDate(today.year() - 1, 1, 1), QDate(today.year() - 1, 12, 31)};
    case TQuickPeriod::Last12Months:
        return {month.addMonths(-11), today};
    }
    return {month, today};
}

// ---- sums by category ------------------------------------------------------

QString CategorySumsSql(const RecordFilter &filter)
{
    return Format(kCategorySums, {filter.Where()});
}

TCategoryFigures QueryCategorySums(const RecordFilter &filter, const TWorkHooks &hooks)
{
    TCategoryFigures figures;
    if (!filter.HasDays())
        return figures;
    TReportReader(hooks).Read(CategorySumsSql(filter), [&figures](sqlite3_stmt *row) {
        const bool expense = Whole(row, 0) != 0;
        const TCategorySum sum {qint32(Whole(row, 1)), Currency::FromUnits(Whole(row, 2)),
                                Whole(row, 3)};
        (expense ? figures.Expense : figures.Income).push_back(sum);
        (expense ? figures.ExpenseTotal : figures.IncomeTotal) += sum.Amount;
        figures.Count += sum.Count;
    });
    return figures;
}

std::vector<TCategoryLine> Breakdown(const std::vector<TCategorySum> &sums,
                                     const TCategoryTree &tree, qint32 node)
{
    std::vector<TCategoryLine> lines;
    QHash<qint32, size_t> lineOf; // by category; the unfiled line under -1
    const auto line = [&](qint32 key, TCategoryLine::TKind kind) -> TCategoryLine & {
        const auto found = lineOf.constFind(key);
        if (found != lineOf.cend())
            return lines[found.value()];
        TCategoryLine added;
        added.Kind = kind;
        switch (kind) {
        case TCategoryLine::TKind::Unfiled:
            added.Name = kUnfiledName;
            break;
        case TCategoryLine::TKind::Own:
            added.Id = key;
            added.Name = tree.Name(key) + QStringLiteral("（未细分）");
            break;
        case TCategoryLine::TKind::Category:
            added.Id = key;
            added.Name = tree.Name(key);
            added.HasChildren = tree.HasChildren(key);
            break;
        }
        lineOf.insert(key, lines.size());
        lines.push_back(added);
        return lines.back();
    };
    for (const TCategorySum &sum : sums) {
        TCategoryLine *target = nullptr;
        if (!tree.Exists(sum.TypeID)) {
            if (node != 0)
                continue;
            target = &line(-1, TCategoryLine::TKind::Unfiled);
        } else {
            const qint32 child = tree.ChildToward(node, sum.TypeID);
            if (child < 0)
                continue;
            target = &line(
                child, child == node ? TCategoryLine::TKind::Own : TCategoryLine::TKind::Category);
        }
        target->Amount += sum.Amount;
        target->Count += sum.Count;
    }
    std::sort(lines.begin(), lines.end(), [](const TCategoryLine &a, const TCategoryLine &b) {
        if (a.Amount != b.Amount)
            return a.Amount > b.Amount;
        return a.Name < b.Name;
    });
    return lines;
}

Currency LinesTotal(const std::vector<TCategoryLine> &lines)
{
    Currency total;
    for (const TCategoryLine &line : lines)
        total += line.Amount;
    return total;
}

Currency PositiveTotal(const std::vector<TCategoryLine> &lines)
{
    Currency positive;
    for (const TCategoryLine &line : lines) {
        if (line.Amount > Currency())
            positive += line.Amount;
    }
    return positive;
}

double Share(Currency part, Currency whole)
{
    if (whole <= Currency())
        return -1;
    return double(part.Units()) / double(whole.Units());
}

QString ShareText(Currency part, Currency whole)
{
    if (part < Currency())
        return QStringLiteral("冲减");
    const double share = Share(part, whole);
    if (share < 0)
        return QStringLiteral("—");
    return QString::number(share * 100, 'f', 1) + u'%';
}

QString MoneyText(Currency amount)
{
    const qint64 units = amount.Units();
    const qint64 cents = (units < 0 ? units - 50 : units + 50) / 100;
    return DecimalText(cents, 100, 2);
}

QString YuanText(Currency amount)
{
    const QString minus = QLocale().negativeSign();
    const QString text = MoneyText(amount);
    return text.startsWith(minus) ? minus + u'¥' + text.mid(minus.size()) : u'¥' + text;
}

std::vector<TAxisTick> MoneyTicks(Currency low, Currency high)
{
    const qint64 bottom = std::min<qint64>(0, low.Units());
    qint64 top = std::max<qint64>(0, high.Units());
    if (top == bottom)
        top = bottom + Currency::kScale;
    const qint64 wanted = (top - bottom + 4) / 5;
    // The first of 1, 2, 2.5 and 5 times a power of ten, a cent at least,
    // that spans it all in five steps.
    qint64 step = 0;
    for (qint64 power = Currency::kScale / 100; step == 0; power *= 10) {
        for (const qint64 tenths : {10, 20, 25, 50}) {
            if (power * tenths / 10 >= wanted) {
                step = power * tenths / 10;
                break;
            }
        }
    }
    const qint64 first = -((-bottom + step - 1) / step) * step;
    const qint64 last = (top + step - 1) / step * step;
    // One unit for the whole axis, by its largest value.
    const qint64 largest = std::max(-first, last);
    qint64 scale = Currency::kScale;
    QString unit;
    if (largest >= Currency::kScale * 100'000'000) {
        scale = Currency::kScale * 100'000'000;
        unit = QStringLiteral("亿");
    } else if (largest >= Currency::kScale * 10'000) {
        scale = Currency::kScale * 10'000;
        unit = QStringLiteral("万");
    }
    std::vector<TAxisTick> ticks;
    for (qint64 value = first; value <= last; value += step) {
        // As few decimals as the value needs: "0.25万", "0.5万", "1万".
        int decimals = 0;
        for (qint64 cut = scale; value % cut != 0; cut /= 10)
            ++decimals;
        ticks.push_back(
            {Currency::FromUnits(value),
             value == 0 ? QStringLiteral("0") : DecimalText(value, scale, decimals) + unit});
    }
    return ticks;
}

std::vector<TSlice> PieSlices(const std::vector<TCategoryLine> &lines, int most)
{
    const Currency positive = PositiveTotal(lines);
    std::vector<int> order;
    for (int i = 0; i < int(lines.size()); ++i) {
        if (lines[i].Amount > Currency())
            order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return lines[a].Amount > lines[b].Amount; });
    std::vector<TSlice> slices;
    std::vector<int> rest;
    Currency other;
    for (const int i : order) {
        // At least 2 %: fifty times the part reaches the whole.
        const bool large = __int128(lines[i].Amount.Units()) * 50 >= positive.Units();
        if (large && int(slices.size()) < most) {
            slices.push_back({i, lines[i].Name, lines[i].Amount});
        } else {
            rest.push_back(i);
            other += lines[i].Amount;
        }
    }
    // One line left over keeps its own name: "其余" stands for several.
    if (rest.size() == 1)
        slices.push_back({rest.front(), lines[rest.front()].Name, other});
    else if (!rest.empty())
        slices.push_back({-1, kOtherName, other});
    return slices;
}

// ---- sums by month -----------------------------------------------------------

std::vector<QDate> ReportMonths(const RecordFilter &filter)
{
    std::vector<QDate> months;
    if (!filter.HasDays())
        return months;
    const QDate last = FirstOfMonth(filter.End);
    QDate first = FirstOfMonth(filter.Begin);
    if (first > last.addMonths(-11))
        first = last.addMonths(-11);
    for (QDate month = first; month <= last; month = month.addMonths(1))
        months.push_back(month);
    return months;
}

QString TrendSql(const RecordFilter &filter)
{
    const std::vector<QDate> months = ReportMonths(filter);
    if (months.empty())
        return {};
    std::vector<qint64> starts;
    starts.reserve(months.size());
    for (const QDate &month : months)
        starts.push_back(DayNumber(month));
    return Format(kMonthSums,
                  {BucketIndex(starts, 0, starts.size()), TrendFilter(filter, months).Where()});
}

std::vector<TMonthFigures> QueryTrend(const RecordFilter &filter, const TWorkHooks &hooks)
{
    const std::vector<QDate> months = ReportMonths(filter);
    std::vector<TMonthFigures> figures;
    figures.reserve(months.size());
    for (const QDate &month : months)
        figures.push_back({month, {}, {}});
    if (months.empty())
        return figures;
    TReportReader(hooks).Read(TrendSql(filter), [&figures](sqlite3_stmt *row) {
        const qint64 index = Whole(row, 0);
        if (index < 0 || index >= qint64(figures.size()))
            return;
        const Currency amount = Currency::FromUnits(Whole(row, 2));
        (Whole(row, 1) != 0 ? figures[index].Expense : figures[index].Income) += amount;
    });
    return figures;
}

// ---- balance by month ----------------------------------------------------------

QString BalanceNetSql(const RecordFilter &filter)
{
    const std::vector<QDate> months = ReportMonths(filter);
    if (months.empty())
        return {};
    // Bucket i holds the records and transfers after point i up to point
    // i + 1; the last one, those after the last point.
    const std::vector<QDate> days = BalanceDays(filter, months);
    std::vector<qint64> starts;
    starts.reserve(days.size());
    for (const QDate &day : days)
        starts.push_back(DayNumber(day) + 1);
    const QString bucket = BucketIndex(starts, 0, starts.size());
    // Every record on the account after the first point, with no end.
    RecordFilter after;
    after.Begin = days.front().addDays(1);
    after.Account = filter.Account;
    const QString from = QString::number(starts.front());
    QString sql = Format(kNetAfter, {bucket, after.Where()});
    if (filter.Account.isEmpty())
        return sql + Format(kFeesAfter, {bucket, from});
    const QString account = SqlText(filter.Account);
    return sql + Format(kTransfersInAfter, {bucket, account, from})
        + Format(kTransfersOutAfter, {bucket, account, from});
}

QString AccountBalanceSql(const QString &account)
{
    return Format(kAccountBalance,
                  {account.isEmpty() ? QString() : Format(kWhereAccount, {SqlText(account)})});
}

std::vector<TBalancePoint> QueryBalance(const RecordFilter &filter, const TWorkHooks &hooks)
{
    const std::vector<QDate> months = ReportMonths(filter);
    std::vector<TBalancePoint> points;
    if (months.empty())
        return points;
    for (const QDate &day : BalanceDays(filter, months))
        points.push_back({day, {}});
    TReportReader reader(hooks);
    Currency now;
    reader.Read(AccountBalanceSql(filter.Account),
                [&now](sqlite3_stmt *row) { now = Currency::FromUnits(Whole(row, 0)); });
    std::vector<Currency> net(points.size());
    reader.Read(BalanceNetSql(filter), [&net](sqlite3_stmt *row) {
        const qint64 index = Whole(row, 0);
        if (index >= 0 && index < qint64(net.size()))
            net[index] += Currency::FromUnits(Whole(row, 1));
    });
    // Today's balance less everything booked after each point.
    Currency after;
    for (size_t i = points.size(); i-- > 0;) {
        after += net[i];
        points[i].Balance = now - after;
    }
    return points;
}

// ---- tables ------------------------------------------------------------------

QString TReportTable::Shown(int row, int column) const
{
    const QString &cell = Rows[row][column];
    Currency amount;
    if (column < MoneyColumns.size() && MoneyColumns[column] && Currency::TryParse(cell, amount))
        return MoneyText(amount);
    return cell;
}

QByteArray TableCsv(const TReportTable &table)
{
    QString text;
    const auto line = [&](const QStringList &fields) {
        for (int i = 0; i < fields.size(); ++i) {
            if (i > 0)
                text += u',';
            text += BooksExport::CsvField(fields[i],
                                          i < table.TextColumns.size() && table.TextColumns[i]);
        }
        text += QStringLiteral("\r\n");
    };
    line(table.Header);
    for (const QStringList &row : table.Rows)
        line(row);
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QString TableText(const TReportTable &table)
{
    QString text;
    const auto line = [&](QStringList fields) {
        for (QString &field : fields) {
            for (QChar &c : field) {
                if (c == u'\t' || c == u'\n' || c == u'\r')
                    c = u' ';
            }
        }
        text += fields.join(u'\t') + u'\n';
    };
    line(table.Header);
    for (int row = 0; row < table.Rows.size(); ++row) {
        QStringList shown;
        for (int column = 0; column < table.Rows[row].size(); ++column)
            shown << table.Shown(row, column);
        line(shown);
    }
    return text;
}

QString MonthName(const QDate &month)
{
    return QStringLiteral("%1年%2月").arg(month.year()).arg(month.month());
}
