#include "SheetReader.h"

#include "CsvReader.h"
#include "XlsDump.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QXmlStreamReader>
#include <algorithm>
#include <quazip.h>
#include <quazipfile.h>

namespace {

const QString kNotXlsx = QStringLiteral("文件不是有效的 Excel（.xlsx）文件");
const QString kDamaged = QStringLiteral("文件已损坏或格式不受支持");
const QString kDtd = QStringLiteral("文件格式不受支持：其中的 XML 带有文档类型声明（DTD），"
                                    "Excel 文件不会有，为安全起见没有读取");

// Limits far above any statement, so that a damaged or hostile file is
// refused before it takes the machine's memory: Excel's own sheet size, ten
// million cells, 256 MiB of sheet data and two million shared strings.
constexpr qint64 kMaxRows = 1048576;
constexpr qint64 kMaxColumns = 16384;
constexpr qint64 kMaxCells = 10000000;
constexpr qint64 kMaxBytes = qint64(256) << 20;
constexpr qsizetype kMaxStrings = 2000000;
// How long the .xls helper may take; it reads a statement in well under a second.
constexpr int kXlsTimeoutMs = 60000;

QString TooLarge(const QString &what)
{
    return QStringLiteral("文件超出了账单的合理大小（%1），没有读取").arg(what);
}

// The rows of a sheet as its cells arrive, refused past the limits before
// they take the memory.
class TSheetRows
{
public:
    explicit TSheetRows(QList<QStringList> &rows)
        : FRows(rows)
    {
    }

    // Makes the rows up to row (from 0) exist.
    bool Reach(qint64 row, QString &error)
    {
        if (row >= kMaxRows) {
            error = TooLarge(QStringLiteral("超过 %1 行").arg(kMaxRows));
            return false;
        }
        while (FRows.size() <= row)
            FRows << QStringList();
        return true;
    }

    // Puts a cell's text, trimmed, at row and column (from 0), padding the
    // row with empty cells.
    bool Put(qint64 row, qint64 column, QStringView text, QString &error)
    {
        if (!Reach(row, error))
            return false;
        if (column >= kMaxColumns) {
            error = TooLarge(QStringLiteral("超过 %1 列").arg(kMaxColumns));
            return false;
        }
        QStringList &cells = FRows[row];
        if (cells.size() <= column) {
            FCells += column + 1 - cells.size();
            if (FCells > kMaxCells) {
                error = TooLarge(QStringLiteral("超过 %1 个单元格").arg(kMaxCells));
                return false;
            }
            cells.resize(column + 1);
        }
        cells[column] = TrimCell(text);
        return true;
    }

private:
    QList<QStringList> &FRows;
    qint64 FCells = 0; // in all rows, padding included
};

// The parts of an .xlsx file, each read whole with its checksum checked, all
// within one budget of inflated bytes.
class TXlsxParts
{
public:
    explicit TXlsxParts(const QString &fileName)
        : FZip(fileName)
    {
    }

    bool Open() { return FZip.open(QuaZip::mdUnzip); }
    bool Has(const QString &name) { return FZip.setCurrentFile(name); }

