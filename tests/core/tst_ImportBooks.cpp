// Statements imported into the books: totals stay exact, a file imported
// twice adds nothing, duplicates are caught, a failure changes nothing, and
// the choices made are offered again.
#include "LedgerTestSupport.h"
#include "MonthBills.h"

#include "data/DbFile.h"
#include "data/UException.h"
#include "exchange/BillMerge.h"
#include "exchange/CsvReader.h"
#include "exchange/Import.h"
#include "exchange/ImportRules.h"
#include "ledger/Categories.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

using namespace StatementImport;
using namespace Qt::StringLiterals;

namespace {

const QString kWallet = QStringLiteral("零钱");

// Books with the account 零钱 (100) and the categories 工资 (income 1),
// 餐饮 and 商户消费 (expense 1 and 2), 其他 (expense 3).
class TImportBooks : public TTestBooks
{
public:
    TImportBooks()
    {
        InsertAccount(kWallet, Amount("100"));
        DbExec(QStringLiteral(
            "insert into InType(SelfIndex,ParentIndex,TypeName) values (1,0,'工资')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (1,0,'餐饮')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (2,0,'商户消费')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (3,0,'其他')"));
    }
};

QString WriteText(const QTemporaryDir &dir, const QString &name, const QString &text)
{
    const QString path = dir.filePath(name);
    WriteFile(path, "\xEF\xBB\xBF" + text.toUtf8());
    return path;
}

// A WeChat statement of the given data lines.
QString Wechat(const QTemporaryDir &dir, const QString &name, const QStringList &lines)
{
    QString text
        = QStringLiteral("微信支付账单明细\n交易时间,交易类型,交易对方,商品,收/支,金额(元),"
                         "支付方式,当前状态,交易单号,商户单号,备注\n");
    for (const QString &line : lines)
        text += line + u'\n';
    return WriteText(dir, name, text);
}

// A bank statement in the common layout of one signed amount.
QString Bank(const QTemporaryDir &dir, const QString &name, const QStringList &lines)
{
    QString text = QStringLiteral("户名：王小明\n序号,交易日期,交易时间,摘要,交易金额,账户余额,"
                                  "对方户名,对方账号,交易渠道,附言\n");
    for (const QString &line : lines)
        text += line + u'\n';
    return WriteText(dir, name, text);
}

QList<TRowStatus> Statuses(const TStatement &s)
{
    QList<TRowStatus> statuses;
    for (const TStatementRow &row : s.Rows)
        statuses << row.Status;
    return statuses;
}

// What a row is filed by: its kind and counterparty.
QString KindAndCounterparty(const TStatementRow &row)
{
    return (row.Kind == 0 ? u"收入"_s : u"支出"_s) + row.Counterparty;
}

TImportRule Rule(TImportRule::TField field, const QString &pattern, int kind, int typeId,
                 const QString &account = {})
{
    return {0, field, pattern, kind, typeId, account};
}

const auto kCounterparty = TImportRule::FieldCounterparty;

// The statement as the one bill of an import into account, planned and
// marked against the books.
TBill Marked(const TStatement &s, const QString &account = kWallet)
{
    QList<TBill> bills {TBill(s, account)};
    PlanBills(bills);
    return bills[0];
}

int Import(const TBill &bill, int defaultExpense = 3)
{
    return ImportBills({bill}, {ChooseCategories(bill.Statement, 1, defaultExpense)}, 1,
                       defaultExpense);
}

int Import(const TStatement &s, const QString &account = kWallet)
{
    return Import(Marked(s, account));
}

QList<TBill> MonthBills(const QStringList &order)
{
    QList<TBill> bills;
    for (const QString &name : order)
        bills << MonthBill(name);
    BillMerge::TPockets pockets;
    for (const QString &account : kMonthPockets + kMonthAccounts.mid(2))
        pockets.insert(account, account);
    BillMerge::Plan(bills, pockets);
    return bills;
}

// The entries planned for the bills as the month's expected.csv writes them,
// sorted: date, kind, amount, accounts, hint, remark and the lines of the
// bills each comes from.
QStringList PlannedLines(const QList<TBill> &bills, const QStringList &order)
{
    const auto where = [&](TRowRef ref) {
        return std::pair(kMonthBills.indexOf(order[ref.Bill]),
                         order[ref.Bill] + u':'
                             + QString::number(bills[ref.Bill].Statement.Rows[ref.Row].Line));
    };
    QStringList lines;
    for (const TEntry &e : BillMerge::Entries(bills)) {
        const TRowStatus status = bills[e.Row.Bill].Statement.Rows[e.Row.Row].Status;
        const TRowRef partner = bills[e.Row.Bill].Plans[e.Row.Row].Partner;
        auto sources = QList {where(e.Row)};
        if (partner.IsValid() && !e.IsFee)
            sources << where(partner);
        std::sort(sources.begin(), sources.end());
        const QString kind = e.IsTransfer              ? u"转账"_s
            : status == TRowStatus::Refund && !e.IsFee ? u"退款"_s
            : e.Kind == 0                              ? u"收入"_s
                                                       : u"支出"_s;
        lines << QStringList {e.Date.toString(Qt::ISODate),
                              kind,
                              QString::number(double(e.Amount.Units()) / 10000, 'f', 2),
                              e.Account,
                              e.ToAccount,
                              e.CategoryHint,
                              e.Remark,
                              sources.size() == 1 ? sources[0].second
                                                  : sources[0].second + u'+' + sources[1].second}
                     .join(u',');
    }
    lines.sort();
    return lines;
}

// The records and transfers in the books as expected.csv writes them, without
// the lines they come from, sorted.
QStringList BookedLines()
{
    const auto amount = [](TQuery &query, int field) {
        return QString::number(double(query.Fields(field).AsInt64()) / 10000, 'f', 2);
    };
    QStringList lines;
    TQuery *query = &GDbAccess->OpenQuery(
        u"select cast(InDate as integer),InOutType,cast(round(Fare*10000) as integer),"
        "AccountName,iif(InOutType=0,(select TypeName from InType where SelfIndex=TypeID),"
        "(select TypeName from OutType where SelfIndex=TypeID)),Remark from BookKeep"_s);
    for (; !query->Eof(); query->Next())
        lines << QStringList {DateOfDayNumber(query->Fields(0).AsInt64()).toString(Qt::ISODate),
                              query->Fields(1).AsInteger() == 0    ? u"收入"_s
                                  : query->Fields(2).AsInt64() < 0 ? u"退款"_s
                                                                   : u"支出"_s,
                              amount(*query, 2),
                              query->Fields(3).AsString(),
                              QString(),
                              query->Fields(4).AsString(),
                              query->Fields(5).AsString()}
                     .join(u',');
    query->Close();
    query = &GDbAccess->OpenQuery(u"select cast(InDate as integer),cast(round(Fare*10000) as "
                                  "integer),FromAccount,ToAccount,Remark from Transfer"_s);
    for (; !query->Eof(); query->Next())
        lines << QStringList {DateOfDayNumber(query->Fields(0).AsInt64()).toString(Qt::ISODate),
                              u"转账"_s,
                              amount(*query, 1),
                              query->Fields(2).AsString(),
                              query->Fields(3).AsString(),
                              QString(),
                              query->Fields(4).AsString()}
                     .join(u',');
    query->Close();
    lines.sort();
    return lines;
}

// The month's bills imported one by one, or all at once; returns what each
// import added.
QList<int> ImportMonth(const QStringList &order, bool together)
{
    QList<TBill> bills;
    QList<int> added;
    for (const QString &name : order) {
        bills << MonthBill(name);
        if (together && bills.size() < order.size())
            continue;
        PlanBills(bills);
        QList<QList<int>> types;
        for (const TBill &bill : bills)
            types << ChooseCategories(bill.Statement, 0, 0);
        added << ImportBills(bills, types, 0, 0);
        bills.clear();
    }
    return added;
}

} // namespace

