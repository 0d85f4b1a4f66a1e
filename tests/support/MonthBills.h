#pragma once

// One matched month of bills (tests/data/month-2026-05): an Alipay and a
// WeChat bill and the statements of the two cards that fund them, with the
// entries a correct import of all four books (expected.csv).

#include "TestSupport.h"

#include "exchange/BillMerge.h"

#include <QList>
#include <QString>
#include <QStringList>

extern const QString kMonth; // the folder, with a trailing slash
// The bills by their file names, in the order expected.csv names sources.
extern const QStringList kMonthBills;
// The account of each bill's own rows, in the order of kMonthBills, and the
// other two accounts the bills move money to.
extern const QStringList kMonthAccounts;
extern const QStringList kMonthPockets;

// The bill of that name with the account of its own rows, as read.
TBill MonthBill(const QString &name);
// The lines of expected.csv without its header, each split into its cells.
QList<QStringList> ExpectedMonth();
// Adds the column "order" and rows of the bills in three orders.
void AddMonthOrders();

// Books with the month's accounts and a category named like each hint of its
// expected entries.
class TMonthBooks : public TTestBooks
{
public:
    TMonthBooks();
    // Sends each funding source and pocket the bills name to its account.
    static void RememberSources();
};
