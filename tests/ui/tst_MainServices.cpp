// The main window's services: backup and restore with the safety copy,
// long work off the window's thread, autostart, the exit question with the
// note, minimising, homepage and help.

#include "LedgerTestSupport.h"
#include "ModalDriver.h"
#include "WidgetTestSupport.h"

#include "controls/CardEdtBut.h"
#include "data/ListModel.h"
#include "data/UException.h"
#include "forms/Help.h"
#include "forms/Note.h"
#include "ledger/UntNote.h"
#include "shell/AutoRun.h"
#include "shell/JobRunner.h"
#include "shell/Main.h"
#include "shell/TermSignal.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <climits>
#include <csignal>
#include <sqlite3.h>

namespace {

// Books with one account and one record of today; XDG_CONFIG_HOME points
// into the books' directory.
class TServiceBooks : public TTestBooks
{
public:
    TServiceBooks()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Dir() + QStringLiteral("config")));
        DbExec(QStringLiteral("insert into InType values (1,0,'工资')"));
        InsertAccount(QStringLiteral("现金"), Amount("100"));
        AddRecord(1, QStringLiteral("现金"), Amount("35.5"), 1, QStringLiteral("午饭"),
                  QDate::currentDate());
    }
    ~TServiceBooks() { qunsetenv("XDG_CONFIG_HOME"); }
};

// Runs a command as the window's event loop would: a failure is reported.
template<typename Command> void Run(Command command)
{
    try {
        command();
    } catch (const std::exception &failure) {
        GCardException->ReportException(failure);
    }
}

int AccountsIn(const QString &fileName)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(fileName).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    int count = -1;
    if (sqlite3_prepare_v2(db, "select count(*) from Account", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        count = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return count;
}

using namespace Qt::StringLiterals;

// The dialog of a job never shows unless a test asks for it.
constexpr int kNoDialog = INT_MAX;

} // namespace

class TestMainServices : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("记账软件"));
        TJobDialogs::Instance().SetDelay(kNoDialog);
    }
    void recordCommandsQueryAgain();
    void backupAppendsBat();
    void backupOntoOpenBooksIsRefused();
    void restoreDeclinedChangesNothing();
    void restoreKeepsSafetyCopyAndLogs();
    void failedSafetyCopyStopsRestore();
    void closingDuringRestore_data();
    void closingDuringRestore();
    void jobs_data();
    void jobs();
    void autostartEntry();
    void autostartCommandQuoting();
    void exitQuestionSavesNoteFirst();
    void termSignalKeepsNoteAndEnds();
    void minimiseWithoutTrayKeepsWindow();
    void homepage();
    void help_data();
    void help();
};

void TestMainServices::recordCommandsQueryAgain()
{
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    form.show();
    QCOMPARE(form.Records().rowCount(), 1);

    // A record saved with "保存并继续新建", then the dialog cancelled: listed.
    TModalDriver driver;
    driver.Then([](QWidget *dialog) {
        dialog->findChild<QCheckBox *>(QStringLiteral("chk1"))->setChecked(true);
        dialog->findChild<QLineEdit *>(QStringLiteral("edtFare"))->setText(QStringLiteral("12"));
        dialog->findChild<TCardEdtBut *>(QStringLiteral("cbbInOutType"))->Button()->click();
    });
    driver.Then([](QWidget *picker) {
        auto *view = picker->findChild<QTreeWidget *>(QStringLiteral("tv1"));
        view->setCurrentItem(view->findItems(QStringLiteral("工资"), Qt::MatchRecursive).value(0));
        picker->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    });
    driver.Then([](QWidget *dialog) {
        dialog->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
        QMetaObject::invokeMethod(static_cast<QDialog *>(dialog), &QDialog::reject,
                                  Qt::QueuedConnection);
    });
    form.N1Click();
    QVERIFY(driver.Done());
    QCOMPARE(form.Records().rowCount(), 2);
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("76.5", "12", "35.5"));

    // A double click on a row changes that record; the list follows.
    const int row = form.Records().Cell(0, 3) == u"12" ? 0 : 1;
    Child<QTreeView>(&form, "lv1")->setCurrentIndex(form.Records().index(row, 1));
    driver.Then([](QWidget *dialog) {
        dialog->findChild<QLineEdit *>(QStringLiteral("edtFare"))->setText(QStringLiteral("20"));
        dialog->findChild<QPushButton *>(QStringLiteral("btnOK"))->click();
    });
    Q_EMIT Child<QTreeView>(&form, "lv1")->doubleClicked(form.Records().index(row, 1));
    QTRY_VERIFY(driver.Done());
    QTRY_COMPARE(ReadTotals(QStringLiteral("现金")), Totals("84.5", "20", "35.5"));
    QTRY_COMPARE(Panels(form), QStringLiteral("2|20|35.5|-15.5"));

    // Without a selected row nothing opens.
    Child<QTreeView>(&form, "lv1")->clearSelection();
    form.N2Click();
    QVERIFY(driver.Unexpected.isEmpty());
    QCOMPARE(prompt.Boxes.size(), 0);
}

