// Failure reports, the daily log, the application's exception event and the
// list fill.

#include "TestSupport.h"
#include "WidgetTestSupport.h"

#include "data/DbAccess.h"
#include "data/ListModel.h"
#include "data/UException.h"
#include "shell/AppIcon.h"

#include <QAbstractItemModelTester>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

namespace {

// An object whose event handler raises the failure it is given.
class TThrower : public QObject
{
public:
    std::function<void()> Raise;
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::User)
            Raise();
        return QObject::event(event);
    }
};

} // namespace

class TestPublic : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void boxesHaveTheirCaptions();
    void logEntryFormat();
    void failedBatchIsShownAndLogged();
    void backupFailureAndRefusalsAreNotLogged();
    void unwritableLogDirectory();
    void eventFailuresAreReportedAndAbortIsSilent();
    void fillListView();
    void largeFillIsOneInsert();
    void resourcesAreCompiledIn();
};

void TestPublic::boxesHaveTheirCaptions()
{
    TRecordingPrompt prompt;
    prompt.Answers = {true};
    ShowInfo(QStringLiteral("i"));
    QVERIFY(ShowConfirm(QStringLiteral("c")));
    QVERIFY(!ShowConfirm(QStringLiteral("c2")));
    ShowError(QStringLiteral("e"));
    QCOMPARE(prompt.Boxes.size(), 4);
    QCOMPARE(prompt.Boxes[0].Caption, QStringLiteral("提示"));
    QCOMPARE(prompt.Boxes[1].Caption, QStringLiteral("确认"));
    QCOMPARE(prompt.Boxes[1].Kind, TBoxKind::Confirm);
    QCOMPARE(prompt.Boxes[3].Caption, QStringLiteral("错误"));
    QCOMPARE(prompt.Boxes[3].Kind, TBoxKind::Error);
}

void TestPublic::logEntryFormat()
{
    TTestBooks books;
    WriteLog(QStringLiteral("数据恢复！"));
    WriteLog(QStringLiteral("two\r\nlines"));
    const QString log = QString::fromUtf8(ReadAll(TodayLog()));
    static const QRegularExpression entry(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d：数据恢复！\r\n"
                       "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d：two\r\nlines\r\n$"));
    QVERIFY2(entry.match(log).hasMatch(), qPrintable(log));
}

void TestPublic::failedBatchIsShownAndLogged()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    const QString batch
        = QStringLiteral("insert into Account(AccountName) values ('A')@#@bogus statement");
    try {
        DbExec(batch);
        QFAIL("no failure raised");
    } catch (const std::exception &failure) {
        GCardException->ReportException(failure);
    }
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Caption, QStringLiteral("错误"));
    QVERIFY(prompt.Boxes[0].Text.startsWith(QStringLiteral("数据库操作失败！\r\n详细信息：")));
    QCOMPARE(GCardException->FErrSql, batch);

    const QStringList lines = QString::fromUtf8(ReadAll(TodayLog())).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 4); // three lines and the empty text after the last line end
    QVERIFY(lines[0].endsWith(QStringLiteral("：数据库操作失败！")));
    QCOMPARE(lines[1], prompt.Boxes[0].Text.section(QStringLiteral("\r\n"), 1));
    QCOMPARE(lines[2], batch);
}

void TestPublic::backupFailureAndRefusalsAreNotLogged()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    try {
        DbBackup(books.Dir() + QStringLiteral("missing/x.bat"));
    } catch (const std::exception &failure) {
        GCardException->ReportException(failure);
    }
    GCardException->ReportException(Exception(QStringLiteral("该名称已经存在，请重新输入！")));
    QCOMPARE(prompt.Boxes.size(), 2);
    QVERIFY(prompt.Boxes[0].Text.startsWith(QStringLiteral("数据库备份失败！\r\n详细信息：")));
    QCOMPARE(prompt.Boxes[1].Text, QStringLiteral("该名称已经存在，请重新输入！"));
    QVERIFY(!QFile::exists(TodayLog()));
}

void TestPublic::unwritableLogDirectory()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    // The log directory is a regular file here, so no log can be written
    // (even for root, who may write into any directory).
    const QString blocker = books.Dir() + QStringLiteral("blocker");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString saved = AppPath;
    AppPath = blocker + u'/';
    ShowErrorDetail(QStringLiteral("数据库操作失败！"), QStringLiteral("m"),
                    QStringLiteral("select 1"));
    AppPath = saved;
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(QFileInfo(blocker).size(), 0);
}

