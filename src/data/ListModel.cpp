#include "ListModel.h"

#include <cstring>

TListModel::TListModel(QStringList headers, QObject *parent)
    : QAbstractTableModel(parent)
    , FHeaders(std::move(headers))
{
}

int TListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FRows.size());
}

int TListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FHeaders.size());
}

QVariant TListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    QString text = Cell(index.row(), index.column());
    // A row is one line: a remark's line breaks show as blanks in the list
    // (the tooltip keeps them).
    if (role == Qt::DisplayRole) {
        for (QChar &c : text) {
            if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator
                || c == QChar::ParagraphSeparator)
                c = u' ';
        }
    }
    return text;
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
    FText.clear();
    FRows.clear();
    FPending.clear();
    FRow = {0, 0};
    endResetModel();
}

void TListModel::BeginRows()
{
    FPending.clear();
    FRow = {FText.size(), 0};
}

void TListModel::AddCell(QByteArrayView utf8)
{
    // The cell ends at its first NUL byte, which no text value holds.
    FText.append(utf8.data(), qstrnlen(utf8.data(), utf8.size()));
    FText.append('\0');
    ++FRow.Cells;
}

void TListModel::EndRow()
{
    FPending.push_back(FRow);
    FRow = {FText.size(), 0};
}

void TListModel::EndRows()
{
    if (FPending.empty())
        return;
    const int first = int(FRows.size());
    beginInsertRows({}, first, first + int(FPending.size()) - 1);
    FRows.insert(FRows.end(), FPending.begin(), FPending.end());
    endInsertRows();
    FPending.clear();
    FPending.shrink_to_fit();
}

QByteArrayView TListModel::CellUtf8(int row, int column) const
{
    if (row < 0 || row >= int(FRows.size()) || column < 0 || column >= FRows[row].Cells)
        return {};
    qsizetype at = FRows[row].Start;
    for (int c = 0; c < column; ++c)
        at += qsizetype(std::strlen(FText.constData() + at)) + 1;
    return QByteArrayView(FText.constData() + at, qsizetype(std::strlen(FText.constData() + at)));
}

QString TListModel::Cell(int row, int column) const
{
    return QString::fromUtf8(CellUtf8(row, column));
}

void TListModel::RemoveRow(int row)
{
    if (row < 0 || row >= int(FRows.size()))
        return;
    beginRemoveRows({}, row, row);
    FRows.erase(FRows.begin() + row);
    endRemoveRows();
}