void TestMainServices::backupAppendsBat()
{
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    prompt.FileNames = {books.Dir() + QStringLiteral("data")};
    form.Ndfdf1Click();
    QCOMPARE(AccountsIn(books.Dir() + QStringLiteral("data.bat")), 1);

    // An existing x.bat is left alone: the copy is x.bat.bat.
    QFile existing(books.Dir() + QStringLiteral("x.bat"));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("keep");
    existing.close();
    prompt.FileNames = {existing.fileName()};
    form.Ndfdf1Click();
    QCOMPARE(ReadAll(existing.fileName()), QByteArray("keep"));
    QCOMPARE(AccountsIn(existing.fileName() + QStringLiteral(".bat")), 1);

    form.Ndfdf1Click(); // cancelled
    QCOMPARE(prompt.Boxes.size(), 0);
}

void TestMainServices::backupOntoOpenBooksIsRefused()
{
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    QVERIFY(QFile::link(books.DatabaseFile(), books.Dir() + QStringLiteral("books.bat")));
    const QByteArray before = ReadAll(books.DatabaseFile());
    prompt.FileNames = {books.Dir() + QStringLiteral("books")};
    Run([&] { form.Ndfdf1Click(); });
    QCOMPARE(prompt.Boxes.size(), 1);
    QVERIFY(prompt.Boxes[0].Text.startsWith(QStringLiteral("数据库备份失败！")));
    QCOMPARE(ReadAll(books.DatabaseFile()), before);
    // The connection still writes to the books.
    InsertAccount(QStringLiteral("银行卡"), Amount("1"));
    QCOMPARE(AccountsIn(books.DatabaseFile()), 2);
}

void TestMainServices::restoreDeclinedChangesNothing()
{
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    DbBackup(books.Dir() + QStringLiteral("other.bat"));
    InsertAccount(QStringLiteral("银行卡"), Amount("1"));
    const QString chosen = books.Dir() + QStringLiteral("other.bat");

    prompt.Answers = {false};
    prompt.FileNames = {chosen};
    form.MenuItem3Click();
    QCOMPARE(prompt.FileNames.size(), 1); // no file dialog after No

    prompt.Answers = {true};
    prompt.FileNames.clear(); // the file dialog cancelled
    form.MenuItem3Click();

    QVERIFY(!QFile::exists(books.Dir() + QStringLiteral("tmpData.bat")));
    QCOMPARE(AccountsIn(books.DatabaseFile()), 2);
    QVERIFY(!QFile::exists(TodayLog()));
}

