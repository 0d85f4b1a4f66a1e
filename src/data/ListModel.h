#pragma once

#include <QAbstractTableModel>
#include <QByteArray>
#include <QStringList>
#include <vector>

// The rows of a report-style list: each row a caption and sub-items as text.
// Cells are kept as UTF-8 in one buffer with a start offset per row, so a
// million rows cost one allocation pattern, not a widget item per cell.
class TListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TListModel(QStringList headers, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Clear();
    // Filling: BeginRows, then AddCell for each cell of a row and EndRow after
    // it, then EndRows, which shows the new rows at once.
    void BeginRows();
    void AddCell(QByteArrayView utf8);
    void EndRow();
    void EndRows();

    // Cell text; a cell past the row's end reads empty.
    QString Cell(int row, int column) const;
    QByteArrayView CellUtf8(int row, int column) const;
    void RemoveRow(int row);

private:
    QStringList FHeaders;
    struct TRow
    {
        qsizetype Start; // offset of the row's first cell in FText
        int Cells;
    };
    QByteArray FText; // every cell followed by a NUL byte
    std::vector<TRow> FRows;
    std::vector<TRow> FPending;
    TRow FRow {0, 0};
};
