#include "LedgerStream.h"

#include "data/DbFile.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "ledger/UntAccount.h"
#include "ledger/UntBookKeep.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <iterator>
#include <sqlite3.h>

namespace {

const QStringList kAccounts = {QStringLiteral("现金"), QStringLiteral("O'Brien"),
                               QStringLiteral("a@#@b"), QStringLiteral("-- 银行")};
const QStringList kRemarks = {QString(),
                              QStringLiteral("午饭"),
                              QStringLiteral("O'Brien's ''"),
                              QStringLiteral("x@#@y"),
                              QStringLiteral("a -- b /* c"),
                              QStringLiteral("100% %s")};

QString Text(sqlite3_stmt *stmt, int column)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, column)),
                             sqlite3_column_bytes(stmt, column));
}

// An amount column, whatever affinity it came back with.
Currency Amount(sqlite3_stmt *stmt, int column)
{
    Currency amount;
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return Currency::FromUnits(sqlite3_column_int64(stmt, column) * Currency::kScale);
    case SQLITE_FLOAT:
        Currency::FromDouble(sqlite3_column_double(stmt, column), amount);
        return amount;
    case SQLITE_TEXT:
        Currency::TryParse(Text(stmt, column), amount);
        return amount;
    default:
        return amount;
    }
}

// An open connection to a file, closed when it goes.
class TRawDb
{
public:
    TRawDb(const QString &fileName, int flags)
    {
        if (sqlite3_open_v2(QFile::encodeName(fileName).constData(), &FDb, flags, nullptr)
            != SQLITE_OK) {
            FError = FDb ? QString::fromUtf8(sqlite3_errmsg(FDb)) : QStringLiteral("no memory");
            sqlite3_close_v2(FDb);
            FDb = nullptr;
        }
    }
    ~TRawDb() { sqlite3_close_v2(FDb); }
    sqlite3 *Db() const { return FDb; }
    const QString &Error() const { return FError; }
    QString LastError() const { return QString::fromUtf8(sqlite3_errmsg(FDb)); }

    // Runs a query, handing each row to `row`; empty on success.
    template<typename F> QString Rows(const char *sql, F row)
    {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(FDb, sql, -1, &stmt, nullptr) != SQLITE_OK) {
            const QString error = LastError();
            sqlite3_finalize(stmt);
            return error;
        }
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            row(stmt);
        const QString error = rc == SQLITE_DONE ? QString() : LastError();
        sqlite3_finalize(stmt);
        return error;
    }

private:
    sqlite3 *FDb = nullptr;
    QString FError;
};

QString ReadState(TRawDb &db, TBooksState &state)
{
    state = {};
    QString error = db.Rows(
        "select AccountName,Fare,InFare,OutFare,Remark from Account", [&](sqlite3_stmt *row) {
            state.Accounts[Text(row, 0)]
                = {Amount(row, 1), Amount(row, 2), Amount(row, 3), Text(row, 4)};
        });
    if (error.isEmpty())
        error = db.Rows("select ID,InOutType,AccountName,Fare,TypeID,Remark from BookKeep",
                        [&](sqlite3_stmt *row) {
                            state.Records[sqlite3_column_int64(row, 0)]
                                = {sqlite3_column_int(row, 1), Text(row, 2), Amount(row, 3),
                                   sqlite3_column_int(row, 4), Text(row, 5)};
                        });
    // Books of a version before transfers have none: the read fails there.
    db.Rows("select ID,InDate,FromAccount,ToAccount,Fare,Fee,Remark from Transfer",
            [&](sqlite3_stmt *row) {
                const qint64 id = sqlite3_column_int64(row, 0);
                const QDate date = DateOfDayNumber(sqlite3_column_int64(row, 1));
                state.Transfers[id] = {id,           date,           Text(row, 2),
                                       Text(row, 3), Amount(row, 4), Amount(row, 5),
                                       Text(row, 6)};
            });
    if (error.isEmpty())
        error = db.Rows("select seq from sqlite_sequence where name='BookKeep'",
                        [&](sqlite3_stmt *row) { state.LastId = sqlite3_column_int64(row, 0); });
    return error;
}

template<typename Map> auto Pick(const Map &map, int at)
{
    return std::next(map.begin(), at);
}

