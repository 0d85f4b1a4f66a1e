#pragma once

#include "data/Currency.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// A budget on an expense category: an amount for each month or each year,
// spent by the category's records and those of every category below it.
struct TBudget
{
    enum TPeriod { Month = 0, Year = 1 };

    qint32 TypeID = 0; // OutType.SelfIndex
    TPeriod Period = Month;
    Currency Fare;
    // Whether what a period leaves (or overspends) carries into the next one,
    // from StartDate's period on.
    bool Rollover = false;
    QDate StartDate; // the first day of the period the budget was made in
};

// How far a period's spending has gone: below 80 % of what is available,
// from 80 %, or over all of it.
enum class TBudgetLevel { Normal, Near, Over };

// A budget in the period that holds a given day.
struct TBudgetFigure
{
    TBudget Budget;
    QString Name; // the category's
    QDate Begin; // the period's first and last day
    QDate End;
    Currency Available; // the amount, with rollover plus what earlier periods left
    Currency Spent; // the period's expenses on the category and below it, refunds taken off

    Currency Remaining() const { return Available - Spent; }
    // Spent per thousand of Available, at least 0; over 1000 when overspent.
    // Anything spent with nothing available counts as overspent.
    qint64 PerMille() const;
    TBudgetLevel Level() const;
};

// The budgets of the books. They are settings, not part of the undo history.
// The checks raise the refusals with the texts the user sees, and nothing is
// written then.
namespace Budgets {

// The first and the last day of the month or the year that holds day.
QDate PeriodBegin(TBudget::TPeriod period, const QDate &day);
QDate PeriodEnd(TBudget::TPeriod period, const QDate &day);

// Every stored budget whose category still exists, by category index.
QList<TBudget> List();
// Stores the first budget of a category: refuses an amount that is not a
// number above 0, a category the expense tree does not have, and a category
// that has one already. Its StartDate is the first day of today's period.
void Add(qint32 typeId, TBudget::TPeriod period, const QString &amount, bool rollover,
         const QDate &today = QDate::currentDate());
// Changes a category's budget, with the checks of Add. It keeps its StartDate
// unless the period changes, when it starts again from today's period.
void Modify(qint32 typeId, TBudget::TPeriod period, const QString &amount, bool rollover,
            const QDate &today = QDate::currentDate());
void Remove(qint32 typeId);

// Every budget in the period that holds day, in category order. The record
// excludeRecord (an ID, 0 for none) is left out of the spending, as the
// change dialog counts that record's amount as typed.
std::vector<TBudgetFigure> Figures(const QDate &day, qint64 excludeRecord = 0);
// The budget that a record of the expense category typeId on day counts
// toward: the category's own, else the nearest above it; none when no
// category on the way up has one.
std::optional<TBudgetFigure> FigureFor(qint32 typeId, const QDate &day, qint64 excludeRecord = 0);
// The aggregate statements Figures(day) sends: one per period kind in use.
QStringList FiguresSql(const QDate &day);

} // namespace Budgets
