#include "LedgerTestSupport.h"
#include "ModalDriver.h"
#include "WidgetTestSupport.h"

#include "controls/CardEdtBut.h"
#include "forms/AddBookKeep.h"
#include "forms/Budgets.h"
#include "forms/ModBookKeep.h"
#include "ledger/Budgets.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDateEdit>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

QString Text(QWidget *dialog, const char *name)
{
    return Child<QLineEdit>(dialog, name)->text();
}

void PressOK(QWidget *dialog)
{
    QTest::mouseClick(Child<QPushButton>(dialog, "btnOK"), Qt::LeftButton);
    RunQueuedCommands(dialog);
}

// Enter in a control, delivered as the program gets it: a failure raised by
// OK reaches the application's report.
void PressEnter(QWidget *widget)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, u"\r"_s);
    QApplication::sendEvent(widget, &press);
    RunQueuedCommands(widget->window());
}

// Opens the picker with the category button and takes the node with the text.
void ChooseType(QWidget *dialog, const QString &text)
{
    TModalDriver driver;
    driver.Then([text](QWidget *picker) {
        auto *view = Child<QTreeWidget>(picker, "tv1");
        view->setCurrentItem(view->findItems(text, Qt::MatchExactly | Qt::MatchRecursive).value(0));
        PressOK(picker);
    });
    Child<TCardEdtBut>(dialog, "cbbInOutType")->Button()->click();
    QTRY_COMPARE(Text(dialog, "cbbInOutType"), text == u"收入类别" ? u"未分组"_s : text);
    QVERIFY(driver.Unexpected.isEmpty());
}

QStringList InfoTexts(const TRecordingPrompt &prompt)
{
    QStringList texts;
    for (const auto &box : prompt.Boxes)
        texts << (box.Kind == TBoxKind::Info ? u""_s : u"error: "_s) + box.Text;
    return texts;
}

struct TRecord
{
    int Kind;
    int TypeID;
    QString Remark;
    Currency Fare;
    QString Account;
    QDate Date;
    bool operator==(const TRecord &) const = default;
};

TRecord ReadBack(const QString &id)
{
    GBookKeep->ReadRecord(id);
    return {GBookKeep->FInOutType, GBookKeep->FTypeID,      GBookKeep->FRemark,
            GBookKeep->FFare,      GBookKeep->FAccountName, GBookKeep->FInDate.date()};
}

QString LastId()
{
    return QString::number(DbQueryInt(QStringLiteral("select max(ID) from BookKeep")));
}

} // namespace

class tst_BookKeepDialogs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void layoutAndKeyboard();
    void addChecksAccountAndCategory();
    void pickerAndKindSwitch();
    void saveAndContinue();
    void modifyLoadsAndKeepsTotals();
    void modifyMovesTotals();
    void modifyRefusesGoneAccount();
    void budgetNoteWhileTyping();
    void budgetWindow();
    void remarkCompletes();
    void dateKeys();

private:
    std::unique_ptr<TTestBooks> FBooks;
};

void tst_BookKeepDialogs::init()
{
    FBooks = std::make_unique<TTestBooks>();
    DbExec(QStringLiteral("insert into InType values (1,0,'工资')@#@"
                          "insert into OutType values (1,0,'餐饮')@#@"
                          "insert into OutType values (2,0,'交通')"));
}

void tst_BookKeepDialogs::cleanup()
{
    FBooks.reset();
}

