#pragma once

#include "data/Currency.h"
#include "ledger/Transfers.h"

#include <QList>
#include <QString>
#include <map>

// A seeded stream of changes of records and transfers that a helper process
// and a test can both follow, and the state of a books file as read back from it.

struct TStreamRecord
{
    int Kind = 0; // 0 income, 1 or 2 expense
    QString Account;
    Currency Fare;
    int TypeId = 1;
    QString Remark;
    bool operator==(const TStreamRecord &) const = default;
};

struct TAccountRow
{
    Currency Fare;
    Currency InFare;
    Currency OutFare;
    QString Remark;
    bool operator==(const TAccountRow &) const = default;
};

// The accounts and records of a books file, and the last record ID handed out.
struct TBooksState
{
    std::map<QString, TAccountRow> Accounts;
    std::map<qint64, TStreamRecord> Records;
    std::map<qint64, Transfer> Transfers;
    qint64 LastId = 0;
    bool operator==(const TBooksState &) const = default;
    // A short description for failure messages.
    QString Describe() const;
};

// What the books must hold: each account's initial amount, every record and
// every transfer; the account totals follow from these alone.
struct TLedgerModel
{
    std::map<QString, Currency> Initial;
    std::map<qint64, TStreamRecord> Records;
    std::map<qint64, Transfer> Transfers;
    qint64 LastId = 0;
    TBooksState Expected() const;
};

struct TLedgerOp
{
    enum TKind { Add, Modify, Delete, AddTransfer, ModifyTransfer, DeleteTransfer };
    TKind Kind = Add;
    qint64 Id = 0; // the record or transfer changed or deleted
    TStreamRecord Record; // what is added, or what the record becomes
    Transfer Moved; // the same of a transfer
    QString Describe() const;
};

// A new transfer of the day after the stream's records.
Transfer NewTransfer(const QString &from, const QString &to, Currency amount, Currency fee = {});
// The accounts of a stream and their initial amounts, from its seed.
TLedgerModel SeedModel(quint32 seed);
// The seed's accounts, inserted through the ledger into the open books.
void InsertSeedAccounts(const TLedgerModel &model);
// The model of the books at fileName for a stream: the seed's accounts and
// the records the file holds. Empty when it reads; otherwise why not.
QString LoadModel(const QString &fileName, quint32 seed, TLedgerModel &model);

// Operation `index` of the stream `seed` on books that hold `model`.
TLedgerOp NextOp(quint32 seed, int index, const TLedgerModel &model);
// Representative changes on books that hold at least one income and one
// expense: a new expense; the oldest income moved to another account as an
// expense of another amount; the newest expense deleted.
TLedgerOp SampleAdd(const TLedgerModel &model);
TLedgerOp SampleMove(const TLedgerModel &model);
TLedgerOp SampleDelete(const TLedgerModel &model);
// A transfer with a fee between the first two accounts.
TLedgerOp SampleTransfer(const TLedgerModel &model);
// Adds of `count` records with long remarks (`length` characters from
// `first` on) to the first account, so books restored from them grow.
QList<TLedgerOp> LongRecordAdds(const TLedgerModel &model, int count, qint64 units, int typeId,
                                qsizetype length, QChar first);
// Deletes of every record of the model.
QList<TLedgerOp> DeleteAll(const TLedgerModel &model);

// The operation's effect on the model.
void ApplyOp(TLedgerModel &model, const TLedgerOp &op);
// The operation through the ledger, as the record dialogs do it: a change or
// a delete reads the record first. Raises what the ledger raises.
void RunOp(const TLedgerOp &op);

// Reads the state of a books file; empty when it reads, otherwise why not.
QString ReadBooksState(const QString &fileName, TBooksState &state);
// Why a books file is not sound, or empty: the integrity check, this
// program's file check, and every account's totals against its records
// (InFare the income, OutFare the expense, Fare the initial amount plus
// InFare minus OutFare, plus what transfers brought in less what they took).
QString CheckBooks(const QString &fileName, const std::map<QString, Currency> &initial);
