#include "SheetReader.h"

#include "CsvReader.h"

#include <QLocale>
#include <QXmlStreamReader>
#include <freexl.h>
#include <quazip.h>
#include <quazipfile.h>

namespace {

const QString kNotXlsx = QStringLiteral("文件不是有效的 Excel（.xlsx）文件");

bool ReadEntry(QuaZip &zip, const QString &name, QByteArray &data)
{
    if (!zip.setCurrentFile(name))
        return false;
    QuaZipFile file(&zip);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    data = file.readAll();
    const bool ok = file.getZipError() == UNZ_OK;
    file.close();
    return ok;
}

// The zero-based column of a cell reference such as "AB12".
int ColumnOf(QStringView ref)
{
    int column = 0;
    for (const QChar c : ref) {
        if (c < u'A' || c > u'Z')
            break;
        column = column * 26 + (c.unicode() - u'A' + 1);
    }
    return column - 1;
}

// The path inside the archive of the workbook's first sheet.
QString FirstSheetPath(const QByteArray &workbook, const QByteArray &relations)
{
    QString relationId;
    QXmlStreamReader book(workbook);
    while (!book.atEnd() && relationId.isEmpty()) {
        book.readNext();
        if (book.isStartElement() && book.name() == u"sheet")
            for (const QXmlStreamAttribute &a : book.attributes())
                if (a.name() == u"id")
                    relationId = a.value().toString();
    }
    if (relationId.isEmpty())
        return QStringLiteral("xl/worksheets/sheet1.xml");
    QXmlStreamReader rels(relations);
    while (!rels.atEnd()) {
        rels.readNext();
        if (rels.isStartElement() && rels.name() == u"Relationship"
            && rels.attributes().value(QLatin1StringView("Id")) == relationId) {
            QString target = rels.attributes().value(QLatin1StringView("Target")).toString();
            if (target.startsWith(u'/'))
                return target.mid(1);
            return target.startsWith(QStringLiteral("xl/")) ? target
                                                            : QStringLiteral("xl/") + target;
        }
    }
    return QStringLiteral("xl/worksheets/sheet1.xml");
}

QStringList SharedStrings(const QByteArray &data)
{
    QStringList strings;
    QXmlStreamReader xml(data);
    QString current;
    bool inItem = false;
    bool inPhonetic = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"si") {
                inItem = true;
                current.clear();
            } else if (xml.name() == u"rPh") {
                inPhonetic = true;
            } else if (inItem && !inPhonetic && xml.name() == u"t") {
                current += xml.readElementText();
            }
        } else if (xml.isEndElement()) {
            if (xml.name() == u"si") {
                strings << current;
                inItem = false;
            } else if (xml.name() == u"rPh") {
                inPhonetic = false;
            }
        }
    }
    return strings;
}

} // namespace

bool ReadXlsx(const QString &fileName, QList<QStringList> &rows, QString &error)
{
    rows.clear();
    QuaZip zip(fileName);
    if (!zip.open(QuaZip::mdUnzip)) {
        error = kNotXlsx;
        return false;
    }
    QByteArray workbook;
    QByteArray relations;
    QByteArray shared;
    QByteArray sheet;
    if (!ReadEntry(zip, QStringLiteral("xl/workbook.xml"), workbook)
        || !ReadEntry(zip, QStringLiteral("xl/_rels/workbook.xml.rels"), relations)) {
        error = kNotXlsx;
        return false;
    }
    if (zip.setCurrentFile(QStringLiteral("xl/sharedStrings.xml"))
        && !ReadEntry(zip, QStringLiteral("xl/sharedStrings.xml"), shared)) {
        error = kNotXlsx;
        return false;
    }
    if (!ReadEntry(zip, FirstSheetPath(workbook, relations), sheet)) {
        error = kNotXlsx;
        return false;
    }
    const QStringList strings = SharedStrings(shared);

    QXmlStreamReader xml(sheet);
    int rowIndex = -1;
    int column = 0;
    QString type;
    QString value;
    bool inCell = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            if (xml.name() == u"row") {
                const int r = xml.attributes().value(QLatin1StringView("r")).toInt();
                rowIndex = r > 0 ? r - 1 : rowIndex + 1;
                while (rows.size() <= rowIndex)
                    rows << QStringList();
                column = 0;
            } else if (xml.name() == u"c" && rowIndex >= 0) {
                const auto ref = xml.attributes().value(QLatin1StringView("r"));
                if (!ref.isEmpty())
                    column = ColumnOf(ref);
                type = xml.attributes().value(QLatin1StringView("t")).toString();
                value.clear();
                inCell = true;
            } else if (inCell && (xml.name() == u"v" || xml.name() == u"t")) {
                value += xml.readElementText();
            }
        } else if (xml.isEndElement() && xml.name() == u"c" && inCell) {
            inCell = false;
            if (type == u"s") {
                const int index = value.toInt();
                value = index >= 0 && index < strings.size() ? strings[index] : QString();
            }
            QStringList &row = rows[rowIndex];
            while (row.size() <= column)
                row << QString();
            row[column] = TrimCell(value);
            ++column;
        }
    }
    if (xml.hasError()) {
        error = kNotXlsx;
        return false;
    }
    return true;
}

bool ReadXls(const QString &fileName, QList<QStringList> &rows, QString &error)
{
    rows.clear();
    const void *handle = nullptr;
    const QByteArray path = fileName.toLocal8Bit();
    const auto fail = [&] {
        freexl_close(handle);
        error = QStringLiteral("文件不是有效的 Excel 97（.xls）文件");
        return false;
    };
    if (freexl_open(path.constData(), &handle) != FREEXL_OK
        || freexl_select_active_worksheet(handle, 0) != FREEXL_OK)
        return fail();
    unsigned int rowCount = 0;
    unsigned short columnCount = 0;
    if (freexl_worksheet_dimensions(handle, &rowCount, &columnCount) != FREEXL_OK)
        return fail();
    for (unsigned int r = 0; r < rowCount; ++r) {
        QStringList row;
        for (unsigned short c = 0; c < columnCount; ++c) {
            FreeXL_CellValue cell;
            if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK)
                return fail();
            QString text;
            switch (cell.type) {
            case FREEXL_CELL_INT:
                text = QString::number(cell.value.int_value);
                break;
            case FREEXL_CELL_DOUBLE:
                // The file holds a binary double; its shortest round-trip text
                // is the decimal the user typed or the bank wrote.
                text
                    = QString::number(cell.value.double_value, 'f', QLocale::FloatingPointShortest);
                break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
                text = QString::fromUtf8(cell.value.text_value);
                break;
            default:
                break;
            }
            row << TrimCell(text);
        }
        rows << row;
    }
    freexl_close(handle);
    return true;
}
