#include "ModalDriver.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"

#include "data/DateFormats.h"
#include "data/DbAccess.h"
#include "forms/AddType.h"
#include "forms/ViewType.h"
#include "ledger/UntTree.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTreeWidget>

namespace {

// The geometry of a widget in the coordinates of its window.
QRect InWindow(QWidget *widget)
{
    return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

void PressOK(QWidget *dialog)
{
    Child<QPushButton>(dialog, "btnOK")->click();
    RunQueuedCommands(dialog);
}

void Choose(QWidget *picker, const QString &text)
{
    auto *view = Child<QTreeWidget>(picker, "tv1");
    QTreeWidgetItem *item = view->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    if (!item)
        qFatal("no node %s", qPrintable(text));
    view->setCurrentItem(item, 0, QItemSelectionModel::ClearAndSelect);
}

void AddRows()
{
    DbExec(QStringLiteral("insert into InType values (1,0,'工资')@#@"
                          "insert into InType values (2,1,'奖金')@#@"
                          "insert into OutType values (1,0,'餐饮')@#@"
                          "insert into OutType values (2,0,'交通')"));
}

QStringList Texts(QTreeWidget *view)
{
    QStringList texts;
    for (QTreeWidgetItemIterator it(view); *it; ++it)
        texts << (*it)->text(0);
    return texts;
}

} // namespace

class tst_TypeDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addTypeLayout();
    void addTypeRefusesBlankNames_data();
    void addTypeRefusesBlankNames();
    void showAddTypeReturnsTheNameAsTyped();
    void addTypeKeysInsertDateAndTime();
    void viewTypeLayout();
    void viewTypeShowsTheTreeOfTheKind_data();
    void viewTypeShowsTheTreeOfTheKind();
    void viewTypeOkNeedsASelection();
    void showViewTypeReturnsTheChoice();
    void viewTypeAddsAndChoosesANewCategory();
};

void tst_TypeDialogs::addTypeLayout()
{
    TFormAddType dialog;
    dialog.SetPath(QStringLiteral("收入类别->工资"));
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("新建组"));
    QCOMPARE(dialog.size(), QSize(374, 201));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());

    auto *edtPos = Child<QLineEdit>(&dialog, "edtPos");
    auto *edtName = Child<QLineEdit>(&dialog, "edtName");
    QCOMPARE(InWindow(edtPos), QRect(120, 28, 185, 21));
    QCOMPARE(InWindow(edtName), QRect(120, 68, 185, 21));
    QVERIFY(edtPos->isReadOnly());
    QCOMPARE(edtPos->text(), QStringLiteral("收入类别->工资"));
    QCOMPARE(edtPos->palette().color(QPalette::Base), edtPos->palette().color(QPalette::Button));

    const QList<QLabel *> labels = dialog.findChildren<QLabel *>();
    QCOMPARE(labels.size(), 2);
    for (QLabel *label : labels) {
        const bool pos = label->buddy() == edtPos;
        QCOMPARE(label->text(), pos ? QStringLiteral("所在位置") : QStringLiteral("组名"));
        QCOMPARE(label->buddy(), pos ? static_cast<QWidget *>(edtPos) : edtName);
        QCOMPARE(InWindow(label).left(), 32);
        QCOMPARE(label->width(), 70);
        QVERIFY(label->alignment() & Qt::AlignRight);
    }

    QVERIFY(dialog.btnOK->isDefault());
    QCOMPARE(TabChain(dialog.btnOK, 4),
             (QStringList {QStringLiteral("btnCancel"), QStringLiteral("edtPos"),
                           QStringLiteral("edtName")}));
}

void tst_TypeDialogs::addTypeRefusesBlankNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << QStringLiteral("   ");
    QTest::newRow("tab") << QStringLiteral("\t");
    QTest::newRow("ideographic space") << QStringLiteral("\u3000");
    QTest::newRow("control") << QStringLiteral(" \x01 ");
}

void tst_TypeDialogs::addTypeRefusesBlankNames()
{
    QFETCH(QString, name);
    TRecordingPrompt prompt;
    TFormAddType dialog;
    dialog.show();
    Child<QLineEdit>(&dialog, "edtName")->setText(name);
    PressOK(&dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Kind, TBoxKind::Info);
    QCOMPARE(prompt.Boxes[0].Caption, QStringLiteral("提示"));
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("名称不能为空!"));
}

