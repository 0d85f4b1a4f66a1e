#include "ModalDriver.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "ledger/UntTree.h"

#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <functional>

namespace {

// The tree in tree order: two blanks per level, the text and the node's record.
QStringList Shape(QTreeWidget &view)
{
    QStringList lines;
    for (QTreeWidgetItemIterator it(&view); *it; ++it) {
        int depth = 0;
        for (const QTreeWidgetItem *p = (*it)->parent(); p; p = p->parent())
            ++depth;
        const TTypeNodeData data = TCardTree::NodeData(*it);
        lines << QString(depth * 2, u' ') + (*it)->text(0)
                + QStringLiteral("(%1,%2)").arg(data.SelfIndex).arg(data.ParentIndex);
    }
    return lines;
}

// The rows of a category table as "SelfIndex,ParentIndex,TypeName".
QStringList Rows(const QString &table)
{
    QStringList rows;
    TQuery &query = GDbAccess->OpenQuery(
        QStringLiteral("select SelfIndex,ParentIndex,TypeName from %1 order by SelfIndex")
            .arg(table));
    for (; !query.Eof(); query.Next())
        rows << query.Fields(0).AsString() + u',' + query.Fields(1).AsString() + u','
                + query.Fields(2).AsString();
    query.Close();
    return rows;
}

void AddRow(const QString &table, int self, int parent, const QString &name)
{
    DbExec(Format(QStringLiteral("insert into %s values (%s,%s,'%s')"),
                  {table, QString::number(self), QString::number(parent), SqlText(name)}));
}

QTreeWidgetItem *Find(QTreeWidget &view, const QString &text)
{
    return view.findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
}

void Select(QTreeWidget &view, const QString &text)
{
    QTreeWidgetItem *item = Find(view, text);
    QVERIFY2(item, qPrintable(text));
    view.setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect);
}

// The message of the failure the call raises: "<abort>" for the silent one,
// "<none>" when it returns.
QString FailureOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const EAbort &) {
        return QStringLiteral("<abort>");
    } catch (const Exception &failure) {
        return failure.Message();
    }
    return QStringLiteral("<none>");
}

const QString kExists = QStringLiteral("该名称已经存在，请重新输入！");

// Books, a recording prompt and an income tree over a view.
struct TFixture
{
    TTestBooks Books;
    TRecordingPrompt Prompt;
    QTreeWidget View;
};

} // namespace

class tst_Tree : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void createShowsOnlyTheRoot();
    void loadBuildsTheTreeAndRefreshNeverDuplicates();
    void orphanGoesUnderLastNodeInTreeOrder();
    void failedLoadLeavesOnlyTheRoot();
    void insertPlacesUnderSelectionOrRoot();
    void namesAreUniqueAcrossTheWholeTree();
    void awkwardNamesAreStoredAsTyped_data();
    void awkwardNamesAreStoredAsTyped();
    void twoTreesOverOneTableNeverCollide();
    void deletedIndexIsNotReusedWhileRecordsCarryIt();
    void failedStatementLeavesTheViewUnchanged();
    void modTypeRenamesOrRefuses();
    void delTypeRefusals();
    void declinedDeleteChangesNothing();
    void delTypeDeletesTheRowAndRowsNamingIt();
    void staleTreeChecksTheTable();
    void newTypeNeedsASelection();
    void newTypeAsksForTheNameWithThePath();
    void newTypeCancelledOrDuplicate();
};

