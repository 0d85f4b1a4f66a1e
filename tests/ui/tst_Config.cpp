#include "ModalDriver.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"

#include "data/DbAccess.h"
#include "data/UException.h"
#include "forms/Config.h"
#include "forms/Pass.h"
#include "ledger/UntConfig.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <memory>
#include <sqlite3.h>

namespace {

QCheckBox *PassBox(QWidget *dialog)
{
    return dialog->findChild<QCheckBox *>(QStringLiteral("chkPass"));
}

// Types a text into an edit as the user would; long or non-ASCII texts are
// pasted (password edits take no input method).
void Type(QLineEdit *edit, const QString &text)
{
    edit->clear();
    const bool ascii = std::all_of(text.cbegin(), text.cend(),
                                   [](QChar c) { return c >= u' ' && c < QChar(127); });
    if (ascii && text.size() <= 64)
        QTest::keyClicks(edit, text);
    else
        edit->insert(text);
}

// One value of the SysSet row, read outside the program's connection.
QString RawSetting(const QString &fileName, const char *column)
{
    GDbAccess->FQuery.Close();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(fileName).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    const QByteArray sql = QByteArray("select ") + column + " from SysSet";
    sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
    QString value;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)),
                                  sqlite3_column_bytes(stmt, 0));
    else
        value = QStringLiteral("<no row>");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

} // namespace

class TstConfig : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void statementText();
    void missingRow();

    void passWrongThenRight();
    void passGiveUp_data();
    void passGiveUp();
    void passLooksRight();
    void passExact_data();
    void passExact();

    void loginOff();
    void loginOn();
    void loginUnreadable();

    void configShowsSetting();
    void switchOn();
    void refusalsInOrder();
    void changeAsksOldPassword();
    void keepAsksNothing();
    void switchOff();
    void offWithTypedPassword();
    void dialogRoundTrip_data();
    void dialogRoundTrip();
    void failedSaveKeepsSetting();

private:
    void Store(bool on, const QString &passWord);

    std::unique_ptr<TTestBooks> FBooks;
    std::unique_ptr<TRecordingPrompt> FPrompt;
    std::unique_ptr<TModalDriver> FDriver;
};

void TstConfig::init()
{
    FBooks = std::make_unique<TTestBooks>();
    FPrompt = std::make_unique<TRecordingPrompt>();
    FDriver = std::make_unique<TModalDriver>();
}

void TstConfig::cleanup()
{
    FDriver.reset();
    FPrompt.reset();
    FBooks.reset();
}

// The setting as the login check finds it at start.
void TstConfig::Store(bool on, const QString &passWord)
{
    GConfig->FbPass = on;
    GConfig->FPassWord = passWord;
    GConfig->SaveConfig();
}

void TstConfig::statementText()
{
    Store(true, QStringLiteral("abc"));
    QCOMPARE(GConfig->FSql, QStringLiteral("update SysSet set bPass='-1',[PassWord]='abc' "));
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "bPass"), QStringLiteral("-1"));
    Store(false, QString());
    QCOMPARE(GConfig->FSql, QStringLiteral("update SysSet set bPass='0',[PassWord]='' "));
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "bPass"), QStringLiteral("0"));
}

// A file without the setting's row reads as "off" and is mended by the next
// save instead of the save changing nothing.
void TstConfig::missingRow()
{
    RawExec(FBooks->DatabaseFile(), QStringLiteral("delete from SysSet"));
    GConfig->LoadConfig();
    QVERIFY(!GConfig->FbPass);
    QVERIFY(GConfig->FPassWord.isEmpty());

    Store(true, QStringLiteral("pw"));
    TConfig read;
    read.LoadConfig();
    QVERIFY(read.FbPass);
    QCOMPARE(read.FPassWord, QStringLiteral("pw"));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from SysSet")), 1);
}