void tst_TypeDialogs::showAddTypeReturnsTheNameAsTyped()
{
    TRecordingPrompt prompt;
    TModalDriver driver;
    QString focused;
    driver.Then([&](QWidget *dialog) {
        focused = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
        Child<QLineEdit>(dialog, "edtName")->setText(QStringLiteral(" 年终 奖 "));
        PressOK(dialog);
    });
    QString name = QStringLiteral("stale");
    QCOMPARE(ShowAddType(QStringLiteral("收入类别"), name), int(mrOk));
    QCOMPARE(name, QStringLiteral(" 年终 奖 "));
    QCOMPARE(focused, QStringLiteral("edtName"));

    driver.Then([](QWidget *dialog) {
        Child<QLineEdit>(dialog, "edtName")->setText(QStringLiteral("年终"));
        Child<QPushButton>(dialog, "btnCancel")->click();
    });
    QCOMPARE(ShowAddType(QStringLiteral("收入类别"), name), int(mrCancel));
    QCOMPARE(name, QString());
    QVERIFY(prompt.Boxes.isEmpty());
    QVERIFY(driver.Unexpected.isEmpty());
}

void tst_TypeDialogs::addTypeKeysInsertDateAndTime()
{
    TFormAddType dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.focusWidget()->objectName(), QStringLiteral("edtName"));
    auto *edtName = Child<QLineEdit>(&dialog, "edtName");

    QTest::keyClicks(dialog.focusWidget(), QStringLiteral("ab"));
    edtName->setCursorPosition(1);
    const QString today = DateText(QDate::currentDate());
    QTest::keyClick(dialog.focusWidget(), Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(edtName->text(), QStringLiteral("a") + today + QStringLiteral("b"));

    // Ctrl+T, with Shift held as well, replaces the selected text.
    edtName->setText(QStringLiteral("[xyz]"));
    edtName->setSelection(1, 3);
    QTest::keyClick(dialog.focusWidget(), Qt::Key_T, Qt::ControlModifier | Qt::ShiftModifier);
    const QRegularExpression stamped(QStringLiteral("^\\[(.+) (\\d\\d:\\d\\d:\\d\\d)\\]$"));
    const QRegularExpressionMatch match = stamped.match(edtName->text());
    QVERIFY2(match.hasMatch(), qPrintable(edtName->text()));
    QVERIFY(match.captured(1) == today
            || match.captured(1) == DateText(QDate::currentDate()));

    // Without Ctrl the letters are typed as usual.
    edtName->clear();
    QTest::keyClick(dialog.focusWidget(), Qt::Key_D);
    QTest::keyClick(dialog.focusWidget(), Qt::Key_T);
    QCOMPARE(edtName->text(), QStringLiteral("dt"));
}

void tst_TypeDialogs::viewTypeLayout()
{
    TTestBooks books;
    TFormViewType dialog(0);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("选择组"));
    QCOMPARE(dialog.size(), QSize(300, 400));

    auto *tv1 = dialog.TreeView();
    QVERIFY(tv1->isHeaderHidden());
    QCOMPARE(tv1->indentation(), 19);
    QCOMPARE(tv1->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(InWindow(tv1).left(), 0);
    QCOMPARE(tv1->width(), 300);
    QVERIFY(InWindow(tv1).bottom() < InWindow(dialog.pnlBottom).top());
    QVERIFY(InWindow(tv1).top() <= 2);

    auto *btn1 = Child<QPushButton>(&dialog, "btn1");
    QCOMPARE(btn1->text(), QStringLiteral("新建分组"));
    QCOMPARE(btn1->parentWidget(), dialog.pnlBottom);
    QVERIFY(btn1->isVisible());
    QCOMPARE(btn1->geometry(), QRect(8, dialog.btnOK->y(), 75, 25));
    QCOMPARE(dialog.btnOK->x(), 135);
    QCOMPARE(dialog.btnCancel->x(), 211);
}

