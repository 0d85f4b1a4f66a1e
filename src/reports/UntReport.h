#pragma once

#include "data/Currency.h"
#include "data/DbAccess.h"
#include "ledger/Categories.h"
#include "ledger/RecordFilter.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

// Each report covers the records its filter selects (the report window's:
// the days of a period, on every account or on one), and sums nothing when
// the period holds no day. The queries read the books through a read-only
// connection of their own, so they may run on a worker thread; a cancel
// asked through the hooks interrupts the statement running and raises EAbort.

// The quick choices of the report window, in the order it lists them. A
// period that has begun ends today, as the main window's does.
enum class TQuickPeriod { ThisMonth, LastMonth, ThisYear, LastYear, Last12Months };
std::pair<QDate, QDate> QuickPeriod(TQuickPeriod which, const QDate &today);

// What a category (by the record's TypeID) adds up to in the period.
struct TCategorySum
{
    qint32 TypeID = 0;
    Currency Amount;
    qint64 Count = 0;
};

// The period's records summed by kind and category: one aggregate statement.
struct TCategoryFigures
{
    std::vector<TCategorySum> Income;
    std::vector<TCategorySum> Expense;
    Currency IncomeTotal;
    Currency ExpenseTotal;
    qint64 Count = 0;
};
QString CategorySumsSql(const RecordFilter &filter);
TCategoryFigures QueryCategorySums(const RecordFilter &filter, const TWorkHooks &hooks = {});

// One line of a category breakdown.
struct TCategoryLine
{
    enum class TKind { Category, Own, Unfiled };
    TKind Kind = TKind::Category;
    qint32 Id = 0; // the category; for Own the node itself
    QString Name;
    Currency Amount;
    qint64 Count = 0;
    bool HasChildren = false;
};
extern const QString kUnfiledName;
extern const QString kOtherName;

// The sums under `node` (0: the whole tree), each category with everything
// below it rolled up; records filed on node itself form a line of their own,
// and at the top records whose category no longer exists are "未分类". Ranked
// by amount, largest first.
std::vector<TCategoryLine> Breakdown(const std::vector<TCategorySum> &sums,
                                     const TCategoryTree &tree, qint32 node);
Currency LinesTotal(const std::vector<TCategoryLine> &lines);

// The sum of the lines above zero: the whole that shares are taken of, so
// that the shares of those lines add up to 100 % even when a refund booked
// as a negative amount makes a line, and the net total, smaller.
Currency PositiveTotal(const std::vector<TCategoryLine> &lines);

// A part's share of a whole, as a fraction; none (negative) when the whole is
// not above zero.
double Share(Currency part, Currency whole);
// "12.3%", "—" without a share, or "冲减" for a part below zero, which takes
// away from the total rather than having a share of it.
QString ShareText(Currency part, Currency whole);

// An amount as a table shows it: rounded to the cent, half away from zero,
// with thousands separators and two decimals, "1,471.99".
QString MoneyText(Currency amount);
// A figure standing alone: "¥1,471.99", "-¥80.25".
QString YuanText(Currency amount);

// The ticks of a money axis: round values (1, 2, 2.5 or 5 times a power of
// ten apart, a cent at least) from zero or below to zero or above, covering
// low to high in about five steps, labelled in 元, 万 or 亿 by the largest:
// "0", "0.5万", "1万"; "2,000亿".
struct TAxisTick
{
    Currency Value;
    QString Label;
};
std::vector<TAxisTick> MoneyTicks(Currency low, Currency high);

// The slices of a pie: the positive lines of at least 2 % of their sum, at
// most `most` of them, and the rest gathered as one "其余" slice (index -1)
// unless a single line is left.
struct TSlice
{
    int Line = -1;
    QString Name;
    Currency Amount;
};
std::vector<TSlice> PieSlices(const std::vector<TCategoryLine> &lines, int most = 10);

// The months a trend or balance shows: the period's months, and at least 12,
// reaching back from the period's last month. Each is its first day.
std::vector<QDate> ReportMonths(const RecordFilter &filter);

struct TMonthFigures
{
    QDate Month; // the first day
    Currency Income;
    Currency Expense;
};
// Income and expense of each month shown. A period of 12 months or more is
// summed from its first day; a shorter one shows whole months back to the
// twelfth before its end.
QString TrendSql(const RecordFilter &filter);
std::vector<TMonthFigures> QueryTrend(const RecordFilter &filter, const TWorkHooks &hooks = {});

struct TBalancePoint
{
    QDate Day; // the month's last day, the period's end for its last month
    Currency Balance;
};
// The balance at the end of each month shown: today's balances (the account
// window's) less what the records and transfers after that day added. For
// one account its transfers in add and its transfers out with their fees
// take away; for all accounts together transfers cancel and only their fees
// take away. It takes only the period and the account of the filter, since a
// balance holds every record.
QString BalanceNetSql(const RecordFilter &filter);
QString AccountBalanceSql(const QString &account);
std::vector<TBalancePoint> QueryBalance(const RecordFilter &filter, const TWorkHooks &hooks = {});

// The exact figures under a chart: captions, rows of texts (amounts as plain
// decimals, exact), which columns hold names (the others hold numbers), and
// which hold amounts.
struct TReportTable
{
    QStringList Header;
    QList<QStringList> Rows;
    QList<bool> TextColumns;
    QList<bool> MoneyColumns;

    // A cell as the table shows it: an amount as MoneyText writes it.
    QString Shown(int row, int column) const;
};
// As a spreadsheet reads it: the exact figures, UTF-8 with a byte order mark,
// fields quoted where needed, lines ending CR LF. A name that a spreadsheet
// would take for a formula is written with a leading apostrophe.
QByteArray TableCsv(const TReportTable &table);
// Tab-separated lines of the cells as shown, for the clipboard.
QString TableText(const TReportTable &table);

// A month as the tables name it: "2026年1月".
QString MonthName(const QDate &month);
