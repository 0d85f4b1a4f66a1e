#include "AccountStatement.h"

#include "Categories.h"

#include "data/DateFormats.h"
#include "data/DbAccess.h"
#include "data/ListModel.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "data/UndoLog.h"

#include <QHash>
#include <algorithm>
#include <array>
#include <limits>

namespace {

// The statements, "%s" marking each value. Amounts are read and summed as
// whole ten-thousandths, so every balance is exact; the days are whole day
// numbers, an end excluded.
// clang-format off
const QString kRecordLines = QStringLiteral("select InDate,InOutType<>0,TypeID,Remark,cast(round(Fare*10000) as integer) from BookKeep where AccountName='%s'%s order by InDate,ID");
const QString kTransferLines = QStringLiteral("select InDate,ID,1,ToAccount,Remark,cast(round(Fare*10000) as integer),cast(round(Fee*10000) as integer) from Transfer where FromAccount='%s'%s union all select InDate,ID,0,FromAccount,Remark,cast(round(Fare*10000) as integer),0 from Transfer where ToAccount='%s'%s order by 1,2");
const QString kFromDay = QStringLiteral(" and InDate >= %s");
const QString kBeforeDay = QStringLiteral(" and InDate < %s");
// The balance now, less what the lines from a day on moved it.
const QString kBalance = QStringLiteral("select cast(round(Fare*10000) as integer) from Account where AccountName='%s'");
const QString kBalanceBefore = QStringLiteral("select cast(round(Fare*10000) as integer)-coalesce((select sum(iif(InOutType=0,1,-1)*cast(round(Fare*10000) as integer)) from BookKeep where AccountName='%s' and InDate >= %s),0)-coalesce((select sum(cast(round(Fare*10000) as integer)) from Transfer where ToAccount='%s' and InDate >= %s),0)+coalesce((select sum(cast(round(Fare*10000) as integer)+cast(round(Fee*10000) as integer)) from Transfer where FromAccount='%s' and InDate >= %s),0) from Account where AccountName='%s'");
const QString kStorePoint = QStringLiteral("insert or replace into Reconciled(AccountName,InDate,Fare) values ('%s','%s',%s)");
const QString kLatestPoint = QStringLiteral("select InDate,Fare from Reconciled where AccountName='%s' order by InDate desc limit 1");
// clang-format on

const QString kKindNames[] = {QStringLiteral("收入"), QStringLiteral("支出"),
                              QStringLiteral("转入"), QStringLiteral("转出")};

// The agreed day of an account without an agreed point: before any line.
constexpr qint64 kNoDay = std::numeric_limits<qint64>::min();

// How many different texts are looked up for sharing; remarks that rarely
// repeat stop growing the table there.
constexpr qsizetype kSharedTexts = 4096;

QString Day(const QDate &date)
{
    return QString::number(DayNumber(date));
}

// The statement of the account's balance at the end of the day (a null day:
// its balance now).
QString BalanceSql(const QString &account, const QDate &end)
{
    if (end.isNull())
        return Format(kBalance, {SqlText(account)});
    const QString after = Day(end.addDays(1));
    const QString name = SqlText(account);
    return Format(kBalanceBefore, {name, after, name, after, name, after, name});
}

// Reads a balance; raises when the account is not in the books.
Currency ReadBalance(const QString &account, const QString &sql)
{
    TQuery &query = GDbAccess->OpenQuery(sql);
    const bool found = !query.Eof();
    const Currency balance = found ? Currency::FromUnits(query.Fields(0).AsInt64()) : Currency();
    query.Close();
    if (!found)
        throw Exception(QStringLiteral("账户“%1”已经不存在！").arg(account));
    return balance;
}

// The day of a date column; a record without a date counts as the first day.
qint32 DayOf(const TField &field)
{
    const TCellValue value = field.Value();
    return value.Kind == TCellValue::TKind::Day ? qint32(value.Number) : 0;
}

} // namespace

TStatementSql StatementSql(const QString &account, const QDate &begin, const QDate &end)
{
    QString period;
    if (!begin.isNull())
        period += Format(kFromDay, {Day(begin)});
    if (!end.isNull())
        period += Format(kBeforeDay, {Day(end.addDays(1))});
    const QString name = SqlText(account);
    return {Format(kTransferLines, {name, period, name, period}),
            Format(kRecordLines, {name, period}), BalanceSql(account, end)};
}

struct TStatementModel::TRow
{
    qint64 Amount; // in ten-thousandths
    qint64 Balance;
    qint32 Day;
    quint32 Name; // offsets of texts
    quint32 Remark;
    TLineKind Kind;

