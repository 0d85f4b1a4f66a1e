#include "Currency.h"

#include "UException.h"

#include <cmath>

namespace {

EConvertError NotAnAmount(const QString &text)
{
    return EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
}

} // namespace

bool Currency::TryParse(const QString &text, Currency &result)
{
    const QString s = text.trimmed();
    qsizetype i = 0;
    const qsizetype n = s.size();
    bool negative = false;
    if (i < n && (s[i] == u'+' || s[i] == u'-'))
        negative = s[i++] == u'-';

    // Mantissa digits without leading zeros, and the count of fraction digits.
    QString digits;
    qsizetype fraction = 0;
    bool anyDigit = false;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = s[i];
        if (c >= u'0' && c <= u'9') {
            anyDigit = true;
            if (point)
                ++fraction;
            if (!digits.isEmpty() || c != u'0')
                digits += c;
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return false;

    qint64 exponent = 0;
    if (i < n && (s[i] == u'e' || s[i] == u'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (s[i] == u'+' || s[i] == u'-'))
            expNegative = s[i++] == u'-';
        const qsizetype start = i;
        for (; i < n && s[i] >= u'0' && s[i] <= u'9'; ++i) {
            if (exponent < 100000)
                exponent = exponent * 10 + (s[i].unicode() - u'0');
        }
        if (i == start)
            return false;
        if (expNegative)
            exponent = -exponent;
    }
    if (i != n)
        return false;

    // Leading zeros were dropped; zeros between the point and the first
    // significant digit still count as fraction digits.
    if (digits.isEmpty()) {
        result = Currency();
        return true;
    }
    // value = digits * 10^(exponent - fraction); units = value * 10^4.
    qint64 shift = exponent - fraction + 4;
    qint64 units = 0;
    if (shift >= 0) {
        if (digits.size() + shift > 15)
            return false;
        for (const QChar c : std::as_const(digits))
            units = units * 10 + (c.unicode() - u'0');
        for (; shift > 0; --shift)
            units *= 10;
    } else {
        const qsizetype keep = digits.size() + shift;
        if (keep > 15)
            return false;
        for (qsizetype k = 0; k < keep; ++k)
            units = units * 10 + (digits[k].unicode() - u'0');
        if (keep >= 0 && digits[keep].unicode() >= u'5')
            ++units;
    }
    // Fifteen digits at most, one unit more when rounded up: the count never
    // overflows, and the bound refuses only a rounded-up 10^15.
    Q_ASSERT(units >= 0 && units <= kMaxUnits + 1);
    if (units > kMaxUnits)
        return false;
    result = Currency(negative ? -units : units);
    return true;
}

Currency Currency::Parse(const QString &text)
{
    Currency result;
    if (!TryParse(text, result))
        throw NotAnAmount(text);
    return result;
}

Currency Currency::ParseLenient(const QString &text)
{
    Currency result;
    return TryParse(text, result) ? result : Currency();
}

bool Currency::FromDouble(double value, Currency &result)
{
    const double units = std::round(value * double(kScale));
    if (!std::isfinite(units) || std::fabs(units) > double(kMaxUnits))
        return false;
    result = Currency(qint64(units));
    return true;
}

void Currency::RequireInRange() const
{
    if (FUnits > kMaxUnits || FUnits < -kMaxUnits)
        throw NotAnAmount(ToString());
}

QString Currency::ToString() const
{
    // Unsigned negation, so that the most negative count has a magnitude too.
    const quint64 magnitude = FUnits < 0 ? 0 - quint64(FUnits) : quint64(FUnits);
    QString text = QString::number(magnitude / kScale);
    quint64 fraction = magnitude % kScale;
    if (fraction != 0) {
        QString digits = QString::number(fraction).rightJustified(4, u'0');
        while (digits.endsWith(u'0'))
            digits.chop(1);
        text += u'.' + digits;
    }
    return FUnits < 0 ? u'-' + text : text;
}
