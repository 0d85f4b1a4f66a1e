#include "RecordFilter.h"

#include "data/SqlFormat.h"

namespace {

// The statements' pieces, exactly as they are sent, "%s" marking each value.
// clang-format off
const QString kPickerPeriod = QStringLiteral("where InDate >= %s and InDate <= %s ");
const QString kDayPeriod = QStringLiteral("where InDate >= %s and InDate < %s ");
const QString kFromDay = QStringLiteral("where InDate >= %s ");
const QString kIncome = QStringLiteral(" and InOutType=0 ");
const QString kIncomeType = QStringLiteral(" and InOutType=0 and TypeID=%s ");
const QString kExpense = QStringLiteral(" and InOutType=1 ");
const QString kExpenseType = QStringLiteral(" and InOutType=1 and TypeID=%s ");
const QString kAccount = QStringLiteral(" and AccountName='%s' ");
// clang-format on

// The condition of one kind: the whole kind, or one category of it.
QString TypeCondition(const std::optional<qint32> &type, const QString &wholeKind,
                      const QString &oneType)
{
    if (!type)
        return {};
    return *type == 0 ? wholeKind : Format(oneType, {QString::number(*type)});
}

} // namespace

RecordFilter RecordFilter::Days(const QDate &begin, const QDate &end)
{
    RecordFilter filter;
    filter.Begin = begin;
    filter.End = end;
    return filter;
}

QString RecordFilter::Where() const
{
    QString conditions = TypeCondition(IncomeType, kIncome, kIncomeType)
        + TypeCondition(ExpenseType, kExpense, kExpenseType);
    // Quotes are doubled so that a remark or an account holding ' finds its
    // records.
    if (!Remark.isEmpty())
        conditions
            += QStringLiteral(" and Remark like '%") + SqlText(Remark) + QStringLiteral("%' ");
    if (!Account.isEmpty())
        conditions += Format(kAccount, {SqlText(Account)});
    if (!Begin.isValid()) {
        // Without a period the first condition opens the clause: " and X " as "where X ".
        return conditions.isEmpty() ? QString() : QStringLiteral("where") + conditions.mid(4);
    }
    const QString from = DayTime.isValid()
        ? FormatDayNumber(DayNumber(QDateTime(Begin, DayTime)) - 1)
        : QString::number(DayNumber(Begin));
    QString period;
    if (!End.isValid())
        period = Format(kFromDay, {from});
    else if (DayTime.isValid())
        period = Format(kPickerPeriod, {from, FormatDayNumber(DayNumber(QDateTime(End, DayTime)))});
    else
        period = Format(kDayPeriod, {from, QString::number(DayNumber(End) + 1)});
    return period + conditions;
}
