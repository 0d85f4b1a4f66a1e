// The account window with its totals and commands, and the dialogs that add
// and change accounts.

#include "LedgerTestSupport.h"
#include "ModalDriver.h"
#include "WidgetTestSupport.h"
#include "controls/CardFloatIntEdit.h"

#include "data/ListModel.h"
#include "forms/Account.h"
#include "forms/AccountStatement.h"
#include "forms/AddAccount.h"
#include "forms/ModAccount.h"
#include "forms/Transfer.h"
#include "ledger/AccountStatement.h"
#include "ledger/Transfers.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

const QString kCash = QStringLiteral("现金");
const QString kCard = QStringLiteral("银行卡");

QStringList Texts(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << QString::fromUtf8(text);
    return list;
}

QStringList Row(const TFormAccount &form, const QString &name)
{
    const TListModel &list = form.Accounts();
    for (int row = 0; row < list.rowCount(); ++row) {
        if (list.Cell(row, 0) == name)
            return {list.Cell(row, 1), list.Cell(row, 2), list.Cell(row, 3), list.Cell(row, 4)};
    }
    return {};
}

void Select(TFormAccount &form, const QString &name)
{
    const TListModel &list = form.Accounts();
    for (int row = 0; row < list.rowCount(); ++row) {
        if (list.Cell(row, 0) == name)
            Child<QTreeView>(&form, "lv1")->setCurrentIndex(list.index(row, 1));
    }
}

// Shows a dialog and waits until it is active, with the focus somewhere
// other than the name field.
void ShowAway(QDialog &dialog, QWidget *away)
{
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    away->setFocus();
}

} // namespace

class TestAccountDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void emptyListWindow();
    void totalsOverRows();
    void deleteRefusedWhileRecordsUseTheAccount();
    void deleteConfirmedRemovesTheRow();
    void keyboardOrderAndBuddies();
    void addRefusesBlankNames_data();
    void addRefusesBlankNames();
    void addRefusesATakenName();
    void addRefusesAnAmountOutOfRange();
    void okQueuedBeforeTheDialogClosedDoesNothing();
    void enterInTheAmountSavesWhatLeavingWouldShow_data();
    void enterInTheAmountSavesWhatLeavingWouldShow();
    void newAccountThroughTheListWindow();
    void modifyChangesOnlyNameAndRemark();
    void modifyRefusesBlankNames();
    void transferDialog_data();
    void transferDialog();
    void transferFromTheListWindow();
    void statementOfTheSelectedAccount();
    void transferFromTheStatement_data();
    void transferFromTheStatement();
};

void TestAccountDialogs::emptyListWindow()
{
    TTestBooks books;
    TFormAccount form;
    form.show();
    QCOMPARE(form.windowTitle(), QStringLiteral("账户信息"));
    QCOMPARE(form.size(), QSize(600, 380));
    QCOMPARE(form.Accounts().rowCount(), 0);
    QCOMPARE(Panels(form), QStringLiteral("0|0|0|0"));

    QStringList items;
    for (const QAction *action : form.PopupMenu1->actions())
        items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(items.join(u'|'), QStringLiteral("新建账户|修改|删除|转账…|账户明细|-|退出"));
    // The captions and the widest values fit their panels.
    for (const QLabel *label : Child<QWidget>(&form, "stat1")->findChildren<QLabel *>())
        QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
}

void TestAccountDialogs::totalsOverRows()
{
    TTestBooks books;
    InsertAccount(kCash, Amount("100"));
    InsertAccount(kCard, Amount("50.5"));
    {
        TFormAccount form;
        form.show();
        QCOMPARE(Panels(form), QStringLiteral("2|150.5|0|0"));
    }
    AddRecord(0, kCash, Amount("20.25"));
    AddRecord(1, kCard, Amount("70.5"));
    TFormAccount form;
    form.show();
    QCOMPARE(Row(form, kCard), Texts({"-20", "0", "70.5", ""}));
    QCOMPARE(Panels(form), QStringLiteral("2|100.25|20.25|70.5"));
}

