#include "SqlFormat.h"

#include "UException.h"

#include <cmath>

namespace {

const QDate kDayZero(1899, 12, 30);
constexpr double kMsecsPerDay = 86400000.0;

} // namespace

QString Format(const QString &sqlTemplate, std::initializer_list<QString> values)
{
    QString result;
    result.reserve(sqlTemplate.size() + 16 * qsizetype(values.size()));
    auto value = values.begin();
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = sqlTemplate.indexOf(u"%s", from);
        if (at < 0)
            break;
        if (value == values.end())
            throw Exception(QStringLiteral("Format: too few values for \"%1\"").arg(sqlTemplate));
        result += QStringView(sqlTemplate).mid(from, at - from);
        result += *value++;
        from = at + 2;
    }
    if (value != values.end())
        throw Exception(QStringLiteral("Format: too many values for \"%1\"").arg(sqlTemplate));
    result += QStringView(sqlTemplate).mid(from);
    return result;
}

Outcome TextFault(QStringView text, TTextUse use)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size()
            && QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
        } else if (QChar::isSurrogate(c)) {
            return Outcome::Fault(
                QStringLiteral("文字中第 %1 个字符（U+%2）不是有效的字符，无法保存。"
                               "请删除它后再试。")
                    .arg(i + 1)
                    .arg(QString::number(c, 16).toUpper()));
        } else if (c == 0 && use == TTextUse::Statement) {
            return Outcome::Fault(
                QStringLiteral("文字中第 %1 个字符是空字符（U+0000），无法保存。请删除它后再试。")
                    .arg(i + 1));
        }
    }
    return Outcome::Sound();
}

QString SqlText(const QString &text)
{
    if (const Outcome fault = TextFault(text, TTextUse::Statement); !fault.IsSound())
        throw Exception(fault.Reason());
    QString quoted = text;
    quoted.replace(u'\'', QStringLiteral("''"));
    return quoted;
}

QString SqlAmount(Currency amount)
{
    const QString text = amount.ToString();
    return amount < Currency() ? u'(' + text + u')' : text;
}

QString SqlDate(const QDate &date)
{
    return QString::number(DayNumber(date));
}

QString SqlDate(const QDateTime &dateTime)
{
    return SqlDate(dateTime.date());
}

QString SqlBool(bool value)
{
    return value ? QStringLiteral("-1") : QStringLiteral("0");
}

qint64 DayNumber(const QDate &date)
{
    return kDayZero.daysTo(date);
}

QDate DateOfDayNumber(qint64 day)
{
    return kDayZero.addDays(day);
}

double DayNumber(const QDateTime &dateTime)
{
    const QTime time = dateTime.time();
    return double(DayNumber(dateTime.date())) + time.msecsSinceStartOfDay() / kMsecsPerDay;
}

QDateTime DateTimeOfDayNumber(double dayNumber)
{
    // Wall-clock arithmetic on the day and the time of day: each conversion
    // between local time and an instant asks the system for its time zone.
    auto day = qint64(std::floor(dayNumber));
    auto msecs = qint64(std::llround((dayNumber - double(day)) * kMsecsPerDay));
    if (msecs >= qint64(kMsecsPerDay)) {
        ++day;
        msecs = 0;
    }
    return QDateTime(DateOfDayNumber(day), QTime::fromMSecsSinceStartOfDay(int(msecs)));
}

QString FormatDayNumber(double dayNumber)
{
    QString text = QString::number(dayNumber, 'g', 15);
    if (text.contains(u'e'))
        text = QString::number(dayNumber, 'f', 10);
    return text;
}