void TstConfig::passWrongThenRight()
{
    FDriver->Then<TFormPass>([this](TFormPass *dialog) {
        FPrompt->OnBox = [dialog](const TRecordingPrompt::TBox &) {
            QVERIFY(dialog->isVisible()); // the box comes over the open dialog
        };
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("secret"));
        ClickOK(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(Child<QLineEdit>(dialog, "edtPass")->text(), QStringLiteral("secret"));
        ClickOK(dialog);
        QVERIFY(dialog->isVisible());
        FPrompt->OnBox = nullptr;
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("Secret"));
        ClickOK(dialog);
    });
    const int result = ShowPass(QStringLiteral("Secret"), QString());
    QVERIFY(FDriver->Done());
    QCOMPARE(result, int(mrOk));
    QCOMPARE(FPrompt->Boxes.size(), 2);
    for (const auto &box : std::as_const(FPrompt->Boxes)) {
        QCOMPARE(box.Kind, TBoxKind::Error);
        QCOMPARE(box.Caption, QStringLiteral("错误"));
        QCOMPARE(box.Text, QStringLiteral("密码输入错误!"));
    }
}

void TstConfig::passGiveUp_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("cancel button") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close box") << 2;
}

void TstConfig::passGiveUp()
{
    QFETCH(int, how);
    FDriver->Then<TFormPass>([how](TFormPass *dialog) {
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("pw"));
        if (how == 0)
            QTest::mouseClick(dialog->btnCancel, Qt::LeftButton);
        else if (how == 1)
            QTest::keyClick(dialog, Qt::Key_Escape);
        else
            dialog->close();
    });
    const int result = ShowPass(QStringLiteral("pw"), QString());
    QVERIFY(FDriver->Done());
    QCOMPARE(result, int(mrCancel));
    QVERIFY(FPrompt->Boxes.isEmpty());
}

void TstConfig::passLooksRight()
{
    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("请输入密码"));
        QCOMPARE(dialog->size(), QSize(300, 160));
        QLineEdit *edit = Child<QLineEdit>(dialog, "edtPass");
        QCOMPARE(dialog->focusWidget(), edit);
        QCOMPARE(edit->echoMode(), QLineEdit::Password);
        // Centred on the screen, whatever else is shown.
        const QRect screen = dialog->screen()->availableGeometry();
        QVERIFY((dialog->geometry().center() - screen.center()).manhattanLength() <= 2);
        dialog->reject();
    });
    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("请先输入旧密码"));
        dialog->reject();
    });
    ShowPass(QStringLiteral("x"), QString());
    ShowPass(QStringLiteral("x"), QStringLiteral("请先输入旧密码"));
    QVERIFY(FDriver->Done());
}

void TstConfig::passExact_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("other case") << QStringLiteral("AbC") << QStringLiteral("abc") << false;
    QTest::newRow("blanks missing") << QStringLiteral(" pw ") << QStringLiteral("pw") << false;
    QTest::newRow("blanks typed") << QStringLiteral(" pw ") << QStringLiteral(" pw ") << true;
}

void TstConfig::passExact()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    FDriver->Then<TFormPass>([&](TFormPass *dialog) {
        Type(Child<QLineEdit>(dialog, "edtPass"), typed);
        ClickOK(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    const int result = ShowPass(stored, QString());
    QVERIFY(FDriver->Done());
    QCOMPARE(result, accepted ? int(mrOk) : int(mrCancel));
    QCOMPARE(FPrompt->Boxes.size(), accepted ? 0 : 1);
}

void TstConfig::loginOff()
{
    Store(false, QStringLiteral("typed while off"));
    GConfig->FPassWord.clear();
    const bool passed = LoginCheck();
    QVERIFY(FDriver->Done()); // no dialog came up
    QVERIFY(passed);
    QCOMPARE(GConfig->FPassWord, QStringLiteral("typed while off"));
}

void TstConfig::loginOn()
{
    Store(true, QStringLiteral("pw"));
    *GConfig = TConfig();
    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("先输入密码登录软件"));
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("PW"));
        ClickOK(dialog);
        QVERIFY(dialog->isVisible());
        QTest::mouseClick(dialog->btnCancel, Qt::LeftButton);
    });
    bool passed = LoginCheck();
    QVERIFY(!passed);
    QCOMPARE(FPrompt->Boxes.size(), 1);
    QCOMPARE(FPrompt->Boxes[0].Text, QStringLiteral("密码输入错误!"));

    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("pw"));
        ClickOK(dialog);
    });
    passed = LoginCheck();
    QVERIFY(FDriver->Done());
    QVERIFY(passed);
}