void tst_Tree::createShowsOnlyTheRoot()
{
    TFixture f;
    new QTreeWidgetItem(&f.View, {QStringLiteral("left over")});
    AddRow(QStringLiteral("InType"), 1, 0, QStringLiteral("工资"));
    TCardTree tree(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    QCOMPARE(Shape(f.View), QStringList {QStringLiteral("收入类别(0,0)")});
    QCOMPARE(tree.RootNode()->icon(0).cacheKey(), TCardTree::RootImage().cacheKey());
    QCOMPARE(tree.GetSelIndex(), 0);
}

void tst_Tree::loadBuildsTheTreeAndRefreshNeverDuplicates()
{
    TFixture f;
    const QString table = QStringLiteral("InType");
    TCardTree tree(&f.View, table, QStringLiteral("收入类别"));

    // Exactly one category: one node, however often the tree is refreshed.
    AddRow(table, 1, 0, QStringLiteral("工资"));
    tree.LoadTypes();
    tree.LoadTypes();
    QCOMPARE(Shape(f.View),
             (QStringList {QStringLiteral("收入类别(0,0)"), QStringLiteral("  工资(1,0)")}));

    AddRow(table, 0, 0, QStringLiteral("never read"));
    AddRow(table, 2, 1, QStringLiteral("奖金"));
    AddRow(table, 3, 0, QStringLiteral("理财"));
    AddRow(table, 4, 2, QStringLiteral("年终"));
    AddRow(table, -5, 0, QStringLiteral("负"));
    Select(f.View, QStringLiteral("工资"));
    for (int i = 0; i < 3; ++i)
        tree.LoadTypes();
    const QStringList expected {QStringLiteral("收入类别(0,0)"),   QStringLiteral("  负(-5,0)"),
                                QStringLiteral("  工资(1,0)"),     QStringLiteral("    奖金(2,1)"),
                                QStringLiteral("      年终(4,2)"), QStringLiteral("  理财(3,0)")};
    QCOMPARE(Shape(f.View), expected);
    QVERIFY(tree.RootNode()->isExpanded());
    QVERIFY(!Find(f.View, QStringLiteral("工资"))->isExpanded());
    QCOMPARE(Find(f.View, QStringLiteral("年终"))->icon(0).cacheKey(),
             TCardTree::CategoryImage().cacheKey());
    QCOMPARE(tree.GetMaxIndex(), 4);
    QCOMPARE(tree.GetSelIndex(), 0);
    QVERIFY(f.View.updatesEnabled());

    // A negative index alone never takes the maximum below 0.
    DbExec(QStringLiteral("delete from InType where SelfIndex>0"));
    tree.LoadTypes();
    QCOMPARE(tree.GetMaxIndex(), 0);
}

void tst_Tree::orphanGoesUnderLastNodeInTreeOrder()
{
    TFixture f;
    const QString table = QStringLiteral("OutType");
    AddRow(table, 1, 0, QStringLiteral("餐饮"));
    AddRow(table, 2, 1, QStringLiteral("早餐"));
    AddRow(table, 3, 0, QStringLiteral("交通"));
    AddRow(table, 4, 2, QStringLiteral("豆浆"));
    AddRow(table, 5, 99, QStringLiteral("孤儿"));
    AddRow(table, 6, 7, QStringLiteral("先于父"));
    AddRow(table, 7, 0, QStringLiteral("后来的父"));
    TCardTree tree(&f.View, table, QStringLiteral("支出类别"));
    tree.LoadTypes();
    // 交通 is last in tree order when 孤儿 is read (not 豆浆, which was added
    // later but sits earlier); a row read before its parent is an orphan too.
    const QStringList expected {
        QStringLiteral("支出类别(0,0)"),     QStringLiteral("  餐饮(1,0)"),
        QStringLiteral("    早餐(2,1)"),     QStringLiteral("      豆浆(4,2)"),
        QStringLiteral("  交通(3,0)"),       QStringLiteral("    孤儿(5,99)"),
        QStringLiteral("      先于父(6,7)"), QStringLiteral("  后来的父(7,0)")};
    QCOMPARE(Shape(f.View), expected);
}

void tst_Tree::failedLoadLeavesOnlyTheRoot()
{
    TFixture f;
    AddRow(QStringLiteral("InType"), 1, 0, QStringLiteral("工资"));
    TCardTree tree(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    tree.LoadTypes();
    DbExec(QStringLiteral("alter table InType rename to InTypeGone"));
    QVERIFY_THROWS_EXCEPTION(EDBException, tree.LoadTypes());
    QCOMPARE(Shape(f.View), QStringList {QStringLiteral("收入类别(0,0)")});
    QVERIFY(f.View.updatesEnabled());
}

void tst_Tree::insertPlacesUnderSelectionOrRoot()
{
    TFixture f;
    TCardTree tree(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    tree.LoadTypes();
    QTreeWidgetItem *salary = tree.InsertType(QStringLiteral("工资"));
    QCOMPARE(salary->parent(), tree.RootNode());
    Select(f.View, QStringLiteral("工资"));
    QTreeWidgetItem *bonus = tree.InsertType(QStringLiteral("奖金"));
    QCOMPARE(bonus->parent(), salary);
    QVERIFY(salary->isExpanded());
    QCOMPARE(bonus->icon(0).cacheKey(), TCardTree::CategoryImage().cacheKey());
    // The selection stays where it was: the new node is selected by NewType only.
    QCOMPARE(tree.Selected(), salary);
    Select(f.View, QStringLiteral("收入类别"));
    tree.InsertType(QStringLiteral("理财"));
    QCOMPARE(Rows(QStringLiteral("InType")),
             (QStringList {QStringLiteral("1,0,工资"), QStringLiteral("2,1,奖金"),
                           QStringLiteral("3,0,理财")}));

    // What was written reads back as the same tree.
    QTreeWidget other;
    TCardTree reread(&other, QStringLiteral("InType"), QStringLiteral("收入类别"));
    reread.LoadTypes();
    QCOMPARE(Shape(other), Shape(f.View));
}

void tst_Tree::namesAreUniqueAcrossTheWholeTree()
{
    TFixture f;
    TCardTree income(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    income.InsertType(QStringLiteral("Salary"));
    Select(f.View, QStringLiteral("Salary"));
    income.InsertType(QStringLiteral("奖金"));
    const QStringList before = Shape(f.View);

    // The root caption and a name at another level are taken.
    f.View.clearSelection();
    QCOMPARE(FailureOf([&] { income.InsertType(QStringLiteral("收入类别")); }), kExists);
    QCOMPARE(FailureOf([&] { income.InsertType(QStringLiteral("奖金")); }), kExists);
    Select(f.View, QStringLiteral("奖金"));
    QCOMPARE(FailureOf([&] { income.InsertType(QStringLiteral("Salary")); }), kExists);
    QCOMPARE(Shape(f.View), before);
    QCOMPARE(Rows(QStringLiteral("InType")).size(), 2);

    // Case and blanks make a different name, and the blanks are kept.
    f.View.clearSelection();
    income.InsertType(QStringLiteral("salary"));
    income.InsertType(QStringLiteral(" Salary "));
    QVERIFY(Rows(QStringLiteral("InType")).contains(QStringLiteral("4,0, Salary ")));

    // The expense tree is independent of the income tree.
    QTreeWidget expenseView;
    TCardTree expense(&expenseView, QStringLiteral("OutType"), QStringLiteral("支出类别"));
    expense.InsertType(QStringLiteral("Salary"));
    expense.InsertType(QStringLiteral("收入类别"));
    QCOMPARE(FailureOf([&] { expense.InsertType(QStringLiteral("支出类别")); }), kExists);
    QCOMPARE(Rows(QStringLiteral("OutType")).size(), 2);
}

void tst_Tree::awkwardNamesAreStoredAsTyped_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("quote") << QStringLiteral("O'Brien's");
    QTest::newRow("two quotes") << QStringLiteral("''");
    QTest::newRow("batch separator") << QStringLiteral("a@#@b");
    QTest::newRow("comment") << QStringLiteral("x -- y");
    QTest::newRow("placeholder") << QStringLiteral("%s %1");
    QTest::newRow("chinese") << QStringLiteral("日常'开销--@#@餐饮");
}

void tst_Tree::awkwardNamesAreStoredAsTyped()
{
    QFETCH(QString, name);
    TFixture f;
    TCardTree tree(&f.View, QStringLiteral("OutType"), QStringLiteral("支出类别"));
    QTreeWidgetItem *node = tree.InsertType(name);
    QCOMPARE(node->text(0), name);
    QCOMPARE(Rows(QStringLiteral("OutType")), QStringList {QStringLiteral("1,0,") + name});

    const QString renamed = name + QStringLiteral("'改--");
    f.View.setCurrentItem(node, 0, QItemSelectionModel::ClearAndSelect);
    QVERIFY(tree.ModType(renamed));
    tree.LoadTypes();
    QCOMPARE(Shape(f.View),
             (QStringList {QStringLiteral("支出类别(0,0)"),
                           QStringLiteral("  ") + renamed + QStringLiteral("(1,0)")}));
    QCOMPARE(Rows(QStringLiteral("OutType")), QStringList {QStringLiteral("1,0,") + renamed});
}

void tst_Tree::twoTreesOverOneTableNeverCollide()
{
    TFixture f;
    AddRow(QStringLiteral("InType"), 1, 0, QStringLiteral("工资"));
    TCardTree mainTree(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    mainTree.LoadTypes();

    // The picker's tree adds a category the main window's tree does not see.
    QTreeWidget pickerView;
    TCardTree picker(&pickerView, QStringLiteral("InType"), QStringLiteral("收入类别"));
    picker.LoadTypes();
    QCOMPARE(TCardTree::NodeData(picker.InsertType(QStringLiteral("奖金"))).SelfIndex, 2);

    QCOMPARE(mainTree.GetMaxIndex(), 1);
    QCOMPARE(TCardTree::NodeData(mainTree.InsertType(QStringLiteral("理财"))).SelfIndex, 3);
    QCOMPARE(Rows(QStringLiteral("InType")),
             (QStringList {QStringLiteral("1,0,工资"), QStringLiteral("2,0,奖金"),
                           QStringLiteral("3,0,理财")}));
}

void tst_Tree::deletedIndexIsNotReusedWhileRecordsCarryIt()
{
    TFixture f;
    f.Prompt.Answers = {true, true};
    TCardTree tree(&f.View, QStringLiteral("OutType"), QStringLiteral("支出类别"));
    tree.InsertType(QStringLiteral("餐饮"));
    tree.InsertType(QStringLiteral("交通"));

    // Without records the largest index comes back after a delete.
    Select(f.View, QStringLiteral("交通"));
    tree.DelType();
    QCOMPARE(TCardTree::NodeData(tree.InsertType(QStringLiteral("房租"))).SelfIndex, 2);

    // An expense record still filed under 2 keeps the index from being reused,
    // so the record never turns up under an unrelated new category. Income
    // records do not count for the expense table.
    DbExec(QStringLiteral("insert into BookKeep(InOutType,TypeID,Fare) values (1,2,5)"));
    DbExec(QStringLiteral("insert into BookKeep(InOutType,TypeID,Fare) values (0,9,5)"));
    Select(f.View, QStringLiteral("房租"));
    tree.DelType();
    QCOMPARE(TCardTree::NodeData(tree.InsertType(QStringLiteral("水电"))).SelfIndex, 3);
}

void tst_Tree::failedStatementLeavesTheViewUnchanged()
{
    TFixture f;
    f.Prompt.Answers = {true};
    TCardTree tree(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    tree.InsertType(QStringLiteral("工资"));
    DbExec(QStringLiteral("create trigger NoWrites1 before insert on InType "
                          "begin select raise(abort, 'refused'); end@#@"
                          "create trigger NoWrites2 before update on InType "
                          "begin select raise(abort, 'refused'); end@#@"
                          "create trigger NoWrites3 before delete on InType "
                          "begin select raise(abort, 'refused'); end"));
    const QStringList before = Shape(f.View);
    QVERIFY_THROWS_EXCEPTION(EDBException, tree.InsertType(QStringLiteral("奖金")));
    Select(f.View, QStringLiteral("工资"));
    QVERIFY_THROWS_EXCEPTION(EDBException, tree.ModType(QStringLiteral("薪水")));
    QVERIFY_THROWS_EXCEPTION(EDBException, tree.DelType());
    QCOMPARE(Shape(f.View), before);
    QCOMPARE(Rows(QStringLiteral("InType")), QStringList {QStringLiteral("1,0,工资")});
}

void tst_Tree::modTypeRenamesOrRefuses()
{
    TFixture f;
    TCardTree tree(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    tree.InsertType(QStringLiteral("工资"));
    tree.InsertType(QStringLiteral("奖金"));

    // Without a category selected there is nothing to rename.
    QVERIFY(!tree.ModType(QStringLiteral("薪水")));
    Select(f.View, QStringLiteral("收入类别"));
    QVERIFY(!tree.ModType(QStringLiteral("薪水")));

    Select(f.View, QStringLiteral("工资"));
    for (const QString &taken :
         {QStringLiteral("奖金"), QStringLiteral("工资"), QStringLiteral("收入类别")})
        QCOMPARE(FailureOf([&] { tree.ModType(taken); }), kExists);
    QCOMPARE(Find(f.View, QStringLiteral("工资"))->text(0), QStringLiteral("工资"));

    QVERIFY(tree.ModType(QStringLiteral("薪水 ")));
    QCOMPARE(tree.Selected()->text(0), QStringLiteral("薪水 "));
    QCOMPARE(Rows(QStringLiteral("InType")),
             (QStringList {QStringLiteral("1,0,薪水 "), QStringLiteral("2,0,奖金")}));
    QVERIFY(f.Prompt.Boxes.isEmpty());
}

void tst_Tree::delTypeRefusals()
{
    TFixture f;
    TCardTree tree(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    tree.InsertType(QStringLiteral("工资"));
    Select(f.View, QStringLiteral("工资"));
    tree.InsertType(QStringLiteral("奖金"));
    const QStringList before = Shape(f.View);

    f.View.clearSelection();
    QCOMPARE(FailureOf([&] { tree.DelType(); }), QStringLiteral("请选择要删除的分组！"));
    Select(f.View, QStringLiteral("收入类别"));
    QCOMPARE(FailureOf([&] { tree.DelType(); }), QStringLiteral("不能删除根分组！"));
    Select(f.View, QStringLiteral("工资"));
    QCOMPARE(FailureOf([&] { tree.DelType(); }), QStringLiteral("还有下级分组，不能删除该分组！"));

    QCOMPARE(Shape(f.View), before);
    QCOMPARE(Rows(QStringLiteral("InType")).size(), 2);
    QVERIFY(f.Prompt.Boxes.isEmpty());
}

void tst_Tree::declinedDeleteChangesNothing()
{
    TFixture f;
    TCardTree tree(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    tree.InsertType(QStringLiteral("工资"));
    Select(f.View, QStringLiteral("工资"));
    const QStringList before = Shape(f.View);

    f.Prompt.Answers = {false};
    QCOMPARE(FailureOf([&] { tree.DelType(); }), QStringLiteral("<abort>"));
    QCOMPARE(f.Prompt.Boxes.size(), 1);
    QCOMPARE(f.Prompt.Boxes[0].Kind, TBoxKind::Confirm);
    QCOMPARE(f.Prompt.Boxes[0].Caption, QStringLiteral("确认"));
    QCOMPARE(f.Prompt.Boxes[0].Text, QStringLiteral("确定要删除 工资 分组吗？"));
    QCOMPARE(Shape(f.View), before);
    QCOMPARE(Rows(QStringLiteral("InType")), QStringList {QStringLiteral("1,0,工资")});

    // Raised in an event handler, the silent abort shows nothing further,
    // while a refusal reaches the user as an error box.
    f.Prompt.Answers = {false};
    QTimer::singleShot(0, [&] { tree.DelType(); });
    QTest::qWait(20);
    QCOMPARE(f.Prompt.Boxes.size(), 2);
    QCOMPARE(f.Prompt.Boxes[1].Kind, TBoxKind::Confirm);
    Select(f.View, QStringLiteral("收入类别"));
    QTimer::singleShot(0, [&] { tree.DelType(); });
    QTest::qWait(20);
    QCOMPARE(f.Prompt.Boxes.size(), 3);
    QCOMPARE(f.Prompt.Boxes[2].Kind, TBoxKind::Error);
    QCOMPARE(f.Prompt.Boxes[2].Text, QStringLiteral("不能删除根分组！"));
    QCOMPARE(Rows(QStringLiteral("InType")), QStringList {QStringLiteral("1,0,工资")});
}

void tst_Tree::delTypeDeletesTheRowAndRowsNamingIt()
{
    TFixture f;
    const QString table = QStringLiteral("InType");
    AddRow(table, 1, 0, QStringLiteral("工资"));
    AddRow(table, 2, 5, QStringLiteral("先于父"));
    AddRow(table, 5, 0, QStringLiteral("理财"));
    DbExec(QStringLiteral("insert into BookKeep(InOutType,TypeID,Fare) values (0,5,10)"));
    TCardTree tree(&f.View, table, QStringLiteral("收入类别"));
    tree.LoadTypes();
    f.Prompt.Answers = {true, true};
    // A row of the table names 5 as its parent, though the tree shows it
    // elsewhere: the table decides, and nothing is deleted unseen.
    Select(f.View, QStringLiteral("理财"));
    QVERIFY_THROWS_EXCEPTION(Exception, tree.DelType());
    QCOMPARE(Rows(table).size(), 3);

    DbExec(QStringLiteral("update InType set ParentIndex=1 where SelfIndex=2"));
    tree.DelType();
    QCOMPARE(Find(f.View, QStringLiteral("理财")), nullptr);
    // Records keep their TypeID.
    QCOMPARE(Rows(table), (QStringList {QStringLiteral("1,0,工资"), QStringLiteral("2,1,先于父")}));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from BookKeep where TypeID=5")), 1);
}

void tst_Tree::staleTreeChecksTheTable()
{
    // Two trees over one table, as the main window's and the picker's.
    TFixture f;
    QTreeWidget otherView;
    const QString table = QStringLiteral("InType");
    AddRow(table, 1, 0, QStringLiteral("工资"));
    TCardTree stale(&f.View, table, QStringLiteral("收入类别"));
    stale.LoadTypes();
    TCardTree fresh(&otherView, table, QStringLiteral("收入类别"));
    fresh.LoadTypes();
    Select(otherView, QStringLiteral("工资"));
    fresh.InsertType(QStringLiteral("奖金"));

    f.Prompt.Answers = {true};
    Select(f.View, QStringLiteral("工资"));
    QVERIFY_THROWS_EXCEPTION(Exception, stale.DelType());
    QVERIFY_THROWS_EXCEPTION(Exception, stale.InsertType(QStringLiteral("奖金")));
    QVERIFY_THROWS_EXCEPTION(Exception, stale.ModType(QStringLiteral("奖金")));
    QCOMPARE(Rows(table), (QStringList {QStringLiteral("1,0,工资"), QStringLiteral("2,1,奖金")}));
}

void tst_Tree::newTypeNeedsASelection()
{
    TFixture f;
    TModalDriver driver;
    TCardTree tree(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    QVERIFY(!tree.NewType());
    QVERIFY(driver.Unexpected.isEmpty());
    QCOMPARE(Rows(QStringLiteral("InType")), QStringList());
}

void tst_Tree::newTypeAsksForTheNameWithThePath()
{
    TFixture f;
    TCardTree tree(&f.View, QStringLiteral("InType"), QStringLiteral("收入类别"));
    tree.InsertType(QStringLiteral("工资"));
    Select(f.View, QStringLiteral("工资"));
    tree.InsertType(QStringLiteral("奖金"));
    Select(f.View, QStringLiteral("奖金"));

    TModalDriver driver;
    QString shownPath;
    driver.Then([&](QWidget *dialog) {
        shownPath = dialog->findChild<QLineEdit *>(QStringLiteral("edtPos"))->text();
        dialog->findChild<QLineEdit *>(QStringLiteral("edtName"))->setText(QStringLiteral("年终"));
        dialog->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    });
    QVERIFY(tree.NewType());
    QCOMPARE(shownPath, QStringLiteral("收入类别->工资->奖金"));
    QCOMPARE(tree.Selected()->text(0), QStringLiteral("年终"));
    QCOMPARE(tree.Selected()->parent()->text(0), QStringLiteral("奖金"));
    QCOMPARE(Rows(QStringLiteral("InType")).last(), QStringLiteral("3,2,年终"));

    // With the root selected the path is the root caption alone.
    Select(f.View, QStringLiteral("收入类别"));
    driver.Then([&](QWidget *dialog) {
        shownPath = dialog->findChild<QLineEdit *>(QStringLiteral("edtPos"))->text();
        dialog->findChild<QLineEdit *>(QStringLiteral("edtName"))->setText(QStringLiteral("理财"));
        dialog->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    });
    QVERIFY(tree.NewType());
    QCOMPARE(shownPath, QStringLiteral("收入类别"));
    QCOMPARE(tree.Selected()->parent(), tree.RootNode());
    QVERIFY(driver.Unexpected.isEmpty());
}

void tst_Tree::newTypeCancelledOrDuplicate()
{
    TFixture f;
    TCardTree tree(&f.View, QStringLiteral("OutType"), QStringLiteral("支出类别"));
    tree.InsertType(QStringLiteral("餐饮"));
    Select(f.View, QStringLiteral("餐饮"));
    const QStringList before = Shape(f.View);

    TModalDriver driver;
    driver.Then([](QWidget *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("edtName"))->setText(QStringLiteral("交通"));
        dialog->findChild<QPushButton *>(QStringLiteral("btnCancel"))->click();
    });
    QVERIFY(!tree.NewType());
    QCOMPARE(Shape(f.View), before);

    // A taken name is refused after the dialog has closed.
    driver.Then([](QWidget *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("edtName"))
            ->setText(QStringLiteral("支出类别"));
        dialog->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    });
    QCOMPARE(FailureOf([&] { tree.NewType(); }), kExists);
    QCOMPARE(Shape(f.View), before);
    QCOMPARE(Rows(QStringLiteral("OutType")), QStringList {QStringLiteral("1,0,餐饮")});
    QVERIFY(driver.Done());
    QVERIFY(driver.Unexpected.isEmpty());
}

// The application object reports failures that escape event handlers.
BOOKKEEP_TEST_MAIN(tst_Tree)
#include "tst_Tree.moc"