void TestAccountDialogs::deleteRefusedWhileRecordsUseTheAccount()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"));
    AddRecord(0, kCash, Amount("5"));
    TFormAccount form;
    form.show();
    Select(form, kCash);
    prompt.Answers = {true};
    Child<QAction>(&form, "N3")->trigger();
    QTRY_COMPARE(prompt.Boxes.size(), 2);
    QCOMPARE(prompt.Boxes[0].Kind, TBoxKind::Confirm);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("你确定要删除\"现金\"吗?"));
    QCOMPARE(prompt.Boxes[1].Kind, TBoxKind::Error);
    QCOMPARE(prompt.Boxes[1].Text, QStringLiteral("该账户已经使用，不能删除！"));
    QCOMPARE(Row(form, kCash), Texts({"105", "5", "0", ""}));
    QCOMPARE(Panels(form), QStringLiteral("1|105|5|0"));
    QCOMPARE(RowCount(QStringLiteral("Account")), 1);
}

void TestAccountDialogs::deleteConfirmedRemovesTheRow()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"));
    InsertAccount(kCard, Amount("50.5"));
    TFormAccount form;
    form.show();

    form.N3Click(); // nothing selected: nothing asked
    QVERIFY(prompt.Boxes.isEmpty());

    Select(form, kCard);
    prompt.Answers = {false};
    form.N3Click();
    QCOMPARE(form.Accounts().rowCount(), 2);

    prompt.Answers = {true};
    form.N3Click();
    QCOMPARE(prompt.Boxes.size(), 3);
    QCOMPARE(prompt.Boxes[2].Kind, TBoxKind::Info);
    QCOMPARE(prompt.Boxes[2].Text, QStringLiteral("删除成功！"));
    QVERIFY(Row(form, kCard).isEmpty());
    QCOMPARE(Panels(form), QStringLiteral("1|100|0|0"));
    QCOMPARE(RowCount(QStringLiteral("Account")), 1);
}

void TestAccountDialogs::keyboardOrderAndBuddies()
{
    TTestBooks books;
    TFormAddAccount add;
    QCOMPARE(TabChain(Child<QLineEdit>(&add, "edtID"), 4),
             Texts({"mmoRemrk", "edtFare", "btnOK", "btnCancel"}));
    QCOMPARE(Child<QLabel>(&add, "Label1")->buddy(), Child<QLineEdit>(&add, "edtID"));
    QCOMPARE(Child<QLabel>(&add, "Label3")->buddy(), Child<TCardFloatIntEdit>(&add, "edtFare"));
    QCOMPARE(Child<QLabel>(&add, "Label2")->buddy(), Child<QPlainTextEdit>(&add, "mmoRemrk"));
    QCOMPARE(Child<TCardFloatIntEdit>(&add, "edtFare")->text(), QStringLiteral("0"));

    TFormModAccount mod;
    QCOMPARE(TabChain(Child<QLineEdit>(&mod, "edtID"), 3),
             Texts({"mmoRemrk", "btnOK", "btnCancel"}));
    QCOMPARE(Child<QLabel>(&mod, "Label1")->buddy(), Child<QLineEdit>(&mod, "edtID"));
    QCOMPARE(Child<QLabel>(&mod, "Label2")->buddy(), Child<QPlainTextEdit>(&mod, "mmoRemrk"));

    TFormTransfer transfer;
    // The date picker's text box follows it.
    QCOMPARE(TabChain(Child<QComboBox>(&transfer, "cbbFrom"), 9),
             Texts({"cbbTo", "edtAmount", "edtFee", "dtpDate", "qt_spinbox_lineedit", "edtRemark",
                    "chk1", "btnOK", "btnCancel"}));
    // A screen reader names each field as its label does.
    for (const QLabel *label : transfer.findChildren<QLabel *>())
        QCOMPARE(label->buddy()->accessibleName() + u'：', label->text());

    for (const QLabel *label : add.findChildren<QLabel *>() + mod.findChildren<QLabel *>()
             + transfer.findChildren<QLabel *>())
        QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->text()));
}

