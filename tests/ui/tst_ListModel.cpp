// The list keeps each column by the kind of its values; whatever the engine
// hands it, in whatever order, every cell must read as the query's own text.

#include "TestSupport.h"
#include "WidgetTestSupport.h"

#include "data/DbAccess.h"
#include "data/ListModel.h"
#include "data/SqlFormat.h"
#include "data/UException.h"

#include <QAbstractItemModelTester>
#include <QTest>

namespace {

// Every cell of the query's rows as the query itself reads it.
QList<QStringList> QueryTexts(const QString &sql)
{
    QList<QStringList> rows;
    for (TQuery &query = GDbAccess->OpenQuery(sql); !query.Eof(); query.Next()) {
        QStringList cells;
        for (int c = 0; c < query.FieldCount(); ++c)
            cells << query.Fields(c).AsString();
        rows << cells;
    }
    return rows;
}

void ExpectSame(const TListModel &list, const QList<QStringList> &rows)
{
    QCOMPARE(list.rowCount(), rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows[r].size(); ++c) {
            const QString text = rows[r][c];
            QCOMPARE(list.Cell(r, c), text);
            QVERIFY(list.CellIs(r, c, text.toUtf8()));
            QCOMPARE(list.CellAmount(r, c), Currency::ParseLenient(text));
        }
    }
}

} // namespace

class TestListModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyKindInEveryOrder();
    void similarTextsStayApart();
    void removeAcrossBlocks();
    void failedFillAddsNothing();
};

void TestListModel::everyKindInEveryOrder()
{
    TTestBooks books;
    // Values of every kind the engine has, each column starting with another
    // kind, in a table with a date column: whole numbers near and beyond what
    // an amount holds, fractions, amounts and days at the edges of 32 bits,
    // texts that look like numbers, empty texts, NULLs and dates stored as text.
    DbExec(QStringLiteral("create table Mix(N, T, D DATE)@#@"
                          "insert into Mix values (12.5, '收入', 46363)@#@"
                          "insert into Mix values ('abc', null, null)@#@"
                          "insert into Mix values (null, 0.0001, 46363.75)@#@"
                          "insert into Mix values (99999999999, 1e300, -5)@#@"
                          "insert into Mix values (100000000000, '', '2026-12-07')@#@"
                          "insert into Mix values (9223372036854775807, 0.1, 5000000000)@#@"
                          "insert into Mix values (12.345, '12.50', 46364)@#@"
                          "insert into Mix values (1e300, x'E694AFE587BA', null)@#@"
                          "insert into Mix values ('', 'a\nb', 1e300)@#@"
                          "insert into Mix values (21474836.47, -21474836.48, -2147483648)@#@"
                          "insert into Mix values (-21474836.48, 21474836.47, 2147483647)"));
    const QStringList orders = {QStringLiteral("rowid"),    QStringLiteral("rowid desc"),
                                QStringLiteral("D, rowid"), QStringLiteral("T desc, rowid"),
                                QStringLiteral("N, rowid"), QStringLiteral("N desc, rowid")};
    TListModel list({QStringLiteral("N"), QStringLiteral("T"), QStringLiteral("D")});
    QAbstractItemModelTester tester(&list);
    for (const QString &order : orders) {
        const QString sql = QStringLiteral("select N, T, D from Mix order by ") + order;
        FillListView(sql, list);
        ExpectSame(list, QueryTexts(sql));
    }

    // Many different texts, more than a column shares, then the same again.
    DbExec(QStringLiteral(
        "insert into Mix(N, T, D) with recursive n(i) as (select 1 union all select i+1 "
        "from n where i<6000) select i * 0.01, '备注' || (i % 5000), 46000 + i % 400 from n"));
    const QString sql = QStringLiteral("select T, N, D, T from Mix order by rowid");
    FillListView(sql, list);
    ExpectSame(list, QueryTexts(sql));
}

