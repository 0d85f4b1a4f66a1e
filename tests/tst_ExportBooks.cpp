// The books written out: the journal read back by hledger agrees with the
// account balances and the period totals, and the CSV holds every record of
// a query as it stands.
#include "LedgerTestSupport.h"

#include "data/ListModel.h"
#include "data/UException.h"
#include "exchange/CsvReader.h"
#include "exchange/Export.h"

#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

// Runs hledger on a journal and returns its balance report as account ->
// amount; fails the test when hledger reports an error.
QHash<QString, Currency> Balances(const QString &journal, const QStringList &options)
{
    QProcess process;
    // hledger reads the journal in the locale's encoding: UTF-8 it must be.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("hledger"),
                  QStringList {QStringLiteral("-f"), journal, QStringLiteral("balance"),
                               QStringLiteral("--flat"), QStringLiteral("-N"), QStringLiteral("-O"),
                               QStringLiteral("csv")}
                      + options);
    QHash<QString, Currency> balances;
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        qWarning("hledger: %s", process.readAllStandardError().constData());
        return {{QStringLiteral("failed"), Currency()}};
    }
    const QList<QStringList> rows
        = ReadCsv(QString::fromUtf8(process.readAllStandardOutput())).Rows;
    for (qsizetype i = 1; i < rows.size(); ++i)
        if (rows[i].size() == 2)
            balances.insert(rows[i][0], Currency::Parse(rows[i][1].section(u' ', 0, 0)));
    return balances;
}

} // namespace

class TestExportBooks : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;

private Q_SLOTS:
    void JournalAgreesWithHledger()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("hledger")).isEmpty())
            QSKIP("hledger is not installed");
        TLedgerBooks books;
        const QStringList accounts
            = {QStringLiteral("现金"), QStringLiteral("招行:储蓄  卡"), QStringLiteral("微信零钱")};
        InsertAccount(accounts[0], Amount("1000"));
        InsertAccount(accounts[1], Amount("-250.125"));
        InsertAccount(accounts[2], Amount("0"));
        DbExec(QStringLiteral(
            "insert into InType(SelfIndex,ParentIndex,TypeName) values (1,0,'工资')@#@"
            "insert into InType(SelfIndex,ParentIndex,TypeName) values (2,1,'奖金')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (1,0,'餐饮')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (2,1,'早餐')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (3,0,'交通')"));
        QRandomGenerator random(20260301);
        for (int i = 0; i < 400; ++i) {
            const int kind = random.bounded(3) == 0 ? 0 : 1;
            // Type 9 is in no tree: such records go under 未分类.
            const int type = random.bounded(10) == 0 ? 9 : 1 + random.bounded(kind == 0 ? 2 : 3);
            const Currency fare = Currency::FromUnits(1 + random.bounded(50000000));
            AddRecord(kind, accounts[random.bounded(3)], fare, type,
                      QStringLiteral("记录 %1; *备注  二").arg(i),
                      QDate(2025, 11, 1).addDays(random.bounded(150)));
        }
        const QString journal = FDir.filePath(QStringLiteral("books.journal"));
        QCOMPARE(BooksExport::WriteJournal(journal), 400);

        const QHash<QString, Currency> all = Balances(journal, {});
        QVERIFY(!all.contains(QStringLiteral("failed")));
        for (const QString &account : accounts) {
            const QString name
                = QStringLiteral("资产:") + QString(account).replace(u':', u'：').simplified();
            QCOMPARE(all.value(name), ReadTotals(account).Fare);
        }

        // A month's income and expense as the main window sums its list.
        const QDate begin(2026, 1, 1);
        const QDate end(2026, 1, 31);
        TListModel list({});
        GBookKeep->ListRecords(
            list,
            Format(QStringLiteral("where InDate >= %s and InDate <= %s "),
                   {QString::number(DayNumber(begin)), QString::number(DayNumber(end))}));
        const TRecordTotals totals = SumListedRecords(list);
        QVERIFY(totals.Count > 0);
        const QHash<QString, Currency> month
            = Balances(journal,
                       {QStringLiteral("--depth"), QStringLiteral("1"), QStringLiteral("-b"),
                        begin.toString(Qt::ISODate), QStringLiteral("-e"),
                        end.addDays(1).toString(Qt::ISODate)});
        QVERIFY(!month.contains(QStringLiteral("failed")));
        QCOMPARE(-month.value(QStringLiteral("收入")), totals.Income);
        QCOMPARE(month.value(QStringLiteral("支出")), totals.Expense);
    }

    void RecordsCsv()
    {
        TLedgerBooks books;
        InsertAccount(QStringLiteral("A"), Amount("0"));
        DbExec(QStringLiteral(
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (1,0,'餐饮')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (2,1,'早餐')"));
        const QString remark = QStringLiteral("豆浆,油条 \"加蛋\"\n第二行");
        AddRecord(1, QStringLiteral("A"), Amount("8.5"), 2, remark, QDate(2026, 3, 2));
        AddRecord(0, QStringLiteral("A"), Amount("100"), 7, {}, QDate(2026, 3, 1));
        AddRecord(1, QStringLiteral("A"), Amount("3"), 1, {}, QDate(2026, 4, 1));
        const QString file = FDir.filePath(QStringLiteral("records.csv"));
        QCOMPARE(
            BooksExport::WriteRecordsCsv(file,
                                         Format(QStringLiteral("where InDate <= %s "),
                                                {QString::number(DayNumber(QDate(2026, 3, 31)))})),
            2);
        const QByteArray bytes = ReadAll(file);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QList<QStringList> rows = ReadCsv(QString::fromUtf8(bytes.mid(3))).Rows;
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[1],
                 (QStringList {QStringLiteral("2026-03-01"), QStringLiteral("收入"), QString(),
                               QStringLiteral("100"), QStringLiteral("A"), QString()}));
        QCOMPARE(rows[2],
                 (QStringList {QStringLiteral("2026-03-02"), QStringLiteral("支出"),
                               QStringLiteral("餐饮/早餐"), QStringLiteral("8.5"),
                               QStringLiteral("A"), remark}));
        // A folder that is not there: the failure says so.
        QVERIFY_THROWS_EXCEPTION(
            Exception, BooksExport::WriteRecordsCsv(FDir.filePath(QStringLiteral("no/x.csv")), {}));
    }
};

QTEST_GUILESS_MAIN(TestExportBooks)
#include "tst_ExportBooks.moc"