// Without the setting there is no knowing whether a password is asked, so
// the program does not go on; the failure is shown.
void TstConfig::loginUnreadable()
{
    RawExec(FBooks->DatabaseFile(), QStringLiteral("drop table SysSet"));
    const bool passed = LoginCheck();
    QVERIFY(FDriver->Done());
    QVERIFY(!passed);
    QCOMPARE(FPrompt->Boxes.size(), 1);
    QVERIFY(FPrompt->Boxes[0].Text.startsWith(QStringLiteral("数据库查询错误，请检查！")));
}

void TstConfig::configShowsSetting()
{
    Store(false, QString());
    FDriver->Then<TFormConfig>([](TFormConfig *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("软件设置"));
        QCOMPARE(dialog->size(), QSize(290, 231));
        QCheckBox *box = PassBox(dialog);
        QCOMPARE(box->text(), QStringLiteral("登录需输入密码"));
        QVERIFY(!box->isChecked());
        QLineEdit *pass = Child<QLineEdit>(dialog, "edtPass");
        QLineEdit *again = Child<QLineEdit>(dialog, "edtRePass");
        QVERIFY(pass->isEnabled() && again->isEnabled());
        QVERIFY(pass->text().isEmpty() && again->text().isEmpty());
        QCOMPARE(pass->echoMode(), QLineEdit::Password);
        QCOMPARE(again->echoMode(), QLineEdit::Password);
        QVERIFY(pass->maxLength() > 100000);
        dialog->reject();
    });
    ShowConfig();

    Store(false, QStringLiteral("typed"));
    FDriver->Then<TFormConfig>([](TFormConfig *dialog) {
        QVERIFY(!PassBox(dialog)->isChecked());
        QLineEdit *pass = Child<QLineEdit>(dialog, "edtPass");
        QVERIFY(pass->isEnabled());
        QCOMPARE(pass->text(), QStringLiteral("typed"));
        QCOMPARE(Child<QLineEdit>(dialog, "edtRePass")->text(), QStringLiteral("typed"));
        dialog->reject();
    });
    ShowConfig();

    Store(true, QStringLiteral("abc"));
    FDriver->Then<TFormConfig>([](TFormConfig *dialog) {
        QCheckBox *box = PassBox(dialog);
        QLineEdit *pass = Child<QLineEdit>(dialog, "edtPass");
        QLineEdit *again = Child<QLineEdit>(dialog, "edtRePass");
        QVERIFY(box->isChecked());
        QCOMPARE(pass->text(), QStringLiteral("abc"));
        QCOMPARE(again->text(), QStringLiteral("abc"));
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(!pass->isEnabled() && !again->isEnabled());
        QVERIFY(pass->text().isEmpty() && again->text().isEmpty());
        QTest::mouseClick(box, Qt::LeftButton);
        QVERIFY(pass->isEnabled() && again->isEnabled());
        QCOMPARE(pass->text(), QStringLiteral("abc"));
        QCOMPARE(again->text(), QStringLiteral("abc"));
        dialog->reject();
    });
    ShowConfig();
    QVERIFY(FDriver->Done());
    QVERIFY(FPrompt->Boxes.isEmpty());
}

void TstConfig::switchOn()
{
    Store(false, QString());
    FDriver->Then<TFormConfig>([](TFormConfig *dialog) {
        QTest::mouseClick(PassBox(dialog), Qt::LeftButton);
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral(" new pw "));
        Type(Child<QLineEdit>(dialog, "edtRePass"), QStringLiteral(" new pw "));
        ClickOK(dialog);
    });
    ShowConfig();
    QVERIFY(FDriver->Done()); // no old password asked
    QVERIFY(FPrompt->Boxes.isEmpty());
    QVERIFY(GConfig->FbPass);
    QCOMPARE(GConfig->FPassWord, QStringLiteral(" new pw "));
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "bPass"), QStringLiteral("-1"));
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "PassWord"), QStringLiteral(" new pw "));
}

