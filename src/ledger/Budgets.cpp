#include "Budgets.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "ledger/Categories.h"

#include <QHash>

#include <algorithm>

namespace {

// clang-format off
const QString kList = QStringLiteral("select TypeID,Period,Fare,Rollover,StartDate from Budget order by TypeID");
const QString kCount = QStringLiteral("select count(*) from Budget where TypeID=%s");
const QString kPeriodOf = QStringLiteral("select Period,StartDate from Budget where TypeID=%s");
const QString kStore = QStringLiteral("insert or replace into Budget(TypeID,Period,Fare,Rollover,StartDate) values (%s,%s,%s,%s,%s)");
const QString kDelete = QStringLiteral("delete from Budget where TypeID=%s");
// The expenses of each period by category: P lists the periods (K their
// index, B the first day, E the day after the last), read first, so that each
// one's records come through the date index.
const QString kSums = QStringLiteral("with P(K,B,E) as (values %s) select P.K,TypeID,sum(cast(round(Fare*10000) as integer)) from P cross join BookKeep on InDate >= P.B and InDate < P.E where InOutType=1%s group by P.K,TypeID");
const QString kExclude = QStringLiteral(" and ID<>%s");
// clang-format on

constexpr TBudget::TPeriod kPeriods[] = {TBudget::Month, TBudget::Year};

QDate NextPeriod(TBudget::TPeriod period, const QDate &begin)
{
    return period == TBudget::Month ? begin.addMonths(1) : begin.addYears(1);
}

// How many periods lie from the one that begins on `from` to the one of `to`.
int PeriodsBetween(TBudget::TPeriod period, const QDate &from, const QDate &to)
{
    const int years = to.year() - from.year();
    return period == TBudget::Month ? years * 12 + to.month() - from.month() : years;
}

// The budgets whose category still exists, and the expense tree they hang in.
struct TStored
{
    QList<TBudget> Budgets;
    TCategoryTree Tree;
};

TStored ReadStored()
{
    TStored stored;
    stored.Tree.Load(false);
    for (TQuery &query = GDbAccess->OpenQuery(kList); !query.Eof(); query.Next()) {
        TBudget budget;
        budget.TypeID = query.Fields(0).AsInteger();
        budget.Period = query.Fields(1).AsInteger() == 1 ? TBudget::Year : TBudget::Month;
        budget.Fare = query.Fields(2).AsCurrency();
        budget.Rollover = query.Fields(3).AsBoolean();
        budget.StartDate
            = Budgets::PeriodBegin(budget.Period, DateOfDayNumber(query.Fields(4).AsInt64()));
        if (stored.Tree.Exists(budget.TypeID))
            stored.Budgets << budget;
    }
    GDbAccess->FQuery.Close();
    return stored;
}

// The periods one statement sums for the budgets of a kind: from the earliest
// period a rollover carries from up to the one that holds day, which is last.
std::vector<QDate> PeriodsToSum(TBudget::TPeriod period, const QList<TBudget> &budgets,
                                const QDate &day)
{
    const QDate current = Budgets::PeriodBegin(period, day);
    QDate first = current;
    for (const TBudget &budget : budgets)
        if (budget.Period == period && budget.Rollover)
            first = std::min(first, budget.StartDate);
    std::vector<QDate> begins;
    for (QDate begin = first; begin <= current; begin = NextPeriod(period, begin))
        begins.push_back(begin);
    return begins;
}

QString SumsSql(TBudget::TPeriod period, const std::vector<QDate> &begins, qint64 excludeRecord)
{
    QStringList values;
    values.reserve(qsizetype(begins.size()));
    for (size_t k = 0; k < begins.size(); ++k)
        values << QStringLiteral("(%1,%2,%3)")
                      .arg(QString::number(k), QString::number(DayNumber(begins[k])),
                           QString::number(DayNumber(NextPeriod(period, begins[k]))));
    const QString exclude
        = excludeRecord != 0 ? Format(kExclude, {QString::number(excludeRecord)}) : QString();
    return Format(kSums, {values.join(u','), exclude});
}

std::vector<TBudgetFigure> Compute(const QList<TBudget> &budgets, const TCategoryTree &tree,
                                   const QDate &day, qint64 excludeRecord)
{
    std::vector<TBudgetFigure> figures;
    figures.reserve(size_t(budgets.size()));
    for (const TBudget &budget : budgets) {
        TBudgetFigure figure;
        figure.Budget = budget;
        figure.Name = tree.Name(budget.TypeID);
        figure.Begin = Budgets::PeriodBegin(budget.Period, day);
        figure.End = Budgets::PeriodEnd(budget.Period, day);
        figures.push_back(figure);
    }
    for (const TBudget::TPeriod period : kPeriods) {
        QHash<qint32, size_t> figureOf; // the budgets of this kind, by category
        for (size_t i = 0; i < figures.size(); ++i)
            if (figures[i].Budget.Period == period)
                figureOf.insert(figures[i].Budget.TypeID, i);
        if (figureOf.isEmpty())
            continue;
        const std::vector<QDate> begins = PeriodsToSum(period, budgets, day);
        // spent[figure][period index], each category's sum added to it and
        // to every budgeted category above it.
        std::vector<std::vector<qint64>> spent(figures.size());
        for (const size_t i : std::as_const(figureOf))
            spent[i].assign(begins.size(), 0);
        TQuery &query = GDbAccess->OpenQuery(SumsSql(period, begins, excludeRecord));
        for (; !query.Eof(); query.Next()) {
            const qsizetype k = query.Fields(0).AsInteger();
            const qint64 units = query.Fields(2).AsInt64();
            for (qint32 id = query.Fields(1).AsInteger(); tree.Exists(id); id = tree.Parent(id))
                if (const auto found = figureOf.constFind(id); found != figureOf.cend())
                    spent[found.value()][k] += units;
        }
        query.Close();
        const int current = int(begins.size()) - 1;
        for (const size_t i : std::as_const(figureOf)) {
            TBudgetFigure &figure = figures[i];
            const TBudget &budget = figure.Budget;
            qint64 available = budget.Fare.Units();
            if (budget.Rollover)
                for (int k = std::max(0, PeriodsBetween(period, begins[0], budget.StartDate));
                     k < current; ++k)
                    available += budget.Fare.Units() - spent[i][k];
            figure.Available = Currency::FromUnits(available);
            figure.Spent = Currency::FromUnits(spent[i][current]);
        }
    }
    return figures;
}

void Store(bool adding, qint32 typeId, TBudget::TPeriod period, const QString &amount,
           bool rollover, const QDate &today)
{
    Currency fare;
    if (amount.trimmed().isEmpty())
        throw Exception(QStringLiteral("请填写预算金额"));
    if (!Currency::TryParse(amount, fare))
        throw Exception(QStringLiteral("预算金额“%1”不是有效的金额").arg(amount.trimmed()));
    if (fare <= Currency())
        throw Exception(QStringLiteral("预算金额必须大于 0"));
    if (typeId == 0)
        throw Exception(QStringLiteral("请选择支出分类"));
    GDbAccess->InTransaction([&] {
        const QString name = Categories::OfKind(1).Name(typeId);
        if (name.isEmpty())
            throw Exception(QStringLiteral("所选的支出分类已不存在，请重新选择"));
        const QString id = QString::number(typeId);
        const bool stored = DbQueryInt(Format(kCount, {id})) != 0;
        if (adding && stored)
            throw Exception(QStringLiteral("“%1”已有预算，请在列表中选中它修改").arg(name));
        if (!adding && !stored)
            throw Exception(QStringLiteral("“%1”的预算已被删除").arg(name));
        QDate start = Budgets::PeriodBegin(period, today);
        if (!adding) {
            TQuery &query = GDbAccess->OpenQuery(Format(kPeriodOf, {id}));
            if (query.Fields(0).AsInteger() == int(period))
                start = DateOfDayNumber(query.Fields(1).AsInt64());
            query.Close();
        }
        DbExec(Format(kStore,
                      {id, QString::number(int(period)), SqlAmount(fare), SqlBool(rollover),
                       SqlDate(start)}));
    });
}

} // namespace

