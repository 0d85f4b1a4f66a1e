// Undo and redo in the main window: the items after the record list's menu,
// the shortcuts, the list and trees shown anew, and a failing undo reported.

#include "LedgerTestSupport.h"
#include "ModalDriver.h"
#include "WidgetTestSupport.h"

#include "controls/CardFloatIntEdit.h"
#include "data/ListModel.h"
#include "forms/FirstStart.h"
#include "ledger/UntAccount.h"
#include "ledger/UntTree.h"
#include "shell/JobRunner.h"
#include "shell/Main.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// Books with an account, an expense category and a lunch on 7 Dec 2026.
class TUndoBooks : public TTestBooks
{
public:
    TUndoBooks()
    {
        DbExec(QStringLiteral("insert into OutType values (1,0,'餐饮')"),
               QStringLiteral("新增类别 餐饮"));
        InsertAccount(QStringLiteral("现金"), Amount("100"));
        AddRecord(1, QStringLiteral("现金"), Amount("35.5"), 1, QStringLiteral("午饭"),
                  QDate(2026, 12, 7));
    }
};

// The window showing the first week of December 2026, active, the list focused.
void Show(TFormMain &form)
{
    Child<QDateEdit>(&form, "DBBegin")->setDate(QDate(2026, 12, 1));
    Child<QDateEdit>(&form, "DBOver")->setDate(QDate(2026, 12, 7));
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    Child<QTreeView>(&form, "lv1")->setFocus();
    form.btnQueryClick();
}

QMenu *RecordMenu(const TFormMain &form)
{
    return form.findChild<QMenu *>(QStringLiteral("pm1"));
}

// What the undo and redo items say and whether each is enabled, as the menu
// shows them when it opens.
QStringList UndoItems(const TFormMain &form)
{
    QMenu *menu = RecordMenu(form);
    Q_EMIT menu->aboutToShow();
    QStringList items;
    for (const char *name : {"NUndo", "NRedo"}) {
        const QAction *action = Child<QAction>(menu, name);
        items << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
    }
    return items;
}

QStringList OutTypes(const TFormMain &form)
{
    QStringList names;
    const QTreeWidgetItem *root = form.OutTree().RootNode();
    for (int i = 0; i < root->childCount(); ++i)
        names << root->child(i)->text(0);
    return names;
}

} // namespace

