// Statement files read into rows: every sample folder against its expected
// records, and what a damaged or foreign file becomes.
#include "TestSupport.h"

#include "exchange/CsvReader.h"
#include "exchange/Statement.h"
#include "exchange/TextDecode.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>
#include <quazip.h>
#include <quazipfile.h>

using namespace Qt::StringLiterals;

namespace {

QString KindText(int kind)
{
    return kind == 0 ? QStringLiteral("收入") : QStringLiteral("支出");
}

// An amount with exactly two decimals, as expected.csv writes it.
QString TwoDecimals(Currency amount)
{
    const qint64 cents = amount.Units() / 100;
    return QStringLiteral("%1.%2").arg(cents / 100).arg(cents % 100, 2, 10, QChar(u'0'));
}

QByteArray Gb18030(const QString &text)
{
    QStringEncoder encoder("GB18030");
    return encoder.encode(text);
}

// A bill's bytes with its layout shifted: a column moved or added, five lines
// of preamble more or fewer, its byte-order mark or encoding swapped, totals.
QByteArray Shifted(const QByteArray &bytes, const TStatement &original, const QString &change)
{
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    const bool utf8 = bom || QString::fromUtf8(bytes).toUtf8() == bytes;
    QString text = utf8 ? QString::fromUtf8(bytes.mid(bom ? 3 : 0))
                        : QString(QStringDecoder("GB18030").decode(bytes));
    QStringList lines = text.split(u'\n');
    const int header = original.Rows.first().Line - 2;
    for (int i = header; i < original.Rows.last().Line && change.startsWith(u"column"); ++i) {
        QStringList cells = ReadCsv(lines[i]).Rows.value(0).replaceInStrings(u"\""_s, u"\"\""_s);
        if (change == u"column moved")
            cells.swapItemsAt(0, 1);
        else
            cells.insert(1, i == header ? u"附加信息"_s : u"x"_s);
        lines[i] = u'"' + cells.join(u"\",\""_s) + u'"';
    }
    for (int i = 0; i < 5 && change == u"preamble +5"; ++i)
        lines.insert(0, u"附加说明第%1行"_s.arg(i));
    if (change == u"preamble -5")
        lines.remove(header - std::min(5, header), std::min(5, header));
    if (change == u"summary")
        lines.insert(lines.size() - 1, u"\n共9笔记录\n收入：1笔 5.00元"_s);
    text = lines.join(u'\n');
    const bool toUtf8 = change == u"bom" || utf8 != (change == u"encoding");
    return toUtf8 ? (bom != (change == u"bom") ? "\xEF\xBB\xBF" : "") + text.toUtf8()
                  : Gb18030(text);
}

} // namespace

class TestImportFormats : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;
    int FFileCount = 0;

    QString WriteFile(const QByteArray &bytes)
    {
        const QString name = FDir.filePath(QStringLiteral("f%1.csv").arg(++FFileCount));
        ::WriteFile(name, bytes);
        return name;
    }

    // An .xlsx whose one sheet holds the given rows, with shared strings when
    // given. Stored, not compressed, so that a test can change its bytes.
    QString WriteXlsx(const QString &rows, const QString &strings = {})
    {
        const QString name = FDir.filePath(QStringLiteral("f%1.xlsx").arg(++FFileCount));
        QuaZip zip(name);
        const auto add = [&zip](const char *path, const QString &content) {
            QuaZipFile file(&zip);
            if (!file.open(QIODevice::WriteOnly, QuaZipNewInfo(QString::fromLatin1(path)), nullptr,
                           0, 0)
                || file.write(content.toUtf8()) < 0)
                qFatal("cannot write %s", path);
            file.close();
        };
        if (!zip.open(QuaZip::mdCreate))
            qFatal("cannot write %s", qPrintable(name));
        add("xl/workbook.xml",
            QStringLiteral("<workbook xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/"
                           "2006/relationships\"><sheets><sheet name=\"Sheet1\" sheetId=\"1\" "
                           "r:id=\"rId1\"/></sheets></workbook>"));
        add("xl/_rels/workbook.xml.rels",
            QStringLiteral("<Relationships><Relationship Id=\"rId1\" "
                           "Target=\"worksheets/sheet1.xml\"/></Relationships>"));
        if (!strings.isEmpty())
            add("xl/sharedStrings.xml", strings);
        add("xl/worksheets/sheet1.xml",
            QStringLiteral("<worksheet><sheetData>%1</sheetData></worksheet>").arg(rows));
        zip.close();
        return name;
    }

    // A WeChat CSV with the given data lines after its preamble and header.
    static QByteArray Wechat(const QStringList &lines)
    {
        QString text = QStringLiteral("微信支付账单明细,,,,,,,,\n起始时间：[2026-03-01 00:00:00] "
                                      "终止时间：[2026-03-31 23:59:59],,,,,,,,\n,,,,,,,,\n"
                                      "交易时间,交易类型,交易对方,商品,收/支,金额(元),支付方式,"
                                      "当前状态,交易单号,商户单号,备注\n");
        for (const QString &line : lines)
            text += line + u'\n';
        return "\xEF\xBB\xBF" + text.toUtf8();
    }