void TestAccountDialogs::addRefusesBlankNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks") << QStringLiteral("  ");
    QTest::newRow("ideographic space") << QStringLiteral("\u3000");
}

void TestAccountDialogs::addRefusesBlankNames()
{
    QFETCH(QString, name);
    TTestBooks books;
    TRecordingPrompt prompt;
    TFormAddAccount dialog;
    ShowAway(dialog, Child<QPlainTextEdit>(&dialog, "mmoRemrk"));
    Child<QLineEdit>(&dialog, "edtID")->setText(name);
    ClickOK(&dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Kind, TBoxKind::Info);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("账户名称不能为空！"));
    QCOMPARE(dialog.focusWidget(), Child<QLineEdit>(&dialog, "edtID"));
    QCOMPARE(RowCount(QStringLiteral("Account")), 0);
}

void TestAccountDialogs::addRefusesATakenName()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"));
    TFormAddAccount dialog;
    ShowAway(dialog, Child<QLineEdit>(&dialog, "edtID"));
    Child<QLineEdit>(&dialog, "edtID")->setText(kCash);
    Child<TCardFloatIntEdit>(&dialog, "edtFare")->setText(QStringLiteral("30"));
    Child<QPlainTextEdit>(&dialog, "mmoRemrk")->setPlainText(QStringLiteral("第二个"));
    ClickOK(&dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("该账户已经存在！"));
    QCOMPARE(Child<QLineEdit>(&dialog, "edtID")->text(), kCash);
    QCOMPARE(Child<TCardFloatIntEdit>(&dialog, "edtFare")->text(), QStringLiteral("30"));
    QCOMPARE(Child<QPlainTextEdit>(&dialog, "mmoRemrk")->toPlainText(), QStringLiteral("第二个"));
    QCOMPARE(RowCount(QStringLiteral("Account")), 1);
    QCOMPARE(ReadTotals(kCash), Totals("100", "0", "0"));
}

void TestAccountDialogs::addRefusesAnAmountOutOfRange()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    TFormAddAccount dialog;
    ShowAway(dialog, Child<QLineEdit>(&dialog, "edtID"));
    Child<QLineEdit>(&dialog, "edtID")->setText(kCash);
    Child<TCardFloatIntEdit>(&dialog, "edtFare")->setText(QStringLiteral("100000000000"));
    ClickOK(&dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Kind, TBoxKind::Error);
    QCOMPARE(prompt.Boxes[0].Text,
             QStringLiteral("'100000000000' is not a valid floating point value"));
    QCOMPARE(dialog.focusWidget(), Child<TCardFloatIntEdit>(&dialog, "edtFare"));
    QCOMPARE(RowCount(QStringLiteral("Account")), 0);
}

// OK runs queued: a second click queued behind the one that saves, or a click
// queued ahead of Cancel, must not save.
void TestAccountDialogs::okQueuedBeforeTheDialogClosedDoesNothing()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    {
        TFormAddAccount dialog;
        ShowAway(dialog, Child<QPlainTextEdit>(&dialog, "mmoRemrk"));
        Child<QLineEdit>(&dialog, "edtID")->setText(kCash);
        dialog.btnOK->click();
        dialog.btnOK->click();
        RunQueuedCommands(&dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(prompt.Boxes.isEmpty());
        QCOMPARE(RowCount(QStringLiteral("Account")), 1);
    }
    TFormAddAccount dialog;
    ShowAway(dialog, Child<QPlainTextEdit>(&dialog, "mmoRemrk"));
    Child<QLineEdit>(&dialog, "edtID")->setText(kCard);
    dialog.btnOK->click();
    dialog.btnCancel->click();
    RunQueuedCommands(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(prompt.Boxes.isEmpty());
    QCOMPARE(RowCount(QStringLiteral("Account")), 1);
}

void TestAccountDialogs::enterInTheAmountSavesWhatLeavingWouldShow_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("saved");
    QTest::newRow("trailing point")
        << QStringLiteral("-7.") << QStringLiteral("-7.0") << QStringLiteral("-7");
    QTest::newRow("cleared") << QString() << QStringLiteral("0") << QStringLiteral("0");
    QTest::newRow("minus alone") << QStringLiteral("-") << QStringLiteral("0")
                                 << QStringLiteral("0");
}

