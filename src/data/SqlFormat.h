#pragma once

#include "Currency.h"
#include "Outcome.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <initializer_list>

// The one place where values are formatted into statement text. Statement
// templates keep their quotes themselves ('%s'); these give what goes inside.

// Fills the "%s" placeholders of a statement template in order. The values
// are inserted as they are, so a value holding "%s" stays untouched.
QString Format(const QString &sqlTemplate, std::initializer_list<QString> values);

// Where a text goes: into statement text, or bound to a placeholder.
enum class TTextUse { Statement, Bound };
// Whether a text can be stored exactly as it stands, or why not, in the
// user's words. A lone surrogate is no character at all (it would come back
// as U+FFFD); a NUL character cannot stand in statement text.
Outcome TextFault(QStringView text, TTextUse use);

// A text value for a quoted placeholder: every single quote doubled. Raises
// Exception for a text that cannot be stored as it stands (TextFault).
QString SqlText(const QString &text);
// An amount: its shortest plain decimal; a negative one stands in parentheses,
// so that "Fare=Fare-(-5)" never reads as the start of a comment.
QString SqlAmount(Currency amount);
// A record's date: its whole day number (the template quotes it).
QString SqlDate(const QDate &date);
QString SqlDate(const QDateTime &dateTime);
// A Boolean: -1 for true, 0 for false (the template quotes it).
QString SqlBool(bool value);

// Day numbers count days since 30 December 1899, the time of day as fraction.
qint64 DayNumber(const QDate &date);
QDate DateOfDayNumber(qint64 day);
double DayNumber(const QDateTime &dateTime);
QDateTime DateTimeOfDayNumber(double dayNumber);
// A day number as plain decimal text with up to 15 significant digits.
QString FormatDayNumber(double dayNumber);