private Q_SLOTS:
    void Samples_data()
    {
        if (!AddImportSampleRows())
            QSKIP("The sample statements are not beside the project");
    }

    // Each sample yields exactly its expected records, in file order.
    void Samples()
    {
        QFETCH(QString, folder);
        const QDir dir(folder);
        const QStringList samples = dir.entryList({QStringLiteral("sample.*")}, QDir::Files);
        QCOMPARE(samples.size(), 1);
        const TStatement statement = ReadStatement(dir.filePath(samples.first()));
        QVERIFY2(statement.Readable.IsSound(), qPrintable(statement.Readable.Reason()));
        QVERIFY(!statement.NeedsMapping);

        QFile file(dir.filePath(QStringLiteral("expected.csv")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QStringList> expected = ReadCsv(QString::fromUtf8(file.readAll())).Rows;
        expected.removeFirst();

        QList<QStringList> actual;
        QSet<QString> ids;
        for (const TStatementRow &row : statement.Rows) {
            QVERIFY2(row.Status != TRowStatus::Unreadable,
                     qPrintable(QStringLiteral("line %1: %2").arg(row.Line).arg(row.Reason)));
            if (row.Status != TRowStatus::New)
                continue;
            QVERIFY(!row.SourceId.isEmpty());
            QVERIFY2(!ids.contains(row.SourceId), qPrintable(row.SourceId));
            ids.insert(row.SourceId);
            actual << QStringList {row.Date.toString(Qt::ISODate),
                                   row.Time.isValid() ? row.Time.toString(Qt::ISODate) : QString(),
                                   KindText(row.Kind),
                                   TwoDecimals(row.Amount),
                                   row.Remark,
                                   row.CategoryHint};
        }
        QCOMPARE(actual, expected);
        // Every row the file holds is accounted for, skipped ones with a reason.
        for (const TStatementRow &row : statement.Rows)
            if (row.Status == TRowStatus::Skipped)
                QVERIFY(!row.Reason.isEmpty());
    }

    void ShiftedLayouts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("change");
        for (const char *top : {IMPORT_SAMPLES, TEST_DATA "/month-2026-05"})
            for (QDirIterator it(QString::fromUtf8(top), {u"*.csv"_s}, QDir::Files,
                                 QDirIterator::Subdirectories);
                 it.hasNext();)
                if (const QString file = it.next(); !file.endsWith(u"/expected.csv"))
                    for (const char *change : {"column moved", "column added", "preamble +5",
                                               "preamble -5", "bom", "encoding", "summary"})
                        QTest::addRow("%s %s", qPrintable(file.section(u'/', -2)), change)
                            << file << QString::fromLatin1(change);
        for (const char *zip : {"zip/alipay-aes256.zip", "zip/alipay-zipcrypto.zip"})
            QTest::newRow(zip) << QStringLiteral(TEST_DATA "/month-2026-05/alipay.csv")
                               << QString::fromLatin1(zip);
    }

    // A bill whose layout shifted reads the rows its original reads.
    void ShiftedLayouts()
    {
        QFETCH(QString, file);
        QFETCH(QString, change);
        TStatement original = ReadStatement(file);
        QVERIFY(original.Readable.IsSound() && !original.Rows.isEmpty());
        TStatement shifted = change.startsWith(u"zip/")
            ? ReadStatement(QStringLiteral(TEST_DATA "/") + change, {}, u"lin0531"_s)
            : ReadStatement(WriteFile(Shifted(ReadAll(file), original, change)));
        // A column moved or added changes the digest of rows without order numbers.
        for (TStatement *s : {&shifted, &original})
            for (TStatementRow &row : s->Rows) {
                row.Line = 0;
                row.SourceId = change.startsWith(u"column") ? QString() : row.SourceId;
            }
        QCOMPARE(shifted.Rows, original.Rows);
    }

    void Sources_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("pocket");
        QTest::newRow("alipay") << QStringLiteral(TEST_DATA "/month-2026-05/alipay.csv") << 3
                                << u"招商银行储蓄卡(1234)"_s << QString();
        QTest::newRow("withdrawal")
            << QStringLiteral(IMPORT_SAMPLES "/wechat-xlsx-2025/sample.xlsx") << 2 << u"零钱"_s
            << u"建设银行储蓄卡(4321)"_s;
        QTest::newRow("card repaid") << QStringLiteral(TEST_DATA "/month-2026-05/cmb.csv") << 1
                                     << QString() << u"信用卡(9012)"_s;
    }

    // A row names its funding source as the bill writes it, and the pocket
    // it moves money to.
    void Sources()
    {
        QFETCH(QString, file);
        QFETCH(int, row);
        const TStatementRow read = ReadStatement(file).Rows.value(row);
        QTEST(read.Source, "source");
        QTEST(read.Pocket, "pocket");
    }

    void CsvFields()
    {
        const TCsvTable t = ReadCsv(u"a,\"b,c\",\"d \"\"q\"\" e\"\r\n"
                                    u"  x\t,\u3000y\u3000,z\"w,\"id\"\t ,\n"
                                    u"\"multi\nline\",2\r"
                                    u"last");
        QCOMPARE(t.Rows.size(), 4);
        QCOMPARE(t.Rows[0], (QStringList {u"a"_s, u"b,c"_s, u"d \"q\" e"_s}));
        // Padding goes, a quote inside an unquoted field stays, blanks after
        // a closing quote are allowed, a trailing comma leaves an empty cell.
        QCOMPARE(t.Rows[1], (QStringList {u"x"_s, u"y"_s, u"z\"w"_s, u"id"_s, u""_s}));
        QCOMPARE(t.Rows[2], (QStringList {u"multi\nline"_s, u"2"_s}));
        QCOMPARE(t.Rows[3], QStringList {u"last"_s});
        QCOMPARE(t.Lines, (QList<int> {1, 2, 3, 5}));
        // A last row is cut when it ends unended after ended rows, or in quotes.
        QVERIFY(t.LastRowCut && ReadCsv(u"a,\"b,c").LastRowCut);
        QVERIFY(!ReadCsv(u"a\nb\n").LastRowCut && !ReadCsv(u"a").LastRowCut);
        QVERIFY(ReadCsv(u"").Rows.isEmpty());
    }

    void Decoding()
    {
        QString text;
        QString error;
        const QString chinese = QStringLiteral("交易时间,𠮷祥");
        QVERIFY(DecodeStatementText("\xEF\xBB\xBF" + chinese.toUtf8(), text, error));
        QCOMPARE(text, chinese);
        QVERIFY(DecodeStatementText(chinese.toUtf8(), text, error));
        QCOMPARE(text, chinese);
        // GB18030 with a character GBK cannot hold.
        QVERIFY(DecodeStatementText(Gb18030(chinese), text, error));
        QCOMPARE(text, chinese);
        // UTF-16 without a mark and bytes no decoder takes are refused.
        QStringEncoder utf16(QStringConverter::Utf16LE);
        QVERIFY(!DecodeStatementText(utf16.encode(QStringLiteral("date,amount")), text, error));
        QVERIFY(!error.isEmpty());
        error.clear();
        QVERIFY(!DecodeStatementText(QByteArray("a,\xFF\xFF,b\n"), text, error));
        QVERIFY(error.contains(u"GB18030"));
    }

    void Amounts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("present");
        QTest::addColumn<qint64>("units");
        QTest::newRow("plain") << QStringLiteral("86.00") << true << true << qint64(860000);
        QTest::newRow("yen") << QStringLiteral("¥1,299.00") << true << true << qint64(12990000);
        QTest::newRow("fullwidth yen")
            << QStringLiteral("￥32.5") << true << true << qint64(325000);
        QTest::newRow("plus") << QStringLiteral("+12,800.00") << true << true << qint64(128000000);
        QTest::newRow("minus") << QStringLiteral("-35.50") << true << true << qint64(-355000);
        QTest::newRow("dash") << QStringLiteral("-") << true << false << qint64(0);
        QTest::newRow("empty") << QStringLiteral("") << true << false << qint64(0);
        QTest::newRow("slash") << QStringLiteral("/") << true << false << qint64(0);
        QTest::newRow("letters") << QStringLiteral("12a") << false << true << qint64(0);
        QTest::newRow("exponent") << QStringLiteral("1e5") << false << true << qint64(0);
        QTest::newRow("two points") << QStringLiteral("1.2.3") << false << true << qint64(0);
        QTest::newRow("too large")
            << QStringLiteral("999999999999999") << false << true << qint64(0);
    }

    void Amounts()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(bool, present);
        QFETCH(qint64, units);
        Currency amount;
        bool isPresent = false;
        QCOMPARE(ParseStatementAmount(text, amount, isPresent), ok);
        if (ok) {
            QCOMPARE(isPresent, present);
            QCOMPARE(amount.Units(), units);
        }
    }

    void BadFiles()
    {
        QCOMPARE(ReadStatement(WriteFile(QByteArray())).Readable.Reason(),
                 QStringLiteral("文件是空的"));
        QCOMPARE(ReadStatement(WriteFile("\r\n\r\n")).Readable.Reason(),
                 QStringLiteral("文件是空的"));
        QVERIFY(ReadStatement(FDir.filePath(QStringLiteral("missing.csv")))
                    .Readable.Reason()
                    .contains(u"无法读取"));
        // A picture, a zip that is no workbook, an .xls header with nothing behind.
        QVERIFY(!ReadStatement(WriteFile(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)))
                     .Readable.IsSound());
        QVERIFY(!ReadStatement(WriteFile(QByteArray("PK\x03\x04garbage", 11))).Readable.IsSound());
        QVERIFY(!ReadStatement(WriteFile(QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1xx", 10)))
                     .Readable.IsSound());
        // Prose has no header a mapping could name.
        QVERIFY(!ReadStatement(WriteFile("hello\nworld\n")).Readable.IsSound());
    }

    void HeaderOnly()
    {
        const TStatement s = ReadStatement(WriteFile(Wechat({})));
        QVERIFY(s.Readable.IsSound());
        QCOMPARE(s.FormatId, QStringLiteral("wechat"));
        QVERIFY(s.Rows.isEmpty());
    }

    // Broken rows are shown with the reason, the others still read.
    void BrokenRows()
    {
        const TStatement s = ReadStatement(WriteFile(Wechat({
            QStringLiteral(
                "2026-03-31 "
                "21:05:40,商户消费,店,\"面包\",支出,¥6.00,零钱,支付成功,1001\t,/\t,\"/\""),
            QStringLiteral(
                "2026-02-30 10:00:00,商户消费,店,\"坏日期\",支出,¥6.00,零钱,支付成功,1002,/,/"),
            QStringLiteral(
                "2026-03-01 10:00:00,商户消费,店,\"坏金额\",支出,¥6.0x,零钱,支付成功,1003,/,/"),
            QStringLiteral("2026-03-02 10:00:00,商户消费,FRESH MART "
                           "CO.,LTD,\"苹果\",支出,¥8.00,零钱,支付成功,1004,/,/"),
            QStringLiteral(
                "2026-03-03 10:00:00,零钱充值,银行,\"/\",/,¥100.00,银行卡,充值完成,1005,/,/"),
            QStringLiteral("2026-03-05 10:00:00,商户消费,店,\"空\",支出,,零钱,支付成功,1006,/,/"),
            QStringLiteral(
                "2026-03-05 11:00:00,商户消费,店,\"负\",支出,¥-3.00,零钱,支付成功,1007,/,/"),
            QStringLiteral("2026-03-04 10:00:00,商户消费,店,\"截断"),
        })));
        QVERIFY(s.Readable.IsSound());
        QCOMPARE(s.Rows.size(), 8);
        QCOMPARE(s.Rows[0].Status, TRowStatus::New);
        QCOMPARE(s.Rows[0].SourceId, QStringLiteral("wechat:1001"));
        QCOMPARE(s.Rows[0].Line, 5);
        QCOMPARE(s.Rows[1].Status, TRowStatus::Unreadable);
        QVERIFY(s.Rows[1].Reason.contains(u"日期"));
        QCOMPARE(s.Rows[2].Status, TRowStatus::Unreadable);
        QVERIFY(s.Rows[2].Reason.contains(u"金额"));
        // A name with an unquoted comma is joined back.
        QCOMPARE(s.Rows[3].Status, TRowStatus::New);
        QCOMPARE(s.Rows[3].Amount.Units(), 80000);
        QCOMPARE(s.Rows[3].Remark, QStringLiteral("苹果"));
        QCOMPARE(s.Rows[4].Status, TRowStatus::Skipped);
        // An empty amount moved nothing; a negative one is not this format's.
        QCOMPARE(s.Rows[5].Status, TRowStatus::Skipped);
        QCOMPARE(s.Rows[6].Status, TRowStatus::Unreadable);
        QCOMPARE(s.Rows[7].Status, TRowStatus::Unreadable);
        QCOMPARE(s.Count(TRowStatus::New), 2);
        QCOMPARE(s.FirstDate(), QDate(2026, 3, 2));
        QCOMPARE(s.LastDate(), QDate(2026, 3, 31));
    }

    // A row that cannot be trusted is shown with the reason and the rows
    // before it still read; a file refused says why (row -1).
    void DamagedText_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("reason");
        const QString bank
            = u"序号,交易日期,附言,交易金额\r\n1,2026-01-05,茶,-35.50\r\n2,2026-01-06,书,"_s;
        QTest::newRow("cut in the last amount")
            << Gb18030(bank + u"-12"_s) << 1 << u"文件可能不完整"_s;
        QTest::newRow("unquoted thousands comma")
            << Gb18030(bank + u"-1,234.56\r\n"_s) << 1 << u"列数比表头多"_s;
        QTest::newRow("amount over the limit")
            << Gb18030(bank + u"-100000000000\r\n"_s) << 1 << u"超出上限 99999999999.9999"_s;
        QTest::newRow("no header") << Gb18030(u"转账凭证\r\n2026-01-05,12.00,-3.00\r\n"_s) << -1
                                   << u"没有找到账单的表头"_s;
        QTest::newRow("archive without a bill")
            << ReadAll(QStringLiteral(TEST_DATA "/zip/no-bill.zip")) << -1 << u"没有账单文件"_s;
        QTest::newRow("archive of 200 MB of zeros")
            << ReadAll(QStringLiteral(TEST_DATA "/zip/bomb.zip")) << -1 << u"解压后超过 200 MB"_s;
        QTest::newRow("Big5") << QByteArray(
            QStringEncoder("Big5").encode(u"日期,金額,備註\r\n2026/01/05,32000,薪資轉帳\r\n"_s))
                              << -1 << u"编码不受支持"_s;
        QTest::newRow("Shift-JIS")
            << QByteArray(QStringEncoder("Shift_JIS")
                              .encode(u"取引日,金額,メモ\r\n2026/01/05,3500,カード利用\r\n"_s))
            << -1 << u"编码不受支持"_s;
    }

    void DamagedText()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, row);
        QFETCH(QString, reason);
        const TStatement s = ReadStatement(WriteFile(bytes));
        QVERIFY2(s.Readable.Reason().contains(reason) == (row < 0),
                 qPrintable(s.Readable.Reason()));
        QCOMPARE(s.Rows.size(), row + 1);
        QCOMPARE(s.Count(TRowStatus::New), std::max(row, 0));
        if (row >= 0)
            QVERIFY2(s.Rows[row].Status == TRowStatus::Unreadable
                         && s.Rows[row].Reason.contains(reason),
                     qPrintable(s.Rows[row].Reason));
    }

    // A bank table with a date and one signed amount needs no mapping (here
    // the older layout of one bank's export).
    void PlainBankTable()
    {
        const TStatement s = ReadStatement(WriteFile(Gb18030(QStringLiteral(
            "序号,摘要,币别,钞汇,交易日期,交易金额,账户余额,交易地点/附言,对方账号与户名\r\n"
            "1,工资,人民币,钞,20260105,\"+8,000.00\",9000,,\r\n"
            "2,消费,人民币,钞,20260106,-12.30,8987.70,城东超市,\r\n合计,,,\r\n"))));
        QVERIFY2(s.Readable.IsSound(), qPrintable(s.Readable.Reason()));
        QCOMPARE(s.FormatId, QStringLiteral("bank"));
        QVERIFY(s.IsBank);
        QCOMPARE(s.Rows.size(), 2);
        QCOMPARE(s.Rows[0].Kind, 0);
        QCOMPARE(s.Rows[0].Amount.Units(), 80000000);
        QCOMPARE(s.Rows[1].Kind, 1);
        QCOMPARE(s.Rows[0].Remark, QStringLiteral("工资"));
        QCOMPARE(s.Rows[1].Remark, QStringLiteral("城东超市"));
        QCOMPARE(s.Rows[1].Date, QDate(2026, 1, 6));
        QVERIFY(!s.Rows[1].Time.isValid());
    }

    // A transfer sent back is booked with its refund, or not at all.
    void ReturnedTransfers()
    {
        const TStatement s = ReadStatement(WriteFile(Wechat({
            QStringLiteral("2026-03-05 10:00:00,转账,甲,/,支出,¥50.00,零钱,对方已退还,T1,/,/"),
            QStringLiteral("2026-03-06 10:00:00,转账-退款,甲,/,收入,¥50.00,零钱,已退还,T2,/,/"),
            QStringLiteral("2026-03-07 10:00:00,转账,乙,/,支出,¥80.00,零钱,对方已退还,T3,/,/"),
            QStringLiteral("2026-03-08 10:00:00,商户消费-退款,店,/,收入,¥80.00,零钱,已退款,T4,/,/"),
        })));
        QCOMPARE(s.Rows.size(), 4);
        QCOMPARE(s.Rows[0].Status, TRowStatus::New);
        QCOMPARE(s.Rows[1].Status, TRowStatus::New);
        QCOMPARE(s.Rows[2].Status, TRowStatus::Skipped);
        QVERIFY(!s.Rows[2].Reason.isEmpty());
    }

    // A table of no known kind asks for its columns; with them it reads,
    // amounts in separate columns and identical rows kept apart.
    void MappedTable()
    {
        const QByteArray bytes = Gb18030(QStringLiteral(
            "我的账本导出\r\n日期,说明,存入,取出,类别\r\n2026/1/5,工资,\"1,000.00\",,薪水\r\n"
            "2026/1/6,咖啡,,12.00,餐饮\r\n2026/1/6,咖啡,,12.00,餐饮\r\n2026/1/7,空,,,\r\n"));
        const QString file = WriteFile(bytes);
        const TStatement unknown = ReadStatement(file);
        QVERIFY(unknown.Readable.IsSound());
        QVERIFY(unknown.NeedsMapping);
        QCOMPARE(unknown.Header,
                 (QStringList {u"日期"_s, u"说明"_s, u"存入"_s, u"取出"_s, u"类别"_s}));

        TColumnMapping m;
        m.Date = QStringLiteral("日期");
        m.Income = QStringLiteral("存入");
        m.Expense = QStringLiteral("取出");
        m.Remark = QStringList {QStringLiteral("说明")};
        m.Hint = QStringLiteral("类别");
        QCOMPARE(TColumnMapping::FromText(m.ToText()).ToText(), m.ToText());
        const TStatement s = ReadStatement(file, m);
        QCOMPARE(s.FormatId, QStringLiteral("mapped"));
        QCOMPARE(s.Rows.size(), 4);
        QCOMPARE(s.Rows[0].Kind, 0);
        QCOMPARE(s.Rows[0].Amount.Units(), 10000000);
        QCOMPARE(s.Rows[0].Date, QDate(2026, 1, 5));
        QCOMPARE(s.Rows[1].Kind, 1);
        QCOMPARE(s.Rows[1].CategoryHint, QStringLiteral("餐饮"));
        QVERIFY(s.Rows[1].SourceId != s.Rows[2].SourceId);
        QCOMPARE(s.Rows[3].Status, TRowStatus::Skipped);
        // The same file read again gives the same identities.
        QCOMPARE(ReadStatement(file, m).Rows[2].SourceId, s.Rows[2].SourceId);
    }

    // The 2021–2022 Alipay layout: 收/支 first, the time last, totals after
    // the rows; refunds and earnings come in, neutral and unpaid rows do not.
    void AlipayOldLayout()
    {
        const QString text = QStringLiteral(
            "------------------------支付宝（中国）网络技术有限公司  "
            "电子客户回单------------------------\r\n"
            "收/支,交易对方,对方账号,商品说明,收/"
            "付款方式,金额,交易状态,交易分类,交易订单号,商家订单号,交易时间,\r\n"
            "支出,店,/,午饭,余额,25.00,交易成功,餐饮美食,2021A1\t,\t,2021-05-01 12:00:00,\r\n"
            "其他,余额宝,/,余额宝-2021.05.01-收益发放,,0.12,交易成功,投资理财,2021A2\t,,2021-05-02 "
            "04:00:00,\r\n"
            ",某店,/,退款-杯子,,30.00,退款成功,退款,2021A0_1\t,,2021-05-03 10:00:00,\r\n"
            "其他,银行,/,充值,,100.00,交易成功,其他,2021A3,,2021-05-04 10:00:00,\r\n"
            "支出,某店,/,杯子,,30.00,交易关闭,日用百货,2021A0,,2021-05-01 09:00:00,\r\n"
            "收入,某人,/,收款,,5.00,交易关闭,收入,2021A4,,2021-05-05 09:00:00,\r\n"
            "支出,店,/,失败的,,9.00,支付失败,餐饮美食,2021A5,,2021-05-06 09:00:00,\r\n"
            "------------------------------------------------------------------------------------"
            "\r\n"
            "导出信息：\r\n收入：1笔,5.00元\r\n");
        const TStatement s = ReadStatement(WriteFile(Gb18030(text)));
        QVERIFY2(s.Readable.IsSound(), qPrintable(s.Readable.Reason()));
        QCOMPARE(s.FormatId, QStringLiteral("alipay"));
        QCOMPARE(s.Rows.size(), 7);
        const QList<TRowStatus> statuses
            = {TRowStatus::New, TRowStatus::New,     TRowStatus::New,    TRowStatus::Skipped,
               TRowStatus::New, TRowStatus::Skipped, TRowStatus::Skipped};
        const QList<int> kinds = {1, 0, 0, 0, 1, 0, 1};
        for (int i = 0; i < s.Rows.size(); ++i) {
            QCOMPARE(s.Rows[i].Status, statuses[i]);
            if (s.Rows[i].Status == TRowStatus::New)
                QCOMPARE(s.Rows[i].Kind, kinds[i]);
        }
        QCOMPARE(s.Rows[2].SourceId, QStringLiteral("alipay:2021A0_1"));
        QCOMPARE(s.Rows[0].Time, QTime(12, 0));
        QCOMPARE(s.Rows[0].Source, QStringLiteral("余额"));
    }

    // The bank's later detail layout (交易详情 after 摘要, 对方账户 last) and its
    // credit-card download (记账日期, no 钞/汇) read by column name.
    void IcbcLaterLayouts_data()
    {
        QTest::addColumn<QString>("text");
        const QString preamble = QStringLiteral(
            "明细查询文件下载\r\n\r\n卡号: 6222****5678,\"卡别名: 工资卡\"\r\n\r\n");
        const QString footer
            = QStringLiteral(" \r\n人民币合计,,,,,,,,\"9,876.54\",\"1,247.80\",\r\n");
        QTest::newRow("15 columns")
            << preamble
                + QStringLiteral(
                    "交易日期,摘要,交易详情,交易场所,交易国家或地区简称,钞/汇,交易金额(收入),"
                    "交易金额(支出),交易币种,记账金额(收入),记账金额(支出),记账币种,余额,对方户名,"
                    "对方账户\r\n"
                    "2026-03-28     \t,\"消费      \t\",\"轻食沙拉  \t\",\"财付通    \t\",\"CHN "
                    "\t\",钞 "
                    "\t,\"-  \t\",\"-  \t\",-  \t,\"     \t\",\"32.50   \t\",人民币 \t,\"36,608.60 "
                    "\t\",\"财付通公司 \t\",\"6222 \t\",\r\n"
                    "2026-03-27     \t,\"工资      \t\",\"          \t\",\"          \t\",\"CHN "
                    "\t\",钞 \t,\"-  \t\",\"-  \t\",-  \t,\"9,876.54 \t\",\"     \t\",人民币 "
                    "\t,\"36,641.10 \t\",\"某某科技有限公司 \t\",\"  \t\",\r\n"
                    "2026-03-24     \t,\"跨行汇款  \t\",\"          \t\",\"          \t\",\"CHN "
                    "\t\",钞 \t,\"-  \t\",\"-  \t\",-  \t,\"     \t\",\"1,215.30 \t\",人民币 "
                    "\t,\"26,979.86 \t\",\"刘先生 \t\",\"6217 \t\",\r\n")
                + footer;
        QTest::newRow("credit card")
            << preamble
                + QStringLiteral(
                    "交易日期,记账日期,摘要,交易场所,交易国家或地区简称,交易金额(收入),"
                    "交易金额(支出),交易币种,记账金额(收入),记账金额(支出),记账币种,余额,"
                    "对方户名\r\n"
                    "2026-03-28 \t,2026-03-29 \t,\"消费 \t\",\"轻食沙拉 \t\",\"CHN \t\",\"- "
                    "\t\",\"- \t\",- \t,\"  \t\",\"32.50 \t\",人民币 \t,\"0.00 \t\",\"  \t\",\r\n"
                    "2026-03-27 \t,2026-03-27 \t,\"工资 \t\",\"  \t\",\"CHN \t\",\"- \t\",\"- "
                    "\t\",- \t,\"9,876.54 \t\",\"  \t\",人民币 \t,\"0.00 \t\",\"某某科技有限公司 "
                    "\t\",\r\n"
                    "2026-03-24 \t,2026-03-25 \t,\"跨行汇款 \t\",\"  \t\",\"CHN \t\",\"- \t\",\"- "
                    "\t\",- \t,\"  \t\",\"1,215.30 \t\",人民币 \t,\"0.00 \t\",\"刘先生 \t\",\r\n")
                + footer;
    }

    void IcbcLaterLayouts()
    {
        QFETCH(QString, text);
        const TStatement s = ReadStatement(WriteFile(Gb18030(text)));
        QVERIFY2(s.Readable.IsSound(), qPrintable(s.Readable.Reason()));
        QCOMPARE(s.FormatId, QStringLiteral("icbc"));
        QCOMPARE(s.Rows.size(), 3);
        const QList<QStringList> expected
            = {{u"2026-03-28"_s, u"支出"_s, u"32.50"_s, u"轻食沙拉"_s, u"消费"_s},
               {u"2026-03-27"_s, u"收入"_s, u"9876.54"_s, u"某某科技有限公司"_s, u"工资"_s},
               {u"2026-03-24"_s, u"支出"_s, u"1215.30"_s, u"刘先生"_s, u"跨行汇款"_s}};
        for (int i = 0; i < 3; ++i) {
            const TStatementRow &row = s.Rows[i];
            QCOMPARE(row.Status, TRowStatus::New);
            QCOMPARE((QStringList {row.Date.toString(Qt::ISODate), KindText(row.Kind),
                                   TwoDecimals(row.Amount), row.Remark, row.CategoryHint}),
                     expected[i]);
        }
    }

    // An xlsx of the 2026 WeChat layout: a fourth note moves the header down,
    // the amount is a number cell and a time may be a day serial.
    void WechatXlsxNumbers()
    {
        const auto text = [](const char *ref, const QString &value) {
            return QStringLiteral("<c r=\"%1\" t=\"inlineStr\"><is><t>%2</t></is></c>")
                .arg(QString::fromLatin1(ref), value);
        };
        const auto number = [](const char *ref, const QString &value) {
            return QStringLiteral("<c r=\"%1\"><v>%2</v></c>").arg(QString::fromLatin1(ref), value);
        };
        const qint64 day = QDate(1899, 12, 30).daysTo(QDate(2026, 3, 20));
        QString sheet = QStringLiteral("<row r=\"1\">")
            + text("A1", QStringLiteral("微信支付账单明细"))
            + QStringLiteral("</row><row r=\"17\">")
            + text("A17", QStringLiteral("4. 本账单中所有时间均为UTC+08:00时间"))
            + QStringLiteral("</row><row r=\"18\">");
        const QStringList header
            = {QStringLiteral("交易时间"), QStringLiteral("交易类型"), QStringLiteral("交易对方"),
               QStringLiteral("商品"),     QStringLiteral("收/支"),    QStringLiteral("金额(元)"),
               QStringLiteral("支付方式"), QStringLiteral("当前状态"), QStringLiteral("交易单号"),
               QStringLiteral("商户单号"), QStringLiteral("备注")};
        const char *refs18[]
            = {"A18", "B18", "C18", "D18", "E18", "F18", "G18", "H18", "I18", "J18", "K18"};
        for (int i = 0; i < header.size(); ++i)
            sheet += text(refs18[i], header[i]);
        sheet += QStringLiteral("</row><row r=\"19\">")
            + number("A19", QString::number(day) + QStringLiteral(".5"))
            + text("B19", QStringLiteral("商户消费")) + text("C19", QStringLiteral("商店"))
            + text("D19", QStringLiteral("耳机")) + text("E19", QStringLiteral("支出"))
            + number("F19", QStringLiteral("1299")) + text("I19", QStringLiteral("X1"))
            + QStringLiteral("</row><row r=\"20\">")
            + text("A20", QStringLiteral("2026-03-21 08:30:00"))
            + text("B20", QStringLiteral("转账")) + text("C20", QStringLiteral("朋友"))
            + text("E20", QStringLiteral("收入")) + text("F20", QStringLiteral("¥1,000.50"))
            + text("I20", QStringLiteral("X2")) + QStringLiteral("</row>");

        const TStatement s = ReadStatement(WriteXlsx(sheet));
        QVERIFY2(s.Readable.IsSound(), qPrintable(s.Readable.Reason()));
        QCOMPARE(s.FormatId, QStringLiteral("wechat"));
        QCOMPARE(s.Rows.size(), 2);
        QCOMPARE(s.Rows[0].Date, QDate(2026, 3, 20));
        QCOMPARE(s.Rows[0].Time, QTime(12, 0));
        QCOMPARE(s.Rows[0].Amount.Units(), 12990000);
        QCOMPARE(s.Rows[0].Remark, QStringLiteral("耳机"));
        QCOMPARE(s.Rows[1].Kind, 0);
        QCOMPARE(s.Rows[1].Amount.Units(), 10005000);
        QCOMPARE(s.Rows[1].Remark, QStringLiteral("朋友"));
    }

    // Damaged and hostile spreadsheets are refused with the reason; none
    // crashes the program or fills its memory.
    void BrokenSpreadsheets_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("strings");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("reason");
        const QString row
            = u"<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c><v>28</v></c></row>"_s;
        const QString bomb
            = u"<!DOCTYPE sst [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;"
              u"&a;&a;&a;&a;&a;\">]><sst><si><t>&b;&b;&b;&b;</t></si></sst>"_s;
        QTest::newRow("cell without a column") << u"<row r=\"1\"><c r=\"1\"><v>28</v></c></row>"_s
                                               << QString() << QString() << u"单元格位置“1”无效"_s;
        QTest::newRow("row 1,500,000,000") << u"<row r=\"1500000000\"><c><v>28</v></c></row>"_s
                                           << QString() << QString() << u"超过 1048576 行"_s;
        QTest::newRow("column ZZZZZZ") << u"<row><c r=\"ZZZZZZ1\"><v>28</v></c></row>"_s
                                       << QString() << QString() << u"超过 16384 列"_s;
        QTest::newRow("two million shared strings")
            << row << u"<sst>"_s + u"<si/>"_s.repeated(2000001) + u"</sst>"_s << QString()
            << u"超过 2000000 个共享字符串"_s;
        QTest::newRow("entities in the XML") << row << bomb << QString() << u"DTD"_s;
        QTest::newRow("a bit flipped")
            << row << u"<sst><si><t>x</t></si></sst>"_s << u"flip"_s << u"校验码"_s;
        QTest::newRow("sheet stated to inflate to 2 GB")
            << row << QString() << u"size"_s << u"解压后超过 256 MB"_s;
        // One-byte changes of the bank's .xls sample: offset and new value.
        QTest::newRow("xls crashing the reader")
            << QString() << QString() << u"xls 3183 1"_s << u"文件已损坏或格式不受支持"_s;
        QTest::newRow("xls of 130 million rows")
            << QString() << QString() << u"xls 3046 255"_s << u"超过 1048576 行"_s;
    }

    void BrokenSpreadsheets()
    {
        QFETCH(QString, rows);
        QFETCH(QString, strings);
        QFETCH(QString, damage);
        QFETCH(QString, reason);
        QByteArray bytes;
        if (damage.startsWith(u"xls")) {
            bytes = ReadAll(QStringLiteral(IMPORT_SAMPLES "/ccb-xls/sample.xls"));
            if (bytes.isEmpty())
                QSKIP("The sample statements are not beside the project");
            const QStringList change = damage.split(u' ');
            bytes[change[1].toInt()] = char(change[2].toInt());
        } else {
            bytes = ReadAll(WriteXlsx(rows, strings));
            if (damage == u"flip") // 28 becomes 68
                bytes.replace("<v>28</v>", "<v>68</v>");
            else if (damage == u"size") // the sheet's size in the central directory
                bytes.replace(bytes.lastIndexOf("xl/worksheets/sheet1.xml") - 22, 4,
                              "\xff\xff\xff\x7f");
        }
        const TStatement s = ReadStatement(WriteFile(bytes));
        QVERIFY2(s.Readable.Reason().contains(reason), qPrintable(s.Readable.Reason()));
        QVERIFY(s.Rows.isEmpty());
    }

    // Day serials are read to the second, in the date's cell or their own.
    void Serials_data()
    {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QTime>("expected");
        QTest::newRow("a second to midnight")
            << u"46102.99998842592"_s << QString() << QTime(23, 59, 59);
        QTest::newRow("half past noon") << u"46102.520833333336"_s << QString() << QTime(12, 30);
        QTest::newRow("whole day") << u"46102"_s << QString() << QTime(0, 0);
        QTest::newRow("time of its own")
            << u"2026-03-21"_s << u"0.999988425925926"_s << QTime(23, 59, 59);
    }

    void Serials()
    {
        QFETCH(QString, date);
        QFETCH(QString, time);
        QFETCH(QTime, expected);
        TColumnMapping m;
        m.Date = u"日期"_s;
        m.Time = u"时间"_s;
        m.Amount = u"金额"_s;
        const TStatement s = ParseStatementTable(
            {{u"日期"_s, u"时间"_s, u"金额"_s}, {date, time, u"-28"_s}}, {}, true, m);
        QCOMPARE(s.Rows.size(), 1);
        QCOMPARE(s.Rows[0].Date, QDate(2026, 3, 21));
        QCOMPARE(s.Rows[0].Time, expected);
    }

    // 100,000 rows read in one go; the time is reported, not asserted.
    void LargeFile()
    {
        QByteArray bytes = Wechat({});
        bytes.reserve(bytes.size() + 100000 * 120);
        for (int i = 0; i < 100000; ++i)
            bytes += QStringLiteral("2026-03-%1 12:00:00,商户消费,店%2,\"商品%2\",支出,¥%3.50,零钱,"
                                    "支付成功,%4\t,/\t,\"/\"\n")
                         .arg(i % 28 + 1, 2, 10, QChar(u'0'))
                         .arg(i)
                         .arg(i % 500 + 1)
                         .arg(4200000000LL + i)
                         .toUtf8();
        const QString file = WriteFile(bytes);
        QElapsedTimer timer;
        timer.start();
        const TStatement s = ReadStatement(file);
        qInfo("100000 rows read in %lld ms", timer.elapsed());
        QCOMPARE(s.Count(TRowStatus::New), 100000);
    }
};

QTEST_GUILESS_MAIN(TestImportFormats)
#include "tst_ImportFormats.moc"
