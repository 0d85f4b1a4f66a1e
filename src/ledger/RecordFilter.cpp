#include "RecordFilter.h"

#include "data/SqlFormat.h"

namespace {

// clang-format off
const QString kPickerPeriod = QStringLiteral("where InDate >= %s and InDate <= %s ");
const QString kDayPeriod = QStringLiteral("where InDate >= %s and InDate < %s ");
const QString kWholeKind = QStringLiteral(" and InOutType=%s ");
const QString kOneType = QStringLiteral(" and InOutType=%s and TypeID=%s ");
const QString kOnAccount = QStringLiteral(" and AccountName='%s' ");
// clang-format on

QString TypeCondition(int kind, const std::optional<qint32> &type)
{
    if (!type)
        return {};
    return *type == 0 ? Format(kWholeKind, {QString::number(kind)})
                      : Format(kOneType, {QString::number(kind), QString::number(*type)});
}

} // namespace

QString RecordFilter::Where() const
{
    QString conditions = TypeCondition(0, IncomeType) + TypeCondition(1, ExpenseType);
    // Quotes are doubled so that a remark holding ' finds its records.
    if (!Remark.isEmpty())
        conditions
            += QStringLiteral(" and Remark like '%") + SqlText(Remark) + QStringLiteral("%' ");
    if (!Account.isEmpty())
        conditions += Format(kOnAccount, {SqlText(Account)});
    if (!Begin.isValid() || !End.isValid()) {
        // Without a period the first condition opens the clause: " and X " as "where X ".
        return conditions.isEmpty() ? QString() : QStringLiteral("where") + conditions.mid(4);
    }
    const QString period = DayTime.isValid()
        ? Format(kPickerPeriod,
                 {FormatDayNumber(DayNumber(QDateTime(Begin, DayTime)) - 1),
                  FormatDayNumber(DayNumber(QDateTime(End, DayTime)))})
        : Format(kDayPeriod,
                 {QString::number(DayNumber(Begin)), QString::number(DayNumber(End) + 1)});
    return period + conditions;
}