void TestMainServices::restoreKeepsSafetyCopyAndLogs()
{
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    form.show();
    QCOMPARE(form.Records().rowCount(), 1);
    const QString old = books.Dir() + QStringLiteral("old.bat");
    DbBackup(old);
    RawExec(old, QStringLiteral("delete from BookKeep; update Account set Fare=100,OutFare=0"));
    InsertAccount(QStringLiteral("银行卡"), Amount("1"));

    prompt.Answers = {true};
    prompt.FileNames = {old};
    form.MenuItem3Click();
    QCOMPARE(prompt.Boxes.size(), 1); // the question, nothing after it
    QCOMPARE(AccountsIn(books.Dir() + QStringLiteral("tmpData.bat")), 2);
    QCOMPARE(AccountsIn(books.DatabaseFile()), 1);
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("100", "0", "0"));
    QVERIFY(QString::fromUtf8(ReadAll(TodayLog())).contains(QStringLiteral("数据恢复！")));
    // The list shows what it showed until the next query.
    QCOMPARE(form.Records().rowCount(), 1);
    form.btnQueryClick();
    QCOMPARE(form.Records().rowCount(), 0);

    // The safety copy itself is restored, and then holds what it replaced.
    prompt.Answers = {true};
    prompt.FileNames = {books.Dir() + QStringLiteral("tmpData.bat")};
    form.MenuItem3Click();
    QCOMPARE(AccountsIn(books.DatabaseFile()), 2);
    QCOMPARE(AccountsIn(books.Dir() + QStringLiteral("tmpData.bat")), 1);
}

void TestMainServices::failedSafetyCopyStopsRestore()
{
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    const QString old = books.Dir() + QStringLiteral("old.bat");
    DbBackup(old);
    InsertAccount(QStringLiteral("银行卡"), Amount("1"));
    // A non-empty directory where the safety copy must go cannot be replaced.
    QVERIFY(QDir(books.Dir()).mkpath(QStringLiteral("tmpData.bat/inside")));

    prompt.Answers = {true};
    prompt.FileNames = {old};
    Run([&] { form.MenuItem3Click(); });
    QCOMPARE(prompt.Boxes.size(), 2);
    QVERIFY(prompt.Boxes[1].Text.startsWith(QStringLiteral("数据库恢复失败！")));
    QVERIFY(prompt.Boxes[1].Text.contains(QStringLiteral("安全副本")));
    QCOMPARE(AccountsIn(books.DatabaseFile()), 2);
    QVERIFY(!QFile::exists(TodayLog()));
}

void TestMainServices::closingDuringRestore_data()
{
    // The job the window is closed in; whether the session ends (no
    // question) or the user closes; the accounts after; the box shown.
    QTest::addColumn<QString>("job");
    QTest::addColumn<bool>("session");
    QTest::addColumn<int>("accounts");
    QTest::addColumn<QString>("box");
    QTest::newRow("the check is stopped") << u"正在检查备份…"_s << true << 2 << QString();
    QTest::newRow("the copy in is waited for")
        << u"正在恢复数据…"_s << false << 1
        << u"有一项操作正在进行（正在恢复数据…），不能中途停止。它完成后程序即退出。"_s;
}

void TestMainServices::closingDuringRestore()
{
    QFETCH(QString, job);
    QFETCH(bool, session);
    QFETCH(int, accounts);
    QFETCH(QString, box);
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    form.show();
    QSignalSpy exit(&form, &TFormMain::ExitConfirmed);
    const QString old = books.Dir() + QStringLiteral("old.bat");
    DbBackup(old);
    InsertAccount(QStringLiteral("银行卡"), Amount("1"));

    TJobDialogs::Instance().SetDelay(0);
    connect(&TJobDialogs::Instance(), &TJobDialogs::Shown, &form, [&](QWidget *dialog) {
        if (Child<QLabel>(dialog, "lblJobName")->text() != job)
            return;
        if (session)
            form.EndSession();
        else
            form.close();
    });
    prompt.Answers = {true};
    prompt.FileNames = {old};
    form.MenuItem3Click();
    TJobDialogs::Instance().SetDelay(kNoDialog);
    // The window closed once the job had ended, stopped or complete.
    QTRY_COMPARE(exit.count(), 1);
    QCOMPARE(AccountsIn(books.DatabaseFile()), accounts);
    QCOMPARE(QFile::exists(books.Dir() + QStringLiteral("tmpData.bat")), !session);
    QCOMPARE(QFile::exists(TodayLog()), !session);
    QStringList texts;
    for (const TRecordingPrompt::TBox &shown : std::as_const(prompt.Boxes))
        texts << shown.Text;
    QCOMPARE(texts.contains(box), !box.isEmpty());
    QVERIFY(!TJob::Current());
}