    bool Read(const QString &name, QByteArray &data, QString &error)
    {
        if (!FZip.setCurrentFile(name)) {
            error = kNotXlsx;
            return false;
        }
        QuaZipFile file(&FZip);
        if (!file.open(QIODevice::ReadOnly) || file.usize() < 0) {
            error = kNotXlsx;
            return false;
        }
        // The size the archive states; reading never inflates more.
        const qint64 size = file.usize();
        if (size > FBudget) {
            error = TooLarge(QStringLiteral("解压后超过 %1 MB").arg(kMaxBytes >> 20));
            return false;
        }
        FBudget -= size;
        data = file.readAll();
        const bool whole = data.size() == size && file.getZipError() == UNZ_OK;
        // Closing an entry read to its end compares its checksum.
        file.close();
        if (!whole || file.getZipError() != UNZ_OK) {
            error = QStringLiteral("文件已损坏：其中的压缩数据不完整或与校验码不符");
            return false;
        }
        return true;
    }

private:
    QuaZip FZip;
    qint64 FBudget = kMaxBytes;
};

// The next token of a part. A document type declaration ends the reading
// with an error: the format never has one, and its entities could expand a
// small file into a huge one.
void Next(QXmlStreamReader &xml)
{
    if (xml.readNext() == QXmlStreamReader::DTD)
        xml.raiseError(kDtd);
}

QString XmlError(const QXmlStreamReader &xml)
{
    return xml.error() == QXmlStreamReader::CustomError ? xml.errorString() : kNotXlsx;
}

// The zero-based column of a cell reference such as "AB12", past the column
// limit no further; -1 when the text is no cell reference.
qint64 ColumnOf(QStringView ref)
{
    qint64 column = 0;
    qsizetype i = 0;
    for (; i < ref.size() && ref[i] >= u'A' && ref[i] <= u'Z'; ++i)
        column = std::min(column * 26 + (ref[i].unicode() - u'A' + 1), kMaxColumns + 1);
    if (i == 0 || i == ref.size())
        return -1;
    for (; i < ref.size(); ++i)
        if (ref[i] < u'0' || ref[i] > u'9')
            return -1;
    return column - 1;
}

// The path inside the archive of the workbook's first sheet.
bool FirstSheetPath(const QByteArray &workbook, const QByteArray &relations, QString &path,
                    QString &error)
{
    path = QStringLiteral("xl/worksheets/sheet1.xml");
    QString relationId;
    QXmlStreamReader book(workbook);
    while (!book.atEnd() && relationId.isEmpty()) {
        Next(book);
        if (book.isStartElement() && book.name() == u"sheet")
            for (const QXmlStreamAttribute &a : book.attributes())
                if (a.name() == u"id")
                    relationId = a.value().toString();
    }
    QXmlStreamReader rels(relations);
    while (!rels.atEnd() && !relationId.isEmpty()) {
        Next(rels);
        if (rels.isStartElement() && rels.name() == u"Relationship"
            && rels.attributes().value(QLatin1StringView("Id")) == relationId) {
            const QString target = rels.attributes().value(QLatin1StringView("Target")).toString();
            if (target.startsWith(u'/'))
                path = target.mid(1);
            else
                path = target.startsWith(QStringLiteral("xl/")) ? target
                                                                : QStringLiteral("xl/") + target;
            break;
        }
    }
    for (const QXmlStreamReader *xml : {&book, &rels})
        if (xml->hasError()) {
            error = XmlError(*xml);
            return false;
        }
    return true;
}

bool SharedStrings(const QByteArray &data, QStringList &strings, QString &error)
{
    if (data.isEmpty())
        return true;
    QXmlStreamReader xml(data);
    QString current;
    bool inItem = false;
    bool inPhonetic = false;
    while (!xml.atEnd()) {
        Next(xml);
        if (xml.isStartElement()) {
            if (xml.name() == u"si") {
                if (strings.size() == kMaxStrings) {
                    error = TooLarge(QStringLiteral("超过 %1 个共享字符串").arg(kMaxStrings));
                    return false;
                }
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
    if (xml.hasError()) {
        error = XmlError(xml);
        return false;
    }
    return true;
}

// Where the .xls helper is: beside the program in the build tree, in the
// program's own folder under libexec once installed.
QString XlsDumpProgram()
{
    const QDir dir(QCoreApplication::applicationDirPath());
    const QString name = QString::fromLatin1(XlsDump::kProgram);
    const QString beside = dir.filePath(name);
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(dir.filePath(QStringLiteral(BOOKKEEP_LIBEXEC_FROM_BIN "/") + name));
}

// The rows the .xls helper prints, taken as they arrive, so that a sheet past
// the limits is refused before the whole of it is read.
class TXlsDumpReader
{
public:
    explicit TXlsDumpReader(QList<QStringList> &rows)
        : FTable(rows)
    {
    }

    // Takes more of the output; false with the reason in Error when the rows
    // pass a limit or the output is malformed.
    bool Take(const QByteArray &output)
    {
        FPending += output;
        qsizetype at = 0;
        bool ok = true;
        while (ok && at < FPending.size()) {
            if (FPending[at] == '\n') {
                ok = FTable.Reach(FRow++, Error);
                FColumn = 0;
                ++at;
                continue;
            }
            const qsizetype colon = FPending.indexOf(':', at);
            bool number = colon > at;
            const qint64 length = number ? FPending.sliced(at, colon - at).toLongLong(&number) : 0;
            if (colon < 0 && FPending.size() - at <= 20)
                break; // the length goes on in the next output
            if (!number || length < 0 || length > kMaxBytes) {
                Error = kDamaged;
                return false;
            }
            if (length > FPending.size() - colon - 1)
                break; // so does the text
            const QString text = QString::fromUtf8(FPending.sliced(colon + 1, length));
            ok = FTable.Put(FRow, FColumn++, text, Error);
            at = colon + 1 + length;
        }
        FPending.remove(0, at);
        return ok;
    }

    // True when the output ended after a whole row.
    bool Complete() const { return FPending.isEmpty() && FColumn == 0; }

    QString Error;

private:
    TSheetRows FTable;
    QByteArray FPending;
    qint64 FRow = 0;
    qint64 FColumn = 0;
};

} // namespace

bool ReadXlsx(const QString &fileName, QList<QStringList> &rows, QString &error)
{
    rows.clear();
    TXlsxParts parts(fileName);
    if (!parts.Open()) {
        error = kNotXlsx;
        return false;
    }
    const QString sharedPath = QStringLiteral("xl/sharedStrings.xml");
    QByteArray workbook;
    QByteArray relations;
    QByteArray shared;
    QByteArray sheet;
    QString sheetPath;
    QStringList strings;
    if (!parts.Read(QStringLiteral("xl/workbook.xml"), workbook, error)
        || !parts.Read(QStringLiteral("xl/_rels/workbook.xml.rels"), relations, error)
        || !FirstSheetPath(workbook, relations, sheetPath, error)
        || (parts.Has(sharedPath) && !parts.Read(sharedPath, shared, error))
        || !SharedStrings(shared, strings, error) || !parts.Read(sheetPath, sheet, error))
        return false;

    TSheetRows table(rows);
    QXmlStreamReader xml(sheet);
    qint64 rowIndex = -1;
    qint64 column = 0;
    QString type;
    QString value;
    bool inCell = false;
    while (!xml.atEnd()) {
        Next(xml);
        if (xml.isStartElement()) {
            if (xml.name() == u"row") {
                const qint64 r = xml.attributes().value(QLatin1StringView("r")).toLongLong();
                rowIndex = r > 0 ? r - 1 : rowIndex + 1;
                if (!table.Reach(rowIndex, error))
                    return false;
                column = 0;
            } else if (xml.name() == u"c" && rowIndex >= 0) {
                const auto ref = xml.attributes().value(QLatin1StringView("r"));
                if (!ref.isEmpty()) {
                    column = ColumnOf(ref);
                    if (column < 0) {
                        error = QStringLiteral("%1：单元格位置“%2”无效")
                                    .arg(kNotXlsx, ref.left(20).toString());
                        return false;
                    }
                }
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
            if (!table.Put(rowIndex, column++, value, error))
                return false;
        }
    }
    if (xml.hasError()) {
        error = XmlError(xml);
        return false;
    }
    return true;
}

bool ReadXls(const QString &fileName, QList<QStringList> &rows, QString &error)
{
    rows.clear();
    QProcess helper;
    helper.setStandardErrorFile(QProcess::nullDevice());
    TXlsDumpReader reader(rows);
    bool refused = false;
    const auto take = [&] {
        if (!refused && !reader.Take(helper.readAllStandardOutput())) {
            refused = true;
            helper.kill();
        }
    };
    QObject::connect(&helper, &QProcess::readyReadStandardOutput, take);
    helper.start(XlsDumpProgram(), {fileName});
    const bool finished = helper.waitForFinished(kXlsTimeoutMs);
    if (!finished && helper.error() == QProcess::FailedToStart) {
        error = QStringLiteral("无法启动读取 .xls 文件的辅助程序 %1，请重新安装本软件")
                    .arg(QDir::toNativeSeparators(helper.program()));
        return false;
    }
    if (!finished) {
        helper.kill();
        helper.waitForFinished();
    }
    take();
    if (refused) {
        error = reader.Error;
        return false;
    }
    if (!finished || helper.exitStatus() != QProcess::NormalExit
        || (helper.exitCode() != XlsDump::kRowsPrinted && helper.exitCode() != XlsDump::kNotXls)
        || !reader.Complete()) {
        error = kDamaged;
        return false;
    }
    if (helper.exitCode() == XlsDump::kNotXls) {
        error = QStringLiteral("文件不是有效的 Excel 97（.xls）文件");
        return false;
    }
    return true;
}
