#include "ListModel.h"

#include "DbAccess.h"
#include "SqlFormat.h"
#include "UException.h"

#include <QHashFunctions>
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
            AddBlock();
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
    Q_NEVER_INLINE void AddBlock()
    {
        FBlocks.push_back(std::make_unique_for_overwrite<T[]>(kBlock));
    }

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

quint64 Load8(const char *at)
{
    quint64 word;
    std::memcpy(&word, at, 8);
    return word;
}

quint32 Load4(const char *at)
{
    quint32 word;
    std::memcpy(&word, at, 4);
    return word;
}

// A text's hash, never 0 (which marks a free slot), and whether the text
// holds a NUL byte. It reads eight bytes at a time, the last eight (or four)
// overlapping the ones before: the texts of a list are a few dozen bytes, for
// which this is several times quicker than a general-purpose hash. The seed
// differs from run to run, so that no books can be made whose texts all fall
// on one slot.
struct THashed
{
    quint32 Hash;
    bool Nul;
};

Q_ALWAYS_INLINE THashed HashText(const char *at, qsizetype size, quint64 seed)
{
    constexpr quint64 kMix = 0x9E3779B97F4A7C15ull;
    constexpr quint64 kOnes = 0x0101010101010101ull;
    constexpr quint64 kHighs = 0x8080808080808080ull;
    quint64 hash = (seed ^ quint64(size)) * kMix;
    quint64 zeros = 0; // nonzero when a word read held a zero byte
    const auto mix = [&](quint64 word) {
        zeros |= (word - kOnes) & ~word & kHighs;
        hash = (hash ^ word) * kMix;
        hash ^= hash >> 29;
    };
    if (size >= 8) {
        const char *last = at + size - 8;
        for (; at < last; at += 8)
            mix(Load8(at));
        mix(Load8(last));
    } else if (size >= 4) {
        mix(quint64(Load4(at)) | quint64(Load4(at + size - 4)) << 32);
    } else if (size > 0) {
        // One to three bytes; the bytes above them are never zero.
        mix(quint64(quint8(at[0])) | quint64(quint8(at[size / 2])) << 8
            | quint64(quint8(at[size - 1])) << 16 | ~quint64(0xFFFFFF));
    }
    hash ^= hash >> 32;
    return {quint32(hash) | 1, zeros != 0};
}

// Whether `size` bytes at a and b are the same, compared eight (or four) at
// a time as HashText reads them.
Q_ALWAYS_INLINE bool SameBytes(const char *a, const char *b, qsizetype size)
{
    if (size >= 8) {
        for (qsizetype i = 0; i + 8 < size; i += 8) {
            if (Load8(a + i) != Load8(b + i))
                return false;
        }
        return Load8(a + size - 8) == Load8(b + size - 8);
    }
    if (size >= 4)
        return Load4(a) == Load4(b) && Load4(a + size - 4) == Load4(b + size - 4);
    // An empty text may have no bytes at all (a null pointer), which memcmp
    // must not be given.
    return size == 0 || std::memcmp(a, b, size_t(size)) == 0;
}