qint64 TBudgetFigure::PerMille() const
{
    constexpr qint64 kMost = 2000;
    if (Available.Units() <= 0)
        return Spent.Units() > 0 ? kMost : 0;
    const __int128 perMille = __int128(Spent.Units()) * 1000 / Available.Units();
    return qint64(std::clamp<__int128>(perMille, 0, kMost));
}

TBudgetLevel TBudgetFigure::Level() const
{
    if (Spent > Available)
        return TBudgetLevel::Over;
    if (Available.Units() > 0 && __int128(Spent.Units()) * 10 >= __int128(Available.Units()) * 8)
        return TBudgetLevel::Near;
    return TBudgetLevel::Normal;
}

namespace Budgets {

QDate PeriodBegin(TBudget::TPeriod period, const QDate &day)
{
    return QDate(day.year(), period == TBudget::Month ? day.month() : 1, 1);
}

QDate PeriodEnd(TBudget::TPeriod period, const QDate &day)
{
    return NextPeriod(period, PeriodBegin(period, day)).addDays(-1);
}

QList<TBudget> List()
{
    return ReadStored().Budgets;
}

void Add(qint32 typeId, TBudget::TPeriod period, const QString &amount, bool rollover,
         const QDate &today)
{
    Store(true, typeId, period, amount, rollover, today);
}

void Modify(qint32 typeId, TBudget::TPeriod period, const QString &amount, bool rollover,
            const QDate &today)
{
    Store(false, typeId, period, amount, rollover, today);
}

void Remove(qint32 typeId)
{
    DbExec(Format(kDelete, {QString::number(typeId)}));
}

std::vector<TBudgetFigure> Figures(const QDate &day, qint64 excludeRecord)
{
    const TStored stored = ReadStored();
    return Compute(stored.Budgets, stored.Tree, day, excludeRecord);
}

std::optional<TBudgetFigure> FigureFor(qint32 typeId, const QDate &day, qint64 excludeRecord)
{
    const TStored stored = ReadStored();
    for (qint32 id = typeId; stored.Tree.Exists(id); id = stored.Tree.Parent(id)) {
        const auto own = std::find_if(stored.Budgets.cbegin(), stored.Budgets.cend(),
                                      [id](const TBudget &budget) { return budget.TypeID == id; });
        if (own != stored.Budgets.cend())
            return Compute({*own}, stored.Tree, day, excludeRecord).front();
    }
    return std::nullopt;
}

QStringList FiguresSql(const QDate &day)
{
    const QList<TBudget> budgets = List();
    QStringList statements;
    for (const TBudget::TPeriod period : kPeriods)
        if (std::any_of(budgets.cbegin(), budgets.cend(),
                        [period](const TBudget &budget) { return budget.Period == period; }))
            statements << SumsSql(period, PeriodsToSum(period, budgets, day), 0);
    return statements;
}

} // namespace Budgets