void tst_BookKeepDialogs::layoutAndKeyboard()
{
    InsertAccount(QStringLiteral("现金"), Amount("0"));
    TFormAddBookkeep dialog;
    dialog.show();

    // The budget note, hidden without a budget, is the one label without a buddy.
    const auto *note = Child<QLabel>(&dialog, "lblBudget");
    QVERIFY(note->isHidden() && !note->accessibleName().isEmpty());
    QStringList buddies;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        if (label != note)
            buddies << label->text() + label->buddy()->objectName();
    buddies.sort();
    QCOMPARE(buddies.join(u' '),
             QStringLiteral("备注：mmoRemark 对应账户：cbbAccount 收入类别：cbbInOutType "
                            "收入金额：edtFare 记账时间：DBInDate"));
    QCOMPARE(Child<QToolButton>(&dialog, "img1")->accessibleName(), QStringLiteral("计算器"));
    QVERIFY(!Child<TCardEdtBut>(&dialog, "cbbInOutType")->Button()->accessibleName().isEmpty());

    // The tab chain from the control that has the focus at the start; Tab
    // reaches the checked kind, the arrows the other.
    QStringList chain;
    QWidget *w = dialog.focusWidget();
    do {
        if (w->focusPolicy() & Qt::TabFocus && !w->objectName().startsWith(u"qt_"))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != dialog.focusWidget());
    QCOMPARE(chain.join(u' '),
             QStringLiteral("rbIncome cbbInOutType DBInDate edtFare img1 cbbAccount mmoRemark "
                            "chk1 btnOK btnCancel"));
    // Enter on a focused button presses it, not OK; no calculator is found to start.
    TRecordingPrompt prompt;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/none");
    for (QWidget *button :
         {Child<QWidget>(&dialog, "img1"), Child<QWidget>(&dialog, "btnCancel")}) {
        button->setFocus();
        PressEnter(button);
    }
    qputenv("PATH", path);
    QVERIFY(!dialog.isVisible() && prompt.Boxes.isEmpty());
}

void tst_BookKeepDialogs::addChecksAccountAndCategory()
{
    TRecordingPrompt prompt;
    {
        TFormAddBookkeep dialog;
        PressOK(&dialog);
    }
    InsertAccount(QStringLiteral("现金"), Amount("0"));
    TFormAddBookkeep dialog;
    dialog.show();
    PressOK(&dialog);
    Child<QRadioButton>(&dialog, "rbExpense")->click();
    PressOK(&dialog);
    QCOMPARE(
        InfoTexts(prompt),
        (QStringList {u"请先建立账户信息！"_s, u"请先选择收入类别！"_s, u"请先选择支出类别！"_s}));
    QVERIFY(dialog.isVisible());
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 0);
}

void tst_BookKeepDialogs::pickerAndKindSwitch()
{
    InsertAccount(QStringLiteral("现金"), Amount("0"));
    TFormAddBookkeep dialog;
    dialog.show();
    ChooseType(&dialog, QStringLiteral("工资"));
    QCOMPARE(dialog.TypeID(), 1);
    ChooseType(&dialog, QStringLiteral("收入类别"));
    QCOMPARE(dialog.TypeID(), 0);

    ChooseType(&dialog, QStringLiteral("工资"));
    Child<QRadioButton>(&dialog, "rbExpense")->click();
    QCOMPARE(Text(&dialog, "cbbInOutType"), QStringLiteral("选择类别"));
    QCOMPARE(dialog.TypeID(), 0);
    QCOMPARE(Child<QLabel>(&dialog, "LabInOutType")->text(), QStringLiteral("支出类别："));
    QCOMPARE(Child<QLabel>(&dialog, "LabFare")->text(), QStringLiteral("支出金额："));
    ChooseType(&dialog, QStringLiteral("交通"));
    QCOMPARE(dialog.TypeID(), 2);
}

