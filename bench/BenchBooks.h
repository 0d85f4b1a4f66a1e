#pragma once

#include "data/Currency.h"

#include <QDate>
#include <QString>
#include <QStringList>

// The order the records are stored in. ByDate is how books grow when they are
// kept day by day: IDs follow the dates except for a few records entered late
// with an earlier date. Random stores the very same records in a shuffled
// order, so IDs say nothing about dates.
enum class TRecordOrder { ByDate, Random };

// Fills a copy of the template books with ten accounts, the two category
// trees (40 income and 60 expense categories in three levels) and `records`
// records over the ten years of days up to today, with every account's totals
// equal to what its records add up to. The same seed gives the same records.
// Returns an empty text on success, else the reason.
QString MakeBooks(const QString &templateFile, const QString &target, int records, quint32 seed,
                  TRecordOrder order = TRecordOrder::ByDate);

// Replaces both category tables of existing books with `perKind` categories
// each in three levels (parents before their children). Records keep their
// categories: the first indexes stay in use. Empty on success, else the reason.
QString MakeLargeTrees(const QString &books, int perKind);

// Adds to existing books a transfer for every record, of the same ID, day and
// amount, from the record's account to the next one, every tenth with a fee,
// and moves the accounts' balances by them. Empty on success, else the reason.
QString AddTransfers(const QString &books);

// Gathers nine in ten records of books MakeBooks wrote on its second account
// (GatheredAccount()) and adds `transfers` transfers between that account
// and the others over the ten years, in both directions, every third with a
// fee; every account's balance and totals stay what its opening amount, its
// records and its transfers add up to. Empty on success, else the reason.
QString GatherOnOneAccount(const QString &books, int transfers, quint32 seed);
struct TGatheredAccount
{
    QString Name;
    Currency Opening; // the amount it was opened with
};
TGatheredAccount GatheredAccount();

// The first day of the books MakeBooks writes today; the last is today.
QDate FirstBookDay();
// The accounts' names, in the order MakeBooks creates them.
QStringList BookAccounts();
// How many categories MakeBooks files records under, per kind.
int BookCategories(bool income);