void TestMainServices::jobs_data()
{
    // What the work does; what the test does once the dialog shows (when
    // `delay` lets it show); RunJob's answer; the texts the dialog showed or
    // the box that reported a failure.
    QTest::addColumn<QString>("work");
    QTest::addColumn<QString>("noCancel");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("delay");
    QTest::addColumn<bool>("ran");
    QTest::addColumn<QStringList>("seen");
    QTest::newRow("done before the delay: no dialog")
        << u"gate"_s << QString() << u""_s << kNoDialog << true << QStringList();
    QTest::newRow("progress") << u"progress"_s << QString() << u"release"_s << 0 << true
                              << QStringList {u"正在检查备份…"_s, u"500"_s, u"第二步"_s};
    QTest::newRow("cancelled") << u"gate"_s << QString() << u"cancel"_s << 0 << false
                               << QStringList {u"正在检查备份…"_s, u"0"_s, u""_s};
    QTest::newRow("cannot be cancelled")
        << u"gate"_s << u"正在写入数据"_s << u"escape"_s << 0 << true
        << QStringList {u"正在检查备份…"_s, u"0"_s, u""_s, u"此操作不能取消：正在写入数据"_s};
    QTest::newRow("failure on the worker")
        << u"fail"_s << QString() << u""_s << kNoDialog << true
        << QStringList {u"数据库恢复失败！\r\n详细信息：文件已损坏"_s};
    QTest::newRow("books lent to the worker")
        << u"books"_s << QString() << u"touch"_s << 0 << true
        << QStringList {u"正在检查备份…"_s, u"0"_s, u""_s,
                        u"另一项操作尚未完成（正在检查备份…），请等它完成后再试。"_s};
    QTest::newRow("second job refused")
        << u"gate"_s << QString() << u"second"_s << 0 << true
        << QStringList {u"正在检查备份…"_s, u"0"_s, u""_s,
                        u"另一项操作尚未完成（正在检查备份…），请等它完成后再试。"_s};
}

void TestMainServices::jobs()
{
    QFETCH(QString, work);
    QFETCH(QString, noCancel);
    QFETCH(QString, action);
    QFETCH(int, delay);
    QFETCH(bool, ran);
    QFETCH(QStringList, seen);
    TServiceBooks books; // the failure report
    TRecordingPrompt prompt;
    QSemaphore gate;
    const auto body = [&](TJob &job) {
        if (work == QLatin1String("fail"))
            throw EDBException(QStringLiteral("文件已损坏"), QStringLiteral("数据库恢复失败！"),
                               {});
        if (work == QLatin1String("progress"))
            job.Report(0.5, QStringLiteral("第二步"));
        if (work == QLatin1String("books"))
            DbQueryInt(QStringLiteral("select count(*) from Account"));
        // Waits until the test lets it go or it is cancelled.
        while (!gate.tryAcquire(1, 10))
            if (job.Cancelled())
                throw EAbort();
    };
    QStringList texts;
    QObject context;
    connect(
        &TJobDialogs::Instance(), &TJobDialogs::Shown, &context, [&](QWidget *dialog, TJob *job) {
            auto *bar = Child<QProgressBar>(dialog, "pbJob");
            if (action == QLatin1String("release"))
                QTRY_COMPARE(bar->value(), 500);
            texts << Child<QLabel>(dialog, "lblJobName")->text() << QString::number(bar->value())
                  << Child<QLabel>(dialog, "lblJobStep")->text();
            if (auto *why = dialog->findChild<QLabel *>(QStringLiteral("lblNoCancel")))
                texts << why->text();
            if (action == QLatin1String("cancel")) {
                Child<QPushButton>(dialog, "btnJobCancel")->click();
            } else if (action == QLatin1String("escape")) {
                QVERIFY(!dialog->findChild<QPushButton *>(QStringLiteral("btnJobCancel")));
                QTest::keyClick(dialog, Qt::Key_Escape);
                QVERIFY(!job->Cancelled());
                gate.release();
            } else if (action == QLatin1String("touch")) {
                Run([&] { DbQueryInt(QStringLiteral("select 1")); });
                gate.release();
            } else if (action == QLatin1String("second")) {
                Run([&] { RunJob(QStringLiteral("正在恢复数据…"), [](TJob &) {}); });
                gate.release();
            } else {
                gate.release();
            }
        });
    QSignalSpy shown(&TJobDialogs::Instance(), &TJobDialogs::Shown);
    TJobDialogs::Instance().SetDelay(delay);
    if (delay == kNoDialog)
        gate.release();
    bool answer = true;
    Run([&] {
        answer = RunJob(QStringLiteral("正在检查备份…"), body, noCancel,
                        work == QLatin1String("books") ? TJobBooks::Used : TJobBooks::Untouched);
    });
    TJobDialogs::Instance().SetDelay(kNoDialog);
    QCOMPARE(answer, ran);
    QCOMPARE(shown.count(), delay == kNoDialog ? 0 : 1);
    for (const TRecordingPrompt::TBox &box : std::as_const(prompt.Boxes))
        texts << box.Text;
    QCOMPARE(texts, seen);
    QVERIFY(!TJob::Current());
}

