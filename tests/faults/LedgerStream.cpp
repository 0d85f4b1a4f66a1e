#include "LedgerStream.h"

#include "data/DbFile.h"
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
    if (error.isEmpty())
        error = db.Rows("select seq from sqlite_sequence where name='BookKeep'",
                        [&](sqlite3_stmt *row) { state.LastId = sqlite3_column_int64(row, 0); });
    return error;
}

template<typename Map> auto Pick(const Map &map, int at)
{
    return std::next(map.begin(), at);
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
    state.Records = Records;
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
    default:
        return QStringLiteral("delete %1").arg(Id);
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
    if (model.Records.empty() || choice < 45) {
        op.Kind = TLedgerOp::Add;
        op.Record = newRecord();
        return op;
    }
    const auto &[id, record] = *Pick(model.Records, random.bounded(int(model.Records.size())));
    op.Id = id;
    if (choice < 80) {
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
    }
}

void RunOp(const TLedgerOp &op)
{
    const QString id = QString::number(op.Id);
    if (op.Kind == TLedgerOp::Delete) {
        GBookKeep->DeleteRecord(id);
        return;
    }
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
        if (row.InFare != in || row.OutFare != out || row.Fare != start->second + in - out)
            return QStringLiteral("%1: Fare %2, InFare %3, OutFare %4, but its records add up "
                                  "to income %5 and expense %6 on an initial %7")
                .arg(name, row.Fare.ToString(), row.InFare.ToString(), row.OutFare.ToString(),
                     in.ToString(), out.ToString(), start->second.ToString());
    }
    return {};
}
