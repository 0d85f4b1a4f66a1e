#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The rows of a comma-separated text as the statement exports write it:
// quoted fields may hold commas, line breaks and doubled quotes; a quote inside
// an unquoted field is a plain character; blanks between a closing quote and
// the next comma are allowed; CRLF, LF and CR all end a row. Every cell is
// trimmed of spaces, tabs and U+3000, which the exports pad cells with. A
// trailing comma leaves one empty last cell.
struct TCsvTable
{
    QList<QStringList> Rows;
    // The first line of each row, counting from 1.
    QList<int> Lines;
    // The last row may have been cut short: the text ended inside a quoted
    // field, or without the line break that ends every row before it.
    bool LastRowCut = false;
};

TCsvTable ReadCsv(QStringView text);

// A cell without the padding the exports add: spaces, tabs and U+3000.
QString TrimCell(QStringView cell);
