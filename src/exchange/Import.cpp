#include "Import.h"

#include "BillMerge.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "exchange/ImportRules.h"
#include "ledger/Categories.h"
#include "ledger/Transfers.h"
#include "ledger/UntAccount.h"
#include "ledger/UntBookKeep.h"

#include <QHash>
#include <QMultiHash>

namespace {

// clang-format off
const QString kReadSetting = QStringLiteral("select Value from ImportSetting where Name='%s'");
const QString kSaveSetting = QStringLiteral("insert or replace into ImportSetting(Name,Value) values (?,?)");
const QString kReadSettings = QStringLiteral("select Name,Value from ImportSetting where Name like '%s%%'");
const QString kAccountRecords = QStringLiteral("select cast(InDate as integer),iif(InOutType=0,0,1),cast(round(Fare*10000) as integer) from BookKeep where AccountName='%s' and InDate>=%s and InDate<%s");
// The rows imported from bills of one format: their identities start with it.
const QString kImportedRows = QStringLiteral("select r.SourceId,r.RecordID,coalesce(l.TransferID,0) from ImportedRow r left join ImportLink l on l.SourceId=r.SourceId where r.SourceId>='%s:' and r.SourceId<'%s;'");
// What earlier imports booked alone while the other side of the same money
// may still come, with the money as it is booked now.
const QString kPending = QStringLiteral("select l.App,l.Awaits,l.RecordID,l.TransferID,coalesce(b.AccountName,t.FromAccount),coalesce(t.ToAccount,''),cast(coalesce(b.InDate,t.InDate) as integer),iif(b.InOutType=0,0,1),cast(round(coalesce(b.Fare,t.Fare)*10000) as integer) from ImportLink l left join BookKeep b on l.RecordID<>0 and b.ID=l.RecordID left join Transfer t on l.TransferID<>0 and t.ID=l.TransferID where l.Awaits is not null and coalesce(b.InDate,t.InDate) between %s and %s");
const QString kLinkRow = QStringLiteral("insert or replace into ImportedRow(SourceId,RecordID) values ('%s',%s)");
const QString kLink = QStringLiteral("insert or replace into ImportLink(SourceId,RecordID,TransferID,App,Awaits) values ('%s',%s,%s,'%s',%s)");
const QString kLinkRecordOf = QStringLiteral("insert or replace into ImportLink(SourceId,RecordID,TransferID,App,Awaits) values ('%s',(select RecordID from ImportedRow where SourceId='%s'),%s,'%s',%s)");
const QString kLinkedRowOf = QStringLiteral("insert or replace into ImportedRow(SourceId,RecordID) values ('%s',(select RecordID from ImportedRow where SourceId='%s'))");
const QString kNoLongerAwaited = QStringLiteral("update ImportLink set Awaits=null where Awaits is not null and RecordID=%s and TransferID=%s");
const QString kEnrichRecord = QStringLiteral("update BookKeep set InDate='%s',Remark='%s',TypeID=%s where ID=%s");
const QString kPurchaseCategory = QStringLiteral("select b.TypeID from ImportedRow r join BookKeep b on b.ID=r.RecordID where r.SourceId='%s' and b.InOutType<>0");
const QString kEnrichTransfer = QStringLiteral("update Transfer set InDate='%s',Remark='%s' where ID=%s");
// clang-format on

QString ReadSetting(const QString &name)
{
    TQuery &query = GDbAccess->OpenQuery(Format(kReadSetting, {SqlText(name)}));
    const QString value = query.Eof() ? QString() : query.Fields(0).AsString();
    query.Close();
    return value;
}

void SaveSetting(const QString &name, const QString &value)
{
    GDbAccess->ExecBound(kSaveSetting, {name, value});
}

// The settings whose names start with prefix, by the rest of their names.
QHash<QString, QString> ReadSettings(const QString &prefix)
{
    QHash<QString, QString> settings;
    for (TQuery &query = GDbAccess->OpenQuery(Format(kReadSettings, {SqlText(prefix)}));
         !query.Eof(); query.Next()) {
        // LIKE also takes '_' for any character and ignores letter case.
        const QString name = query.Fields(0).AsString();
        if (name.startsWith(prefix))
            settings.insert(name.mid(prefix.size()), query.Fields(1).AsString());
    }
    GDbAccess->FQuery.Close();
    return settings;
}

QString AccountKey(const QString &formatId)
{
    return QStringLiteral("account:") + formatId;
}

const QString kSourcePrefix = QStringLiteral("source:");
const QString kOverridePrefix = QStringLiteral("override:");
const QString kDeleteSetting = QStringLiteral("delete from ImportSetting where Name=?");

QString MappingKey(const QStringList &header)
{
    return QStringLiteral("mapping:") + header.join(u'\x1f');
}

QString DefaultKey(int kind)
{
    return QStringLiteral("default:%1").arg(kind);
}

QString HintPrefix(int kind)
{
    return QStringLiteral("category:%1:").arg(kind);
}

// A stored record as duplicates are matched: its day, kind and amount.
struct TRecordKey
{
    qint64 Day;
    int Kind;
    qint64 Units;
    bool operator==(const TRecordKey &) const = default;
};

size_t qHash(const TRecordKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.Day, key.Kind, key.Units);
}

