#include "ListModel.h"

#include "DbAccess.h"
#include "SqlFormat.h"
#include "UException.h"

#include <QHash>
#include <cstring>
#include <limits>

namespace {

// A growing array kept in fixed blocks: appending never moves what is
// already there, and at most one block stands half used.
template<typename T> class TBlocks
{
public:
    qsizetype Size() const { return FSize; }
    T At(qsizetype i) const { return FBlocks[i >> kShift][i & kMask]; }
    void Append(T value)
    {
        if (FSize == qsizetype(FBlocks.size()) << kShift)
            FBlocks.push_back(std::make_unique_for_overwrite<T[]>(kBlock));
        FBlocks[FSize >> kShift][FSize & kMask] = value;
        ++FSize;
    }
    void Truncate(qsizetype size)
    {
        FSize = size;
        FBlocks.resize((size + kMask) >> kShift);
    }
    void Erase(qsizetype i)
    {
        for (qsizetype b = i >> kShift, at = i & kMask; (b << kShift) < FSize; ++b, at = 0) {
            T *block = FBlocks[b].get();
            std::memmove(block + at, block + at + 1, (kBlock - at - 1) * sizeof(T));
            if (((b + 1) << kShift) < FSize)
                block[kMask] = FBlocks[b + 1][0];
        }
        Truncate(FSize - 1);
    }

private:
    static constexpr int kShift = 14;
    static constexpr qsizetype kBlock = qsizetype(1) << kShift;
    static constexpr qsizetype kMask = kBlock - 1;
    std::vector<std::unique_ptr<T[]>> FBlocks;
    qsizetype FSize = 0;
};

// A wide slot at or above this holds the offset of a text above it, for a
// value the column's kind cannot hold (amounts and days stay far below).
constexpr qint64 kTextTag = qint64(1) << 62;
// A narrow slot holding this is an empty cell.
constexpr qint32 kNoValue = std::numeric_limits<qint32>::min();
// How many different texts of a column are looked up for sharing; a column
// of texts that rarely repeat (remarks) stops growing its table there.
constexpr int kSharedTexts = 4096;

} // namespace

class TListModel::TColumn
{
public:
    // A column of amounts or days starts narrow, as whole cents or days in
    // 32 bits (record IDs and everyday amounts fit), and turns wide at the
    // first value that does not fit.
    enum class TStore { Unset, Text, NarrowCents, NarrowDay, Amount, WideDay };

    TStore Store = TStore::Unset;
    TBlocks<quint32> Narrow; // Text: offsets; NarrowCents: cents; NarrowDay: days
    TBlocks<qint64> Wide; // Amount: units; WideDay: days; or kTextTag + offset
    // The shared texts: an open-addressing table of offsets (0 = free slot).
    std::vector<quint32> Table;
    int Entries = 0;
    quint32 Last = 0;

    void Truncate(qsizetype size)
    {
        Narrow.Truncate(std::min(size, Narrow.Size()));
        Wide.Truncate(std::min(size, Wide.Size()));
    }
};

TListModel::TListModel(QStringList headers, QObject *parent)
    : QAbstractTableModel(parent)
    , FHeaders(std::move(headers))
    , FText(1, '\0')
{
}

TListModel::~TListModel() = default;

int TListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FRows;
}

int TListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FHeaders.size());
}

QString OneLine(QString text)
{
    for (QChar &c : text) {
        if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return text;
}

QVariant TListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    // A row is one line: a remark's line breaks show as blanks in the list
    // (the tooltip keeps them).
    const QString text = Cell(index.row(), index.column());
    return role == Qt::DisplayRole ? OneLine(text) : text;
}