void TestMainServices::autostartEntry()
{
    TServiceBooks books;
    TRecordingPrompt prompt;
    const QString entry = AutoRunFileName(QStringLiteral("记账软件"));
    QCOMPARE(entry, books.Dir() + QStringLiteral("config/autostart/记账软件.desktop"));
    {
        TFormMain form;
        QVERIFY(!Child<QCheckBox>(&form, "chk1")->isChecked());
        Child<QCheckBox>(&form, "chk1")->setChecked(true);
        QTRY_VERIFY(QFile::exists(entry));
        const QString text = QString::fromUtf8(ReadAll(entry));
        QVERIFY(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
        QVERIFY(text.contains(QStringLiteral("\nExec=") + AutoRunCommand() + u'\n'));
        QVERIFY(text.contains(QStringLiteral("\nName=记账软件\n")));
    }
    {
        // The box shows the entry without writing it; unticking removes it.
        QFile file(entry);
        QVERIFY(file.open(QIODevice::Append));
        file.write("X-Mine=1\n");
        file.close();
        const QByteArray before = ReadAll(entry);
        TFormMain form;
        QVERIFY(Child<QCheckBox>(&form, "chk1")->isChecked());
        QCoreApplication::processEvents();
        QCOMPARE(ReadAll(entry), before);
        Child<QCheckBox>(&form, "chk1")->setChecked(false);
        QTRY_VERIFY(!QFile::exists(entry));
    }
    {
        // An entry that cannot be written is reported; the box stays clear.
        QFile blocker(books.Dir() + QStringLiteral("config/autostart"));
        QVERIFY(QDir(books.Dir()).rmdir(QStringLiteral("config/autostart")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TFormMain form;
        Child<QCheckBox>(&form, "chk1")->setChecked(true);
        QTRY_COMPARE(prompt.Boxes.size(), 1);
        QVERIFY(prompt.Boxes[0].Text.startsWith(QStringLiteral("无法设置开机运行")));
        QVERIFY(!Child<QCheckBox>(&form, "chk1")->isChecked());
    }
}

void TestMainServices::autostartCommandQuoting()
{
    TServiceBooks books;
    const QString program = QCoreApplication::applicationFilePath();
    AppPath = QCoreApplication::applicationDirPath() + u'/';
    QCOMPARE(AutoRunCommand(), u'"' + program + u'"');
    AppPath = QStringLiteral("/tmp/a b\"c$d`e\\f%g/");
    QCOMPARE(AutoRunCommand(),
             u'"' + program
                 + QStringLiteral("\" --data-dir \"/tmp/a b\\\\\"c\\\\$d\\\\`e\\\\\\\\f%%g\""));
    AppPath = books.Dir();
}

void TestMainServices::exitQuestionSavesNoteFirst()
{
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    QSignalSpy exit(&form, &TFormMain::ExitConfirmed);
    form.show();
    form.btn1Click();
    TFormCardNote *note = OpenNoteWindow();
    QVERIFY(note);
    QTRY_VERIFY(note->isVisible());
    note->findChild<QPlainTextEdit *>(QStringLiteral("mmoNote"))
        ->setPlainText(QStringLiteral("买菜"));
    prompt.OnBox = [](const TRecordingPrompt::TBox &) {
        QCOMPARE(GNote->ReadNote(), QStringLiteral("买菜"));
    };

    prompt.Answers = {false};
    QVERIFY(!form.close());
    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("确定要退出记账软件吗?"));
    QVERIFY(form.isVisible());
    QCOMPARE(exit.count(), 0);

    prompt.Answers = {true};
    form.NCloseClick();
    QVERIFY(!form.isVisible());
    QCOMPARE(exit.count(), 1);
    QCOMPARE(prompt.Boxes.size(), 2);
    delete note;
}

void TestMainServices::termSignalKeepsNoteAndEnds()
{
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    TTermSignal termSignal;
    connect(&termSignal, &TTermSignal::Received, &form, &TFormMain::EndSession);
    QSignalSpy exit(&form, &TFormMain::ExitConfirmed);
    form.show();
    form.btn1Click();
    TFormCardNote *note = OpenNoteWindow();
    QVERIFY(note);
    note->findChild<QPlainTextEdit *>(QStringLiteral("mmoNote"))
        ->setPlainText(QStringLiteral("电费"));
    form.hide(); // in the tray

    std::raise(SIGTERM);
    QTRY_COMPARE(exit.count(), 1);
    QCOMPARE(GNote->ReadNote(), QStringLiteral("电费"));
    QCOMPARE(prompt.Boxes.size(), 0);
    delete note;
}

void TestMainServices::minimiseWithoutTrayKeepsWindow()
{
    TServiceBooks books;
    TFormMain form;
    form.show();
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    form.showMinimized();
    QTRY_VERIFY(form.isMinimized());
    QCoreApplication::processEvents();
    QVERIFY(form.isVisible());
    form.NShowFormClick();
    QVERIFY(!form.isMinimized());
}

void TestMainServices::homepage()
{
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    form.NOpenWWW1Click();
    form.N8Click();
    QCOMPARE(prompt.OpenedDocuments.size(), 2);
    QVERIFY(prompt.OpenedDocuments[0].startsWith(QStringLiteral("http")));
    QCOMPARE(prompt.OpenedDocuments[1], prompt.OpenedDocuments[0]);
}

void TestMainServices::help_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("settings menu") << false;
    QTest::newRow("F1") << true;
}

void TestMainServices::help()
{
    QFETCH(bool, byKey);
    TServiceBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QAction *item = form.SystemMenu()->actions().constLast();
    QCOMPARE(item->text(), QStringLiteral("使用帮助"));
    for (int time = 0; time < 2; ++time)
        byKey ? QTest::keyClick(&form, Qt::Key_F1) : item->trigger();
    QTRY_COMPARE(form.findChildren<TFormHelp *>().size(), 1);
    TFormHelp *help = OpenWindow<TFormHelp>();
    QTextBrowser *browser = help->Browser();
    QStringList headings;
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next()) {
        if (block.blockFormat().headingLevel() > 0)
            headings << block.text();
    }
    QCOMPARE(headings.join(u'|'),
             QStringLiteral("记账软件使用帮助|记账与查询|账户与类别|导入账单|"
                            "转账与对账|周期记账与预算|备份与恢复|撤销与重做|登录密码|其他功能"));

    // A link of the contents scrolls its section to the top; a link out of
    // the page opens nothing.
    help->resize(400, 300);
    QTextCursor link = browser->document()->find(QStringLiteral("转账与对账"));
    link.setPosition(link.selectionStart() + 1);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, browser->cursorRect(link).center());
    QTRY_VERIFY(browser->verticalScrollBar()->value() > 0);
    QCOMPARE(browser->cursorForPosition(QPoint(0, 0)).block().text(), QStringLiteral("转账与对账"));
    Q_EMIT browser->anchorClicked(QUrl(QStringLiteral("https://example.com/")));
    QCOMPARE(browser->source(), QUrl(QStringLiteral("qrc:/help/help.html")));
    QVERIFY(prompt.OpenedDocuments.isEmpty());
}

BOOKKEEP_TEST_MAIN(TestMainServices)

#include "tst_MainServices.moc"