// Refuses, naming the row, what the books cannot hold: an entry without an
// amount, or one that takes a total of the account beyond the largest amount
// the books keep. Only the entries moving account's money count. The totals
// move as the import books them: first all the income, then all the expense.
void CheckAmounts(const QList<TBill> &bills, const QList<TEntry> &entries, const QString &account)
{
    TAccount books;
    books.ReadAccount(account);
    const Currency limit = Currency::FromUnits(Currency::kMaxUnits);
    Currency income = books.FInFare;
    Currency expense = books.FOutFare;
    Currency peak = books.FFare; // the balance once the income is booked
    Currency balance = books.FFare;
    const TEntry *sunk = nullptr; // the entry after which the balance stays too low
    const auto refuse = [&](const TEntry &entry, const QString &total) {
        throw Exception(QStringLiteral("第 %1 行的金额 %2 使账户“%3”的%4超出上限 %5")
                            .arg(bills[entry.Row.Bill].Statement.Rows[entry.Row.Row].Line)
                            .arg(entry.Amount.ToString(), account, total, limit.ToString()));
    };
    for (const TEntry &entry : entries) {
        const bool arrives = entry.IsTransfer && entry.ToAccount == account;
        if (entry.Account != account && !arrives)
            continue;
        if (entry.Amount == Currency())
            throw Exception(QStringLiteral("第 %1 行的金额为零，不能导入")
                                .arg(bills[entry.Row.Bill].Statement.Rows[entry.Row.Row].Line));
        if (arrives || (!entry.IsTransfer && entry.Kind == 0)) {
            if (!entry.IsTransfer)
                income += entry.Amount;
            peak += entry.Amount;
            balance += entry.Amount;
            if (income > limit)
                refuse(entry, QStringLiteral("收入合计"));
            if (peak > limit)
                refuse(entry, QStringLiteral("余额"));
        } else {
            if (!entry.IsTransfer)
                expense += entry.Amount;
            balance -= entry.Amount;
            if (expense > limit)
                refuse(entry, QStringLiteral("支出合计"));
        }
        if (balance >= -limit)
            sunk = nullptr;
        else if (!sunk)
            sunk = &entry;
    }
    if (sunk)
        refuse(*sunk, QStringLiteral("余额"));
}

// The category of the purchase a refund gives money back for, when an earlier
// import booked it (its order number comes before an underscore in the
// refund's); 0 when none.
int PurchaseCategory(const TStatementRow &row)
{
    const qsizetype cut = row.SourceId.lastIndexOf(u'_');
    if (!row.Refund || CategoryKind(row) != 1 || cut < 0)
        return 0;
    TQuery &query
        = GDbAccess->OpenQuery(Format(kPurchaseCategory, {SqlText(row.SourceId.left(cut))}));
    const int typeId = query.Eof() ? 0 : query.Fields(0).AsInteger();
    query.Close();
    return typeId;
}