void tst_BookKeepDialogs::saveAndContinue()
{
    TRecordingPrompt prompt;
    InsertAccount(QStringLiteral("现金"), Amount("0"));
    InsertAccount(QStringLiteral("银行"), Amount("0"));
    TFormAddBookkeep dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    Child<QCheckBox>(&dialog, "chk1")->setChecked(true);
    Child<QRadioButton>(&dialog, "rbExpense")->click();
    ChooseType(&dialog, QStringLiteral("交通"));
    Child<QDateEdit>(&dialog, "DBInDate")->setDate(QDate(2024, 3, 9));
    Child<QComboBox>(&dialog, "cbbAccount")->setCurrentIndex(1);
    Child<QPlainTextEdit>(&dialog, "mmoRemark")->setPlainText(QStringLiteral("地铁\n回家"));

    // A trailing point confirmed with Enter while the amount box has the focus.
    auto *edtFare = Child<QLineEdit>(&dialog, "edtFare");
    edtFare->setFocus();
    edtFare->selectAll();
    QTest::keyClicks(edtFare, QStringLiteral("5."));
    PressEnter(edtFare);
    QCOMPARE(ReadBack(LastId()),
             (TRecord {1, 2, u"地铁\n回家"_s, Amount("5"), u"银行"_s, QDate(2024, 3, 9)}));
    QCOMPARE(ReadTotals(QStringLiteral("银行")), Totals("-5", "0", "5"));

    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(edtFare->text(), QString());
    QCOMPARE(Child<QPlainTextEdit>(&dialog, "mmoRemark")->toPlainText(), QString());
    QCOMPARE(Text(&dialog, "cbbInOutType"), QStringLiteral("交通"));

    // The box left empty: the conversion fails, nothing is saved, nothing changes.
    PressEnter(edtFare);
    QCOMPARE(InfoTexts(prompt), QStringList {u"error: '' is not a valid floating point value"_s});
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 1);
    QVERIFY(dialog.isVisible());

    edtFare->setText(QStringLiteral("7.25"));
    PressOK(&dialog);
    QCOMPARE(ReadBack(LastId()),
             (TRecord {1, 2, QString(), Amount("7.25"), u"银行"_s, QDate(2024, 3, 9)}));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void tst_BookKeepDialogs::modifyLoadsAndKeepsTotals()
{
    InsertAccount(QStringLiteral("现金"), Amount("10"));
    InsertAccount(QStringLiteral("银行"), Amount("100"));
    const QString id = AddRecord(1, QStringLiteral("银行"), Amount("12.5"), 2,
                                 QStringLiteral("车票"), QDate(2024, 2, 29));
    const TRecord before = ReadBack(id);
    const TTotals totals = ReadTotals(QStringLiteral("银行"));

    TFormModBookKeep dialog;
    dialog.LoadRecord(id);
    QVERIFY(Child<QRadioButton>(&dialog, "rbExpense")->isChecked());
    QCOMPARE(Child<QLabel>(&dialog, "LabFare")->text(), QStringLiteral("支出金额："));
    QCOMPARE(Child<QDateEdit>(&dialog, "DBInDate")->date(), QDate(2024, 2, 29));
    QCOMPARE(Text(&dialog, "cbbInOutType"), QStringLiteral("交通"));
    QCOMPARE(dialog.TypeID(), 2);
    QCOMPARE(Child<QComboBox>(&dialog, "cbbAccount")->currentText(), QStringLiteral("银行"));
    QCOMPARE(Text(&dialog, "edtFare"), QStringLiteral("12.5"));
    QCOMPARE(Child<QPlainTextEdit>(&dialog, "mmoRemark")->toPlainText(), QStringLiteral("车票"));

    PressOK(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(ReadBack(id), before);
    QCOMPARE(ReadTotals(QStringLiteral("银行")), totals);
    QCOMPARE(GetTypeName(0, 1), QStringLiteral("工资"));
    QCOMPARE(GetTypeName(7, 1), QStringLiteral("餐饮"));
    QCOMPARE(GetTypeName(0, 9), QString());
}

void tst_BookKeepDialogs::modifyMovesTotals()
{
    TRecordingPrompt prompt;
    InsertAccount(QStringLiteral("现金"), Amount("10"));
    InsertAccount(QStringLiteral("银行"), Amount("100"));
    const QString id = AddRecord(0, QStringLiteral("银行"), Amount("40"), 1);

    TFormModBookKeep dialog;
    dialog.LoadRecord(id);
    dialog.show();
    Child<QRadioButton>(&dialog, "rbExpense")->click();
    PressOK(&dialog);
    QCOMPARE(InfoTexts(prompt), QStringList {u"请先选择支出类别！"_s});
    ChooseType(&dialog, QStringLiteral("餐饮"));
    Child<QComboBox>(&dialog, "cbbAccount")->setCurrentIndex(0);
    Child<QLineEdit>(&dialog, "edtFare")->setText(QStringLiteral("30"));
    PressOK(&dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(ReadTotals(QStringLiteral("银行")), Totals("100", "0", "0"));
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("-20", "0", "30"));
    QCOMPARE(ReadBack(id).Kind, 1);
}

void tst_BookKeepDialogs::modifyRefusesGoneAccount()
{
    TRecordingPrompt prompt;
    InsertAccount(QStringLiteral("现金"), Amount("10"));
    InsertAccount(QStringLiteral("旧账户"), Amount("0"));
    const QString id = AddRecord(0, QStringLiteral("旧账户"), Amount("40"), 1);
    DbExec(QStringLiteral("delete from Account where AccountName='旧账户'"));
    const TRecord before = ReadBack(id);

    TFormModBookKeep dialog;
    dialog.LoadRecord(id);
    dialog.show();
    QCOMPARE(Child<QComboBox>(&dialog, "cbbAccount")->currentIndex(), -1);
    PressOK(&dialog);
    QCOMPARE(InfoTexts(prompt), QStringList {u"请先建立账户信息！"_s});
    QVERIFY(dialog.isVisible());
    QCOMPARE(ReadBack(id), before);
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("10", "0", "0"));
}

