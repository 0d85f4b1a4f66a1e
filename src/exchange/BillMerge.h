#pragma once

#include "Statement.h"

#include <QHash>
#include <QList>
#include <QString>

// A row of one of the bills of an import, by their indexes.
struct TRowRef
{
    int Bill = -1;
    int Row = -1;
    bool IsValid() const { return Bill >= 0; }
    bool operator==(const TRowRef &) const = default;
};

// Where the import books a row, beside its status.
struct TRowPlan
{
    // Where the money left or arrived; a transfer's from-account. A row of a
    // funding source no account is chosen for (Unmapped) goes to its bill's.
    QString Account;
    QString ToAccount; // a transfer's to-account
    QDate Date; // the day it is booked on
    TRowRef Partner; // the row of another bill that is the same money
    TRowRef Purchase; // a refund's purchase, when a bill of the import holds it
    QString Unmapped; // the funding source or pocket no account is chosen for
    // The row's status and reason as planned, which a row ticked again after
    // it was left out takes back.
    TRowStatus Status = TRowStatus::New;
    QString Reason;
    // A row Merged with what an earlier import booked alone: that record or
    // transfer, and whether the row's details replace the record's (the
    // payment app's row is richer than the card's line booked before it).
    qint64 KnownRecord = 0;
    qint64 KnownTransfer = 0;
    bool Enrich = false;
};

// One file of an import: its rows as read, the account they go to when they
// name no funding source of their own (a card's statement: the card; a
// payment app's bill: the app's balance), and, once planned, its rows as the
// import books them.
struct TBill
{
    TBill() = default;
    TBill(TStatement read, QString account)
        : Read(std::move(read))
        , Account(std::move(account))
    {
    }

    TStatement Read;
    QString Account;
    // The account a rule of the user's sends each row of Read to, or empty;
    // it goes before the row's funding source. Empty: no rule for any row.
    QStringList RuleAccounts;
    TStatement Statement; // Read with each row's status as planned
    QList<TRowPlan> Plans; // in row order
};

// What an import writes for a planned row: a record (a refund is a negative
// expense) or a transfer.
struct TEntry
{
    bool IsTransfer = false;
    int Kind = 1; // a record's: 0 income, 1 expense
    QDate Date;
    Currency Amount; // a refund's is negative
    QString Account; // a transfer's from-account
    QString ToAccount;
    QString CategoryHint;
    QString Remark;
    TRowRef Row; // the row it is booked from
    bool IsFee = false; // the fee charged beside Row's transfer
};

namespace BillMerge {

// The category hint of a fee charged beside a transfer.
extern const QString kFeeHint;

// The account each funding source or pocket goes to, by the name the bills
// give it ("招商银行储蓄卡(1234)", "余额宝").
using TPockets = QHash<QString, QString>;

// What the user chose, against the plan, for the rows of one counterparty.
enum class TOverride {
    Separate, // never merged with another row: each booked on its own
    Plain, // income or expense, never a transfer or a refund
};
// The choices by counterparty (see Counterparty).
using TOverrides = QHash<QString, TOverride>;

// Whom a row's money went to or came from, as the overrides know it: the
// bill's counterparty, else its remark.
QString Counterparty(const TStatementRow &row);

// The largest number of days a card's statement books a payment-app spend
// after the app.
constexpr int kCardLagDays = 2;

// Decides for the rows of the bills together what the import books:
// - each row goes to the account of its funding source (pockets, else the
//   bill's account for the bill's own balance);
// - money between two of the books' accounts (a top-up, a withdrawal, 余额宝
//   in or out, a card repaid) is a Transfer, with a fee as its own expense;
// - money given back for a purchase is a Refund in the purchase's category;
// - a card's line and a payment app's line of the same money (same account,
//   kind and amount, the card's 0-2 days later) are one: the app's row is
//   booked, in the card's account, and the card's row is Merged with it.
//   Identical lines pair in time order.
// - money sent to or received from a person is filed under 人情往来.
// Rows whose counterparty has an override follow it.
void Plan(QList<TBill> &bills, const TPockets &pockets, const TOverrides &overrides = {});

// Whether a planned row of this status books money (a record, a refund or a
// transfer).
bool Bookable(TRowStatus status);

// Whether the bill's row of this index is booked alone while the other side
// of the same money may still come: a card's line naming a payment app
// (Awaits 0: the app's row), or an app's row paid by card (Awaits 1: the
// card's line); -1 when not, or when a row of the import is that other side.
int Awaits(const TBill &bill, int index);

// The records and transfers the planned rows of the bills book, in bill and
// row order.
QList<TEntry> Entries(const QList<TBill> &bills);

} // namespace BillMerge