void TestAccountDialogs::enterInTheAmountSavesWhatLeavingWouldShow()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, saved);
    TTestBooks books;
    TRecordingPrompt prompt;
    TFormAddAccount dialog;
    ShowAway(dialog, Child<TCardFloatIntEdit>(&dialog, "edtFare"));
    Child<QLineEdit>(&dialog, "edtID")->setText(kCash);
    Child<TCardFloatIntEdit>(&dialog, "edtFare")->clear();
    QTest::keyClicks(Child<TCardFloatIntEdit>(&dialog, "edtFare"), typed);
    QTest::keyClick(Child<TCardFloatIntEdit>(&dialog, "edtFare"), Qt::Key_Return);
    QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(prompt.Boxes.isEmpty());
    QCOMPARE(Child<TCardFloatIntEdit>(&dialog, "edtFare")->text(), shown);
    QCOMPARE(ReadTotals(kCash).Fare, Currency::Parse(saved));
}

void TestAccountDialogs::newAccountThroughTheListWindow()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"));
    TFormAccount form;
    form.show();
    TModalDriver driver;
    QString focused;
    driver.Then([&](QWidget *widget) {
        auto *dialog = qobject_cast<TFormAddAccount *>(widget);
        QVERIFY(dialog);
        focused = dialog->focusWidget() ? dialog->focusWidget()->objectName() : QString();
        Child<QLineEdit>(dialog, "edtID")->setText(kCard);
        Child<TCardFloatIntEdit>(dialog, "edtFare")->setText(QStringLiteral("200"));
        Child<QPlainTextEdit>(dialog, "mmoRemrk")->setPlainText(QStringLiteral("工资卡"));
        ClickOK(dialog);
    });
    Child<QAction>(&form, "N1")->trigger();
    QTRY_COMPARE(form.Accounts().rowCount(), 2);
    QCOMPARE(focused, QStringLiteral("edtID"));
    QCOMPARE(Row(form, kCard), Texts({"200", "0", "0", "工资卡"}));
    QCOMPARE(Panels(form), QStringLiteral("2|300|0|0"));
    QVERIFY(prompt.Boxes.isEmpty());
    QVERIFY(driver.Unexpected.isEmpty());
}

void TestAccountDialogs::modifyChangesOnlyNameAndRemark()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"), QStringLiteral("零钱"));
    InsertAccount(kCard, Amount("50"));
    AddRecord(0, kCash, Amount("20"));
    AddRecord(1, kCash, Amount("7.5"));
    TFormAccount form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));

    TModalDriver driver;
    QStringList shown;
    driver.Then([&](QWidget *widget) {
        auto *dialog = qobject_cast<TFormModAccount *>(widget);
        QVERIFY(dialog);
        shown << Child<QLineEdit>(dialog, "edtID")->text()
              << Child<QPlainTextEdit>(dialog, "mmoRemrk")->toPlainText();
        Child<QPlainTextEdit>(dialog, "mmoRemrk")->setPlainText(QStringLiteral("钱包"));
        ClickOK(dialog);
    });
    // A double click on the row opens the dialog, as "修改" does.
    Select(form, kCash);
    const QRect rect = Child<QTreeView>(&form, "lv1")
                           ->visualRect(Child<QTreeView>(&form, "lv1")->currentIndex());
    QTest::mouseClick(Child<QTreeView>(&form, "lv1")->viewport(), Qt::LeftButton, {},
                      rect.center());
    QTest::mouseDClick(Child<QTreeView>(&form, "lv1")->viewport(), Qt::LeftButton, {},
                       rect.center());
    QTRY_COMPARE(Row(form, kCash), Texts({"112.5", "20", "7.5", "钱包"}));
    QCOMPARE(shown, QStringList({kCash, QStringLiteral("零钱")}));
    QCOMPARE(ReadTotals(kCash), Totals("112.5", "20", "7.5"));

    // A name another account bears is refused; the dialog keeps its input.
    driver.Then([&](QWidget *widget) {
        auto *dialog = qobject_cast<TFormModAccount *>(widget);
        Child<QLineEdit>(dialog, "edtID")->setText(kCard);
        ClickOK(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(Child<QLineEdit>(dialog, "edtID")->text(), kCard);
        dialog->reject();
    });
    Select(form, kCash);
    Child<QAction>(&form, "N2")->trigger();
    QTRY_VERIFY(driver.Done());
    QTRY_COMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("该账户已经存在！"));
    QCOMPARE(RowCount(QStringLiteral("Account")), 2);
    QVERIFY(driver.Unexpected.isEmpty());
}