class TestMainUndo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The items come after the specified ones, which keep their order, and
    // name the step each would take.
    void ItemsFollowTheListItems()
    {
        TUndoBooks books;
        TFormMain form;
        QStringList names;
        for (const QAction *action : RecordMenu(form)->actions())
            names << action->objectName();
        QCOMPARE(names,
                 QStringList({QStringLiteral("N1"), QStringLiteral("N2"), QStringLiteral("N3"),
                              QString(), QStringLiteral("N5"), QString(), QStringLiteral("NUndo"),
                              QStringLiteral("NRedo"), QString(), QStringLiteral("NTransfer")}));
        // With one account there is nothing to transfer between: it says so.
        TRecordingPrompt prompt;
        TModalDriver driver;
        RecordMenu(form)->actions().last()->trigger();
        RunQueuedCommands(&form);
        QCOMPARE(prompt.Boxes.size(), 1);
        QVERIFY(prompt.Boxes[0].Text.startsWith(QStringLiteral("至少需要两个账户才能转账")));
        QVERIFY(driver.Unexpected.isEmpty());
        QCOMPARE(
            UndoItems(form),
            QStringList({QStringLiteral("撤销 新增记账 午饭 35.5"), QStringLiteral("重做 (off)")}));
        GDbAccess->Undo();
        GDbAccess->Undo();
        GDbAccess->Undo();
        QCOMPARE(UndoItems(form),
                 QStringList({QStringLiteral("撤销 (off)"), QStringLiteral("重做 新增类别 餐饮")}));
        // A name with & shows it, not a mnemonic.
        DbExec(QStringLiteral("insert into InType values (1,0,'R&D')"),
               QStringLiteral("新增类别 R&D"));
        QCOMPARE(UndoItems(form),
                 QStringList({QStringLiteral("撤销 新增类别 R&&D"), QStringLiteral("重做 (off)")}));
    }

    // Ctrl+Z takes the record back, Ctrl+Y and Ctrl+Shift+Z bring it again;
    // the list and its totals follow.
    void Shortcuts()
    {
        TUndoBooks books;
        TFormMain form;
        Show(form);
        QCOMPARE(form.Records().rowCount(), 1);
        QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE(form.Records().rowCount(), 0);
        QCOMPARE(Child<QLabel>(&form, "statPanel5")->text(), QStringLiteral("0"));
        QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("100", "0", "0"));
        QTest::keyClick(&form, Qt::Key_Y, Qt::ControlModifier);
        QTRY_COMPARE(form.Records().rowCount(), 1);
        QCOMPARE(Child<QLabel>(&form, "statPanel5")->text(), QStringLiteral("35.5"));
        QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE(form.Records().rowCount(), 0);
        QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(form.Records().rowCount(), 1);
        QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("64.5", "0", "35.5"));
        // The remark filter keeps the keys for its own text.
        Child<QLineEdit>(&form, "edtTitle")->setFocus();
        QTest::keyClicks(Child<QLineEdit>(&form, "edtTitle"), QStringLiteral("x"));
        QTest::keyClick(Child<QLineEdit>(&form, "edtTitle"), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Child<QLineEdit>(&form, "edtTitle")->text(), QString());
        QCoreApplication::processEvents();
        QCOMPARE(GDbAccess->UndoName(), QStringLiteral("新增记账 午饭 35.5"));
    }

    // Undoing a category's delete from the menu shows it in its tree again.
    void TreesAreReloaded()
    {
        TUndoBooks books;
        TRecordingPrompt prompt;
        TFormMain form;
        Show(form);
        form.OutTree().LoadTypes();
        QTreeWidgetItem *meals = form.OutTree().RootNode()->child(0);
        Child<QTreeWidget>(&form, "tv2")->setCurrentItem(meals);
        prompt.Answers << true;
        form.MenuItem6Click();
        QCOMPARE(OutTypes(form), QStringList());
        QCOMPARE(UndoItems(form)[0], QStringLiteral("撤销 删除类别 餐饮"));
        RecordMenu(form)->actions().at(6)->trigger();
        QTRY_COMPARE(OutTypes(form), QStringList({QStringLiteral("餐饮")}));
        QCOMPARE(UndoItems(form),
                 QStringList({QStringLiteral("撤销 新增记账 午饭 35.5"),
                              QStringLiteral("重做 删除类别 餐饮")}));
        RecordMenu(form)->actions().at(7)->trigger();
        QTRY_COMPARE(OutTypes(form), QStringList());
    }

    // The first-start assistant writes what is ticked, as the user named it,
    // as one step; skipped or refused, it writes nothing, and the books stay
    // empty (it is offered again at the next start).
    void FirstStart_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("bank");
        QTest::addColumn<QString>("bankFare");
        QTest::addColumn<QString>("meals"); // the new name of 餐饮
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("accounts");
        const QString bank = u"招商银行 1234"_s;
        QTest::newRow("started") << u"btnStart"_s << bank << u"3000"_s << u"吃饭"_s << QString()
                                 << QStringList({u"现金 12.5"_s, u"招商银行 1234 3000"_s,
                                                 u"支付宝 0"_s, u"微信零钱 0"_s, u"信用卡 -800"_s});
        QTest::newRow("skipped") << u"btnSkip"_s << bank << u"3000"_s << u"吃饭"_s << QString()
                                 << QStringList();
        QTest::newRow("account twice") << u"btnStart"_s << u"现金"_s << u"3000"_s << u"吃饭"_s
                                       << u"账户“现金”重复，请改名！"_s << QStringList();
        QTest::newRow("blank account") << u"btnImport"_s << u" "_s << u"3000"_s << u"吃饭"_s
                                       << u"账户名称不能为空！"_s << QStringList();
        QTest::newRow("amount") << u"btnStart"_s << bank << u"1000000000000"_s << u"吃饭"_s
                                << u"“招商银行 1234”的初始金额不是有效的金额！"_s << QStringList();
        QTest::newRow("category twice") << u"btnStart"_s << bank << u"3000"_s << u"医疗"_s
                                        << u"类别“医疗”重复，请改名！"_s << QStringList();
    }

    void FirstStart()
    {
        QFETCH(QString, button);
        QFETCH(QString, bank);
        QFETCH(QString, bankFare);
        QFETCH(QString, meals);
        QFETCH(QString, box);
        QFETCH(QStringList, accounts);
        TTestBooks books;
        TRecordingPrompt prompt;
        TFormMain form;
        Show(form);
        TModalDriver driver;
        driver.Then<TFormFirstStart>([&](TFormFirstStart *dialog) {
            Child<TCardFloatIntEdit>(dialog, "edtFare0")->setText(QStringLiteral("12.5"));
            Child<QCheckBox>(dialog, "chkAccount1")->setChecked(true);
            Child<QLineEdit>(dialog, "edtName1")->setText(bank);
            Child<TCardFloatIntEdit>(dialog, "edtFare1")->setText(bankFare);
            Child<QCheckBox>(dialog, "chkAccount4")->setChecked(true);
            Child<TCardFloatIntEdit>(dialog, "edtFare4")->setText(QStringLiteral("-800"));
            QTreeWidgetItem *expense = Child<QTreeWidget>(dialog, "tvTypes")->topLevelItem(1);
            expense->child(0)->setText(0, meals);
            expense->child(1)->setCheckState(0, Qt::Unchecked); // 交通 and its children
            Child<QPushButton>(dialog, qPrintable(button))->click();
            RunQueuedCommands(dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        form.OfferFirstStart();
        QVERIFY(driver.Done());
        QCOMPARE(prompt.Boxes.isEmpty() ? QString() : prompt.Boxes[0].Text, box);
        QStringList names;
        GAccount->ListAccountNames(names);
        for (QString &name : names)
            name += u' ' + ReadTotals(name).Fare.ToString();
        names.sort();
        accounts.sort();
        QCOMPARE(names, accounts);
        QCOMPARE(TFormFirstStart::BooksEmpty(), accounts.isEmpty());
        if (accounts.isEmpty())
            return;
        QCOMPARE(OutTypes(form),
                 QStringList({u"吃饭"_s, u"购物"_s, u"居住"_s, u"医疗"_s, u"教育"_s, u"娱乐"_s,
                              u"人情往来"_s, u"其他支出"_s}));
        QCOMPARE(form.OutTree().RootNode()->child(0)->child(4)->text(0), QStringLiteral("买菜"));
        QCOMPARE(form.InTree().RootNode()->childCount(), 7);
        QCOMPARE(GDbAccess->UndoName(), QStringLiteral("开始使用"));
        RecordMenu(form)->actions().at(6)->trigger();
        QTRY_COMPARE(OutTypes(form), QStringList());
        QVERIFY(TFormFirstStart::BooksEmpty());
    }

    // Books with an account or a category are not offered the assistant.
    void FirstStartOnlyOnEmptyBooks_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("account") << u"insert into Account(AccountName) values ('现金')"_s;
        QTest::newRow("category") << u"insert into OutType values (1,0,'餐饮')"_s;
    }

    void FirstStartOnlyOnEmptyBooks()
    {
        QFETCH(QString, sql);
        TTestBooks books;
        DbExec(sql);
        TFormMain form;
        Show(form);
        TModalDriver driver;
        form.OfferFirstStart();
        QVERIFY(driver.Done());
    }

    // A step of many records is taken back by a job while the window waits:
    // its dialog says why it cannot be stopped, and the list follows after.
    void LargeStepIsUndoneByAJob()
    {
        TUndoBooks books;
        TRecordingPrompt prompt;
        TFormMain form;
        GDbAccess->InTransaction([] {
            for (int i = 0; i < 1000; ++i)
                AddRecord(1, u"现金"_s, Amount("1"), 1, u"茶"_s, QDate(2026, 12, 7));
        });
        Show(form);
        QCOMPARE(form.Records().rowCount(), 1001);
        // A reader keeps the replay from committing until the dialog shows.
        sqlite3 *reader = nullptr;
        sqlite3_stmt *read = nullptr;
        sqlite3_open_v2(QFile::encodeName(books.DatabaseFile()).constData(), &reader,
                        SQLITE_OPEN_READONLY, nullptr);
        sqlite3_prepare_v2(reader, "select * from BookKeep", -1, &read, nullptr);
        QCOMPARE(sqlite3_step(read), SQLITE_ROW);
        QStringList seen;
        connect(
            &TJobDialogs::Instance(), &TJobDialogs::Shown, &form,
            [&](QWidget *dialog) {
                seen << Child<QLabel>(dialog, "lblJobName")->text()
                     << Child<QLabel>(dialog, "lblNoCancel")->text();
                sqlite3_finalize(read);
            },
            Qt::SingleShotConnection);
        const int delay = TJobDialogs::Instance().Delay();
        TJobDialogs::Instance().SetDelay(0);
        QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE(form.Records().rowCount(), 1);
        TJobDialogs::Instance().SetDelay(delay);
        sqlite3_close(reader);
        QCOMPARE(seen,
                 QStringList({u"正在撤销…"_s,
                              u"此操作不能取消：一步操作要整个撤销，不能只撤销一部分。"_s}));
        QCOMPARE(ReadTotals(u"现金"_s), Totals("64.5", "0", "35.5"));
        QCOMPARE(UndoItems(form)[1], u"重做 新增记账 茶 1"_s);
        QVERIFY(prompt.Boxes.isEmpty());
    }

    // An undo that fails says why and changes nothing, its step included.
    void FailureIsReported()
    {
        TUndoBooks books;
        TRecordingPrompt prompt;
        TFormMain form;
        Show(form);
        DbExec(QStringLiteral("create trigger Refuse before delete on BookKeep "
                              "begin select raise(abort, '记录被锁定'); end"));
        QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
        QTRY_COMPARE(prompt.Boxes.size(), 1);
        QVERIFY2(prompt.Boxes[0].Text.startsWith(QStringLiteral("撤销失败！"))
                     && prompt.Boxes[0].Text.contains(QStringLiteral("记录被锁定")),
                 qPrintable(prompt.Boxes[0].Text));
        QCOMPARE(form.Records().rowCount(), 1);
        QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("64.5", "0", "35.5"));
        QCOMPARE(
            UndoItems(form),
            QStringList({QStringLiteral("撤销 新增记账 午饭 35.5"), QStringLiteral("重做 (off)")}));
    }
};

BOOKKEEP_TEST_MAIN(TestMainUndo)

#include "tst_MainUndo.moc"
