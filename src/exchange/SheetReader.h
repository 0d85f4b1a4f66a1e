#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The first worksheet of a spreadsheet as rows of cell texts, trimmed like CSV
// cells. A number cell comes as the plain decimal its file stores (xlsx) or
// the shortest text of its value (xls); a date cell of an .xls as
// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS". Empty rows stay, so row n of the
// sheet is Rows[n - 1]. False with the reason in error when the file cannot
// be read as that kind of spreadsheet, is damaged, or is far larger than any
// statement. An .xls is read by a helper program, so that a damaged file
// cannot bring the program down.
bool ReadXlsx(const QString &fileName, QList<QStringList> &rows, QString &error);
bool ReadXls(const QString &fileName, QList<QStringList> &rows, QString &error);