void TestAccountDialogs::modifyRefusesBlankNames()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"), QStringLiteral("零钱"));
    TFormModAccount dialog;
    dialog.LoadAccount(kCash);
    ShowAway(dialog, Child<QPlainTextEdit>(&dialog, "mmoRemrk"));
    Child<QLineEdit>(&dialog, "edtID")->setText(QStringLiteral(" \t"));
    ClickOK(&dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("账户名称不能为空！"));
    QCOMPARE(dialog.focusWidget(), Child<QLineEdit>(&dialog, "edtID"));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from Account where AccountName='现金'")),
             1);
}

void TestAccountDialogs::transferDialog_data()
{
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<bool>("keepOpen");
    QTest::addColumn<bool>("dropTo"); // the account is deleted while the dialog is open
    QTest::addColumn<QString>("refusal"); // empty when saved; the failure report as "error: "
    QTest::addColumn<QString>("focused");
    const QString away = QStringLiteral("edtRemark");
    QTest::newRow("saved") << kCard << u"100"_s << false << false << QString() << away;
    QTest::newRow("saved, kept open") << kCard << u"100"_s << true << false << QString() << away;
    QTest::newRow("no account") << QString() << u"100"_s << false << false << u"请选择转入账户！"_s
                                << u"cbbTo"_s;
    QTest::newRow("same account") << kCash << u"100"_s << false << false
                                  << u"转出账户和转入账户不能相同！"_s << u"cbbTo"_s;
    QTest::newRow("zero amount") << kCard << u"0.00"_s << false << false
                                 << u"转账金额必须大于零！"_s << u"edtAmount"_s;
    QTest::newRow("empty amount") << kCard << QString() << false << false
                                  << u"转账金额必须大于零！"_s << u"edtAmount"_s;
    QTest::newRow("account deleted meanwhile")
        << kCard << u"100"_s << false << true << u"error: 账户“银行卡”不存在，转账未保存！"_s
        << away;
    QTest::newRow("beyond the limit with the fee")
        << kCard << u"99999999999"_s << false << false
        << u"error: '100000000000.5' is not a valid floating point value"_s << away;
}

