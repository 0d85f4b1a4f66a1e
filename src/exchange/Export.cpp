#include "Export.h"

#include "data/Currency.h"
#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "ledger/Categories.h"
#include "ledger/Transfers.h"

#include <QHash>
#include <QList>
#include <QSaveFile>
#include <QSet>
#include <algorithm>

namespace {

// clang-format off
const QString kRecords = QStringLiteral("select InDate,iif(InOutType=0,0,1),TypeID,Fare,AccountName,Remark from BookKeep %s order by InDate,ID");
const QString kTransfers = QStringLiteral("select ID,InDate,FromAccount,ToAccount,Fare,Fee,Remark from Transfer %s order by InDate,ID");
const QString kAccounts = QStringLiteral("select AccountName,Fare,InFare,OutFare from Account order by rowid");
const QString kFirstDay = QStringLiteral("select cast(min(InDate) as integer) from (select min(InDate) as InDate from BookKeep union all select min(InDate) from Transfer)");
// clang-format on

// Tells the hooks how far an export got and stops it when asked: while the
// rows are read, without a fraction; then the fraction of them written. Looks
// once in so many rows, since a look costs more than a row.
class TRowProgress
{
public:
    explicit TRowProgress(const TWorkHooks &hooks)
        : FHooks(hooks)
    {
    }
    void Read()
    {
        if (++FRead % kRowsAtOnce == 0)
            Look(-1);
    }
    // Before the rows are written, and then after each one.
    void Written(qsizetype total)
    {
        if (FWritten++ % kRowsAtOnce == 0)
            Look(total > 0 ? double(FWritten - 1) / double(total) : 0);
    }
    // The last look, before the file takes its name.
    void Done() { Look(1); }

private:
    static constexpr qsizetype kRowsAtOnce = 4096;

    void Look(double fraction) const
    {
        if (FHooks.Cancelled && FHooks.Cancelled())
            throw EAbort();
        if (FHooks.Report)
            FHooks.Report(fraction, {});
    }

    const TWorkHooks &FHooks;
    qsizetype FRead = 0;
    qsizetype FWritten = 0;
};

// Where the fees of transfers go: the books count them in no expense total,
// but a journal has to place them, and an expense is what they are.
const QString kFeeAccount = QStringLiteral("支出:手续费");

struct TRecord
{
    QDate Date;
    int Kind;
    int TypeID;
    Currency Fare;
    QString Account;
    QString Remark;
};

QList<TRecord> ReadRecords(const RecordFilter &filter, TRowProgress &progress)
{
    QList<TRecord> records;
    GDbAccess->ReadLong(Format(kRecords, {filter.Where()}), [&](TQuery &query) {
        for (; !query.Eof(); query.Next(), progress.Read())
            records << TRecord {query.Fields(0).AsDateTime().date(), query.Fields(1).AsInteger(),
                                query.Fields(2).AsInteger(),         query.Fields(3).AsCurrency(),
                                query.Fields(4).AsString(),          query.Fields(5).AsString()};
    });
    return records;
}

// The transfers of the filter's period, ordered by date. A filter that asks
// more than a period (a category, a remark, an account) selects records only.
QList<Transfer> ReadTransfers(const RecordFilter &filter, TRowProgress &progress)
{
    RecordFilter period;
    period.Begin = filter.Begin;
    period.End = filter.End;
    period.DayTime = filter.DayTime;
    QList<Transfer> transfers;
    if (period.Where() != filter.Where())
        return transfers;
    GDbAccess->ReadLong(Format(kTransfers, {period.Where()}), [&](TQuery &query) {
        for (; !query.Eof(); query.Next(), progress.Read())
            transfers << Transfer {
                query.Fields(0).AsInt64(),    query.Fields(1).AsDateTime().date(),
                query.Fields(2).AsString(),   query.Fields(3).AsString(),
                query.Fields(4).AsCurrency(), query.Fields(5).AsCurrency(),
                query.Fields(6).AsString()};
    });
    return transfers;
}

// Hands the records and the transfers on in date order, on one day the
// records first; both lists are in date order already.
template<typename TOnRecord, typename TOnTransfer>
void InDateOrder(const QList<TRecord> &records, const QList<Transfer> &transfers,
                 TRowProgress &progress, TOnRecord onRecord, TOnTransfer onTransfer)
{
    const qsizetype total = records.size() + transfers.size();
    progress.Written(total);
    qsizetype next = 0;
    for (const TRecord &record : records) {
        for (; next < transfers.size() && transfers[next].Date < record.Date; ++next) {
            onTransfer(transfers[next]);
            progress.Written(total);
        }
        onRecord(record);
        progress.Written(total);
    }
    for (; next < transfers.size(); ++next) {
        onTransfer(transfers[next]);
        progress.Written(total);
    }
}

// Each category's path from the top, "餐饮/早餐", by its index, as the tree
// shows it.
QHash<int, QStringList> CategoryPaths(bool income)
{
    TCategoryTree tree;
    tree.Load(income);
    QHash<int, QStringList> paths;
    for (const qint32 index : tree.Ids())
        paths.insert(index, tree.Path(index));
    return paths;
}

// Writes the bytes under a temporary name, which the file takes only when
// they are all written: a failed or cancelled export leaves no part of a file.
void WriteOrRaise(QSaveFile &file, const QByteArray &bytes, TRowProgress &progress)
{
    const bool written = file.write(bytes) == bytes.size();
    if (written)
        progress.Done();
    if (!written || !file.commit())
        throw Exception(
            QStringLiteral("无法写入文件 %1：%2").arg(file.fileName(), file.errorString()));
}

void OpenOrRaise(QSaveFile &file)
{
    if (!file.open(QIODevice::WriteOnly))
        throw Exception(
            QStringLiteral("无法写入文件 %1：%2").arg(file.fileName(), file.errorString()));
}

// One segment of a journal account name, written so that each name keeps a
// segment of its own and reads back to it: "%" and what the journal gives a
// meaning (":" between segments, ";" before a comment, control characters,
// and any blank but a single space inside, since two blanks end a name) are
// written as "%" and their UTF-8 bytes in hex, "支付宝:余额" as "支付宝%3A余额".
// An empty name is a lone "%", which no other name gives.
QString AccountPart(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("%");
    QString part;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name[i];
        const bool innerSpace = c == u' ' && i > 0 && i + 1 < name.size() && name[i - 1] != u' ';
        if (!innerSpace
            && (c == u'%' || c == u':' || c == u';' || c.isSpace()
                || c.category() == QChar::Other_Control)) {
            for (const char byte : QString(c).toUtf8())
                part += u'%' + QString::number(quint8(byte), 16).toUpper().rightJustified(2, u'0');
        } else {
            part += c;
        }
    }
    return part;
}