class TestImportBooks : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;

private Q_SLOTS:
    void Samples_data()
    {
        if (!AddImportSampleRows())
            QSKIP("The sample statements are not beside the project");
    }

    // Each sample adds exactly its expected records, the account's totals
    // move by their sums, and importing it again adds nothing.
    void Samples()
    {
        QFETCH(QString, folder);
        TImportBooks books;
        QCOMPARE(DbQueryInt(QStringLiteral("pragma user_version")), DbFile::kSchemaVersion);
        const QDir dir(folder);
        const QString sample = dir.filePath(dir.entryList({QStringLiteral("sample.*")}).first());
        QFile file(dir.filePath(QStringLiteral("expected.csv")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QStringList> expected = ReadCsv(QString::fromUtf8(file.readAll())).Rows;
        expected.removeFirst();
        Currency balance = Amount("100");
        for (const QStringList &row : expected)
            balance += row[2] == u"收入" ? Currency::Parse(row[3]) : -Currency::Parse(row[3]);

        TStatement s = ReadStatement(sample);
        QCOMPARE(Import(s), expected.size());
        QCOMPARE(RowCount(QStringLiteral("BookKeep")), expected.size());
        QCOMPARE(RowCount(QStringLiteral("ImportedRow")), expected.size());
        // A refund nets its purchase's expense; the balance is the same.
        QCOMPARE(ReadTotals(kWallet).Fare, balance);

        const TBill again = Marked(ReadStatement(sample));
        QCOMPARE(again.Statement.Count(TRowStatus::New), 0);
        QVERIFY_THROWS_EXCEPTION(Exception, Import(again));
        QCOMPARE(RowCount(QStringLiteral("BookKeep")), expected.size());
        QCOMPARE(ReadTotals(kWallet).Fare, balance);
    }

    void UndoneImportImportsAgain_data() { Samples_data(); }

    // An import is one step: undoing it gives back the books as they were,
    // the rows' identities included, so the file imports again in full; a
    // redo brings back exactly the rows the import added.
    void UndoneImportImportsAgain()
    {
        QFETCH(QString, folder);
        TImportBooks books;
        const QDir dir(folder);
        const QString sample = dir.filePath(dir.entryList({QStringLiteral("sample.*")}).first());
        const QByteArray before = DumpBooks(books.DatabaseFile());
        TStatement s = ReadStatement(sample);
        const int count = Import(s);
        QVERIFY(count > 0);
        QCOMPARE(GDbAccess->UndoName(), QStringLiteral("导入账单 %1 条").arg(count));
        const TTotals imported = ReadTotals(kWallet);
        // The choices the import remembered are settings, which an undo leaves.
        QVERIFY(RowCount(QStringLiteral("ImportSetting")) > 0);
        DbExec(QStringLiteral("delete from ImportSetting"));
        const QByteArray after = DumpBooks(books.DatabaseFile());

        GDbAccess->Undo();
        QCOMPARE(RowCount(QStringLiteral("BookKeep")), 0);
        QCOMPARE(RowCount(QStringLiteral("ImportedRow")), 0);
        QCOMPARE(ReadTotals(kWallet), Totals("100", "0", "0"));
        QVERIFY(DumpBooks(books.DatabaseFile()) == before);
        GDbAccess->Redo();
        QVERIFY(DumpBooks(books.DatabaseFile()) == after);
        GDbAccess->Undo();

        TStatement again = ReadStatement(sample);
        QCOMPARE(Import(again), count);
        QCOMPARE(ReadTotals(kWallet), imported);
    }

    // Books of the first schema version, a restored backup among them, gain
    // the import tables when they are opened.
    void SchemaUpgrade()
    {
        TImportBooks books;
        QCOMPARE(DbQueryInt(QStringLiteral("pragma user_version")), DbFile::kSchemaVersion);
        QCOMPARE(RowCount(QStringLiteral("ImportedRow")), 0);
        QCOMPARE(RowCount(QStringLiteral("ImportSetting")), 0);
        DbRestore(QStringLiteral(TEMPLATE_DB));
        QCOMPARE(DbQueryInt(QStringLiteral("pragma user_version")), DbFile::kSchemaVersion);
        QCOMPARE(RowCount(QStringLiteral("ImportedRow")), 0);
    }

    // A stored record of the same kind and amount marks one row of its day
    // (a bank's row also of the day next to it) as a possible duplicate.
    void Duplicates()
    {
        TImportBooks books;
        AddRecord(1, kWallet, Amount("12.5"), 1, {}, QDate(2026, 3, 2));
        AddRecord(1, kWallet, Amount("30"), 1, {}, QDate(2026, 3, 4));
        TStatement wallet = ReadStatement(
            Wechat(FDir, QStringLiteral("w.csv"),
                   {QStringLiteral(
                        "2026-03-02 08:00:00,商户消费,店,早餐,支出,¥12.50,零钱,支付成功,A1,/,/"),
                    QStringLiteral(
                        "2026-03-02 09:00:00,商户消费,店,早餐,支出,¥12.50,零钱,支付成功,A2,/,/"),
                    QStringLiteral("2026-03-02 10:00:00,转账,友,/,收入,¥12.50,零钱,已收钱,A3,/,/"),
                    QStringLiteral(
                        "2026-03-03 10:00:00,商户消费,店,午餐,支出,¥30.00,零钱,支付成功,A4,/,/")}));
        QCOMPARE(Statuses(Marked(wallet).Statement),
                 (QList<TRowStatus> {TRowStatus::Duplicate, TRowStatus::New, TRowStatus::New,
                                     TRowStatus::New}));
        // Another account has no such records.
        InsertAccount(QStringLiteral("卡"), Amount("0"));
        TBill card = Marked(wallet, QStringLiteral("卡"));
        QCOMPARE(card.Statement.Count(TRowStatus::New), 4);

        TStatement bank = ReadStatement(
            Bank(FDir, QStringLiteral("b.csv"),
                 {QStringLiteral("1,2026-03-03,10:00:00,消费,-30.00,1,超市,,POS,"),
                  QStringLiteral("2,2026-03-06,10:00:00,消费,-30.00,1,超市,,POS,")}));
        QCOMPARE(bank.FormatId, QStringLiteral("bank"));
        QCOMPARE(Statuses(Marked(bank).Statement),
                 (QList<TRowStatus> {TRowStatus::Duplicate, TRowStatus::New}));

        // Ticked again by the user, a duplicate is imported; unticked it is not.
        card.Statement.Rows[1].Status = TRowStatus::Duplicate;
        QCOMPARE(Import(card), 3);
        QCOMPARE(ReadTotals(QStringLiteral("卡")), Totals("-30", "12.5", "42.5"));
    }

    // A failing import leaves records, identities and totals as they were.
    void AllOrNothing()
    {
        TImportBooks books;
        const QString file = Wechat(
            FDir, QStringLiteral("f.csv"),
            {QStringLiteral(
                 "2026-03-02 08:00:00,商户消费,店,早餐,支出,¥12.50,零钱,支付成功,B1,/,/"),
             QStringLiteral("2026-03-02 09:00:00,转账,友,/,收入,¥20.00,零钱,已收钱,B2,/,/")});
        TStatement s = ReadStatement(file);
        QVERIFY_THROWS_EXCEPTION(Exception, Import(s, QStringLiteral("没有的账户")));
        // A total beyond the largest amount kept is refused, naming the row.
        TStatement big
            = ReadStatement(Bank(FDir, QStringLiteral("big.csv"),
                                 {QStringLiteral("1,2026-03-02,,存入,99999999999.9999,,,,,")}));
        try {
            Import(big);
            QFAIL("imported");
        } catch (const Exception &refusal) {
            QCOMPARE(
                refusal.Message(),
                QStringLiteral(
                    "第 3 行的金额 99999999999.9999 使账户“零钱”的余额超出上限 99999999999.9999"));
        }
        DbExec(QStringLiteral("create trigger Boom BEFORE UPDATE OF OutFare ON Account "
                              "BEGIN SELECT RAISE(ABORT,'boom'); END"));
        QVERIFY_THROWS_EXCEPTION(Exception, Import(s));
        QCOMPARE(RowCount(QStringLiteral("BookKeep")), 0);
        QCOMPARE(RowCount(QStringLiteral("ImportedRow")), 0);
        QCOMPARE(ReadTotals(kWallet), Totals("100", "0", "0"));
        DbExec(QStringLiteral("drop trigger Boom"));
        QCOMPARE(Import(s), 2);
        QCOMPARE(ReadTotals(kWallet), Totals("107.5", "20", "12.5"));
    }

    // Rows land on their funding source's account, else on the file's; one step.
    void SourceAccounts()
    {
        TImportBooks books;
        InsertAccount(u"卡"_s, Amount("0"));
        AddRecord(1, u"卡"_s, Amount("27.6"), 1, {}, QDate(2026, 5, 7));
        RememberSourceAccount(u"工商银行(5678)"_s, u"卡"_s);
        TStatement s = ReadStatement(QStringLiteral(TEST_DATA "/month-2026-05/wechat.csv"));
        // Eight records, the top-up and the withdrawal, and its fee.
        QCOMPARE(Import(s), 11);
        QCOMPARE(ReadTotals(u"卡"_s), Totals("-238.8", "0", "238.8"));
        QCOMPARE(ReadTotals(kWallet), Totals("44", "180", "236"));
        GDbAccess->Undo();
        QCOMPARE(ReadTotals(u"卡"_s), Totals("-27.6", "0", "27.6"));
    }

    void MatchedMonth_data() { AddMonthOrders(); }

    // The four bills of one month, in any order, book each spend once, the
    // moves between the user's accounts as transfers and the refund net.
    void MatchedMonth()
    {
        QFETCH(QStringList, order);
        const QList<TBill> bills = MonthBills(order);
        QStringList expected;
        for (const QStringList &line : ExpectedMonth())
            expected << line.join(u',');
        expected.sort();
        QCOMPARE(PlannedLines(bills, order), expected);
    }

    void MonthInTheBooks_data()
    {
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<bool>("together");
        QTest::newRow("at once") << kMonthBills << true;
        QTest::newRow("apps first") << kMonthBills << false;
        QTest::newRow("cards first")
            << QStringList {u"icbc"_s, u"cmb"_s, u"wechat"_s, u"alipay"_s} << false;
        QTest::newRow("mixed") << QStringList {u"cmb"_s, u"alipay"_s, u"icbc"_s, u"wechat"_s}
                               << false;
    }

    // Imported at once or apart, in any order, the month's bills book exactly
    // its expected entries; importing any of them again adds nothing.
    void MonthInTheBooks()
    {
        QFETCH(QStringList, order);
        QFETCH(bool, together);
        TMonthBooks books;
        TMonthBooks::RememberSources();
        const qsizetype imports = ImportMonth(order, together).size();
        QStringList expected;
        for (const QStringList &line : ExpectedMonth())
            expected << line.mid(0, 7).join(u',');
        expected.sort();
        QCOMPARE(BookedLines(), expected);
        // Only the two card lines and the app's row whose other side is not
        // in this month's bills still await it.
        QCOMPARE(DbQueryInt(u"select count(*) from ImportLink where Awaits is not null"_s), 3);
        for (const QString &name : kMonthBills)
            QVERIFY_THROWS_EXCEPTION(Exception, ImportMonth({name}, false));
        QCOMPARE(BookedLines(), expected);
        // Each import is one step; undone, they leave no trace of the rows.
        for (qsizetype i = 0; i < imports; ++i)
            GDbAccess->Undo();
        QCOMPARE(BookedLines(), QStringList());
        QCOMPARE(RowCount(u"ImportedRow"_s) + RowCount(u"ImportLink"_s), 0);
        for (const QString &account : kMonthAccounts)
            QCOMPARE(ReadTotals(account), TTotals());
    }

    // A refund whose purchase an earlier import booked goes to the purchase's
    // category, as the user chose it.
    void RefundOfEarlierPurchase()
    {
        TImportBooks books;
        const QList<QByteArray> lines = ReadAll(kMonth + u"alipay.csv"_s).split('\n');
        const auto bill = [&](int line) {
            const QString path = FDir.filePath(u"refund%1.csv"_s.arg(line));
            WriteFile(path, (lines.mid(0, 25) << lines[line - 1]).join('\n') + '\n');
            return ReadStatement(path);
        };
        const TBill purchase = Marked(bill(37));
        QList<int> types = ChooseCategories(purchase.Statement, 1, 3);
        types[0] = 1;
        QCOMPARE(ImportBills({purchase}, {types}, 1, 3), 1);
        const TBill refund = Marked(bill(34));
        QCOMPARE(refund.Statement.Rows[0].Status, TRowStatus::Refund);
        QCOMPARE(ChooseCategories(refund.Statement, 1, 3), QList<int> {1});
    }

    // 100,000 rows go in as one batch; the time is reported, not asserted.
    void LargeImport()
    {
        TImportBooks books;
        QStringList lines;
        Currency expense;
        for (int i = 0; i < 100000; ++i) {
            const Currency fare = Currency::FromUnits((i % 997 + 1) * 100);
            expense += fare;
            lines << QStringLiteral(
                         "2026-03-%1 12:00:00,商户消费,店,货%2,支出,¥%3,零钱,支付成功,L%2,/,/")
                         .arg(i % 28 + 1, 2, 10, QChar(u'0'))
                         .arg(i)
                         .arg(fare.ToString());
        }
        TStatement s = ReadStatement(Wechat(FDir, QStringLiteral("large.csv"), lines));
        // Rules of remarks that none of the rows' remarks contains.
        for (int i = 0; i < 300; ++i)
            ImportRules::Add(Rule(TImportRule::FieldRemark, u"批%1"_s.arg(i), 1, 1));
        QElapsedTimer timer;
        timer.start();
        const TBill bill = Marked(s);
        const qint64 marked = timer.elapsed();
        const QList<int> typeIds = ChooseCategories(bill.Statement, 1, 3);
        const qint64 chosen = timer.elapsed() - marked;
        QCOMPARE(ImportBills({bill}, {typeIds}, 1, 3), 100000);
        qInfo("100000 rows: checked in %lld ms, filed by 300 rules in %lld ms, imported in %lld ms",
              marked, chosen, timer.elapsed() - marked - chosen);
        QCOMPARE(ReadTotals(kWallet), (TTotals {Amount("100") - expense, Currency(), expense}));
        QCOMPARE(Marked(s).Statement.Count(TRowStatus::New), 0);
    }

    // Hints go to the category of that name, else to what the user chose for
    // them before, else to the default; the account is offered again.
    void CategoryChoices()
    {
        TImportBooks books;
        QCOMPARE(RememberedAccount(QStringLiteral("wechat")), QString());
        QCOMPARE(RememberedDefault(1), -1);
        TStatement s = ReadStatement(Wechat(
            FDir, QStringLiteral("c.csv"),
            {QStringLiteral(
                 "2026-03-02 08:00:00,商户消费,店,早餐,支出,¥12.50,零钱,支付成功,C1,/,/"),
             QStringLiteral("2026-03-02 09:00:00,微信红包,友,/,支出,¥20.00,零钱,已收钱,C2,/,/"),
             QStringLiteral(
                 "2026-03-02 10:00:00,扫二维码付款,友,/,支出,¥5.00,零钱,已收钱,C3,/,/")}));
        const TBill bill = Marked(s);
        QList<int> types = ChooseCategories(bill.Statement, 1, 3);
        QCOMPARE(types, (QList<int> {2, 3, 3}));
        types[1] = 1; // the user files red packets under 餐饮
        QCOMPARE(ImportBills({bill}, {types}, 1, 3), 3);
        QCOMPARE(DbQueryInt(QStringLiteral("select TypeID from BookKeep where Fare=20")), 1);

        QCOMPARE(RememberedAccount(QStringLiteral("wechat")), kWallet);
        QCOMPARE(RememberedDefault(1), 3);
        TStatement next = ReadStatement(Wechat(
            FDir, QStringLiteral("c2.csv"),
            {QStringLiteral("2026-04-02 09:00:00,微信红包,友,/,支出,¥8.00,零钱,已收钱,C4,/,/"),
             QStringLiteral(
                 "2026-04-02 10:00:00,扫二维码付款,友,/,支出,¥5.00,零钱,已收钱,C5,/,/")}));
        QCOMPARE(ChooseCategories(Marked(next).Statement, 1, 2), (QList<int> {1, 2}));

        const QStringList header {QStringLiteral("日期"), QStringLiteral("金额")};
        QVERIFY(!RememberedMapping(header).IsValid());
        TColumnMapping m;
        m.Date = header[0];
        m.Amount = header[1];
        RememberMapping(header, m);
        QCOMPARE(RememberedMapping(header).ToText(), m.ToText());
    }

    // Rows filed elsewhere than proposed teach rules: June's rows of May's
    // counterparties go where the user filed May's, hardly any falls to the
    // default, and a rule's account is offered for its rows.
    void LearnedRules()
    {
        TTestBooks books;
        InsertAccount(kWallet, Amount("0"));
        InsertAccount(u"招行卡"_s, Amount("0"));
        const QString june = QStringLiteral(TEST_DATA "/month-2026-06/");
        QFile file(june + u"categories.csv"_s);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QList<QStringList> filed = ReadCsv(QString::fromUtf8(file.readAll())).Rows;
        filed.removeFirst();
        // Category 1 of each kind is the default; the named ones follow.
        Categories::OfKind(0).Insert({1, 0}, u"其他收入"_s);
        Categories::OfKind(1).Insert({1, 0}, u"其他支出"_s);
        QHash<QString, int> indexes;
        QHash<QString, int> typeOf;
        for (const QStringList &row : filed) {
            int &index = indexes[row[0] + row[2]];
            if (index == 0) {
                index = int(indexes.size()) + 1;
                Categories::OfKind(row[0] == u"收入" ? 0 : 1).Insert({index, 0}, row[2]);
            }
            typeOf.insert(row[0] + row[1], index);
        }
        for (const QString &name : {u"alipay.csv"_s, u"wechat.csv"_s}) {
            const TBill may = Marked(ReadStatement(kMonth + name));
            const QList<int> proposed = ChooseCategories(may.Statement, 1, 1);
            QList<int> chosen = proposed;
            for (qsizetype i = 0; i < chosen.size(); ++i)
                chosen[i] = typeOf.value(KindAndCounterparty(may.Statement.Rows[i]), proposed[i]);
            QVERIFY(ImportBills({may}, {chosen}, 1, 1, {}, {proposed}) > 0);
        }
        QCOMPARE(RowCount(u"ImportRule"_s), filed.size());

        int rows = 0;
        int filedElsewhere = 0;
        for (const QString &name : {u"alipay.csv"_s, u"wechat.csv"_s}) {
            const TStatement s = Marked(ReadStatement(june + name)).Statement;
            const QList<int> typeIds = ChooseCategories(s, 1, 1);
            for (qsizetype i = 0; i < s.Rows.size(); ++i) {
                if (s.Rows[i].Status != TRowStatus::New)
                    continue;
                ++rows;
                filedElsewhere += typeIds[i] != 1;
                QCOMPARE(typeIds[i], typeOf.value(KindAndCounterparty(s.Rows[i]), typeIds[i]));
            }
        }
        QCOMPARE(rows, 23);
        QVERIFY2(filedElsewhere * 100 >= rows * 95, qPrintable(QString::number(filedElsewhere)));

        // Filed elsewhere again, a counterparty's rule changes; its account applies.
        const TBill bill = Marked(ReadStatement(june + u"alipay.csv"_s));
        const TStatement &s = bill.Statement;
        TImportRule power = ImportRules::Find(s.Rows[2]).value();
        QCOMPARE(power.Pattern, u"某某供电公司"_s);
        const QList<int> proposed = ChooseCategories(s, 1, 1);
        QList<int> chosen = proposed;
        chosen[2] = 1;
        ImportBills({bill}, {chosen}, 1, 1, {}, {proposed});
        QCOMPARE(RowCount(u"ImportRule"_s), filed.size());
        QCOMPARE(ImportRules::Find(s.Rows[2])->TypeID, 1);
        power.Account = u"招行卡"_s;
        ImportRules::Modify(power);
        QCOMPARE(Marked(ReadStatement(june + u"alipay.csv"_s)).Plans[2].Account, power.Account);
    }

    void RulePrecedence_data()
    {
        QTest::addColumn<QString>("counterparty");
        QTest::addColumn<QString>("remark");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("typeId"); // 0: no rule applies
        QTest::newRow("the longest") << u"惠民生活超市"_s << u"超市购物"_s << 1 << 3;
        QTest::newRow("any letter case") << u"绿野SUPERMARKET"_s << QString() << 1 << 1;
        QTest::newRow("counterparty first") << u"绿野超市"_s << u"超市购物"_s << 1 << 2;
        QTest::newRow("the remark") << u"某店"_s << u"超市购物"_s << 1 << 4;
        QTest::newRow("of the row's kind") << u"绿野超市"_s << QString() << 0 << 1;
        QTest::newRow("the newest of a length") << u"菜市场"_s << QString() << 1 << 3;
        QTest::newRow("deleted category") << u"旧店"_s << QString() << 1 << 0;
        QTest::newRow("none") << u"某店"_s << u"午饭"_s << 1 << 0;
    }

    // Of the rules a row's texts contain, the most specific applies.
    void RulePrecedence()
    {
        QFETCH(QString, counterparty);
        QFETCH(QString, remark);
        QFETCH(int, kind);
        QFETCH(int, typeId);
        TImportBooks books;
        Categories::OfKind(1).Insert({4, 0}, u"日用"_s);
        Categories::OfKind(1).Insert({5, 0}, u"旧类"_s);
        for (const TImportRule &rule :
             {Rule(kCounterparty, u"超市"_s, 1, 2), Rule(kCounterparty, u"生活超市"_s, 1, 3),
              Rule(kCounterparty, u"supermarket"_s, 1, 1),
              Rule(TImportRule::FieldRemark, u"购物"_s, 1, 4), Rule(kCounterparty, u"超市"_s, 0, 1),
              Rule(kCounterparty, u"市场"_s, 1, 2), Rule(kCounterparty, u"菜市"_s, 1, 3),
              Rule(kCounterparty, u"旧店"_s, 1, 5)})
            ImportRules::Add(rule);
        Categories::OfKind(1).Remove(5, u"旧类"_s);
        TStatementRow row;
        row.Counterparty = counterparty;
        row.Remark = remark;
        row.Kind = kind;
        const std::optional<TImportRule> rule = ImportRules::Find(row);
        QCOMPARE(rule ? rule->TypeID : 0, typeId);
    }

    void RuleRefusals_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("typeId");
        QTest::addColumn<QString>("account");
        QTest::addColumn<QString>("message");
        const QString any = u"店"_s;
        const QString blank = u"请填写交易对方或备注中要包含的文字"_s;
        const QString gone = u"所选的%1分类已不存在，请重新选择"_s;
        QTest::newRow("blank text") << u" \t"_s << 1 << 1 << QString() << blank;
        QTest::newRow("no category") << any << 1 << 0 << QString() << u"请选择支出分类"_s;
        QTest::newRow("missing category") << any << 1 << 9 << QString() << gone.arg(u"支出");
        QTest::newRow("category of the other kind")
            << any << 0 << 2 << QString() << gone.arg(u"收入");
        QTest::newRow("missing account")
            << any << 1 << 1 << u"没有的账户"_s << u"账户“没有的账户”不存在"_s;
        QTest::newRow("same as another")
            << u" abc "_s << 1 << 1 << QString() << u"已有一条规则：交易对方包含“ABC”的支出"_s;
    }

    // A rule that cannot be is neither added nor changed to.
    void RuleRefusals()
    {
        QFETCH(QString, pattern);
        QFETCH(int, kind);
        QFETCH(int, typeId);
        QFETCH(QString, account);
        QFETCH(QString, message);
        TImportBooks books;
        ImportRules::Add(Rule(kCounterparty, u"ABC"_s, 1, 2));
        const int stored = ImportRules::Add(Rule(kCounterparty, u"店铺"_s, 1, 2));
        TImportRule rule = Rule(kCounterparty, pattern, kind, typeId, account);
        for (const int id : {0, stored}) {
            rule.Id = id;
            try {
                id == 0 ? void(ImportRules::Add(rule)) : ImportRules::Modify(rule);
                QFAIL("not refused");
            } catch (const Exception &refusal) {
                QCOMPARE(refusal.Message(), message);
            }
        }
        QCOMPARE(RowCount(u"ImportRule"_s), 2);
        QCOMPARE(ImportRules::List()[1].Pattern, u"店铺"_s);
    }
};

QTEST_GUILESS_MAIN(TestImportBooks)
#include "tst_ImportBooks.moc"