void tst_TypeDialogs::viewTypeShowsTheTreeOfTheKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("texts");
    const QStringList expense {QStringLiteral("支出类别"), QStringLiteral("餐饮"),
                               QStringLiteral("交通")};
    QTest::newRow("income") << 0
                            << QStringList {QStringLiteral("收入类别"), QStringLiteral("工资"),
                                            QStringLiteral("奖金")};
    QTest::newRow("expense") << 1 << expense;
    QTest::newRow("other kind") << 7 << expense;
}

void tst_TypeDialogs::viewTypeShowsTheTreeOfTheKind()
{
    QFETCH(int, kind);
    QFETCH(QStringList, texts);
    TTestBooks books;
    AddRows();
    TFormViewType dialog(kind);
    QVERIFY(!dialog.Tree());
    dialog.show();
    QVERIFY(dialog.Tree());
    QCOMPARE(Texts(dialog.TreeView()), texts);
    dialog.reject();
    QVERIFY(!dialog.Tree());
}

void tst_TypeDialogs::viewTypeOkNeedsASelection()
{
    TTestBooks books;
    AddRows();
    TFormViewType dialog(0);
    dialog.show();
    PressOK(&dialog);
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.Tree());

    // A double click on a node chooses it, like OK.
    QTreeWidget *view = dialog.TreeView();
    QTreeWidgetItem *salary = view->findItems(QStringLiteral("工资"), Qt::MatchRecursive).value(0);
    QVERIFY(salary);
    const QPoint at = view->visualItemRect(salary).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    QTRY_VERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.TypeID(), 1);
    QCOMPARE(dialog.TypeName(), QStringLiteral("工资"));
}

void tst_TypeDialogs::showViewTypeReturnsTheChoice()
{
    TTestBooks books;
    AddRows();
    TModalDriver driver;
    int typeID = 42;
    QString typeName = QStringLiteral("stale");

    driver.Then([](QWidget *picker) {
        Choose(picker, QStringLiteral("奖金"));
        PressOK(picker);
    });
    QCOMPARE(ShowViewType(0, typeID, typeName), int(mrOk));
    QCOMPARE(typeID, 2);
    QCOMPARE(typeName, QStringLiteral("奖金"));

    driver.Then([](QWidget *picker) {
        Choose(picker, QStringLiteral("支出类别"));
        PressOK(picker);
    });
    QCOMPARE(ShowViewType(1, typeID, typeName), int(mrOk));
    QCOMPARE(typeID, 0);
    QCOMPARE(typeName, QStringLiteral("未分组"));

    typeID = 42;
    driver.Then([](QWidget *picker) {
        Choose(picker, QStringLiteral("交通"));
        Child<QPushButton>(picker, "btnCancel")->click();
    });
    QCOMPARE(ShowViewType(1, typeID, typeName), int(mrCancel));
    QCOMPARE(typeID, 42);
    QCOMPARE(typeName, QString());
    QVERIFY(driver.Unexpected.isEmpty());
}

void tst_TypeDialogs::viewTypeAddsAndChoosesANewCategory()
{
    TTestBooks books;
    AddRows();
    TModalDriver driver;
    QString shownPath;
    driver.Then([](QWidget *picker) {
        // The name dialog is modal in its turn: open it once this action returns.
        QMetaObject::invokeMethod(Child<QPushButton>(picker, "btn1"), &QPushButton::click,
                                  Qt::QueuedConnection);
    });
    driver.Then([&](QWidget *addType) {
        shownPath = Child<QLineEdit>(addType, "edtPos")->text();
        Child<QLineEdit>(addType, "edtName")->setText(QStringLiteral("理财"));
        PressOK(addType);
    });
    driver.Then([](QWidget *picker) { PressOK(picker); });

    int typeID = 0;
    QString typeName;
    QCOMPARE(ShowViewType(0, typeID, typeName), int(mrOk));
    QCOMPARE(shownPath, QStringLiteral("收入类别"));
    QCOMPARE(typeID, 3);
    QCOMPARE(typeName, QStringLiteral("理财"));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from InType where SelfIndex=3 and "
                                       "ParentIndex=0 and TypeName='理财'")),
             1);
    QVERIFY(driver.Done());
    QVERIFY(driver.Unexpected.isEmpty());
}

BOOKKEEP_TEST_MAIN(tst_TypeDialogs)
#include "tst_TypeDialogs.moc"