QString CategoryAccount(int kind, int typeId, const QHash<int, QStringList> &paths)
{
    QString account = kind == 0 ? QStringLiteral("收入") : QStringLiteral("支出");
    const QStringList path = paths.value(typeId);
    if (path.isEmpty())
        return account + QStringLiteral(":未分类");
    for (const QString &part : path)
        account += u':' + AccountPart(part);
    return account;
}

QString JournalAmount(Currency amount)
{
    return amount.ToString() + QStringLiteral(" CNY");
}

// A remark as a transaction's description: on one line, ";" (which would
// start a comment) as "；", and after an empty code "()" when it begins as a
// status ("*", "!") or a code ("(") would.
QString Description(const QString &remark)
{
    QString text = remark.simplified().replace(u';', u'；');
    if (!text.isEmpty() && QStringLiteral("*!(").contains(text.front()))
        text.prepend(QStringLiteral("() "));
    return text;
}

} // namespace

namespace BooksExport {

QString CsvField(QString text, bool isText)
{
    if (isText && !text.isEmpty() && QStringLiteral("=+-@\t\r").contains(text.front()))
        text.prepend(u'\'');
    if (text.contains(u',') || text.contains(u'"') || text.contains(u'\n') || text.contains(u'\r')
        || text.startsWith(u' ') || text.endsWith(u' ')) {
        text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        text = u'"' + text + u'"';
    }
    return text;
}

int WriteRecordsCsv(const QString &fileName, const RecordFilter &filter, const TWorkHooks &hooks)
{
    TRowProgress progress(hooks);
    const QList<TRecord> records = ReadRecords(filter, progress);
    const QList<Transfer> transfers = ReadTransfers(filter, progress);
    const QHash<int, QStringList> paths[2] = {CategoryPaths(true), CategoryPaths(false)};
    QString text = QStringLiteral("日期,收支,分类,金额,账户,备注\r\n");
    const auto line = [&text](const QStringList &fields) {
        text += fields.join(u',') + QStringLiteral("\r\n");
    };
    InDateOrder(
        records, transfers, progress,
        [&](const TRecord &r) {
            line({r.Date.toString(Qt::ISODate),
                  r.Kind == 0 ? QStringLiteral("收入") : QStringLiteral("支出"),
                  CsvField(paths[r.Kind].value(r.TypeID).join(u'/'), true), r.Fare.ToString(),
                  CsvField(r.Account, true), CsvField(r.Remark, true)});
        },
        [&](const Transfer &t) {
            QString remark = t.Remark;
            if (t.Fee != Currency())
                remark += (remark.isEmpty() ? QString() : QStringLiteral("；"))
                    + QStringLiteral("手续费 ") + t.Fee.ToString();
            line({t.Date.toString(Qt::ISODate), QStringLiteral("转账"), QString(),
                  t.Amount.ToString(), CsvField(t.From + QStringLiteral(" → ") + t.To, true),
                  CsvField(remark, true)});
        });
    QSaveFile file(fileName);
    OpenOrRaise(file);
    WriteOrRaise(file, "\xEF\xBB\xBF" + text.toUtf8(), progress);
    return static_cast<int>(records.size() + transfers.size());
}

int WriteJournal(const QString &fileName, const TWorkHooks &hooks)
{
    TRowProgress progress(hooks);
    const QList<TRecord> records = ReadRecords({}, progress);
    const QList<Transfer> transfers = ReadTransfers({}, progress);
    const QHash<int, QStringList> paths[2] = {CategoryPaths(true), CategoryPaths(false)};
    const QDate opening = records.isEmpty() && transfers.isEmpty()
        ? QDate::currentDate()
        : DateOfDayNumber(DbQueryInt(kFirstDay));

    // What the transfers moved each account's balance by.
    QHash<QString, Currency> moved;
    for (const Transfer &t : transfers) {
        moved[t.From] -= t.Amount + t.Fee;
        moved[t.To] += t.Amount;
    }

    // Every account posted to is declared, in the books' order, so that a
    // strict reader knows each one.
    QString declarations = QStringLiteral("commodity CNY\n\n");
    QSet<QString> declared;
    const auto declare = [&](const QString &account) {
        if (!declared.contains(account)) {
            declared.insert(account);
            declarations += QStringLiteral("account %1\n").arg(account);
        }
    };
    QString openingPostings;
    for (TQuery &query = GDbAccess->OpenQuery(kAccounts); !query.Eof(); query.Next()) {
        const QString name = query.Fields(0).AsString();
        const QString account = QStringLiteral("资产:") + AccountPart(name);
        const Currency initial = query.Fields(1).AsCurrency() - query.Fields(2).AsCurrency()
            + query.Fields(3).AsCurrency() - moved.value(name);
        declare(account);
        openingPostings += QStringLiteral("    %1  %2\n").arg(account, JournalAmount(initial));
    }
    GDbAccess->FQuery.Close();
    declare(QStringLiteral("权益:期初余额"));
    for (int kind = 0; kind < 2; ++kind) {
        QList<int> indexes = paths[kind].keys();
        std::sort(indexes.begin(), indexes.end());
        for (const int index : indexes)
            declare(CategoryAccount(kind, index, paths[kind]));
    }

    QString body;
    if (!openingPostings.isEmpty())
        body += opening.toString(Qt::ISODate) + QStringLiteral(" 期初余额\n") + openingPostings
            + QStringLiteral("    权益:期初余额\n\n");
    InDateOrder(
        records, transfers, progress,
        [&](const TRecord &r) {
            const QString asset = QStringLiteral("资产:") + AccountPart(r.Account);
            const QString category = CategoryAccount(r.Kind, r.TypeID, paths[r.Kind]);
            declare(asset);
            declare(category);
            // Income moves money into the account, an expense out of it.
            const QString &debit = r.Kind == 0 ? asset : category;
            const QString &credit = r.Kind == 0 ? category : asset;
            body += r.Date.toString(Qt::ISODate) + u' ' + Description(r.Remark) + u'\n'
                + QStringLiteral("    %1  %2\n").arg(debit, JournalAmount(r.Fare))
                + QStringLiteral("    %1\n\n").arg(credit);
        },
        [&](const Transfer &t) {
            // The amount moves from one asset account to the other; the fee
            // leaves the paying account too, as an expense of its own.
            const QString to = QStringLiteral("资产:") + AccountPart(t.To);
            const QString from = QStringLiteral("资产:") + AccountPart(t.From);
            declare(to);
            declare(from);
            body += t.Date.toString(Qt::ISODate) + u' '
                + Description(QStringLiteral("转账 ") + t.Remark) + u'\n'
                + QStringLiteral("    %1  %2\n").arg(to, JournalAmount(t.Amount));
            if (t.Fee != Currency()) {
                declare(kFeeAccount);
                body += QStringLiteral("    %1  %2\n").arg(kFeeAccount, JournalAmount(t.Fee));
            }
            body += QStringLiteral("    %1\n\n").arg(from);
        });
    QSaveFile file(fileName);
    OpenOrRaise(file);
    WriteOrRaise(file,
                 (QStringLiteral("; 记账数据导出\n\n") + declarations + u'\n' + body).toUtf8(),
                 progress);
    return static_cast<int>(records.size() + transfers.size());
}

} // namespace BooksExport
