// The main window: first showing, the record query and its filter, totals,
// row colours, and the record and category commands.

#include "LedgerTestSupport.h"
#include "ModalDriver.h"
#include "WidgetTestSupport.h"

#include "data/ListModel.h"
#include "data/UException.h"
#include "forms/Pass.h"
#include "ledger/Categories.h"
#include "ledger/UntTree.h"
#include "shell/Main.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

namespace {

// Books with two small category trees and six records around 1-7 Dec 2026.
class TMainBooks : public TTestBooks
{
public:
    TMainBooks()
    {
        DbExec(QStringLiteral(
            "insert into InType values (1,0,'工资')@#@insert into InType values (2,1,'奖金')@#@"
            "insert into OutType values (1,0,'餐饮')"));
        InsertAccount(QStringLiteral("现金"), Amount("100"));
        A = AddRecord(0, QStringLiteral("现金"), Amount("1000"), 1, QStringLiteral("十二月工资"),
                      QDate(2026, 12, 1));
        D = AddRecord(1, QStringLiteral("现金"), Amount("1244.75"), 1, QStringLiteral("a_b"),
                      QDate(2026, 12, 3));
        B = AddRecord(0, QStringLiteral("现金"), Amount("200"), 2, QStringLiteral("年终's 奖"),
                      QDate(2026, 12, 7));
        C = AddRecord(1, QStringLiteral("现金"), Amount("35.5"), 1, QStringLiteral("午饭"),
                      QDate(2026, 12, 7));
        AddRecord(0, QStringLiteral("现金"), Amount("999"), 1, QString(), QDate(2026, 11, 30));
        AddRecord(1, QStringLiteral("现金"), Amount("5"), 1, QString(), QDate(2026, 12, 8));
    }
    QString A, B, C, D;
};

QStringList Ids(const TFormMain &form)
{
    QStringList ids;
    for (int row = 0; row < form.Records().rowCount(); ++row)
        ids << form.Records().Cell(row, 0);
    return ids;
}

void SetPeriod(TFormMain &form, QDate begin, QDate over)
{
    Child<QDateEdit>(&form, "DBBegin")->setDate(begin);
    Child<QDateEdit>(&form, "DBOver")->setDate(over);
}

void ShowFirstWeek(TFormMain &form)
{
    form.show();
    SetPeriod(form, QDate(2026, 12, 1), QDate(2026, 12, 7));
    form.btnQueryClick();
}

// Selects one node, as a click or the keyboard would (single selection).
void Select(QTreeWidgetItem *node)
{
    node->treeWidget()->setCurrentItem(node);
}

void Click(QTreeWidget *view, QTreeWidgetItem *item)
{
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(item).center());
}

} // namespace

class TestMain : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void periodTakesInStartAndEndDay();
    void totalsAndRowColours();
    void startAfterEndGivesEmptyList();
    void categorySelections();
    void remarkFilter();
    void deleteRecord();
    void failingDeleteChangesNothing();
    void firstShowingWithoutPassword();
    void firstShowingPasswordCancelled();
    void firstShowingSettingUnreadable();
    void treeClickClearsOtherTree();
    void rightClickKeepsSelectionAndEnterQueries();
    void renameInPlace();
    void deleteCategoryRunsQuery();
    void pickerCategoryShowsAtOnce();
};

void TestMain::periodTakesInStartAndEndDay()
{
    TMainBooks books;
    TFormMain form;
    ShowFirstWeek(form);
    QCOMPARE(form.QueryFilter().Where(),
             QStringLiteral("where InDate >= 46356.3856944444 and InDate <= 46363.3856944444 "));
    QCOMPARE(Ids(form).mid(0, 2), QStringList({books.A, books.D}));
    const QStringList ids = Ids(form);
    QCOMPARE(QSet<QString>(ids.cbegin(), ids.cend()),
             QSet<QString>({books.A, books.B, books.C, books.D}));
    QCOMPARE(form.Records().Cell(0, 1), QStringLiteral("收入"));
    QCOMPARE(form.Records().Cell(0, 2), QStringLiteral("工资"));
    QCOMPARE(form.Records().Cell(1, 3), QStringLiteral("1244.75"));

    SetPeriod(form, QDate(2026, 12, 7), QDate(2026, 12, 7));
    form.btnQueryClick();
    QCOMPARE(form.Records().rowCount(), 2);
}