// Whether the text at `offset` of the pool (each text followed by a NUL
// byte) is exactly `text`, which holds no NUL.
Q_ALWAYS_INLINE bool PoolHolds(const QByteArray &pool, quint32 offset, QByteArrayView text)
{
    return qsizetype(offset) + text.size() < pool.size()
        && pool.constData()[offset + text.size()] == '\0'
        && SameBytes(pool.constData() + offset, text.data(), text.size());
}

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
    // The shared texts: an open-addressing table of their offsets and hashes
    // (hash 0 = free slot), grown as it fills up to twice kSharedTexts slots.
    struct TSlot
    {
        quint32 Offset = 0;
        quint32 Hash = 0;
    };
    std::vector<TSlot> Table;
    quint64 Seed = QHashSeed::globalSeed();
    int Entries = 0;
    TSlot Last; // the text of the row before

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
    if (text.isEmpty())
        return 0;
    const THashed hashed = HashText(text.data(), text.size(), column.Seed);
    if (Q_UNLIKELY(hashed.Nul))
        return InternUpToNul(column, text);
    const quint32 hash = hashed.Hash;
    // Rows of a kind come together, so the text of the row before comes first.
    if (column.Last.Hash == hash && PoolHolds(FText, column.Last.Offset, text))
        return column.Last.Offset;
    if (column.Table.empty())
        column.Table.resize(64);
    size_t mask = column.Table.size() - 1;
    size_t slot = hash & mask;
    for (; column.Table[slot].Hash != 0; slot = (slot + 1) & mask) {
        if (column.Table[slot].Hash == hash && PoolHolds(FText, column.Table[slot].Offset, text)) {
            column.Last = column.Table[slot];
            return column.Last.Offset;
        }
    }
    const qsizetype offset = FText.size();
    if (offset + text.size() + 1 > qsizetype(std::numeric_limits<quint32>::max()))
        throw Exception(QStringLiteral("列表的内容太多，请缩小查询的范围！"));
    FText.append(text.data(), text.size());
    FText.append('\0');
    column.Last = {quint32(offset), hash};
    if (column.Entries < kSharedTexts) {
        column.Table[slot] = column.Last;
        // At most half full, so that a search ends soon at a free slot.
        if (++column.Entries * 2 > qsizetype(column.Table.size())) {
            std::vector<TColumn::TSlot> grown(column.Table.size() * 2);
            mask = grown.size() - 1;
            for (const TColumn::TSlot &entry : column.Table) {
                if (entry.Hash == 0)
                    continue;
                size_t at = entry.Hash & mask;
                while (grown[at].Hash != 0)
                    at = (at + 1) & mask;
                grown[at] = entry;
            }
            column.Table.swap(grown);
        }
    }
    return column.Last.Offset;
}

quint32 TListModel::InternUpToNul(TColumn &column, QByteArrayView text)
{
    // The cell ends at its first NUL byte, which no text value holds.
    text = text.first(qstrnlen(text.data(), text.size()));
    return text.isEmpty() ? 0 : Intern(column, text);
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
    // The common cases here; the first value, a column turning wide and the
    // wide columns in AppendOther.
    qint32 slot = 0;
    switch (column.Store) {
    case TStore::Text:
        column.Narrow.Append(value.Kind == TKind::Text ? Intern(column, value.Text())
                                                       : TextOf(column, value));
        return;
    case TStore::NarrowCents:
    case TStore::NarrowDay:
        if (FitsNarrow(column.Store == TStore::NarrowCents, value, slot)) {
            column.Narrow.Append(quint32(slot));
            return;
        }
        break;
    case TStore::Unset:
    case TStore::Amount:
    case TStore::WideDay:
        break;
    }
    AppendOther(column, value);
}

void TListModel::AppendOther(TColumn &column, const TCellValue &value)
{
    using TStore = TColumn::TStore;
    using TKind = TCellValue::TKind;
    if (column.Store == TStore::Unset) {
        column.Store = value.Kind == TKind::Amount ? TStore::NarrowCents
            : value.Kind == TKind::Day             ? TStore::NarrowDay
                                                   : TStore::Text;
        Append(column, value);
        return;
    }
    if (column.Store == TStore::NarrowCents || column.Store == TStore::NarrowDay) {
        // A value the narrow store cannot hold: the column turns wide.
        const bool cents = column.Store == TStore::NarrowCents;
        for (qsizetype i = 0; i < column.Narrow.Size(); ++i) {
            const qint32 narrow = qint32(column.Narrow.At(i));
            column.Wide.Append(narrow == kNoValue ? kTextTag
                                   : cents        ? qint64(narrow) * 100
                                                  : qint64(narrow));
        }
        column.Narrow.Truncate(0);
        column.Store = cents ? TStore::Amount : TStore::WideDay;
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
    // Each column's field and store, found once for all rows.
    std::vector<TField> fields;
    std::vector<TColumn *> cells;
    fields.reserve(columns);
    for (int c = 0; c < columns; ++c) {
        fields.push_back(query.Fields(c));
        cells.push_back(FColumns[c].get());
    }
    qsizetype rows = FRows;
    try {
        for (; !query.Eof(); query.Next()) {
            for (int c = 0; c < columns; ++c)
                Append(*cells[c], fields[c].Value());
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
        return qstrnlen(utf8.data(), utf8.size()) == size_t(utf8.size())
            && PoolHolds(FText, FColumns[column]->Narrow.At(row), utf8);
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
