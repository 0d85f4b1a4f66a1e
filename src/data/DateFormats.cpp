#include "DateFormats.h"

#include <QDateTime>
#include <QRegularExpression>

QString LongDateFormat(const QLocale &locale)
{
    static const QRegularExpression weekday(QStringLiteral("[,，\\s]*dddd[,，\\s]*"));
    return locale.dateFormat(QLocale::LongFormat).replace(weekday, QString()).trimmed();
}

QString LongTimeFormat(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't') {
            while (result.endsWith(u' '))
                result.chop(1);
            continue;
        }
        result += c;
    }
    return result.trimmed();
}

QString DateText(const QDate &date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString DateTimeText(const QDateTime &moment)
{
    const QLocale locale;
    QString text = locale.toString(moment.date(), QLocale::ShortFormat);
    if (moment.time().msecsSinceStartOfDay() != 0)
        text += u' ' + locale.toString(moment.time(), LongTimeFormat(locale));
    return text;
}
