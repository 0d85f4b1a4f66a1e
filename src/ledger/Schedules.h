#pragma once

#include "data/Currency.h"

#include <QDate>
#include <QList>
#include <QString>

// A scheduled record: an income, expense or transfer made again by a rule.
struct TSchedule
{
    enum TKind { Income = 0, Expense = 1, Move = 2 };
    enum TUnit { Days = 0, Weeks = 1, Months = 2, Years = 3 };

    int Id = 0; // 0 for a schedule not stored yet
    int Kind = Expense;
    int TypeID = 0; // the category of a record; 0 for a transfer
    QString Account; // a transfer's money leaves it
    QString ToAccount; // a transfer's money reaches it
    Currency Fare;
    QString Remark;
    int Unit = Months;
    int Every = 1;
    int MonthDay = 1; // months and years: the day, 31 (or any past the end) the last one
    QDate Start;
    QDate End; // invalid: no end date
    int Times = 0; // 0: no limit
    bool Auto = false; // posts by itself, or asks first
    int Ahead = 0; // days before the date it falls due
};
Q_DECLARE_TYPEINFO(TSchedule, Q_RELOCATABLE_TYPE);

// One occurrence of a schedule that is due: the amount, date and remark it
// will be posted with (the window may change them), and why it cannot be
// posted as it stands (empty when it can).
struct TDueOccurrence
{
    TSchedule Schedule;
    QDate Occurrence; // the rule's date, its key in ScheduleDone
    QDate Date; // the date it is posted on
    Currency Fare;
    QString Remark;
    QString Error;
};
// Years of daily schedules make long lists: they grow by moving their memory.
Q_DECLARE_TYPEINFO(TDueOccurrence, Q_RELOCATABLE_TYPE);

// What a check of the schedules on a day did and left to the user.
struct TScheduleCheck
{
    int Posted = 0; // the automatic ones posted
    QList<TDueOccurrence> Due; // the ones to ask about, and the ones that failed
    bool ClockBack = false; // the day is before the last day checked
};

// The schedules and the occurrences they make. An occurrence is dealt with
// once, keyed by its date: posted or skipped, it is in ScheduleDone, which the
// undo history logs, so undoing a posting makes it due again. Each change is
// all or nothing; a refusal raises Exception with the reason for the user.
namespace Schedules {

// The days of a schedule's rule that fall within [from, to], in order.
QList<QDate> Dates(const TSchedule &schedule, QDate from, QDate to);
// The rule in words: "每月 1 日", "每 2 周的周三".
QString RuleText(const TSchedule &schedule);
// The name of a kind: 收入, 支出, 转账.
QString KindText(int kind);

// Every schedule, oldest first.
QList<TSchedule> List();
// The reason a schedule cannot be posted as it stands now (a deleted account
// or category, no amount); empty when it can.
QString PostingFault(const TSchedule &schedule, Currency fare);
// The first occurrence not dealt with, invalid when there is none left.
QDate NextDate(const TSchedule &schedule);
// The last occurrence dealt with, invalid when there is none.
QDate LastDealt(int id);

// Stores a new schedule and returns its Id.
int Add(const TSchedule &schedule);
// Changes a stored schedule. Occurrences up to the last one dealt with never
// fall due again: the changed rule takes effect the day after it, and those
// dealt with since the old start count towards a limit of times. Returns the
// schedule as stored.
TSchedule Modify(const TSchedule &schedule);
// Deletes a schedule; what it posted and its dealt-with occurrences stay.
void Remove(int id);

// The occurrences due on `today`, each schedule's in date order: every date
// of its rule up to `today` plus its days ahead that is not dealt with.
QList<TDueOccurrence> Due(QDate today);
// Posts the occurrences with their amounts, dates and remarks, and marks them
// dealt with, as one undo step. One that cannot be posted, or was dealt with
// meanwhile, is left out; the reasons for those that cannot are returned,
// one line each.
QStringList Post(const QList<TDueOccurrence> &occurrences, int *posted = nullptr);
// Marks the occurrences dealt with without posting anything, as one undo step.
void Skip(const QList<TDueOccurrence> &occurrences);
// Looks at the schedules on `today`: the automatic ones due are posted, the
// others returned. The day is remembered as the last day checked, unless the
// clock is before that day.
TScheduleCheck Check(QDate today);

} // namespace Schedules