// What an earlier import booked alone, awaiting the other side of its money.
struct TPending
{
    QString App;
    int Awaits = 0;
    qint64 Record = 0;
    qint64 Transfer = 0;
    QString Account; // a transfer's from-account
    QString ToAccount;
    qint64 Day = 0;
    int Kind = 1;
    qint64 Units = 0; // a refund's negative
    bool Used = false;
};

// The pending bookings of the days from first to last, by their amount.
using TPendingByUnits = QHash<qint64, QList<TPending>>;

TPendingByUnits ReadPending(qint64 first, qint64 last)
{
    TPendingByUnits pending;
    const QString sql = Format(kPending, {QString::number(first), QString::number(last)});
    GDbAccess->ReadLong(sql, [&pending](TQuery &query) {
        for (; !query.Eof(); query.Next()) {
            const TPending p {
                query.Fields(0).AsString(), query.Fields(1).AsInteger(), query.Fields(2).AsInt64(),
                query.Fields(3).AsInt64(),  query.Fields(4).AsString(),  query.Fields(5).AsString(),
                query.Fields(6).AsInt64(),  query.Fields(7).AsInteger(), query.Fields(8).AsInt64()};
            pending[p.Units] << p;
        }
    });
    return pending;
}

// Whether a planned row moves the money a pending booking holds.
bool SameMoney(const TStatementRow &row, const TRowPlan &plan, const TPending &pending)
{
    if (row.Status == TRowStatus::Transfer)
        return pending.Transfer != 0 && pending.Account == plan.Account
            && pending.ToAccount == plan.ToAccount && pending.Units == row.Amount.Units();
    const bool refund = row.Status == TRowStatus::Refund;
    return pending.Record != 0 && pending.Account == plan.Account
        && pending.Kind == CategoryKind(row)
        && pending.Units == (refund ? -row.Amount : row.Amount).Units();
}

// Finds, oldest first, what an earlier import booked of the other side of a
// row's money: a card's line books 0-2 days after the app.
TPending *FindPending(TPendingByUnits &pending, const TStatementRow &row, const TRowPlan &plan,
                      int awaits)
{
    const qint64 day = DayNumber(row.Date);
    const bool refund = row.Status == TRowStatus::Refund;
    TPending *found = nullptr;
    for (TPending &p : pending[(refund ? -row.Amount : row.Amount).Units()]) {
        const qint64 lag = awaits == 0 ? day - p.Day : p.Day - day;
        if (!p.Used && p.Awaits != awaits && p.App == row.App && lag >= 0
            && lag <= BillMerge::kCardLagDays && SameMoney(row, plan, p)
            && (!found || p.Day < found->Day))
            found = &p;
    }
    return found;
}

} // namespace