// Each refusal ends the handler before the old password is asked; the first
// test that fails decides the message.
void TstConfig::refusalsInOrder()
{
    Store(true, QStringLiteral("old"));
    FDriver->Then<TFormConfig>([](TFormConfig *dialog) {
        QLineEdit *pass = Child<QLineEdit>(dialog, "edtPass");
        QLineEdit *again = Child<QLineEdit>(dialog, "edtRePass");
        Type(pass, QStringLiteral("   "));
        Type(again, QStringLiteral("other"));
        ClickOK(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->focusWidget(), pass);

        Type(pass, QStringLiteral("new"));
        Type(again, QStringLiteral("new "));
        again->setFocus();
        ClickOK(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->focusWidget(), pass);
        QCOMPARE(pass->text(), QStringLiteral("new"));
        dialog->reject();
    });
    ShowConfig();
    QVERIFY(FDriver->Done()); // no password dialog came up
    QCOMPARE(FPrompt->Boxes.size(), 2);
    QCOMPARE(FPrompt->Boxes[0].Text, QStringLiteral("密码不能为空!"));
    QCOMPARE(FPrompt->Boxes[1].Text, QStringLiteral("两次输入的密码不一样,请重新输入!"));
    QCOMPARE(FPrompt->Boxes[1].Kind, TBoxKind::Error);
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "PassWord"), QStringLiteral("old"));
}

void TstConfig::changeAsksOldPassword()
{
    Store(true, QStringLiteral("old"));
    FDriver->Then<TFormConfig>([](TFormConfig *dialog) {
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("new"));
        Type(Child<QLineEdit>(dialog, "edtRePass"), QStringLiteral("new"));
        ClickOK(dialog);
        // The prompt was cancelled: nothing saved, the settings still open.
        QVERIFY(dialog->isVisible());
        QCOMPARE(GConfig->FPassWord, QStringLiteral("old"));
        ClickOK(dialog);
    });
    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("请先输入旧密码"));
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("OLD"));
        ClickOK(dialog);
        QVERIFY(dialog->isVisible());
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("old"));
        ClickOK(dialog);
    });
    ShowConfig();
    QVERIFY(FDriver->Done());
    QCOMPARE(FPrompt->Boxes.size(), 1);
    QCOMPARE(FPrompt->Boxes[0].Text, QStringLiteral("密码输入错误!"));
    QCOMPARE(GConfig->FPassWord, QStringLiteral("new"));
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "PassWord"), QStringLiteral("new"));
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "bPass"), QStringLiteral("-1"));
}

void TstConfig::keepAsksNothing()
{
    Store(true, QStringLiteral("same"));
    RawExec(FBooks->DatabaseFile(), QStringLiteral("update SysSet set PassWord='elsewhere'"));
    FDriver->Then<TFormConfig>([](TFormConfig *dialog) { ClickOK(dialog); });
    ShowConfig();
    QVERIFY(FDriver->Done());
    QVERIFY(FPrompt->Boxes.isEmpty());
    // The values in memory are written again.
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "PassWord"), QStringLiteral("same"));
}

void TstConfig::switchOff()
{
    Store(true, QStringLiteral("old"));
    FDriver->Then<TFormConfig>([](TFormConfig *dialog) {
        QTest::mouseClick(PassBox(dialog), Qt::LeftButton);
        ClickOK(dialog);
        QVERIFY(dialog->isVisible()); // prompt cancelled
        QVERIFY(GConfig->FbPass);
        ClickOK(dialog);
    });
    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("请先输入密码才可以取消登录密码"));
        QTest::mouseClick(dialog->btnCancel, Qt::LeftButton);
    });
    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("old"));
        ClickOK(dialog);
    });
    ShowConfig();
    QVERIFY(FDriver->Done());
    QVERIFY(FPrompt->Boxes.isEmpty());
    QVERIFY(!GConfig->FbPass);
    QVERIFY(GConfig->FPassWord.isEmpty());
    QCOMPARE(GConfig->FSql, QStringLiteral("update SysSet set bPass='0',[PassWord]='' "));
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "bPass"), QStringLiteral("0"));
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "PassWord"), QString());
}

