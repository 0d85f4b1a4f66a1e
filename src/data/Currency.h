#pragma once

#include <QString>
#include <QtGlobal>
#include <compare>

// A money amount: a signed count of ten-thousandths. Every sum, difference and
// comparison is integer arithmetic; text is the only way in and out.
class Currency
{
public:
    static constexpr qint64 kScale = 10000;
    // The largest magnitude accepted: 99,999,999,999.9999. Stored amounts pass
    // through the engine's doubles, which hold four exact decimals below 2^37;
    // the schema rounds every account total back to four decimals after each
    // update and refuses totals beyond this bound, so balances never drift.
    static constexpr qint64 kMaxUnits = 999'999'999'999'999;

    constexpr Currency() = default;
    static constexpr Currency FromUnits(qint64 units) { return Currency(units); }
    static constexpr Currency FromWhole(qint64 whole)
    {
        // Callers refuse a whole number beyond the largest amount first.
        Q_ASSERT(whole >= -kMaxUnits / kScale && whole <= kMaxUnits / kScale);
        return Currency(whole * kScale);
    }

    // Strict conversion: blanks around, a sign, digits with an optional point
    // and an optional exponent; rounded half away from zero to four decimals.
    // Anything else, or a magnitude beyond kMaxUnits, raises EConvertError with
    // "'<text>' is not a valid floating point value".
    static Currency Parse(const QString &text);
    // Like Parse, but false instead of a failure.
    static bool TryParse(const QString &text, Currency &result);
    // Like Parse, but 0 for a text that is not an amount.
    static Currency ParseLenient(const QString &text);
    // From an engine double, rounded to four decimals; false when out of range.
    static bool FromDouble(double value, Currency &result);
    // Raises the failure of Parse for an amount beyond kMaxUnits in magnitude
    // (a sum of amounts, or one made from units).
    void RequireInRange() const;

    constexpr qint64 Units() const { return FUnits; }
    // The shortest plain decimal text: 100, 12.5, -80.25; no separators.
    QString ToString() const;

    constexpr Currency operator-() const { return Currency(-FUnits); }
    constexpr Currency operator+(Currency other) const { return Currency(FUnits + other.FUnits); }
    constexpr Currency operator-(Currency other) const { return Currency(FUnits - other.FUnits); }
    constexpr Currency &operator+=(Currency other)
    {
        FUnits += other.FUnits;
        return *this;
    }
    constexpr Currency &operator-=(Currency other)
    {
        FUnits -= other.FUnits;
        return *this;
    }
    // clang-tidy 14 reads the defaulted comparison's zero as a null pointer.
    constexpr auto operator<=>(const Currency &) const = default; // NOLINT(modernize-use-nullptr)

private:
    constexpr explicit Currency(qint64 units)
        : FUnits(units)
    {
    }
    qint64 FUnits = 0;
};
