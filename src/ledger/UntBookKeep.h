#pragma once

#include "data/Currency.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

class TListModel;

// A record to add in a batch, with what identifies its source row.
struct TNewRecord
{
    int InOutType = 1; // 0 income, 1 expense
    int TypeID = 0;
    QString Remark;
    Currency Fare; // not zero; negative for money given back (a refund)
    QDate InDate;
    QString SourceId; // remembered so the same row is never added twice; may be empty
};

// The columns ListRecords fills, in order.
enum TRecordColumn { ColID, ColKind, ColType, ColFare, ColAccount, ColRemark, ColDate };

// The listed records as the status bar shows them: their count, and their
// amounts summed by kind, income where the kind reads "收入", expense
// otherwise; an amount that does not parse counts as 0.
struct TRecordTotals
{
    int Count = 0;
    Currency Income;
    Currency Expense;
};
TRecordTotals SumListedRecords(const TListModel &list);

// The bookkeeping records. Every change of a record travels in one batch with
// the account updates that keep each account's balance (Fare), income (InFare)
// and expense (OutFare) equal to what its records add up to.
class TBookKeep
{
public:
    // Inserts the record in the fields and books it on its account.
    void AddRecord();
    // Inserts many records on one account in one transaction, with the same
    // statements as AddRecord, and books their totals on the account; each
    // source identity is stored with its record. All or nothing: a failure
    // raises and leaves the books as they were. progress, when given, is told
    // the number of records written after each batch of them.
    void AddRecords(const QString &account, const QList<TNewRecord> &records,
                    const std::function<void(qsizetype written)> &progress = {});
    // Loads a record into the fields; empty texts and zeros, and false, when
    // there is none.
    bool ReadRecord(const QString &id);
    // Deletes a record and takes its effect off its account; false, changing
    // nothing, when there is no such record (deleted meanwhile).
    bool DeleteRecord(const QString &id);
    // Fills the list with the records the filter selects ("where ..." or
    // empty), ordered by date: ID, kind, category, amount, account, remark, date.
    void ListRecords(TListModel &list, const QString &filter);
    // Updates the record FID to the fields; the old kind, account and amount
    // say which account corrections the change calls for.
    void ModifyRecord(int oldKind, const QString &oldAccount, Currency oldFare);

    QString FID;
    QString FAccountName;
    QString FRemark;
    int FTypeID = 0;
    int FInOutType = 0; // 0 income, any other value expense
    Currency FFare;
    QDateTime FInDate;
    QString FSql;
};

extern TBookKeep *GBookKeep;

// Told when the record a command was given is no longer in the books.
extern const QString kRecordGone;