void TestAccountDialogs::transferDialog()
{
    QFETCH(QString, to);
    QFETCH(QString, amount);
    QFETCH(bool, keepOpen);
    QFETCH(bool, dropTo);
    QFETCH(QString, refusal);
    QFETCH(QString, focused);
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"));
    InsertAccount(kCard, Amount("50.5"));
    TFormTransfer dialog;
    dialog.SetFrom(kCash);
    ShowAway(dialog, Child<QLineEdit>(&dialog, "edtRemark"));
    auto *cbbTo = Child<QComboBox>(&dialog, "cbbTo");
    cbbTo->setCurrentIndex(cbbTo->findText(to));
    const QList<QLineEdit *> fields {Child<QLineEdit>(&dialog, "edtAmount"),
                                     Child<QLineEdit>(&dialog, "edtFee"),
                                     Child<QLineEdit>(&dialog, "edtRemark")};
    fields[0]->setText(amount);
    fields[1]->setText(u"1.5"_s);
    fields[2]->setText(u"还信用卡"_s);
    Child<QCheckBox>(&dialog, "chk1")->setChecked(keepOpen);
    if (dropTo)
        GAccount->DeleteAccount(kCard);
    ClickOK(&dialog);

    QStringList shown;
    for (const auto &box : prompt.Boxes)
        shown << (box.Kind == TBoxKind::Info ? QString() : u"error: "_s) + box.Text;
    QCOMPARE(shown, refusal.isEmpty() ? QStringList() : QStringList {refusal});
    QCOMPARE(dialog.isVisible(), keepOpen || !refusal.isEmpty());
    QCOMPARE(dialog.focusWidget()->objectName(), keepOpen ? u"edtAmount"_s : focused);
    if (!refusal.isEmpty()) {
        QCOMPARE(fields[2]->text(), u"还信用卡"_s);
        QCOMPARE(RowCount(u"Transfer"_s), 0);
        QCOMPARE(ReadTotals(kCash), Totals("100", "0", "0"));
        return;
    }
    QCOMPARE(ReadTotals(kCash), Totals("-1.5", "0", "0"));
    QCOMPARE(ReadTotals(kCard), Totals("150.5", "0", "0"));
    QCOMPARE(GDbAccess->UndoName(), u"新增转账 现金→银行卡 100"_s);
    const std::optional<Transfer> saved
        = Transfers::Read(DbQueryInt(u"select max(ID) from Transfer"_s));
    QCOMPARE(saved->Date, QDate::currentDate());
    QCOMPARE(saved->Remark, u"还信用卡"_s);
    // Kept open for the next one: the accounts stay, the figures and the remark go.
    QCOMPARE(cbbTo->currentText(), kCard);
    for (const QLineEdit *field : fields)
        QCOMPARE(field->text().isEmpty(), keepOpen);
}

// The account window's transfer starts from the selected account and shows
// the balances it moved.
void TestAccountDialogs::transferFromTheListWindow()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"));
    InsertAccount(kCard, Amount("50.5"));
    TFormAccount form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    TModalDriver driver;
    QString from;
    driver.Then([&](QWidget *widget) {
        auto *dialog = qobject_cast<TFormTransfer *>(widget);
        QVERIFY(dialog);
        from = Child<QComboBox>(dialog, "cbbFrom")->currentText();
        Child<QComboBox>(dialog, "cbbTo")->setCurrentText(kCash);
        Child<QLineEdit>(dialog, "edtAmount")->setText(u"20"_s);
        ClickOK(dialog);
    });
    Select(form, kCard);
    Child<QAction>(&form, "NTransfer")->trigger();
    QTRY_COMPARE(Row(form, kCash), Texts({"120", "0", "0", ""}));
    QCOMPARE(from, kCard);
    QCOMPARE(Panels(form), u"2|150.5|0|0"_s);
    QVERIFY(prompt.Boxes.isEmpty());
    QVERIFY(driver.Done());
}