// What the transfers move each account's balance by.
std::map<QString, Currency> TransferMoves(const std::map<qint64, Transfer> &transfers)
{
    std::map<QString, Currency> moves;
    for (const auto &[id, transfer] : transfers) {
        moves[transfer.From] -= transfer.Amount + transfer.Fee;
        moves[transfer.To] += transfer.Amount;
    }
    return moves;
}

} // namespace

QString TBooksState::Describe() const
{
    QStringList accounts;
    for (const auto &[name, row] : Accounts)
        accounts << QStringLiteral("%1 %2/%3/%4")
                        .arg(name, row.Fare.ToString(), row.InFare.ToString(),
                             row.OutFare.ToString());
    return QStringLiteral("%1 records, last ID %2; %3")
        .arg(Records.size())
        .arg(LastId)
        .arg(accounts.join(QStringLiteral(", ")));
}

Transfer NewTransfer(const QString &from, const QString &to, Currency amount, Currency fee)
{
    return {0, QDate(2024, 5, 2), from, to, amount, fee, QString()};
}

TBooksState TLedgerModel::Expected() const
{
    TBooksState state;
    for (const auto &[name, initial] : Initial)
        state.Accounts[name] = {initial, {}, {}, name};
    for (const auto &[id, record] : Records) {
        TAccountRow &account = state.Accounts[record.Account];
        if (record.Kind == 0) {
            account.InFare += record.Fare;
            account.Fare += record.Fare;
        } else {
            account.OutFare += record.Fare;
            account.Fare -= record.Fare;
        }
    }
    for (const auto &[name, move] : TransferMoves(Transfers))
        state.Accounts[name].Fare += move;
    state.Records = Records;
    state.Transfers = Transfers;
    state.LastId = LastId;
    return state;
}

QString TLedgerOp::Describe() const
{
    const QString what = QStringLiteral("kind %1, %2, %3")
                             .arg(Record.Kind)
                             .arg(Record.Account, Record.Fare.ToString());
    switch (Kind) {
    case Add:
        return QStringLiteral("add (%1)").arg(what);
    case Modify:
        return QStringLiteral("change %1 to (%2)").arg(Id).arg(what);
    case Delete:
        return QStringLiteral("delete %1").arg(Id);
    default:
        return QStringLiteral("transfer change %1 of %2 (%3 to %4, %5)")
            .arg(Kind)
            .arg(Id)
            .arg(Moved.From, Moved.To, Moved.Amount.ToString());
    }
}

TLedgerModel SeedModel(quint32 seed)
{
    QRandomGenerator random(seed);
    TLedgerModel model;
    for (const QString &name : kAccounts)
        model.Initial[name] = Currency::FromUnits(qint64(random.bounded(100'000'000)) - 60'000'000);
    return model;
}

void InsertSeedAccounts(const TLedgerModel &model)
{
    for (const auto &[name, initial] : model.Initial) {
        GAccount->FAccountName = name;
        GAccount->FRemark = name;
        GAccount->FFare = initial;
        GAccount->InsertAccount();
    }
}

QString LoadModel(const QString &fileName, quint32 seed, TLedgerModel &model)
{
    model = SeedModel(seed);
    TRawDb db(fileName, SQLITE_OPEN_READWRITE);
    if (!db.Db())
        return db.Error();
    TBooksState state;
    const QString error = ReadState(db, state);
    model.Records = state.Records;
    model.Transfers = state.Transfers;
    model.LastId = state.LastId;
    return error;
}

