// The account window with its totals and commands, and the dialogs that add
// and change accounts.

#include "LedgerTestSupport.h"
#include "ModalDriver.h"
#include "WidgetTestSupport.h"

#include "data/ListModel.h"
#include "forms/Account.h"
#include "forms/AddAccount.h"
#include "forms/ModAccount.h"
#include "ui_Account.h"
#include "ui_AddAccount.h"
#include "ui_ModAccount.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

namespace {

const QString kCash = QStringLiteral("现金");
const QString kCard = QStringLiteral("银行卡");

// Count, balance, income and expense as the status bar shows them.
QString Panels(const TFormAccount &form)
{
    return QStringList({form.ui->statPanel1->text(), form.ui->statPanel3->text(),
                        form.ui->statPanel5->text(), form.ui->statPanel7->text()})
        .join(u'|');
}

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
            form.ui->lv1->setCurrentIndex(list.index(row, 1));
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
    QCOMPARE(items.join(u'|'), QStringLiteral("新建账户|修改|删除|-|退出"));
    // The captions and the widest values fit their panels.
    for (const QLabel *label : form.ui->stat1->findChildren<QLabel *>())
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
    form.ui->N3->trigger();
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
    QCOMPARE(TabChain(add.ui->edtID, 4), Texts({"mmoRemrk", "edtFare", "btnOK", "btnCancel"}));
    QCOMPARE(add.ui->Label1->buddy(), add.ui->edtID);
    QCOMPARE(add.ui->Label3->buddy(), add.ui->edtFare);
    QCOMPARE(add.ui->Label2->buddy(), add.ui->mmoRemrk);
    QCOMPARE(add.ui->edtFare->text(), QStringLiteral("0"));

    TFormModAccount mod;
    QCOMPARE(TabChain(mod.ui->edtID, 3), Texts({"mmoRemrk", "btnOK", "btnCancel"}));
    QCOMPARE(mod.ui->Label1->buddy(), mod.ui->edtID);
    QCOMPARE(mod.ui->Label2->buddy(), mod.ui->mmoRemrk);

    for (const QLabel *label : add.findChildren<QLabel *>() + mod.findChildren<QLabel *>())
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
    ShowAway(dialog, dialog.ui->mmoRemrk);
    dialog.ui->edtID->setText(name);
    ClickOK(&dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Kind, TBoxKind::Info);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("账户名称不能为空！"));
    QCOMPARE(dialog.focusWidget(), dialog.ui->edtID);
    QCOMPARE(RowCount(QStringLiteral("Account")), 0);
}

void TestAccountDialogs::addRefusesATakenName()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    InsertAccount(kCash, Amount("100"));
    TFormAddAccount dialog;
    ShowAway(dialog, dialog.ui->edtID);
    dialog.ui->edtID->setText(kCash);
    dialog.ui->edtFare->setText(QStringLiteral("30"));
    dialog.ui->mmoRemrk->setPlainText(QStringLiteral("第二个"));
    ClickOK(&dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("该账户已经存在！"));
    QCOMPARE(dialog.ui->edtID->text(), kCash);
    QCOMPARE(dialog.ui->edtFare->text(), QStringLiteral("30"));
    QCOMPARE(dialog.ui->mmoRemrk->toPlainText(), QStringLiteral("第二个"));
    QCOMPARE(RowCount(QStringLiteral("Account")), 1);
    QCOMPARE(ReadTotals(kCash), Totals("100", "0", "0"));
}

void TestAccountDialogs::addRefusesAnAmountOutOfRange()
{
    TTestBooks books;
    TRecordingPrompt prompt;
    TFormAddAccount dialog;
    ShowAway(dialog, dialog.ui->edtID);
    dialog.ui->edtID->setText(kCash);
    dialog.ui->edtFare->setText(QStringLiteral("100000000000"));
    ClickOK(&dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Kind, TBoxKind::Error);
    QCOMPARE(prompt.Boxes[0].Text,
             QStringLiteral("'100000000000' is not a valid floating point value"));
    QCOMPARE(dialog.focusWidget(), dialog.ui->edtFare);
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
        ShowAway(dialog, dialog.ui->mmoRemrk);
        dialog.ui->edtID->setText(kCash);
        dialog.btnOK->click();
        dialog.btnOK->click();
        RunQueuedCommands(&dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(prompt.Boxes.isEmpty());
        QCOMPARE(RowCount(QStringLiteral("Account")), 1);
    }
    TFormAddAccount dialog;
    ShowAway(dialog, dialog.ui->mmoRemrk);
    dialog.ui->edtID->setText(kCard);
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
    ShowAway(dialog, dialog.ui->edtFare);
    dialog.ui->edtID->setText(kCash);
    dialog.ui->edtFare->clear();
    QTest::keyClicks(dialog.ui->edtFare, typed);
    QTest::keyClick(dialog.ui->edtFare, Qt::Key_Return);
    QTRY_COMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(prompt.Boxes.isEmpty());
    QCOMPARE(dialog.ui->edtFare->text(), shown);
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
        dialog->ui->edtID->setText(kCard);
        dialog->ui->edtFare->setText(QStringLiteral("200"));
        dialog->ui->mmoRemrk->setPlainText(QStringLiteral("工资卡"));
        ClickOK(dialog);
    });
    form.ui->N1->trigger();
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
        shown << dialog->ui->edtID->text() << dialog->ui->mmoRemrk->toPlainText();
        dialog->ui->mmoRemrk->setPlainText(QStringLiteral("钱包"));
        ClickOK(dialog);
    });
    // A double click on the row opens the dialog, as "修改" does.
    Select(form, kCash);
    const QRect rect = form.ui->lv1->visualRect(form.ui->lv1->currentIndex());
    QTest::mouseClick(form.ui->lv1->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(form.ui->lv1->viewport(), Qt::LeftButton, {}, rect.center());
    QTRY_COMPARE(Row(form, kCash), Texts({"112.5", "20", "7.5", "钱包"}));
    QCOMPARE(shown, QStringList({kCash, QStringLiteral("零钱")}));
    QCOMPARE(ReadTotals(kCash), Totals("112.5", "20", "7.5"));

    // A name another account bears is refused; the dialog keeps its input.
    driver.Then([&](QWidget *widget) {
        auto *dialog = qobject_cast<TFormModAccount *>(widget);
        dialog->ui->edtID->setText(kCard);
        ClickOK(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->ui->edtID->text(), kCard);
        dialog->reject();
    });
    Select(form, kCash);
    form.ui->N2->trigger();
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
    ShowAway(dialog, dialog.ui->mmoRemrk);
    dialog.ui->edtID->setText(QStringLiteral(" \t"));
    ClickOK(&dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("账户名称不能为空！"));
    QCOMPARE(dialog.focusWidget(), dialog.ui->edtID);
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from Account where AccountName='现金'")),
             1);
}

BOOKKEEP_TEST_MAIN(TestAccountDialogs)

#include "tst_AccountDialogs.moc"