    bool IsIn() const { return Kind == TLineKind::Income || Kind == TLineKind::TransferIn; }
};

// The lines' texts, each followed by a NUL byte, in one buffer; offset 0 is
// the empty text. A text that repeats is kept once.
class TStatementModel::TTexts
{
public:
    quint32 Add(QByteArrayView text)
    {
        // A text ends at its first NUL byte, which no text value holds.
        text = text.first(qstrnlen(text.data(), text.size()));
        if (text.isEmpty())
            return 0;
        const auto found = FShared.constFind(QByteArray::fromRawData(text.data(), text.size()));
        if (found != FShared.cend())
            return found.value();
        const qsizetype offset = FBuffer.size();
        if (offset + text.size() + 1 > qsizetype(std::numeric_limits<quint32>::max()))
            throw Exception(QStringLiteral("列表的内容太多，请缩小查询的范围！"));
        FBuffer.append(text.data(), text.size());
        FBuffer.append('\0');
        if (FShared.size() < kSharedTexts)
            FShared.insert(text.toByteArray(), quint32(offset));
        return quint32(offset);
    }
    QString At(quint32 offset) const { return QString::fromUtf8(FBuffer.constData() + offset); }
    void Squeeze() { FBuffer.squeeze(); }

private:
    QByteArray FBuffer = QByteArray(1, '\0');
    QHash<QByteArray, quint32> FShared;
};

TStatementModel::TStatementModel(QObject *parent)
    : QAbstractTableModel(parent)
    , FTexts(std::make_unique<TTexts>())
    , FAgreedDay(kNoDay)
{
}

TStatementModel::~TStatementModel() = default;

int TStatementModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FRows.size());
}

int TStatementModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TStatementModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QString headers[]
        = {QStringLiteral("日期"), QStringLiteral("类型"), QStringLiteral("类别/对方账户"),
           QStringLiteral("备注"), QStringLiteral("收入"), QStringLiteral("支出"),
           QStringLiteral("余额"), QStringLiteral("对账")};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < kColumnCount)
        return headers[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

QVariant TStatementModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::TextAlignmentRole:
        if (column >= ColIn && column <= ColBalance)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return column == ColAgreed ? QVariant(int(Qt::AlignCenter)) : QVariant();
    case Qt::ToolTipRole:
        return column == ColRemark ? QVariant(Text(FRows[index.row()], column)) : QVariant();
    case Qt::DisplayRole:
        // A line is one line: a remark's line breaks show as blanks.
        return OneLine(Text(FRows[index.row()], column));
    default:
        return {};
    }
}

QString TStatementModel::Text(const TRow &row, int column) const
{
    switch (column) {
    case ColDate:
        return DateText(DateOfDayNumber(row.Day));
    case ColKind:
        return kKindNames[int(row.Kind)];
    case ColName:
        return FTexts->At(row.Name);
    case ColRemark:
        return FTexts->At(row.Remark);
    case ColIn:
    case ColOut:
        return row.IsIn() == (column == ColIn) ? Currency::FromUnits(row.Amount).ToString()
                                               : QString();
    case ColBalance:
        return Currency::FromUnits(row.Balance).ToString();
    case ColAgreed:
        return row.Day <= FAgreedDay ? QStringLiteral("✓") : QString();
    default:
        return {};
    }
}

TStatementLine TStatementModel::Line(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    const TRow &line = FRows[row];
    const Currency amount = Currency::FromUnits(line.Amount);
    const auto transfer
        = std::ranges::lower_bound(FTransfers, row, {}, &std::pair<int, qint64>::first);
    return {DateOfDayNumber(line.Day),
            line.Kind,
            FTexts->At(line.Name),
            FTexts->At(line.Remark),
            line.IsIn() ? amount : Currency(),
            line.IsIn() ? Currency() : amount,
            Currency::FromUnits(line.Balance),
            transfer != FTransfers.end() && transfer->first == row ? transfer->second : 0};
}

int TStatementModel::RowOfTransfer(qint64 id) const
{
    const auto found = std::ranges::find(FTransfers, id, &std::pair<int, qint64>::second);
    return found == FTransfers.end() ? -1 : found->first;
}

void TStatementModel::MarkAgreedThrough(const QDate &day)
{
    FAgreedDay = day.isNull() ? kNoDay : DayNumber(day);
    if (!FRows.empty())
        Q_EMIT dataChanged(index(0, ColAgreed), index(rowCount() - 1, ColAgreed));
}