TLedgerOp NextOp(quint32 seed, int index, const TLedgerModel &model)
{
    const quint32 words[2] = {seed, quint32(index)};
    QRandomGenerator random(words, 2);
    const auto newRecord = [&] {
        TStreamRecord record;
        record.Kind = random.bounded(10) == 0 ? 2 : random.bounded(2);
        record.Account = Pick(model.Initial, random.bounded(int(model.Initial.size())))->first;
        record.Fare = Currency::FromUnits(random.bounded(1, 100'000'000));
        record.TypeId = random.bounded(1, 5);
        record.Remark = kRemarks[random.bounded(int(kRemarks.size()))];
        return record;
    };
    TLedgerOp op;
    const int choice = random.bounded(100);
    if (choice < 20) {
        const int count = int(model.Initial.size());
        const int from = random.bounded(count);
        op.Kind = TLedgerOp::AddTransfer;
        const int to = (from + random.bounded(1, count)) % count;
        const Currency amount = Currency::FromUnits(random.bounded(1, 100'000'000));
        const Currency fee
            = Currency::FromUnits(random.bounded(3) == 0 ? random.bounded(50'000) : 0);
        op.Moved = NewTransfer(Pick(model.Initial, from)->first, Pick(model.Initial, to)->first,
                               amount, fee);
        op.Moved.Remark = kRemarks[random.bounded(int(kRemarks.size()))];
        if (!model.Transfers.empty() && choice >= 8) {
            op.Id = op.Moved.Id
                = Pick(model.Transfers, random.bounded(int(model.Transfers.size())))->first;
            op.Kind = choice < 16 ? TLedgerOp::ModifyTransfer : TLedgerOp::DeleteTransfer;
        }
        return op;
    }
    if (model.Records.empty() || choice < 55) {
        op.Kind = TLedgerOp::Add;
        op.Record = newRecord();
        return op;
    }
    const auto &[id, record] = *Pick(model.Records, random.bounded(int(model.Records.size())));
    op.Id = id;
    if (choice < 85) {
        op.Kind = TLedgerOp::Modify;
        const TStreamRecord changed = newRecord();
        op.Record = record;
        op.Record.Kind = changed.Kind;
        op.Record.TypeId = changed.TypeId;
        op.Record.Remark = changed.Remark;
        if (random.bounded(2) == 0)
            op.Record.Account = changed.Account;
        if (random.bounded(4) != 0)
            op.Record.Fare = changed.Fare;
    } else {
        op.Kind = TLedgerOp::Delete;
    }
    return op;
}

TLedgerOp SampleAdd(const TLedgerModel &model)
{
    TLedgerOp op;
    op.Record = {1, model.Initial.begin()->first, Currency::FromUnits(125'000), 2,
                 QStringLiteral("O'Brien @#@ -- 午饭")};
    return op;
}

TLedgerOp SampleMove(const TLedgerModel &model)
{
    TLedgerOp op;
    op.Kind = TLedgerOp::Modify;
    for (const auto &[id, record] : model.Records) {
        if (record.Kind != 0)
            continue;
        op.Id = id;
        op.Record = record;
        break;
    }
    const auto other
        = std::find_if(model.Initial.begin(), model.Initial.end(),
                       [&](const auto &account) { return account.first != op.Record.Account; });
    op.Record.Account = other->first;
    op.Record.Kind = 1;
    op.Record.Fare += Currency::FromUnits(33'333);
    op.Record.Remark = QStringLiteral("改到另一账户");
    return op;
}

TLedgerOp SampleDelete(const TLedgerModel &model)
{
    TLedgerOp op;
    op.Kind = TLedgerOp::Delete;
    for (const auto &[id, record] : model.Records) {
        if (record.Kind != 0)
            op.Id = id;
    }
    return op;
}

TLedgerOp SampleTransfer(const TLedgerModel &model)
{
    TLedgerOp op;
    op.Kind = TLedgerOp::AddTransfer;
    op.Moved = NewTransfer(model.Initial.begin()->first, std::next(model.Initial.begin())->first,
                           Currency::FromUnits(2'500'000), Currency::FromUnits(20'000));
    return op;
}

QList<TLedgerOp> LongRecordAdds(const TLedgerModel &model, int count, qint64 units, int typeId,
                                qsizetype length, QChar first)
{
    QList<TLedgerOp> ops;
    for (int i = 0; i < count; ++i) {
        TLedgerOp op;
        op.Record = {i % 2, model.Initial.begin()->first, Currency::FromUnits(units + i), typeId,
                     QString(length, QChar(first.unicode() + i))};
        ops << op;
    }
    return ops;
}

QList<TLedgerOp> DeleteAll(const TLedgerModel &model)
{
    QList<TLedgerOp> ops;
    for (const auto &[id, record] : model.Records) {
        TLedgerOp op;
        op.Kind = TLedgerOp::Delete;
        op.Id = id;
        ops << op;
    }
    return ops;
}

void ApplyOp(TLedgerModel &model, const TLedgerOp &op)
{
    switch (op.Kind) {
    case TLedgerOp::Add:
        model.Records[++model.LastId] = op.Record;
        break;
    case TLedgerOp::Modify:
        model.Records[op.Id] = op.Record;
        break;
    case TLedgerOp::Delete:
        model.Records.erase(op.Id);
        break;
    case TLedgerOp::AddTransfer:
        // A new transfer's ID is one past the largest one held.
        model.Transfers[model.Transfers.empty() ? 1 : model.Transfers.rbegin()->first + 1]
            = op.Moved;
        model.Transfers.rbegin()->second.Id = model.Transfers.rbegin()->first;
        break;
    case TLedgerOp::ModifyTransfer:
        model.Transfers[op.Id] = op.Moved;
        break;
    case TLedgerOp::DeleteTransfer:
        model.Transfers.erase(op.Id);
        break;
    }
}

void RunOp(const TLedgerOp &op)
{
    const QString id = QString::number(op.Id);
    if (op.Kind == TLedgerOp::Delete)
        GBookKeep->DeleteRecord(id);
    else if (op.Kind == TLedgerOp::AddTransfer)
        Transfers::Add(op.Moved);
    else if (op.Kind == TLedgerOp::ModifyTransfer)
        Transfers::Modify(*Transfers::Read(op.Id), op.Moved);
    else if (op.Kind == TLedgerOp::DeleteTransfer)
        Transfers::Remove(op.Id);
    if (op.Kind != TLedgerOp::Add && op.Kind != TLedgerOp::Modify)
        return;
    int oldKind = 0;
    QString oldAccount;
    Currency oldFare;
    if (op.Kind == TLedgerOp::Modify) {
        GBookKeep->ReadRecord(id);
        oldKind = GBookKeep->FInOutType;
        oldAccount = GBookKeep->FAccountName;
        oldFare = GBookKeep->FFare;
    }
    GBookKeep->FID = id;
    GBookKeep->FInOutType = op.Record.Kind;
    GBookKeep->FAccountName = op.Record.Account;
    GBookKeep->FFare = op.Record.Fare;
    GBookKeep->FTypeID = op.Record.TypeId;
    GBookKeep->FRemark = op.Record.Remark;
    GBookKeep->FInDate = QDateTime(QDate(2024, 5, 1), QTime(0, 0));
    if (op.Kind == TLedgerOp::Add)
        GBookKeep->AddRecord();
    else
        GBookKeep->ModifyRecord(oldKind, oldAccount, oldFare);
}

QString ReadBooksState(const QString &fileName, TBooksState &state)
{
    TRawDb db(fileName, SQLITE_OPEN_READWRITE);
    if (!db.Db())
        return db.Error();
    return ReadState(db, state);
}

QString CheckBooks(const QString &fileName, const std::map<QString, Currency> &initial)
{
    if (!QFile::exists(fileName))
        return QStringLiteral("%1 is missing").arg(fileName);
    TRawDb db(fileName, SQLITE_OPEN_READWRITE);
    if (!db.Db())
        return QStringLiteral("does not open: %1").arg(db.Error());
    const Outcome check = DbFile::Check(db.Db(), DbFile::TCheckDepth::Restore);
    if (!check.IsSound())
        return QStringLiteral("file check: %1").arg(check.Reason());

    TBooksState state;
    QString error = ReadState(db, state);
    if (!error.isEmpty())
        return QStringLiteral("does not read: %1").arg(error);
    std::map<QString, Currency> moves = TransferMoves(state.Transfers);
    std::map<QString, std::pair<Currency, Currency>> sums;
    for (const auto &[id, record] : state.Records) {
        if (!state.Accounts.count(record.Account))
            return QStringLiteral("record %1 names no account (%2)").arg(id).arg(record.Account);
        auto &[in, out] = sums[record.Account];
        (record.Kind == 0 ? in : out) += record.Fare;
    }
    for (const auto &[name, row] : state.Accounts) {
        const auto [in, out] = sums[name];
        const auto start = initial.find(name);
        if (start == initial.end())
            return QStringLiteral("unknown account %1").arg(name);
        if (row.InFare != in || row.OutFare != out
            || row.Fare != start->second + in - out + moves[name])
            return QStringLiteral("%1: Fare %2, InFare %3, OutFare %4, but its records add up "
                                  "to income %5 and expense %6 on an initial %7, transfers %8")
                .arg(name, row.Fare.ToString(), row.InFare.ToString(), row.OutFare.ToString(),
                     in.ToString(), out.ToString(), start->second.ToString(),
                     moves[name].ToString());
    }
    return {};
}
