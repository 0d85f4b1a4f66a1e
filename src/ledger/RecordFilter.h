#pragma once

#include <QDate>
#include <QString>
#include <QTime>

#include <optional>

// Which records a list, an export or a report covers: the days of a period,
// a category of each kind, a remark pattern and an account, each optional.
// Where() is the one place that writes it as statement text.
struct RecordFilter
{
    // The days from Begin to End, both included; from Begin on, with no end,
    // when only End is invalid; no period when Begin is invalid. A start after
    // the end selects nothing.
    QDate Begin;
    QDate End;
    // The time of day the main window's date pickers carry. With it the
    // period is written as the pickers' day numbers: from the day before
    // Begin at this time to End at this time, which takes in the same
    // (midnight) record dates as whole days do. Without it, as whole days,
    // the day after End excluded.
    QTime DayTime;
    // The income and the expense category: none, 0 for the whole kind (a
    // tree's root), or a category's SelfIndex for the records filed on that
    // category itself, not on the ones below it.
    std::optional<qint32> IncomeType;
    std::optional<qint32> ExpenseType;
    // A LIKE pattern the remark contains (% and _ keep their meaning); none
    // when empty.
    QString Remark;
    // The account the records are on; every account when empty.
    QString Account;

    // Every record of the days from begin to end, both included.
    static RecordFilter Days(const QDate &begin, const QDate &end);

    // Whether the period holds at least one day: both ends valid and the
    // start not after the end.
    bool HasDays() const { return Begin.isValid() && End.isValid() && Begin <= End; }

    // "where ..." ending in a blank, each condition beginning and ending in a
    // blank, or empty when the filter selects every record.
    QString Where() const;
};