void tst_BookKeepDialogs::budgetNoteWhileTyping()
{
    InsertAccount(QStringLiteral("现金"), Amount("0"));
    DbExec(QStringLiteral("insert into OutType values (3,1,'早餐')"));
    const QString id = AddRecord(1, u"现金"_s, Amount("100"), 3, {}, QDate(2024, 3, 5));
    Budgets::Add(1, TBudget::Month, QStringLiteral("300"), false);
    const auto note = [](QWidget *dialog) {
        const auto *label = Child<QLabel>(dialog, "lblBudget");
        return label->isVisible() ? label->text() : u"(hidden)"_s;
    };
    TFormAddBookkeep dialog;
    dialog.show();
    Child<QRadioButton>(&dialog, "rbExpense")->click();
    Child<QDateEdit>(&dialog, "DBInDate")->setDate(QDate(2024, 3, 9));
    ChooseType(&dialog, QStringLiteral("早餐"));
    auto *edtFare = Child<QLineEdit>(&dialog, "edtFare");
    edtFare->setFocus();
    edtFare->selectAll();
    QTest::keyClicks(edtFare, QStringLiteral("79.5"));
    QCOMPARE(note(&dialog), u"餐饮 本月预算剩余 120.50"_s);
    QTest::keyClick(edtFare, Qt::Key_Home);
    QTest::keyClicks(edtFare, QStringLiteral("3"));
    QCOMPARE(note(&dialog), u"餐饮 本月已超出 179.50"_s);
    Child<QDateEdit>(&dialog, "DBInDate")->setDate(QDate(2024, 4, 1));
    QCOMPARE(note(&dialog), u"餐饮 本月已超出 79.50"_s);
    // A record saved with the dialog kept open counts for the next one.
    Child<QCheckBox>(&dialog, "chk1")->setChecked(true);
    PressOK(&dialog);
    QTest::keyClicks(edtFare, QStringLiteral("20"));
    QCOMPARE(note(&dialog), u"餐饮 本月已超出 99.50"_s);
    ChooseType(&dialog, QStringLiteral("交通"));
    QCOMPARE(note(&dialog), u"(hidden)"_s);

    // The record changed counts once: as typed.
    TFormModBookKeep change;
    change.LoadRecord(id);
    change.show();
    QCOMPARE(note(&change), u"餐饮 本月预算剩余 200.00"_s);
    Child<QRadioButton>(&change, "rbIncome")->click();
    QCOMPARE(note(&change), u"(hidden)"_s);
}

void tst_BookKeepDialogs::budgetWindow()
{
    TRecordingPrompt prompt;
    InsertAccount(QStringLiteral("现金"), Amount("0"));
    AddRecord(1, u"现金"_s, Amount("250"), 1, {}, QDate::currentDate());
    Budgets::Add(1, TBudget::Month, QStringLiteral("300"), false);
    TFormBudgets window;
    window.show();
    const auto row = [&] {
        QStringList texts;
        for (int column = 0; column < 6; ++column)
            texts << window.List()->topLevelItem(0)->text(column);
        return texts.join(u'|');
    };
    QCOMPARE(row(), u"餐饮|每月|300.00|250.00|50.00|83%"_s);
    // A refused amount keeps the dialog open with its input.
    TModalDriver driver;
    driver.Then([](QWidget *dialog) {
        Child<QLineEdit>(dialog, "edtFare")->setText(u"0"_s);
        PressOK(dialog);
        QVERIFY(dialog->isVisible());
        Child<QLineEdit>(dialog, "edtFare")->setText(u"200"_s);
        PressOK(dialog);
    });
    window.EditClick();
    QVERIFY(driver.Done());
    QCOMPARE(InfoTexts(prompt), QStringList {u"error: 预算金额必须大于 0"_s});
    QCOMPARE(row(), u"餐饮|每月|200.00|250.00|-50.00|125%"_s);
    // A refund booked meanwhile shows when the window is shown again.
    AddRecord(1, u"现金"_s, Amount("-50"), 1, {}, QDate::currentDate());
    window.hide();
    window.show();
    QCOMPARE(row(), u"餐饮|每月|200.00|200.00|0.00|100%"_s);
    prompt.Answers << true;
    window.DeleteClick();
    QCOMPARE(window.List()->topLevelItemCount(), 0);
}