void TestAccountDialogs::statementOfTheSelectedAccount()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"));
    InsertAccount(kCard, Amount("50"));
    AddRecord(1, kCard, Amount("7.5"), 1, {}, QDate::currentDate());
    TFormAccount form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    TModalDriver driver;
    form.NStatementClick(); // nothing selected: nothing opens
    QString title, totals;
    QStringList unnamed;
    driver.Then<TFormAccountStatement>([&](TFormAccountStatement *window) {
        title = window->windowTitle();
        QTRY_COMPARE(window->Lines().rowCount(), 1);
        totals = Child<QLabel>(window, "lblTotals")->text();
        // Every control the focus reaches, a box's own edit (qt_*) aside.
        for (QWidget *widget : window->findChildren<QWidget *>()) {
            if (widget->isVisible() && widget->focusPolicy() != Qt::NoFocus
                && !widget->objectName().startsWith(u"qt_")
                && QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).isEmpty())
                unnamed << widget->objectName();
        }
        QTest::keyClick(window, Qt::Key_Escape);
    });
    Select(form, kCard);
    QTest::keyClick(Child<QTreeView>(&form, "lv1"), Qt::Key_D, Qt::ControlModifier);
    QTRY_VERIFY(driver.Done());
    QCOMPARE(title, QStringLiteral("账户明细 - 银行卡"));
    QCOMPARE(totals, QStringLiteral("期初余额：50　收入：0　支出：7.5　期末余额：42.5　共 1 笔"));
    QCOMPARE(unnamed, QStringList());
    QVERIFY(prompt.Boxes.isEmpty());
}

void TestAccountDialogs::transferFromTheStatement_data()
{
    // 现金 to 银行卡 20 after 7.5 spent: changed to 30, deleted, kept; 25 or gone meanwhile.
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("outcome"); // the boxes, then 现金's balances
    QTest::newRow("changed") << u"change"_s << u"/92.5|62.5"_s;
    QTest::newRow("deleted") << u"delete"_s << u"确定要删除这笔转账吗？/92.5"_s;
    QTest::newRow("kept") << u"keep"_s << u"确定要删除这笔转账吗？/92.5|72.5"_s;
    QTest::newRow("changed meanwhile") << u"change 25"_s << kTransferChanged + u"/92.5|67.5"_s;
    QTest::newRow("deleted meanwhile") << u"change gone"_s << kTransferGone + u"/92.5"_s;
}

void TestAccountDialogs::transferFromTheStatement()
{
    QFETCH(QString, command);
    QFETCH(QString, outcome);
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"));
    InsertAccount(kCard, Amount("50"));
    AddRecord(1, kCash, Amount("7.5"), 1, {}, QDate::currentDate());
    Transfer read {0, QDate::currentDate(), kCash, kCard, Amount("20"), {}, {}};
    read.Id = Transfers::Add(read);
    TFormAccountStatement window(kCash);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_COMPARE(window.Lines().rowCount(), 2);
    auto *list = Child<QTreeView>(&window, "lvStatement");
    list->setFocus();
    list->setCurrentIndex(window.Lines().index(1, 0));
    QByteArray dump = DumpBooks(books.DatabaseFile()); // as the command finds them
    prompt.Answers = {command == u"delete"};
    TModalDriver driver;
    driver.Then<TFormTransfer>([&](TFormTransfer *dialog) {
        auto *amount = Child<QLineEdit>(dialog, "edtAmount");
        QCOMPARE(dialog->windowTitle() + amount->text(), u"修改转账20"_s);
        if (command.endsWith(u"25"))
            Transfers::Modify(read, {0, read.Date, kCash, kCard, Amount("25"), {}, {}});
        else if (command.endsWith(u"gone"))
            Transfers::Remove(read.Id);
        dump = DumpBooks(books.DatabaseFile());
        amount->setText(u"30"_s);
        ClickOK(dialog);
        dialog->close(); // left open by a refusal
    });
    QTest::keyClick(list, command.startsWith(u"change") ? Qt::Key_Return : Qt::Key_Delete);
    RunQueuedCommands(&window);
    QStringList said, listed;
    for (const auto &box : prompt.Boxes)
        said << box.Text;
    for (int row = 0; row < window.Lines().rowCount(); ++row)
        listed << window.Lines().Line(row).Balance.ToString();
    QCOMPARE(said.join(u'|') + u'/' + listed.join(u'|'), outcome);
    QCOMPARE(DumpBooks(books.DatabaseFile()) == dump, command != u"change" && command != u"delete");
}

BOOKKEEP_TEST_MAIN(TestAccountDialogs)

#include "tst_AccountDialogs.moc"