void TestMain::totalsAndRowColours()
{
    TMainBooks books;
    TFormMain form;
    ShowFirstWeek(form);
    QCOMPARE(Panels(form), QStringLiteral("4|1200|1280.25|-80.25"));
    const TListModel &list = form.Records();
    for (int row = 0; row < list.rowCount(); ++row) {
        const QVariant colour = list.data(list.index(row, 3), Qt::ForegroundRole);
        if (list.Cell(row, 1) == u"支出")
            QCOMPARE(colour.value<QColor>(), QColor(255, 0, 0));
        else
            QVERIFY(!colour.isValid());
    }
}

void TestMain::startAfterEndGivesEmptyList()
{
    TMainBooks books;
    TFormMain form;
    ShowFirstWeek(form);
    SetPeriod(form, QDate(2026, 12, 8), QDate(2026, 12, 7));
    form.btnQueryClick();
    QCOMPARE(form.Records().rowCount(), 0);
    QCOMPARE(Panels(form), QStringLiteral("0|0|0|0"));
}

void TestMain::categorySelections()
{
    TMainBooks books;
    TFormMain form;
    ShowFirstWeek(form);
    QTreeWidgetItem *inRoot = form.InTree().RootNode();
    QTreeWidgetItem *salary = inRoot->child(0);

    Select(inRoot); // the root: income of every category
    form.btnQueryClick();
    QCOMPARE(Ids(form), QStringList({books.A, books.B}));

    Select(salary); // a category, without its sub-category
    form.btnQueryClick();
    QCOMPARE(Ids(form), QStringList({books.A}));

    Select(form.OutTree().RootNode()); // both trees: nothing matches
    QCOMPARE(form.QueryFilter().Where(),
             QStringLiteral("where InDate >= 46356.3856944444 and InDate <= 46363.3856944444  and "
                            "InOutType=0 and TypeID=1  and InOutType=1 "));
    form.btnQueryClick();
    QCOMPARE(Ids(form), QStringList());

    form.N5Click(); // refresh clears both selections
    QCOMPARE(form.Records().rowCount(), 4);
}

void TestMain::remarkFilter()
{
    TMainBooks books;
    TFormMain form;
    ShowFirstWeek(form);
    const auto query = [&](const QString &remark) {
        Child<QLineEdit>(&form, "edtTitle")->setText(remark);
        form.btnQueryClick();
        return Ids(form);
    };
    QCOMPARE(query(QStringLiteral("%")).size(), 4);
    QCOMPARE(query(QStringLiteral("'")), QStringList({books.B}));
    QCOMPARE(query(QStringLiteral("工资")), QStringList({books.A}));
    QCOMPARE(query(QStringLiteral("a_b")), QStringList({books.D}));
    QCOMPARE(query(QStringLiteral("午_")), QStringList({books.C}));
}

void TestMain::deleteRecord()
{
    TMainBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    ShowFirstWeek(form);
    const int row = int(Ids(form).indexOf(books.C));
    Child<QTreeView>(&form, "lv1")->setCurrentIndex(form.Records().index(row, 1));

    prompt.Answers = {false};
    form.N3Click();
    QCOMPARE(form.Records().rowCount(), 4);
    QCOMPARE(prompt.Boxes.size(), 1);

    prompt.Answers = {true};
    form.N3Click();
    QCOMPARE(prompt.Boxes.size(), 3);
    QCOMPARE(prompt.Boxes[1].Text, QStringLiteral("你确定要删除所选记录吗?"));
    QCOMPARE(prompt.Boxes[2].Caption, QStringLiteral("提示"));
    QCOMPARE(prompt.Boxes[2].Text, QStringLiteral("删除成功！"));
    QVERIFY(!Ids(form).contains(books.C));
    QCOMPARE(Panels(form), QStringLiteral("3|1200|1244.75|-44.75"));
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("1049.25", "2199", "1249.75"));

    Child<QTreeView>(&form, "lv1")->setCurrentIndex(form.Records().index(0, 1));
    GBookKeep->DeleteRecord(Ids(form).first());
    prompt.Answers = {true};
    QMetaObject::invokeMethod(&form, &TFormMain::N3Click, Qt::QueuedConnection);
    QTRY_COMPARE(prompt.Boxes.value(4).Text, kRecordGone);
    QCOMPARE(form.Records().rowCount(), 2);
    // Nothing selected: nothing asked.
    Child<QTreeView>(&form, "lv1")->clearSelection();
    form.N3Click();
    QCOMPARE(prompt.Boxes.size(), 5);
}

