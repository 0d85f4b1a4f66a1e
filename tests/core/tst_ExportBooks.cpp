// The books written out: the journal read back by hledger agrees with the
// account balances and the period totals, and the CSV holds every record of
// a query as it stands.
#include "LedgerTestSupport.h"

#include "data/ListModel.h"
#include "data/UException.h"
#include "exchange/CsvReader.h"
#include "exchange/Export.h"
#include "ledger/Transfers.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>

namespace {

// Runs hledger on a journal and returns the rows of its CSV output, or one
// row "failed" when hledger reports an error.
QList<QStringList> Hledger(const QString &journal, const QStringList &arguments)
{
    QProcess process;
    // hledger reads the journal in the locale's encoding: UTF-8 it must be.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("hledger"),
                  QStringList {QStringLiteral("-f"), journal} + arguments);
    if (!process.waitForFinished(120000) || process.exitCode() != 0) {
        qWarning("hledger: %s", process.readAllStandardError().constData());
        return {{QStringLiteral("failed")}};
    }
    return ReadCsv(QString::fromUtf8(process.readAllStandardOutput())).Rows;
}

// hledger's balance report as account -> amount.
QHash<QString, Currency> Balances(const QString &journal, const QStringList &options)
{
    const QList<QStringList> rows
        = Hledger(journal,
                  QStringList {QStringLiteral("balance"), QStringLiteral("--flat"),
                               QStringLiteral("-N"), QStringLiteral("-O"), QStringLiteral("csv")}
                      + options);
    QHash<QString, Currency> balances;
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
        TTestBooks books;
        // Names that differ only in full-width punctuation, blanks or escapes.
        QStringList accounts = {QStringLiteral("现金"),         QStringLiteral("招行:储蓄  卡"),
                                QStringLiteral("微信零钱"),     QStringLiteral("支付宝:余额"),
                                QStringLiteral("支付宝：余额"), QStringLiteral(" 余额%3A宝　")};
        for (const QString &account : accounts)
            InsertAccount(account, Amount(account == accounts[1] ? "-250.125" : "1000"));
        DbExec(QStringLiteral(
            "insert into InType(SelfIndex,ParentIndex,TypeName) values (1,0,'工资')@#@"
            "insert into InType(SelfIndex,ParentIndex,TypeName) values (2,1,'奖金')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (1,0,'餐饮')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (2,1,'早餐')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (3,0,'交通')"));
        // Remarks that read as a status or a code stay the description.
        const QStringList remarks
            = {QStringLiteral("*已核对"), QStringLiteral("!待查"), QStringLiteral("(123) 退款"),
               QStringLiteral("记录; *备注  二")};
        QRandomGenerator random(20260301);
        for (int i = 0; i < 400; ++i) {
            const int kind = random.bounded(3) == 0 ? 0 : 1;
            // Type 9 is in no tree: such records go under 未分类.
            const int type = random.bounded(10) == 0 ? 9 : 1 + random.bounded(kind == 0 ? 2 : 3);
            const Currency fare = Currency::FromUnits(1 + random.bounded(50000000));
            AddRecord(kind, accounts[random.bounded(accounts.size())], fare, type,
                      remarks[i % remarks.size()], QDate(2025, 11, 1).addDays(random.bounded(150)));
        }
        // Transfers with and without a fee, then the paying account renamed.
        Transfers::Add({0, QDate(2026, 1, 10), accounts[0], accounts[3], Amount("300"),
                        Amount("2.5"), QStringLiteral("*充值")});
        Transfers::Add({0, QDate(2025, 10, 1), accounts[5], accounts[1], Amount("80"), {}, {}});
        GAccount->FAccountName = QStringLiteral("现金:钱包");
        GAccount->UpdateAccount(accounts[0]);
        accounts[0] = GAccount->FAccountName;
        const QString journal = FDir.filePath(QStringLiteral("books.journal"));
        QCOMPARE(BooksExport::WriteJournal(journal), 402);
        QCOMPARE(Hledger(journal, {QStringLiteral("check"), QStringLiteral("--strict")}).size(), 0);

        // Each name reads back from its own journal account, with its balance.
        const QHash<QString, Currency> all = Balances(journal, {});
        QSet<QString> read;
        for (auto it = all.cbegin(); it != all.cend(); ++it) {
            if (!it.key().startsWith(QStringLiteral("资产:")))
                continue;
            const QString name = QUrl::fromPercentEncoding(it.key().mid(3).toUtf8());
            read << name;
            QCOMPARE(it.value(), ReadTotals(name).Fare);
        }
        QCOMPARE(read, QSet<QString>(accounts.cbegin(), accounts.cend()));
        QSet<QString> descriptions;
        for (const QStringList &row :
             Hledger(journal,
                     {QStringLiteral("print"), QStringLiteral("-O"), QStringLiteral("csv")})
                 .mid(1)) {
            QVERIFY(row[3].isEmpty() && row[4].isEmpty()); // no status, no code
            descriptions << row[5];
        }
        QVERIFY(descriptions.contains(QStringLiteral("记录； *备注 二")));

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
        QCOMPARE(-month.value(QStringLiteral("收入")), totals.Income);
        // The month's transfer fee is an expense of the journal only.
        QCOMPARE(month.value(QStringLiteral("支出")), totals.Expense + Amount("2.5"));
    }

    void RecordsCsv()
    {
        TTestBooks books;
        InsertAccount(QStringLiteral("A"), Amount("0"));
        DbExec(QStringLiteral(
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (1,0,'餐饮')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (2,1,'早餐')"));
        const QString remark = QStringLiteral("豆浆,油条 \"加蛋\"\n第二行");
        AddRecord(1, QStringLiteral("A"), Amount("8.5"), 2, remark, QDate(2026, 3, 2));
        // A remark a spreadsheet would run stays text; a negative amount a number.
        AddRecord(0, QStringLiteral("A"), Amount("-100"), 7, QStringLiteral("=1+2"),
                  QDate(2026, 3, 1));
        AddRecord(1, QStringLiteral("A"), Amount("3"), 1, {}, QDate(2026, 4, 1));
        // A transfer of the period goes after the day's records, its fee in the remark.
        InsertAccount(QStringLiteral("B"), Amount("0"));
        Transfers::Add({0, QDate(2026, 3, 1), QStringLiteral("A"), QStringLiteral("B"),
                        Amount("50"), Amount("2"), QStringLiteral("还款")});
        const QString file = FDir.filePath(QStringLiteral("records.csv"));
        RecordFilter march = RecordFilter::Days(QDate(2026, 3, 1), QDate(2026, 3, 31));
        QCOMPARE(BooksExport::WriteRecordsCsv(file, march), 3);
        const QByteArray bytes = ReadAll(file);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        const QList<QStringList> rows = ReadCsv(QString::fromUtf8(bytes.mid(3))).Rows;
        QCOMPARE(rows.size(), 4);
        QCOMPARE(
            rows[1],
            (QStringList {QStringLiteral("2026-03-01"), QStringLiteral("收入"), QString(),
                          QStringLiteral("-100"), QStringLiteral("A"), QStringLiteral("'=1+2")}));
        QCOMPARE(rows[2],
                 (QStringList {QStringLiteral("2026-03-01"), QStringLiteral("转账"), QString(),
                               QStringLiteral("50"), QStringLiteral("A → B"),
                               QStringLiteral("还款；手续费 2")}));
        QCOMPARE(rows[3],
                 (QStringList {QStringLiteral("2026-03-02"), QStringLiteral("支出"),
                               QStringLiteral("餐饮/早餐"), QStringLiteral("8.5"),
                               QStringLiteral("A"), remark}));
        // A category asked for selects records only.
        march.ExpenseType = 0;
        QCOMPARE(BooksExport::WriteRecordsCsv(file, march), 1);
        // A category whose parent is gone has the path the tree shows it at.
        DbExec(QStringLiteral("insert into OutType values (3,9,'夜宵')"));
        AddRecord(1, QStringLiteral("A"), Amount("6"), 3, {}, QDate(2026, 5, 1));
        QCOMPARE(BooksExport::WriteRecordsCsv(file, {}), 5);
        QCOMPARE(ReadCsv(QString::fromUtf8(ReadAll(file).mid(3))).Rows.last().value(2),
                 QStringLiteral("餐饮/早餐/夜宵"));
        // A folder that is not there: the failure says so.
        QVERIFY_THROWS_EXCEPTION(
            Exception, BooksExport::WriteRecordsCsv(FDir.filePath(QStringLiteral("no/x.csv")), {}));
    }

    // Progress runs from 0 to 1; a stop, even after the last row, leaves no
    // file under the chosen name and no temporary file beside it.
    void StoppedExportLeavesNoFile_data()
    {
        QTest::addColumn<bool>("journal");
        QTest::addColumn<bool>("last"); // stopped at the last look, else at the first
        QTest::newRow("csv at once") << false << false;
        QTest::newRow("csv written") << false << true;
        QTest::newRow("journal at once") << true << false;
        QTest::newRow("journal written") << true << true;
    }
    void StoppedExportLeavesNoFile()
    {
        QFETCH(bool, journal);
        QFETCH(bool, last);
        TTestBooks books;
        InsertAccount(QStringLiteral("A"), Amount("0"));
        for (int day = 1; day <= 5; ++day)
            AddRecord(1, QStringLiteral("A"), Amount("1"), 1, {}, QDate(2026, 3, day));
        const QTemporaryDir dir;
        const auto write = [&](const QString &name, const TWorkHooks &hooks) {
            return journal ? BooksExport::WriteJournal(dir.filePath(name), hooks)
                           : BooksExport::WriteRecordsCsv(dir.filePath(name), {}, hooks);
        };
        QList<double> fractions;
        QCOMPARE(write(QStringLiteral("whole"),
                       {[&](double fraction, const QString &) { fractions << fraction; }, {}}),
                 5);
        QVERIFY(fractions.size() >= 2 && fractions.first() == 0 && fractions.last() == 1);
        QVERIFY(std::is_sorted(fractions.cbegin(), fractions.cend()));
        qsizetype looks = 0;
        const qsizetype stopAt = last ? fractions.size() : 1;
        QVERIFY_THROWS_EXCEPTION(
            EAbort, write(QStringLiteral("out"), {{}, [&] { return ++looks == stopAt; }}));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList {QStringLiteral("whole")});
    }
};

QTEST_GUILESS_MAIN(TestExportBooks)
#include "tst_ExportBooks.moc"
