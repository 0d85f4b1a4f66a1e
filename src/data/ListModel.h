#pragma once

#include "Currency.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QLocale>
#include <QStringList>
#include <memory>
#include <vector>

class TQuery;
struct TCellValue;

// The text on one line: each line break becomes a blank, as a list shows it.
QString OneLine(QString text);

// The rows of a report-style list, filled from a query: each row a caption
// and sub-items, read as text. Each column keeps its values by what they are:
// amounts as ten-thousandths, dates as day numbers, texts in one shared buffer
// (a text that repeats in a column is kept once). A cell's text is made when
// it is read, so a million rows cost a few dozen bytes each.
class TListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit TListModel(QStringList headers, QObject *parent = nullptr);
    ~TListModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Clear();
    // Appends the rows of the query from its current row to its end and shows
    // them at once. A failure (of the query or of memory) appends none.
    void AppendRows(TQuery &query);

    // Cell text; a cell past the row's end reads empty.
    QString Cell(int row, int column) const;
    // The amount the cell's text reads as; 0 when it reads as none.
    Currency CellAmount(int row, int column) const;
    // Whether the cell's text is exactly this UTF-8 text.
    bool CellIs(int row, int column, QByteArrayView utf8) const;
    void RemoveRow(int row);

private:
    class TColumn;

    QString DayText(qint64 day) const;
    QByteArrayView TextAt(quint64 offset) const;
    quint32 Intern(TColumn &column, QByteArrayView text);
    quint32 InternUpToNul(TColumn &column, QByteArrayView text);
    quint32 TextOf(TColumn &column, const TCellValue &value);
    void Append(TColumn &column, const TCellValue &value);
    void AppendOther(TColumn &column, const TCellValue &value);

    QStringList FHeaders;
    std::vector<std::unique_ptr<TColumn>> FColumns;
    QByteArray FText; // every text followed by a NUL byte; offset 0 is the empty text
    int FRows = 0;
    QLocale FLocale;
};