void TestPublic::eventFailuresAreReportedAndAbortIsSilent()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    TThrower thrower;
    QEvent event(QEvent::User);

    thrower.Raise = [] { throw EAbort(); };
    QCoreApplication::sendEvent(&thrower, &event);
    QCOMPARE(prompt.Boxes.size(), 0);

    thrower.Raise = [] { throw Exception(QStringLiteral("该账户已经存在！")); };
    QCoreApplication::sendEvent(&thrower, &event);
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("该账户已经存在！"));

    // Through a button's signal and a slot, as a command handler fails
    // (commands are connected queued).
    QPushButton button;
    QObject::connect(
        &button, &QPushButton::clicked, &button,
        [] { DbQueryInt(QStringLiteral("select x from y")); }, Qt::QueuedConnection);
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    QTRY_COMPARE(prompt.Boxes.size(), 2);
    QVERIFY(prompt.Boxes[1].Text.startsWith(QStringLiteral("数据库查询错误，请检查！")));
    // The program goes on: the button still works.
    QTest::mouseClick(&button, Qt::LeftButton);
    QTRY_COMPARE(prompt.Boxes.size(), 3);
}

void TestPublic::fillListView()
{
    TTestBooks books;
    TListModel list(
        {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")});
    QAbstractItemModelTester tester(&list);
    FillListView(QStringLiteral("select ID from BookKeep"), list);
    QCOMPARE(list.rowCount(), 0);

    DbExec(QStringLiteral(
        "insert into BookKeep(InOutType,Fare,Remark,InDate) values ('1',12.5,null,'46363')@#@"
        "insert into BookKeep(InOutType,Fare,Remark,InDate) values ('0',300,'工资',46364)@#@"
        "insert into BookKeep(InOutType,Fare,Remark,InDate) values ('0',1,'a\r\nb\nc',46364)"));
    FillListView(QStringLiteral("select ID,Fare,Remark,InDate from BookKeep order by ID"), list);
    QCOMPARE(list.rowCount(), 3);
    QCOMPARE(list.Cell(0, 1), QStringLiteral("12.5"));
    QCOMPARE(list.Cell(0, 2), QString());
    QCOMPARE(list.Cell(0, 3), QLocale::system().toString(QDate(2026, 12, 7), QLocale::ShortFormat));
    QCOMPARE(list.data(list.index(1, 1), Qt::DisplayRole).toString(), QStringLiteral("300"));
    QCOMPARE(list.Cell(1, 2), QStringLiteral("工资"));
    QCOMPARE(list.Cell(1, 9), QString());
    // A row shows on one line; the cell and its tooltip keep the line breaks.
    QCOMPARE(list.data(list.index(2, 2), Qt::DisplayRole).toString(), QStringLiteral("a  b c"));
    QCOMPARE(list.data(list.index(2, 2), Qt::ToolTipRole).toString(), QStringLiteral("a\r\nb\nc"));

    list.RemoveRow(0);
    QCOMPARE(list.rowCount(), 2);
    QCOMPARE(list.Cell(0, 2), QStringLiteral("工资"));

    // A failing query leaves the list empty.
    QVERIFY_THROWS_EXCEPTION(EDBException, FillListView(QStringLiteral("select nothing"), list));
    QCOMPARE(list.rowCount(), 0);
}

void TestPublic::largeFillIsOneInsert()
{
    TTestBooks books;
    DbExec(QStringLiteral(
        "with recursive n(i) as (select 1 union all select i+1 from n where i<20000) "
        "insert into BookKeep(InOutType,Fare,Remark,InDate) "
        "select i%2, i/4.0, 'r'||i, 46000+i%300 from n"));
    TListModel list({QStringLiteral("ID"), QStringLiteral("Fare"), QStringLiteral("Remark")});
    int inserts = 0;
    connect(&list, &QAbstractItemModel::rowsInserted, this, [&] { ++inserts; });
    FillListView(QStringLiteral("select ID,Fare,Remark from BookKeep order by ID"), list);
    QCOMPARE(list.rowCount(), 20000);
    QCOMPARE(inserts, 1);
    QCOMPARE(list.Cell(19999, 1), QStringLiteral("5000"));
    QCOMPARE(list.Cell(2, 1), QStringLiteral("0.75"));
    QCOMPARE(list.Cell(19999, 2), QStringLiteral("r20000"));
}

void TestPublic::resourcesAreCompiledIn()
{
    // The application icon is rendered at build time at every size it offers.
    const QIcon icon = AppIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QVERIFY2(sizes.contains(QSize(side, side)), qPrintable(QString::number(side)));
        const QImage image = icon.pixmap(side).toImage();
        QCOMPARE(image.size(), QSize(side, side));
        // Drawn, not blank: the tile covers the middle.
        QCOMPARE(image.pixelColor(side / 2, side / 2).alpha(), 255);
    }
    QVERIFY(QFile::exists(QStringLiteral(":/glyphs/CardOK.png")));
}

BOOKKEEP_TEST_MAIN(TestPublic)

#include "tst_Public.moc"