// With the setting off a typed password is kept, not asked at start, and
// asked as the old password at the next change.
void TstConfig::offWithTypedPassword()
{
    Store(false, QString());
    FDriver->Then<TFormConfig>([](TFormConfig *dialog) {
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("kept"));
        ClickOK(dialog);
    });
    ShowConfig();
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "PassWord"), QStringLiteral("kept"));
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "bPass"), QStringLiteral("0"));

    const bool passed = LoginCheck();
    QVERIFY(passed);

    FDriver->Then<TFormConfig>([](TFormConfig *dialog) {
        QTest::mouseClick(PassBox(dialog), Qt::LeftButton);
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("fresh"));
        Type(Child<QLineEdit>(dialog, "edtRePass"), QStringLiteral("fresh"));
        ClickOK(dialog);
    });
    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("请先输入旧密码"));
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("kept"));
        ClickOK(dialog);
    });
    ShowConfig();
    QVERIFY(FDriver->Done());
    QVERIFY(FPrompt->Boxes.isEmpty());
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "PassWord"), QStringLiteral("fresh"));
}

void TstConfig::dialogRoundTrip_data()
{
    QTest::addColumn<QString>("passWord");
    QTest::newRow("quote") << QStringLiteral("it's 'quoted'");
    QTest::newRow("separator") << QStringLiteral("a@#@b");
    QTest::newRow("comment") << QStringLiteral("x -- y");
    QTest::newRow("percent") << QStringLiteral("100% %s %1");
    QTest::newRow("Chinese") << QStringLiteral("密码：记账软件");
    QTest::newRow("blanks") << QStringLiteral("  both ends  ");
    QTest::newRow("10000") << QString(10000, u'密');
}

// Set in the settings dialog, read at the next start, typed at the login.
void TstConfig::dialogRoundTrip()
{
    QFETCH(QString, passWord);
    Store(false, QString());
    FDriver->Then<TFormConfig>([&](TFormConfig *dialog) {
        QTest::mouseClick(PassBox(dialog), Qt::LeftButton);
        Type(Child<QLineEdit>(dialog, "edtPass"), passWord);
        Type(Child<QLineEdit>(dialog, "edtRePass"), passWord);
        ClickOK(dialog);
    });
    ShowConfig();
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "PassWord"), passWord);

    *GConfig = TConfig();
    FDriver->Then<TFormPass>([&](TFormPass *dialog) {
        Type(Child<QLineEdit>(dialog, "edtPass"), passWord);
        ClickOK(dialog);
    });
    const bool passed = LoginCheck();
    QVERIFY(FDriver->Done());
    QVERIFY(passed);
    QCOMPARE(GConfig->FPassWord, passWord);
    QVERIFY(FPrompt->Boxes.isEmpty());
}

// A save that fails leaves the dialog open and the setting in memory as it
// is in the books, so that the old password still applies.
void TstConfig::failedSaveKeepsSetting()
{
    Store(true, QStringLiteral("old"));
    GDbAccess->FQuery.Close();
    RawExec(FBooks->DatabaseFile(),
            QStringLiteral("create trigger NoSave before update on SysSet "
                           "begin select raise(abort, 'disk full'); end"));
    FDriver->Then<TFormConfig>([this](TFormConfig *dialog) {
        QTest::mouseClick(PassBox(dialog), Qt::LeftButton);
        ClickOK(dialog);
        QVERIFY(dialog->isVisible());
        QVERIFY(GConfig->FbPass);
        QCOMPARE(GConfig->FPassWord, QStringLiteral("old"));
        RawExec(FBooks->DatabaseFile(), QStringLiteral("drop trigger NoSave"));
        ClickOK(dialog);
    });
    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("old"));
        ClickOK(dialog);
    });
    FDriver->Then<TFormPass>([](TFormPass *dialog) {
        Type(Child<QLineEdit>(dialog, "edtPass"), QStringLiteral("old"));
        ClickOK(dialog);
    });
    ShowConfig();
    QVERIFY(FDriver->Done());
    QCOMPARE(FPrompt->Boxes.size(), 1);
    QVERIFY(FPrompt->Boxes[0].Text.startsWith(QStringLiteral("数据库操作失败！")));
    QVERIFY(FPrompt->Boxes[0].Text.contains(QStringLiteral("disk full")));
    QVERIFY(!GConfig->FbPass);
    QCOMPARE(RawSetting(FBooks->DatabaseFile(), "bPass"), QStringLiteral("0"));
}

BOOKKEEP_TEST_MAIN(TstConfig)

#include "tst_Config.moc"