void TestMain::failingDeleteChangesNothing()
{
    TMainBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    ShowFirstWeek(form);
    DbExec(QStringLiteral("create trigger NoDelete before delete on BookKeep begin select "
                          "raise(abort,'locked'); end"));
    Child<QTreeView>(&form, "lv1")->setCurrentIndex(form.Records().index(0, 1));
    prompt.Answers = {true};
    QVERIFY_THROWS_EXCEPTION(EDBException, form.N3Click());
    QCOMPARE(form.Records().rowCount(), 4);
    QCOMPARE(Panels(form), QStringLiteral("4|1200|1280.25|-80.25"));
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("1013.75", "2199", "1285.25"));
}

void TestMain::firstShowingWithoutPassword()
{
    TMainBooks books;
    const QString today
        = AddRecord(1, QStringLiteral("现金"), Amount("3"), 1, {}, QDate::currentDate());
    TFormMain form;
    QSignalSpy terminate(&form, &TFormMain::TerminateRequested);
    form.show();
    QCOMPARE(Child<QDateEdit>(&form, "DBBegin")->date(),
             QDate(QDate::currentDate().year(), QDate::currentDate().month(), 1));
    QCOMPARE(Child<QDateEdit>(&form, "DBOver")->date(), QDate::currentDate());
    QVERIFY(Ids(form).contains(today));
    QCOMPARE(form.InTree().RootNode()->childCount(), 1);
    QCOMPARE(terminate.count(), 0);
}

void TestMain::firstShowingPasswordCancelled()
{
    TMainBooks books;
    DbExec(QStringLiteral("update SysSet set bPass='-1',PassWord='secret'"));
    TModalDriver driver;
    QString caption;
    driver.Then([&](QWidget *dialog) {
        caption = dialog->windowTitle();
        QMetaObject::invokeMethod(static_cast<QDialog *>(dialog), &QDialog::reject,
                                  Qt::QueuedConnection);
    });
    TFormMain form;
    QSignalSpy terminate(&form, &TFormMain::TerminateRequested);
    form.show();
    QCOMPARE(caption, QStringLiteral("先输入密码登录软件"));
    QCOMPARE(terminate.count(), 1);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.Records().rowCount(), 0); // no query ran
    QCOMPARE(form.InTree().RootNode()->childCount(), 0);
}

void TestMain::firstShowingSettingUnreadable()
{
    TMainBooks books;
    TRecordingPrompt prompt;
    DbExec(QStringLiteral("alter table SysSet rename to Elsewhere"));
    TFormMain form;
    QSignalSpy terminate(&form, &TFormMain::TerminateRequested);
    form.show();
    QCOMPARE(terminate.count(), 1);
    QCOMPARE(prompt.Boxes.size(), 1);
    QVERIFY(prompt.Boxes[0].Text.startsWith(QStringLiteral("数据库查询错误，请检查！")));
    QCOMPARE(form.Records().rowCount(), 0);
}

void TestMain::treeClickClearsOtherTree()
{
    TMainBooks books;
    TFormMain form;
    ShowFirstWeek(form);
    Select(form.OutTree().RootNode());
    Click(Child<QTreeWidget>(&form, "tv1"), form.InTree().RootNode()->child(0));
    QTRY_VERIFY(Child<QTreeWidget>(&form, "tv2")->selectedItems().isEmpty());
    QCOMPARE(Ids(form), QStringList({books.A}));

    // Moving with the keyboard does not query.
    Child<QTreeWidget>(&form, "tv1")->setFocus();
    QTest::keyClick(Child<QTreeWidget>(&form, "tv1"), Qt::Key_Up);
    QCOMPARE(Ids(form), QStringList({books.A}));
}

void TestMain::rightClickKeepsSelectionAndEnterQueries()
{
    TMainBooks books;
    TFormMain form;
    ShowFirstWeek(form);
    QTreeWidgetItem *salary = form.InTree().RootNode()->child(0);
    Select(form.OutTree().RootNode());
    QTest::mouseClick(Child<QTreeWidget>(&form, "tv1")->viewport(), Qt::RightButton, {},
                      Child<QTreeWidget>(&form, "tv1")->visualItemRect(salary).center());
    QCOMPARE(form.OutTree().Selected(), form.OutTree().RootNode());
    QVERIFY(!form.InTree().Selected());
    Child<QTreeView>(&form, "lv1")->setCurrentIndex(form.Records().index(0, 1));
    QTest::mouseClick(
        Child<QTreeView>(&form, "lv1")->viewport(), Qt::RightButton, {},
        Child<QTreeView>(&form, "lv1")->visualRect(form.Records().index(2, 1)).center());
    QCOMPARE(Child<QTreeView>(&form, "lv1")->selectionModel()->selectedRows().value(0).row(), 0);

    // A click on blank space in a tree clears the other tree and queries.
    QTest::mouseClick(Child<QTreeWidget>(&form, "tv1")->viewport(), Qt::LeftButton, {},
                      QPoint(5, Child<QTreeWidget>(&form, "tv1")->viewport()->height() - 5));
    QTRY_VERIFY(!form.OutTree().Selected());
    QCOMPARE(form.Records().rowCount(), 4);

    // Enter in the remark filter or a date picker runs the query.
    Child<QLineEdit>(&form, "edtTitle")->setText(QStringLiteral("午饭"));
    QTest::keyClick(Child<QLineEdit>(&form, "edtTitle"), Qt::Key_Return);
    QTRY_COMPARE(Ids(form), QStringList({books.C}));
    Child<QLineEdit>(&form, "edtTitle")->clear();
    QTest::keyClick(Child<QDateEdit>(&form, "DBOver"), Qt::Key_Enter);
    QTRY_COMPARE(form.Records().rowCount(), 4);
}