void TestListModel::similarTextsStayApart()
{
    TTestBooks books;
    // Texts of every length up to 24 bytes, each after the plain one of its
    // length with one byte changed, at every position (Chinese, so that the
    // bytes are high ones), then all of them again the other way round.
    DbExec(QStringLiteral(
        "create table Texts(T)@#@"
        "insert into Texts with recursive n(i) as (select 1 union all select i+1 from n where "
        "i<24), p(j) as (select 0 union all select j+1 from p where j<24), b(s) as (select "
        "'abcdefghijklmnopqrstuvwx') select iif(j=0, substr(s,1,i), substr(s,1,j-1) || "
        "iif(i%2, 'Z', '中') || substr(s,j+1,i-j)) from n, p, b where j<=i order by i, j@#@"
        "insert into Texts select T from Texts order by rowid desc"));
    TListModel list({QStringLiteral("T")});
    const QString sql = QStringLiteral("select T from Texts order by rowid");
    FillListView(sql, list);
    ExpectSame(list, QueryTexts(sql));

    // A text ends at its first NUL byte, wherever that falls.
    const QList<std::pair<QString, QString>> cut
        = {{QStringLiteral("x'00'"), QString()},
           {QStringLiteral("x'610062'"), QStringLiteral("a")},
           {QStringLiteral("cast(x'6162636465666768006A' as text)"), QStringLiteral("abcdefgh")},
           {QStringLiteral("x'616263646566676869006A'"), QStringLiteral("abcdefghi")}};
    for (const auto &[value, text] : cut) {
        FillListView(QStringLiteral("select %1 union all select 'abcdefghi'").arg(value), list);
        QCOMPARE(list.Cell(0, 0), text);
        QCOMPARE(list.Cell(1, 0), QStringLiteral("abcdefghi"));
    }
}

void TestListModel::removeAcrossBlocks()
{
    TTestBooks books;
    DbExec(QStringLiteral(
        "create table Ids(I, D DATE)@#@"
        "insert into Ids with recursive n(i) as (select 1 union all select i+1 from n where "
        "i<40000) select i, 46000 + i from n"));
    TListModel list({QStringLiteral("I"), QStringLiteral("D")});
    FillListView(QStringLiteral("select I, D from Ids order by I"), list);
    QList<int> ids;
    for (int i = 1; i <= 40000; ++i)
        ids << i;
    // Rows at the edges of the blocks the columns are kept in, and the last.
    for (const int row : {16384, 16383, 0, 32766, 39995}) {
        list.RemoveRow(row);
        ids.removeAt(row);
    }
    list.RemoveRow(list.rowCount()); // past the end: nothing
    QCOMPARE(list.rowCount(), ids.size());
    for (int row = 0; row < ids.size(); ++row) {
        if (list.Cell(row, 0) != QString::number(ids[row]))
            QFAIL(qPrintable(QStringLiteral("row %1 reads %2, not %3")
                                 .arg(row)
                                 .arg(list.Cell(row, 0))
                                 .arg(ids[row])));
    }
    QCOMPARE(list.Cell(ids.size() - 1, 1),
             QLocale().toString(DateOfDayNumber(46000 + ids.last()), QLocale::ShortFormat));
}

void TestListModel::failedFillAddsNothing()
{
    TTestBooks books;
    DbExec(QStringLiteral(
        "create table Ids(I)@#@"
        "insert into Ids with recursive n(i) as (select 1 union all select i+1 from n where "
        "i<20000) select i from n"));
    TListModel list({QStringLiteral("I")});
    FillListView(QStringLiteral("select I from Ids where I <= 3"), list);
    int inserts = 0;
    connect(&list, &QAbstractItemModel::rowsInserted, this, [&] { ++inserts; });
    // The engine fails at a row deep into the result: nothing of it is shown.
    TQuery &failing = GDbAccess->OpenQuery(QStringLiteral(
        "select case when I = 19000 then abs(-9223372036854775807 - 1) else I end from Ids"));
    QVERIFY_THROWS_EXCEPTION(EDBException, list.AppendRows(failing));
    QCOMPARE(list.rowCount(), 3);
    QCOMPARE(inserts, 0);
    QCOMPARE(list.Cell(2, 0), QStringLiteral("3"));
    // The next rows go on where the list stood.
    list.AppendRows(GDbAccess->OpenQuery(QStringLiteral("select I from Ids where I > 19998")));
    QCOMPARE(list.rowCount(), 5);
    QCOMPARE(list.Cell(3, 0), QStringLiteral("19999"));
    QCOMPARE(inserts, 1);
}

BOOKKEEP_TEST_MAIN(TestListModel)

#include "tst_ListModel.moc"
