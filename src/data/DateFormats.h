#pragma once

#include <QLocale>
#include <QString>

class QDate;
class QDateTime;

// The date and time formats the program shows, derived from the locale in one
// place so that every window writes a date the same way.

// The long date without the weekday, which date pickers have no room for.
QString LongDateFormat(const QLocale &locale = QLocale());
// The long time without its time zone: every time the program shows is local.
QString LongTimeFormat(const QLocale &locale = QLocale());

// A date in the short date format.
QString DateText(const QDate &date);
// The short date, a blank and the long time; the date alone at exactly
// midnight.
QString DateTimeText(const QDateTime &moment);