QVariant TListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0
        && section < FHeaders.size())
        return FHeaders[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TListModel::Clear()
{
    beginResetModel();
    FColumns.clear();
    FText = QByteArray(1, '\0');
    FRows = 0;
    endResetModel();
}

QByteArrayView TListModel::TextAt(quint64 offset) const
{
    return QByteArrayView(FText.constData() + offset);
}

QString TListModel::DayText(qint64 day) const
{
    return FLocale.toString(DateOfDayNumber(day), QLocale::ShortFormat);
}

quint32 TListModel::Intern(TColumn &column, QByteArrayView text)
{
    // The cell ends at its first NUL byte, which no text value holds.
    text = text.first(qstrnlen(text.data(), text.size()));
    if (text.isEmpty())
        return 0;
    const auto holds = [&](quint32 offset) {
        return qsizetype(offset) + text.size() < FText.size()
            && std::memcmp(FText.constData() + offset, text.data(), text.size()) == 0
            && FText.at(offset + text.size()) == '\0';
    };
    // Rows of a kind come together, so the text of the row before comes first.
    if (column.Last != 0 && holds(column.Last))
        return column.Last;
    if (column.Table.empty())
        column.Table.assign(2 * kSharedTexts, 0);
    const size_t mask = column.Table.size() - 1;
    size_t slot = qHash(text) & mask;
    for (; column.Table[slot] != 0; slot = (slot + 1) & mask) {
        if (holds(column.Table[slot]))
            return column.Last = column.Table[slot];
    }
    const qsizetype offset = FText.size();
    if (offset + text.size() + 1 > qsizetype(std::numeric_limits<quint32>::max()))
        throw Exception(QStringLiteral("列表的内容太多，请缩小查询的范围！"));
    FText.append(text.data(), text.size());
    FText.append('\0');
    if (column.Entries < kSharedTexts) {
        column.Table[slot] = quint32(offset);
        ++column.Entries;
    }
    return column.Last = quint32(offset);
}

quint32 TListModel::TextOf(TColumn &column, const TCellValue &value)
{
    switch (value.Kind) {
    case TCellValue::TKind::Empty:
        return 0;
    case TCellValue::TKind::Amount:
        return Intern(column, Currency::FromUnits(value.Number).ToString().toUtf8());
    case TCellValue::TKind::Day:
        return Intern(column, DayText(value.Number).toUtf8());
    case TCellValue::TKind::Text:
        break;
    }
    return Intern(column, value.Text());
}

namespace {

// The 32-bit slot of a narrow store for the value, if it has one.
bool FitsNarrow(bool cents, const TCellValue &value, qint32 &slot)
{
    using TKind = TCellValue::TKind;
    qint64 number = 0;
    if (value.Kind == TKind::Empty) {
        slot = kNoValue;
        return true;
    }
    if (cents && value.Kind == TKind::Amount && value.Number % 100 == 0)
        number = value.Number / 100;
    else if (!cents && value.Kind == TKind::Day)
        number = value.Number;
    else
        return false;
    if (number <= kNoValue || number > std::numeric_limits<qint32>::max())
        return false;
    slot = qint32(number);
    return true;
}

} // namespace

void TListModel::Append(TColumn &column, const TCellValue &value)
{
    using TStore = TColumn::TStore;
    using TKind = TCellValue::TKind;
    if (column.Store == TStore::Unset) {
        column.Store = value.Kind == TKind::Amount ? TStore::NarrowCents
            : value.Kind == TKind::Day             ? TStore::NarrowDay
                                                   : TStore::Text;
    }
    switch (column.Store) {
    case TStore::Unset:
    case TStore::Text:
        column.Narrow.Append(TextOf(column, value));
        return;
    case TStore::NarrowCents:
    case TStore::NarrowDay: {
        const bool cents = column.Store == TStore::NarrowCents;
        qint32 slot = 0;
        if (FitsNarrow(cents, value, slot)) {
            column.Narrow.Append(quint32(slot));
            return;
        }
        for (qsizetype i = 0; i < column.Narrow.Size(); ++i) {
            const qint32 narrow = qint32(column.Narrow.At(i));
            column.Wide.Append(narrow == kNoValue ? kTextTag
                                   : cents        ? qint64(narrow) * 100
                                                  : qint64(narrow));
        }
        column.Narrow.Truncate(0);
        column.Store = cents ? TStore::Amount : TStore::WideDay;
        break;
    }
    case TStore::Amount:
    case TStore::WideDay:
        break;
    }
    const TKind kind = column.Store == TStore::Amount ? TKind::Amount : TKind::Day;
    if (value.Kind == kind && value.Number < kTextTag)
        column.Wide.Append(value.Number);
    else
        column.Wide.Append(kTextTag + TextOf(column, value));
}

void TListModel::AppendRows(TQuery &query)
{
    const int columns = query.FieldCount();
    if (FRows == 0) {
        FColumns.clear();
        for (int c = 0; c < columns; ++c)
            FColumns.push_back(std::make_unique<TColumn>());
        FLocale = query.Locale();
    } else if (columns != int(FColumns.size())) {
        throw Exception(QStringLiteral("List columns differ (%1)").arg(columns));
    }
    qsizetype rows = FRows;
    try {
        for (; !query.Eof(); query.Next()) {
            for (int c = 0; c < columns; ++c)
                Append(*FColumns[c], query.Fields(c).Value());
            ++rows;
        }
        if (rows > std::numeric_limits<int>::max())
            throw Exception(QStringLiteral("列表的内容太多，请缩小查询的范围！"));
    } catch (...) {
        for (const auto &column : FColumns)
            column->Truncate(FRows);
        throw;
    }
    FText.squeeze();
    if (rows == FRows)
        return;
    beginInsertRows({}, FRows, int(rows) - 1);
    FRows = int(rows);
    endInsertRows();
}

QString TListModel::Cell(int row, int column) const
{
    if (row < 0 || row >= FRows || column < 0 || column >= int(FColumns.size()))
        return {};
    const TColumn &cells = *FColumns[column];
    switch (cells.Store) {
    case TColumn::TStore::Unset:
    case TColumn::TStore::Text:
        return QString::fromUtf8(TextAt(cells.Narrow.At(row)));
    case TColumn::TStore::NarrowCents:
    case TColumn::TStore::NarrowDay: {
        const qint32 narrow = qint32(cells.Narrow.At(row));
        if (narrow == kNoValue)
            return {};
        return cells.Store == TColumn::TStore::NarrowDay
            ? DayText(narrow)
            : Currency::FromUnits(qint64(narrow) * 100).ToString();
    }
    case TColumn::TStore::Amount:
    case TColumn::TStore::WideDay:
        break;
    }
    const qint64 value = cells.Wide.At(row);
    if (value >= kTextTag)
        return QString::fromUtf8(TextAt(quint64(value - kTextTag)));
    return cells.Store == TColumn::TStore::Amount ? Currency::FromUnits(value).ToString()
                                                  : DayText(value);
}

Currency TListModel::CellAmount(int row, int column) const
{
    if (row >= 0 && row < FRows && column >= 0 && column < int(FColumns.size())) {
        const TColumn &cells = *FColumns[column];
        if (cells.Store == TColumn::TStore::NarrowCents) {
            const qint32 narrow = qint32(cells.Narrow.At(row));
            return narrow == kNoValue ? Currency() : Currency::FromUnits(qint64(narrow) * 100);
        }
        if (cells.Store == TColumn::TStore::Amount && cells.Wide.At(row) < kTextTag)
            return Currency::FromUnits(cells.Wide.At(row));
    }
    return Currency::ParseLenient(Cell(row, column));
}

bool TListModel::CellIs(int row, int column, QByteArrayView utf8) const
{
    if (row >= 0 && row < FRows && column >= 0 && column < int(FColumns.size())
        && FColumns[column]->Store == TColumn::TStore::Text)
        return TextAt(FColumns[column]->Narrow.At(row)) == utf8;
    return Cell(row, column).toUtf8() == utf8;
}

void TListModel::RemoveRow(int row)
{
    if (row < 0 || row >= FRows)
        return;
    beginRemoveRows({}, row, row);
    for (const auto &column : FColumns) {
        if (column->Wide.Size() > row)
            column->Wide.Erase(row);
        if (column->Narrow.Size() > row)
            column->Narrow.Erase(row);
    }
    --FRows;
    endRemoveRows();
}