void TStatementModel::Load(const QString &account, const QDate &begin, const QDate &end)
{
    const TStatementSql sql = StatementSql(account, begin, end);
    const Currency closing = ReadBalance(account, sql.Closing);
    auto texts = std::make_unique<TTexts>();
    std::array<QHash<qint32, quint32>, 2> categories; // income, expense
    for (const bool expense : {false, true}) {
        for (const Categories::Row &category : Categories::OfKind(expense).Rows())
            categories[expense].insert(category.Data.SelfIndex, texts->Add(category.Name.toUtf8()));
    }

    // The transfers are few: all of them first, then each goes in before the
    // first record of a later day.
    std::vector<TRow> transfers;
    std::vector<qint64> ids;
    for (TQuery &query = GDbAccess->OpenQuery(sql.Transfers); !query.Eof(); query.Next()) {
        ids.push_back(query.Fields(1).AsInt64());
        const bool out = query.Fields(2).AsInteger() != 0;
        const qint64 fee = query.Fields(6).AsInt64();
        QString name = query.Fields(3).AsString();
        if (fee != 0)
            name += QStringLiteral("（手续费 %1）").arg(Currency::FromUnits(fee).ToString());
        transfers.push_back({query.Fields(5).AsInt64() + fee, 0, DayOf(query.Fields(0)),
                             texts->Add(name.toUtf8()), texts->Add(query.Fields(4).Value().Text()),
                             out ? TLineKind::TransferOut : TLineKind::TransferIn});
    }
    std::vector<TRow> rows;
    std::vector<std::pair<int, qint64>> transferLines;
    size_t next = 0;
    const auto takeTransfer = [&] {
        transferLines.emplace_back(int(rows.size()), ids[next]);
        rows.push_back(transfers[next++]);
    };
    GDbAccess->ReadLong(sql.Records, [&](TQuery &query) {
        for (; !query.Eof(); query.Next()) {
            const qint32 day = DayOf(query.Fields(0));
            while (next < transfers.size() && transfers[next].Day < day)
                takeTransfer();
            const bool expense = query.Fields(1).AsInteger() != 0;
            rows.push_back({query.Fields(4).AsInt64(), 0, day,
                            categories[expense].value(query.Fields(2).AsInteger()),
                            texts->Add(query.Fields(3).Value().Text()),
                            expense ? TLineKind::Expense : TLineKind::Income});
        }
    });
    while (next < transfers.size())
        takeTransfer();

    // The balance before the first line is the closing one less what the
    // lines moved.
    qint64 in = 0;
    qint64 out = 0;
    for (TRow &row : rows) {
        (row.IsIn() ? in : out) += row.Amount;
        row.Balance = in - out;
    }
    const qint64 opening = closing.Units() - (in - out);
    for (TRow &row : rows)
        row.Balance += opening;
    texts->Squeeze();

    beginResetModel();
    FRows = std::move(rows);
    FTransfers = std::move(transferLines);
    FTexts = std::move(texts);
    FOpening = Currency::FromUnits(opening);
    FClosing = closing;
    FTotalIn = Currency::FromUnits(in);
    FTotalOut = Currency::FromUnits(out);
    endResetModel();
}

namespace Reconciliation {

Currency BalanceAt(const QString &account, const QDate &day)
{
    if (!day.isValid())
        throw Exception(QStringLiteral("对账日期无效！"));
    return ReadBalance(account, BalanceSql(account, day));
}

TResult Reconcile(const QString &account, const QDate &day, Currency bank)
{
    bank.RequireInRange();
    TResult result;
    GDbAccess->InTransaction([&] {
        GDbAccess->NameStep(QStringLiteral("对账 ") + UndoLog::StepText(account) + u' '
                            + DateText(day));
        result.Books = BalanceAt(account, day);
        result.Difference = bank - result.Books;
        if (result.Difference == Currency())
            DbExec(Format(kStorePoint, {SqlText(account), SqlDate(day), SqlAmount(bank)}));
    });
    return result;
}

std::optional<TPoint> Latest(const QString &account)
{
    TQuery &query = GDbAccess->OpenQuery(Format(kLatestPoint, {SqlText(account)}));
    if (query.Eof()) {
        query.Close();
        return std::nullopt;
    }
    TPoint point {query.Fields(0).AsDateTime().date(), query.Fields(1).AsCurrency(), {}};
    query.Close();
    point.Now = BalanceAt(account, point.Day);
    return point;
}

} // namespace Reconciliation