void tst_BookKeepDialogs::remarkCompletes()
{
    InsertAccount(QStringLiteral("现金"), Amount("0"));
    InsertAccount(QStringLiteral("银行"), Amount("0"));
    DbExec(QStringLiteral(
        "insert into BookKeep(InOutType,TypeID,Remark,Fare,AccountName,InDate) values "
        "(1,2,'午饭',20,'银行',46000),(1,1,'午饭',20,'银行',46001),(1,2,'地铁',3,'银行',46001),"
        "(0,1,'午饭补贴',300,'银行',46002),(1,1,'两行\n午饭',5,'银行',46002)"));
    const auto complete = [](QWidget *dialog, const QString &typed, int row) {
        auto *remark = Child<QPlainTextEdit>(dialog, "mmoRemark");
        remark->clear();
        remark->setFocus();
        // Chinese arrives from the input method as a committed string.
        QInputMethodEvent input;
        input.setCommitString(typed);
        QApplication::sendEvent(remark, &input);
        auto *completer = dialog->findChild<QCompleter *>();
        QVERIFY(completer);
        QTRY_VERIFY(completer->popup()->isVisible());
        QStringList offered;
        for (int i = 0; i < completer->completionCount(); ++i) {
            completer->setCurrentRow(i);
            offered << completer->currentCompletion();
        }
        // Most used first; a remark of two lines is never offered.
        QCOMPARE(offered, (QStringList {u"午饭"_s, u"午饭补贴"_s}));
        completer->popup()->setCurrentIndex(completer->completionModel()->index(row, 0));
        QTest::keyClick(completer->popup(), Qt::Key_Return);
        QTRY_VERIFY(!completer->popup()->isVisible());
    };

    // An income dialog: the latest 午饭 is an expense, so only its account
    // is taken, and the first account was only the default.
    TFormAddBookkeep dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    complete(&dialog, u"午"_s, 0);
    QCOMPARE(Child<QPlainTextEdit>(&dialog, "mmoRemark")->toPlainText(), u"午饭"_s);
    QCOMPARE(dialog.TypeID(), 0);
    QCOMPARE(Child<QComboBox>(&dialog, "cbbAccount")->currentText(), u"银行"_s);

    // As an expense it takes the category of the latest 午饭 too; an account
    // the user chose stays.
    Child<QRadioButton>(&dialog, "rbExpense")->click();
    auto *account = Child<QComboBox>(&dialog, "cbbAccount");
    account->setCurrentIndex(0);
    Q_EMIT account->activated(0);
    complete(&dialog, u"饭"_s, 0);
    QCOMPARE(dialog.TypeID(), 1);
    QCOMPARE(Text(&dialog, "cbbInOutType"), u"餐饮"_s);
    QCOMPARE(account->currentText(), u"现金"_s);
    PressOK(&dialog);
    QCOMPARE(ReadBack(LastId()).Remark, u"午饭"_s);
}

void tst_BookKeepDialogs::dateKeys()
{
    InsertAccount(QStringLiteral("现金"), Amount("0"));
    TFormAddBookkeep dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *picker = Child<QDateEdit>(&dialog, "DBInDate");
    picker->setDate(QDate(2024, 2, 28));
    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Plus);
    QTest::keyClick(picker, Qt::Key_Plus, Qt::KeypadModifier);
    QCOMPARE(picker->date(), QDate(2024, 3, 1));
    QTest::keyClick(picker, Qt::Key_Minus);
    QCOMPARE(picker->date(), QDate(2024, 2, 29));
    QTest::keyClick(picker, Qt::Key_T, Qt::ControlModifier);
    QCOMPARE(picker->date(), QDate::currentDate());
}

BOOKKEEP_TEST_MAIN(tst_BookKeepDialogs)

#include "tst_BookKeepDialogs.moc"
