#include "CsvReader.h"

namespace {

bool IsPadding(QChar c)
{
    return c == u' ' || c == u'\t' || c == QChar(0x3000);
}

} // namespace

QString TrimCell(QStringView cell)
{
    qsizetype begin = 0;
    qsizetype end = cell.size();
    while (begin < end && IsPadding(cell[begin]))
        ++begin;
    while (end > begin && IsPadding(cell[end - 1]))
        --end;
    return cell.mid(begin, end - begin).toString();
}

TCsvTable ReadCsv(QStringView text)
{
    TCsvTable table;
    QStringList row;
    QString cell;
    bool quoted = false; // inside a quoted part of the cell
    bool rowStarted = false;
    int line = 1;
    int rowLine = 1;
    const auto endCell = [&] {
        row << TrimCell(cell);
        cell.clear();
    };
    const auto endRow = [&] {
        endCell();
        table.Rows << row;
        table.Lines << rowLine;
        row.clear();
        rowStarted = false;
    };
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (!rowStarted) {
            rowStarted = true;
            rowLine = line;
        }
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < size && text[i + 1] == u'"') {
                    cell += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                if (c == u'\n')
                    ++line;
                cell += c;
            }
            continue;
        }
        if (c == u',') {
            endCell();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < size && text[i + 1] == u'\n')
                ++i;
            ++line;
            endRow();
        } else if (c == u'"' && TrimCell(cell).isEmpty()) {
            // A quote opens a quoted field only at its start (after padding).
            cell.clear();
            quoted = true;
        } else {
            cell += c;
        }
    }
    // A row that ends the text unended is cut when earlier rows were ended.
    table.LastRowCut = quoted || (rowStarted && !table.Rows.isEmpty());
    if (rowStarted)
        endRow();
    return table;
}
