#include "Import.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "exchange/ImportRules.h"
#include "ledger/Categories.h"
#include "ledger/UntAccount.h"
#include "ledger/UntBookKeep.h"

#include <QHash>
#include <QMultiHash>

namespace {

// clang-format off
const QString kReadSetting = QStringLiteral("select Value from ImportSetting where Name='%s'");
const QString kSaveSetting = QStringLiteral("insert or replace into ImportSetting(Name,Value) values (?,?)");
const QString kReadSettings = QStringLiteral("select Name,Value from ImportSetting where Name like '%s%%'");
const QString kImportedIds = QStringLiteral("select SourceId from ImportedRow");
const QString kAccountRecords = QStringLiteral("select cast(InDate as integer),iif(InOutType=0,0,1),cast(round(Fare*10000) as integer) from BookKeep where AccountName='%s' and InDate>=%s and InDate<%s");
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

QString AccountKey(const QString &formatId)
{
    return QStringLiteral("account:") + formatId;
}

const QString kSourcePrefix = QStringLiteral("source:");

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

// Refuses, naming the row, what the books cannot hold: a row without an
// amount, or one that takes a total of the account beyond the largest amount
// the books keep. Only the rows going to account (accounts in row order)
// count. The totals move as the import books them: first all the income, then
// all the expense.
void CheckAmounts(const TStatement &statement, const QStringList &accounts, const QString &account)
{
    TAccount books;
    books.ReadAccount(account);
    const Currency limit = Currency::FromUnits(Currency::kMaxUnits);
    Currency income = books.FInFare;
    Currency expense = books.FOutFare;
    Currency peak = books.FFare; // the balance once the income is booked
    Currency balance = books.FFare;
    const TStatementRow *sunk = nullptr; // the row after which the balance stays too low
    const auto refuse = [&](const TStatementRow &row, const QString &total) {
        throw Exception(QStringLiteral("第 %1 行的金额 %2 使账户“%3”的%4超出上限 %5")
                            .arg(row.Line)
                            .arg(row.Amount.ToString(), account, total, limit.ToString()));
    };
    for (qsizetype i = 0; i < statement.Rows.size(); ++i) {
        const TStatementRow &row = statement.Rows[i];
        if (row.Status != TRowStatus::New || accounts[i] != account)
            continue;
        if (row.Amount <= Currency())
            throw Exception(QStringLiteral("第 %1 行的金额为零，不能导入").arg(row.Line));
        if (row.Kind == 0) {
            income += row.Amount;
            peak += row.Amount;
            balance += row.Amount;
            if (income > limit)
                refuse(row, QStringLiteral("收入合计"));
            if (peak > limit)
                refuse(row, QStringLiteral("余额"));
        } else {
            expense += row.Amount;
            balance -= row.Amount;
            if (expense > limit)
                refuse(row, QStringLiteral("支出合计"));
        }
        if (balance >= -limit)
            sunk = nullptr;
        else if (!sunk)
            sunk = &row;
    }
    if (sunk)
        refuse(*sunk, QStringLiteral("余额"));
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

QString RememberedSourceAccount(const QString &source)
{
    return ReadSetting(kSourcePrefix + source);
}

void RememberSourceAccount(const QString &source, const QString &account)
{
    if (source.isEmpty())
        throw Exception(QStringLiteral("没有收付款方式，不能为它指定账户"));
    if (!account.isEmpty() && !TAccount().AccountExists(account))
        throw Exception(QStringLiteral("账户“%1”不存在").arg(account));
    SaveSetting(kSourcePrefix + source, account);
}

QStringList RowAccounts(const TStatement &statement, const QString &account)
{
    QStringList existing;
    TAccount().ListAccountNames(existing);
    QHash<QString, QString> sent;
    for (TQuery &query = GDbAccess->OpenQuery(Format(kReadSettings, {SqlText(kSourcePrefix)}));
         !query.Eof(); query.Next()) {
        const QString name = query.Fields(0).AsString();
        const QString target = query.Fields(1).AsString();
        if (name.startsWith(kSourcePrefix) && existing.contains(target))
            sent.insert(name.mid(kSourcePrefix.size()), target);
    }
    GDbAccess->FQuery.Close();
    QStringList accounts;
    accounts.reserve(statement.Rows.size());
    for (const TStatementRow &row : statement.Rows)
        accounts << (row.Source.isEmpty() ? account : sent.value(row.Source, account));
    return accounts;
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

void MarkKnownRows(TStatement &statement, const QString &account)
{
    for (TStatementRow &row : statement.Rows)
        if (row.Status == TRowStatus::Duplicate
            || (row.Status == TRowStatus::Skipped && row.Reason.startsWith(u"以前已经导入")))
            row.Status = TRowStatus::New;

    QSet<QString> imported;
    GDbAccess->ReadLong(kImportedIds, [&imported](TQuery &query) {
        for (; !query.Eof(); query.Next())
            imported.insert(query.Fields(0).AsString());
    });
    const QDate first = statement.FirstDate();
    if (!first.isValid())
        return;
    const int slack = statement.IsBank ? 1 : 0;
    const QStringList accounts = RowAccounts(statement, account);
    // How many records of each key are still unmatched, per account.
    QHash<QString, QHash<TRecordKey, int>> stored;
    for (const QString &name : accounts) {
        if (stored.contains(name))
            continue;
        QHash<TRecordKey, int> &keys = stored[name];
        const QString sql = Format(kAccountRecords,
                                   {SqlText(name), QString::number(DayNumber(first) - slack),
                                    QString::number(DayNumber(statement.LastDate()) + slack + 1)});
        GDbAccess->ReadLong(sql, [&keys](TQuery &query) {
            for (; !query.Eof(); query.Next())
                ++keys[TRecordKey {query.Fields(0).AsString().toLongLong(),
                                   query.Fields(1).AsInteger(),
                                   query.Fields(2).AsString().toLongLong()}];
        });
    }

    for (qsizetype i = 0; i < statement.Rows.size(); ++i) {
        TStatementRow &row = statement.Rows[i];
        if (row.Status != TRowStatus::New)
            continue;
        if (imported.contains(row.SourceId)) {
            row.Status = TRowStatus::Skipped;
            row.Reason = QStringLiteral("以前已经导入过");
            continue;
        }
        const qint64 day = DayNumber(row.Date);
        QHash<TRecordKey, int> &keys = stored[accounts[i]];
        // The same day first, then the day before and after.
        for (const qint64 offset : {qint64(0), qint64(-slack), qint64(slack)}) {
            auto it = keys.find(TRecordKey {day + offset, row.Kind, row.Amount.Units()});
            if (it == keys.end() || it.value() == 0)
                continue;
            --it.value();
            row.Status = TRowStatus::Duplicate;
            row.Reason = offset == 0 ? QStringLiteral("账户中同一天已有金额相同的记录")
                                     : QStringLiteral("账户中相邻一天已有金额相同的记录");
            break;
        }
    }
}

QList<int> ChooseCategories(const TStatement &statement, int defaultIncome, int defaultExpense)
{
    QHash<QString, int> byName[2];
    QHash<QString, int> chosen[2];
    for (int kind = 0; kind < 2; ++kind) {
        const QList<TImportCategory> categories = Categories(kind);
        for (auto it = categories.crbegin(); it != categories.crend(); ++it)
            byName[kind].insert(it->Name, it->TypeID); // the lowest index wins
        const QString prefix = HintPrefix(kind);
        for (TQuery &query = GDbAccess->OpenQuery(Format(kReadSettings, {SqlText(prefix)}));
             !query.Eof(); query.Next()) {
            const QString name = query.Fields(0).AsString();
            if (name.startsWith(prefix))
                chosen[kind].insert(name.mid(prefix.size()), query.Fields(1).AsInteger());
        }
        GDbAccess->FQuery.Close();
    }
    const QList<std::optional<TImportRule>> rules = ImportRules::Match(statement);
    QList<int> typeIds;
    typeIds.reserve(statement.Rows.size());
    for (qsizetype i = 0; i < statement.Rows.size(); ++i) {
        const TStatementRow &row = statement.Rows[i];
        const int kind = row.Kind == 0 ? 0 : 1;
        const int fallback = kind == 0 ? defaultIncome : defaultExpense;
        typeIds << (rules[i] ? rules[i]->TypeID
                             : byName[kind].value(row.CategoryHint,
                                                  chosen[kind].value(row.CategoryHint, fallback)));
    }
    return typeIds;
}

int ImportRows(const TStatement &statement, const QList<int> &typeIds, const QString &account,
               int defaultIncome, int defaultExpense,
               const std::function<void(qsizetype total, qsizetype written)> &progress,
               const QList<int> &proposed)
{
    if (typeIds.size() != statement.Rows.size())
        throw Exception(QStringLiteral("每一行都要有分类"));
    const QStringList accounts = RowAccounts(statement, account);
    QStringList targets; // the accounts written to, in the order of their first row
    QHash<QString, QList<TNewRecord>> records;
    qsizetype total = 0;
    QHash<QString, int> hintChoices[2];
    QSet<QString> named[2];
    for (int kind = 0; kind < 2; ++kind)
        for (const TImportCategory &c : Categories(kind))
            named[kind].insert(c.Name);
    for (qsizetype i = 0; i < statement.Rows.size(); ++i) {
        const TStatementRow &row = statement.Rows[i];
        if (row.Status != TRowStatus::New)
            continue;
        const int kind = row.Kind == 0 ? 0 : 1;
        if (!records.contains(accounts[i]))
            targets << accounts[i];
        const TNewRecord record {kind, typeIds[i], row.Remark, row.Amount, row.Date, row.SourceId};
        records[accounts[i]] << record;
        ++total;
        if (!row.CategoryHint.isEmpty() && !named[kind].contains(row.CategoryHint))
            hintChoices[kind].insert(row.CategoryHint, typeIds[i]);
    }
    if (total == 0)
        throw Exception(QStringLiteral("没有要导入的记录"));
    for (const QString &target : targets)
        CheckAmounts(statement, accounts, target);

    // The records and the choices remembered with them commit together, so a
    // failure never leaves an import half done or reported wrongly.
    GDbAccess->InTransaction([&] {
        GDbAccess->NameStep(QStringLiteral("导入账单 %1 条").arg(total));
        TBookKeep books;
        if (progress)
            progress(total, 0);
        qsizetype done = 0;
        for (const QString &target : targets) {
            books.AddRecords(target, records[target], [&](qsizetype written) {
                if (progress)
                    progress(total, done + written);
            });
            done += records[target].size();
        }
        SaveSetting(AccountKey(statement.FormatId), account);
        SaveSetting(DefaultKey(0), QString::number(defaultIncome));
        SaveSetting(DefaultKey(1), QString::number(defaultExpense));
        for (int kind = 0; kind < 2; ++kind) {
            const int fallback = kind == 0 ? defaultIncome : defaultExpense;
            for (auto it = hintChoices[kind].cbegin(); it != hintChoices[kind].cend(); ++it)
                if (it.value() != fallback)
                    SaveSetting(HintPrefix(kind) + it.key(), QString::number(it.value()));
        }
        ImportRules::Learn(statement, typeIds, proposed);
    });
    return static_cast<int>(total);
}

} // namespace StatementImport