namespace StatementImport {

QList<TImportCategory> Categories(int kind)
{
    QList<TImportCategory> categories;
    for (const ::Categories::Row &row : ::Categories::OfKind(kind).Rows())
        categories << TImportCategory {row.Data.SelfIndex, row.Name};
    return categories;
}

QString RememberedAccount(const QString &formatId)
{
    return ReadSetting(AccountKey(formatId));
}

void RememberSourceAccount(const QString &source, const QString &account)
{
    if (source.isEmpty())
        throw Exception(QStringLiteral("没有收付款方式，不能为它指定账户"));
    if (!account.isEmpty() && !TAccount().AccountExists(account))
        throw Exception(QStringLiteral("账户“%1”不存在").arg(account));
    SaveSetting(kSourcePrefix + source, account);
}

TColumnMapping RememberedMapping(const QStringList &header)
{
    return TColumnMapping::FromText(ReadSetting(MappingKey(header)));
}

void RememberMapping(const QStringList &header, const TColumnMapping &mapping)
{
    SaveSetting(MappingKey(header), mapping.ToText());
}

int RememberedDefault(int kind)
{
    bool ok = false;
    const int value = ReadSetting(DefaultKey(kind)).toInt(&ok);
    return ok ? value : -1;
}

QList<int> ChooseCategories(const TStatement &statement, int defaultIncome, int defaultExpense)
{
    QHash<QString, int> byName[2];
    QHash<QString, int> chosen[2];
    for (int kind = 0; kind < 2; ++kind) {
        const QList<TImportCategory> categories = Categories(kind);
        for (auto it = categories.crbegin(); it != categories.crend(); ++it)
            byName[kind].insert(it->Name, it->TypeID); // the lowest index wins
        const QHash<QString, QString> settings = ReadSettings(HintPrefix(kind));
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            chosen[kind].insert(it.key(), it.value().toInt());
    }
    const QList<std::optional<TImportRule>> rules = ImportRules::Match(statement);
    QList<int> typeIds;
    typeIds.reserve(statement.Rows.size());
    for (qsizetype i = 0; i < statement.Rows.size(); ++i) {
        const TStatementRow &row = statement.Rows[i];
        const int kind = CategoryKind(row);
        const int fallback = kind == 0 ? defaultIncome : defaultExpense;
        typeIds << (rules[i] ? rules[i]->TypeID
                             : byName[kind].value(row.CategoryHint,
                                                  chosen[kind].value(row.CategoryHint, fallback)));
    }
    for (qsizetype i = 0; i < statement.Rows.size(); ++i)
        if (const int purchased = PurchaseCategory(statement.Rows[i]); purchased > 0)
            typeIds[i] = purchased;
    return typeIds;
}

BillMerge::TPockets RememberedPockets()
{
    QStringList existing;
    TAccount().ListAccountNames(existing);
    BillMerge::TPockets pockets = ReadSettings(kSourcePrefix);
    pockets.removeIf([&existing](const auto &it) { return !existing.contains(it.value()); });
    return pockets;
}

BillMerge::TOverrides RememberedOverrides()
{
    BillMerge::TOverrides overrides;
    const QHash<QString, QString> settings = ReadSettings(kOverridePrefix);
    for (auto it = settings.cbegin(); it != settings.cend(); ++it)
        overrides.insert(it.key(),
                         it.value().toInt() == 0 ? BillMerge::TOverride::Separate
                                                 : BillMerge::TOverride::Plain);
    return overrides;
}

void RememberOverride(const QString &counterparty, std::optional<BillMerge::TOverride> choice)
{
    if (choice)
        SaveSetting(kOverridePrefix + counterparty,
                    QString::number(*choice == BillMerge::TOverride::Separate ? 0 : 1));
    else
        GDbAccess->ExecBound(kDeleteSetting, {kOverridePrefix + counterparty});
}

void PlanBills(QList<TBill> &bills)
{
    for (TBill &bill : bills)
        bill.RuleAccounts = ImportRules::RowAccounts(bill.Read);
    const BillMerge::TOverrides overrides = RememberedOverrides();
    BillMerge::Plan(bills, RememberedPockets(), overrides);
    MarkKnownRows(bills, overrides);
}

void MarkKnownRows(QList<TBill> &bills, const BillMerge::TOverrides &overrides)
{
    struct TBooked
    {
        qint64 Record;
        qint64 Transfer;
    };
    QHash<QString, TBooked> imported;
    QSet<QString> formats;
    for (const TBill &bill : bills)
        formats.insert(bill.Read.FormatId);
    for (const QString &format : formats)
        GDbAccess->ReadLong(
            Format(kImportedRows, {SqlText(format), SqlText(format)}), [&imported](TQuery &query) {
                for (; !query.Eof(); query.Next())
                    imported.insert(query.Fields(0).AsString(),
                                    TBooked {query.Fields(1).AsInt64(), query.Fields(2).AsInt64()});
            });
    const auto row = [&bills](TRowRef ref) -> TStatementRow & {
        return bills[ref.Bill].Statement.Rows[ref.Row];
    };
    const auto plan
        = [&bills](TRowRef ref) -> TRowPlan & { return bills[ref.Bill].Plans[ref.Row]; };
    const auto skip = [](TStatementRow &r) {
        r.Status = TRowStatus::Skipped;
        r.Reason = QStringLiteral("以前已经导入过");
    };

    // A pair of this import of which one side came before: the other joins
    // what that one booked, or stands alone.
    QList<TRowRef> lone;
    QDate first;
    QDate last;
    for (int b = 0; b < bills.size(); ++b)
        for (int r = 0; r < bills[b].Statement.Rows.size(); ++r) {
            const TRowRef ref {b, r};
            TStatementRow &self = row(ref);
            if (!BillMerge::Bookable(self.Status))
                continue;
            if (!first.isValid() || self.Date < first)
                first = self.Date;
            if (!last.isValid() || self.Date > last)
                last = self.Date;
            const TRowRef partner = plan(ref).Partner;
            if (!partner.IsValid()) {
                lone << ref;
                continue;
            }
            auto before = imported.find(self.SourceId);
            if (before == imported.end())
                continue;
            skip(self);
            TStatementRow &other = row(partner);
            if (other.Status == TRowStatus::Merged && !imported.contains(other.SourceId)) {
                plan(partner).KnownRecord = before->Record;
                plan(partner).KnownTransfer = before->Transfer;
            } else if (BillMerge::Bookable(other.Status) && !imported.contains(other.SourceId)) {
                plan(partner).Partner = {};
                lone << partner;
            }
        }
    for (int b = 0; b < bills.size(); ++b)
        for (int r = 0; r < bills[b].Statement.Rows.size(); ++r)
            if (row({b, r}).Status == TRowStatus::Merged && imported.contains(row({b, r}).SourceId))
                skip(row({b, r}));
    if (!first.isValid())
        return;
    std::stable_sort(lone.begin(), lone.end(), [&row](TRowRef a, TRowRef b) {
        const TStatementRow &x = row(a);
        const TStatementRow &y = row(b);
        return x.Date != y.Date ? x.Date < y.Date : x.Time < y.Time;
    });

    TPendingByUnits pending = ReadPending(DayNumber(first) - BillMerge::kCardLagDays,
                                          DayNumber(last) + BillMerge::kCardLagDays);
    // How many records of each key are still unmatched, per account.
    QHash<QString, QHash<TRecordKey, int>> stored;
    for (const TRowRef ref : lone) {
        TStatementRow &self = row(ref);
        TRowPlan &planned = plan(ref);
        if (imported.contains(self.SourceId)) {
            skip(self);
            continue;
        }
        const bool separate
            = overrides.value(BillMerge::Counterparty(self), BillMerge::TOverride::Plain)
            == BillMerge::TOverride::Separate;
        const int awaits = separate ? -1 : BillMerge::Awaits(bills[ref.Bill], ref.Row);
        if (TPending *p = awaits >= 0 ? FindPending(pending, self, planned, awaits) : nullptr) {
            p->Used = true;
            self.Status = TRowStatus::Merged;
            self.Reason
                = QStringLiteral("与以前导入的%1是同一笔")
                      .arg(p->Transfer != 0 ? QStringLiteral("转账") : QStringLiteral("记录"));
            planned.KnownRecord = p->Record;
            planned.KnownTransfer = p->Transfer;
            planned.Enrich = awaits == 1;
            planned.Status = self.Status;
            planned.Reason = self.Reason;
            continue;
        }
        if (self.Status != TRowStatus::New)
            continue;
        const int slack = bills[ref.Bill].Read.IsBank ? 1 : 0;
        if (!stored.contains(planned.Account)) {
            QHash<TRecordKey, int> &keys = stored[planned.Account];
            const QString sql
                = Format(kAccountRecords,
                         {SqlText(planned.Account), QString::number(DayNumber(first) - 1),
                          QString::number(DayNumber(last) + 2)});
            GDbAccess->ReadLong(sql, [&keys](TQuery &query) {
                for (; !query.Eof(); query.Next())
                    ++keys[TRecordKey {query.Fields(0).AsString().toLongLong(),
                                       query.Fields(1).AsInteger(),
                                       query.Fields(2).AsString().toLongLong()}];
            });
        }
        QHash<TRecordKey, int> &keys = stored[planned.Account];
        const qint64 day = DayNumber(self.Date);
        // The same day first, then the day before and after.
        for (const qint64 offset : {qint64(0), qint64(-slack), qint64(slack)}) {
            auto it = keys.find(TRecordKey {day + offset, self.Kind, self.Amount.Units()});
            if (it == keys.end() || it.value() == 0)
                continue;
            --it.value();
            self.Status = TRowStatus::Duplicate;
            self.Reason = offset == 0 ? QStringLiteral("账户中同一天已有金额相同的记录")
                                      : QStringLiteral("账户中相邻一天已有金额相同的记录");
            break;
        }
    }
}

int ImportBills(const QList<TBill> &bills, const QList<QList<int>> &typeIds, int defaultIncome,
                int defaultExpense, const TWorkHooks &hooks, const QList<QList<int>> &proposed)
{
    if (typeIds.size() != bills.size())
        throw Exception(QStringLiteral("每一行都要有分类"));
    for (qsizetype b = 0; b < bills.size(); ++b)
        if (typeIds[b].size() != bills[b].Statement.Rows.size())
            throw Exception(QStringLiteral("每一行都要有分类"));
    const QList<TEntry> entries = BillMerge::Entries(bills);
    QStringList targets; // the accounts written to, in the order of their first record
    QHash<QString, QList<TNewRecord>> records;
    QList<const TEntry *> transfers;
    QStringList links; // statements run after the records and transfers are in
    QHash<QString, int> hintChoices[2];
    QSet<QString> named[2];
    int feeType = defaultExpense; // the expense category named like a fee's hint, if any
    for (int kind = 0; kind < 2; ++kind)
        for (const TImportCategory &c : Categories(kind)) {
            named[kind].insert(c.Name);
            if (kind == 1 && c.Name == BillMerge::kFeeHint && feeType == defaultExpense)
                feeType = c.TypeID;
        }
    QList<QList<std::optional<TImportRule>>> ruled;
    for (const TBill &bill : bills)
        ruled << ImportRules::Match(bill.Statement);
    for (const TEntry &entry : entries) {
        const TBill &bill = bills[entry.Row.Bill];
        const TStatementRow &row = bill.Statement.Rows[entry.Row.Row];
        if (entry.IsTransfer) {
            transfers << &entry;
            continue;
        }
        const int typeId = entry.IsFee ? feeType : typeIds[entry.Row.Bill][entry.Row.Row];
        const QString sourceId = entry.IsFee ? row.SourceId + QStringLiteral("#fee") : row.SourceId;
        if (!records.contains(entry.Account))
            targets << entry.Account;
        records[entry.Account] << TNewRecord {entry.Kind,   typeId,     entry.Remark,
                                              entry.Amount, entry.Date, sourceId};
        // A category a rule gave says nothing about the row's hint.
        if (!entry.IsFee && !row.CategoryHint.isEmpty()
            && !named[entry.Kind].contains(row.CategoryHint)
            && !ruled[entry.Row.Bill][entry.Row.Row])
            hintChoices[entry.Kind].insert(row.CategoryHint, typeId);
        const int awaits = entry.IsFee ? -1 : BillMerge::Awaits(bill, entry.Row.Row);
        if (awaits >= 0)
            links << Format(kLinkRecordOf,
                            {SqlText(sourceId), SqlText(sourceId), QStringLiteral("0"),
                             SqlText(row.App), QString::number(awaits)});
    }
    // Rows booked with another: the same record, or the same transfer.
    QList<std::pair<TRowRef, TRowRef>> merged;
    qsizetype known = 0;
    for (int b = 0; b < bills.size(); ++b)
        for (int r = 0; r < bills[b].Statement.Rows.size(); ++r) {
            const TStatementRow &row = bills[b].Statement.Rows[r];
            const TRowPlan &plan = bills[b].Plans[r];
            if (row.Status != TRowStatus::Merged)
                continue;
            if (plan.KnownRecord == 0 && plan.KnownTransfer == 0) {
                // A lead left out books nothing this row could join.
                if (BillMerge::Bookable(
                        bills[plan.Partner.Bill].Statement.Rows[plan.Partner.Row].Status))
                    merged << std::pair(TRowRef {b, r}, plan.Partner);
                continue;
            }
            ++known;
            const QString record = QString::number(plan.KnownRecord);
            const QString transfer = QString::number(plan.KnownTransfer);
            links << Format(kLinkRow, {SqlText(row.SourceId), record})
                  << Format(kLink,
                            {SqlText(row.SourceId), record, transfer, SqlText(row.App),
                             QStringLiteral("null")})
                  << Format(kNoLongerAwaited, {record, transfer});
            if (plan.Enrich && plan.KnownRecord != 0)
                links << Format(kEnrichRecord,
                                {SqlDate(row.Date), SqlText(row.Remark),
                                 QString::number(typeIds[b][r]), record});
            else if (plan.Enrich)
                links << Format(kEnrichTransfer,
                                {SqlDate(plan.Date), SqlText(row.Remark), transfer});
        }
    const qsizetype total = entries.size();
    if (total == 0 && known == 0)
        throw Exception(QStringLiteral("没有要导入的记录"));
    QStringList moved = targets; // every account whose money moves
    for (const TEntry *entry : transfers)
        for (const QString &account : {entry->Account, entry->ToAccount})
            if (!moved.contains(account))
                moved << account;
    for (const QString &account : moved)
        CheckAmounts(bills, entries, account);

    // The records and the choices remembered with them commit together, so a
    // failure never leaves an import half done or reported wrongly.
    GDbAccess->InTransaction([&] {
        GDbAccess->NameStep(QStringLiteral("导入账单 %1 条").arg(total));
        TBookKeep books;
        // Told and checked between batches: a stop raised there rolls back.
        const auto progress = [&hooks, total](qsizetype written) {
            if (hooks.Cancelled && hooks.Cancelled())
                throw EAbort();
            if (hooks.Report && total > 0)
                hooks.Report(double(written) / double(total), {});
        };
        progress(0);
        qsizetype done = 0;
        for (const QString &target : targets) {
            books.AddRecords(target, records[target],
                             [&](qsizetype written) { progress(done + written); });
            done += records[target].size();
        }
        QHash<QString, qint64> transferIds; // by the source identity of the row it is booked from
        for (const TEntry *entry : transfers) {
            const TBill &bill = bills[entry->Row.Bill];
            const TStatementRow &row = bill.Statement.Rows[entry->Row.Row];
            const qint64 id
                = Transfers::Add(Transfer {0, entry->Date, entry->Account, entry->ToAccount,
                                           entry->Amount, Currency(), entry->Remark});
            transferIds.insert(row.SourceId, id);
            const int awaits = BillMerge::Awaits(bill, entry->Row.Row);
            links << Format(kLinkRow, {SqlText(row.SourceId), QStringLiteral("0")})
                  << Format(kLink,
                            {SqlText(row.SourceId), QStringLiteral("0"), QString::number(id),
                             SqlText(row.App),
                             awaits >= 0 ? QString::number(awaits) : QStringLiteral("null")});
            progress(++done);
        }
        for (const auto &[self, lead] : merged) {
            const QString &sourceId = bills[self.Bill].Statement.Rows[self.Row].SourceId;
            const TStatementRow &leader = bills[lead.Bill].Statement.Rows[lead.Row];
            links << Format(kLinkedRowOf, {SqlText(sourceId), SqlText(leader.SourceId)})
                  << Format(kLinkRecordOf,
                            {SqlText(sourceId), SqlText(leader.SourceId),
                             QString::number(transferIds.value(leader.SourceId)),
                             SqlText(leader.App), QStringLiteral("null")});
        }
        if (!links.isEmpty())
            DbExec(links.join(kBatchSeparator));
        for (const TBill &bill : bills)
            SaveSetting(AccountKey(bill.Read.FormatId), bill.Account);
        SaveSetting(DefaultKey(0), QString::number(defaultIncome));
        SaveSetting(DefaultKey(1), QString::number(defaultExpense));
        for (int kind = 0; kind < 2; ++kind) {
            const int fallback = kind == 0 ? defaultIncome : defaultExpense;
            for (auto it = hintChoices[kind].cbegin(); it != hintChoices[kind].cend(); ++it)
                if (it.value() != fallback)
                    SaveSetting(HintPrefix(kind) + it.key(), QString::number(it.value()));
        }
        for (qsizetype b = 0; b < bills.size(); ++b)
            ImportRules::Learn(bills[b].Statement, typeIds[b], proposed.value(b));
    });
    return static_cast<int>(total);
}

} // namespace StatementImport