void TestMain::renameInPlace()
{
    TMainBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    ShowFirstWeek(form);
    QTreeWidgetItem *salary = form.InTree().RootNode()->child(0);
    const auto rename = [&](const QString &text) {
        Select(salary);
        form.NModIeTypeClick();
        auto *editor = Child<QTreeWidget>(&form, "tv1")->findChild<QLineEdit *>();
        QVERIFY(editor);
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
    };

    rename(QStringLiteral("奖金")); // taken by the sub-category
    QTRY_COMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("该名称已经存在，请重新输入！"));
    QCOMPARE(salary->text(0), QStringLiteral("工资"));
    QTRY_VERIFY(!(salary->flags() & Qt::ItemIsEditable));
    QTRY_VERIFY(!Child<QTreeWidget>(&form, "tv1")->findChild<QLineEdit *>());

    rename(QStringLiteral(" \t")); // nothing to tell it apart by
    QTRY_COMPARE(prompt.Boxes.size(), 2);
    QCOMPARE(prompt.Boxes[1].Text, QStringLiteral("名称不能为空!"));
    QCOMPARE(salary->text(0), QStringLiteral("工资"));
    QTRY_VERIFY(!Child<QTreeWidget>(&form, "tv1")->findChild<QLineEdit *>());

    rename(QStringLiteral("薪水"));
    QTRY_COMPARE(salary->text(0), QStringLiteral("薪水"));
    QCOMPARE(DbQueryInt(QStringLiteral(
                 "select count(*) from InType where TypeName='薪水' and SelfIndex=1")),
             1);
    QCOMPARE(form.Records().Cell(0, 2), QStringLiteral("薪水"));

    // The root is never opened for editing.
    Select(form.InTree().RootNode());
    form.NModIeTypeClick();
    QVERIFY(!Child<QTreeWidget>(&form, "tv1")->findChild<QLineEdit *>()
            || !Child<QTreeWidget>(&form, "tv1")->findChild<QLineEdit *>()->isVisible());
}

void TestMain::deleteCategoryRunsQuery()
{
    TMainBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    ShowFirstWeek(form);
    Select(form.OutTree().RootNode()->child(0));
    prompt.Answers = {false};
    QVERIFY_THROWS_EXCEPTION(EAbort, form.MenuItem6Click());
    QCOMPARE(form.OutTree().RootNode()->childCount(), 1);

    prompt.Answers = {true};
    form.MenuItem6Click();
    QCOMPARE(form.OutTree().RootNode()->childCount(), 0);
    // The query ran again: the expense records keep their category id and
    // list with an empty category.
    int expenses = 0;
    for (int row = 0; row < form.Records().rowCount(); ++row) {
        if (form.Records().Cell(row, 1) == u"支出") {
            QCOMPARE(form.Records().Cell(row, 2), QString());
            ++expenses;
        }
    }
    QCOMPARE(expenses, 2);
}

// A category the record dialog's picker added shows in its tree once the
// dialog closes, however it closed; the chosen category stays chosen.
void TestMain::pickerCategoryShowsAtOnce()
{
    TMainBooks books;
    TFormMain form;
    ShowFirstWeek(form);
    Select(form.InTree().RootNode()->child(0));
    Categories(QStringLiteral("InType")).Insert({3, 0}, QStringLiteral("兼职"));
    TModalDriver driver;
    driver.Then([](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); });
    form.N1Click();
    QVERIFY(driver.Done());
    QCOMPARE(form.InTree().RootNode()->childCount(), 2);
    QCOMPARE(form.InTree().RootNode()->child(1)->text(0), QStringLiteral("兼职"));
    QCOMPARE(form.InTree().GetSelIndex(), 1);
}

BOOKKEEP_TEST_MAIN(TestMain)

#include "tst_Main.moc"
