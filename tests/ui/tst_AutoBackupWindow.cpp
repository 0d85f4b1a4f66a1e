// Automatic backups as the user meets them: the copy at the first start and
// at the end after a change, the restore from the list of copies, the
// setting in the settings dialog, a failure that is shown, and the off-site
// copy set up in its window and uploaded at the end.

#include "DavServer.h"
#include "LedgerTestSupport.h"
#include "ModalDriver.h"
#include "WidgetTestSupport.h"

#include "data/AutoBackup.h"
#include "data/UException.h"
#include "forms/Backups.h"
#include "forms/Config.h"
#include "forms/Offsite.h"
#include "ledger/UntConfig.h"
#include "shell/JobRunner.h"
#include "shell/Main.h"

#include <QAccessible>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTest>
#include <QTreeWidget>
#include <climits>

namespace {

const QDateTime kStart(QDate(2026, 6, 17), QTime(9, 0, 0));

// Books with one account and one record; XDG_CONFIG_HOME points into their folder.
class TWindowBooks : public TTestBooks
{
public:
    TWindowBooks()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Dir() + QStringLiteral("config")));
        InsertAccount(QStringLiteral("现金"), Amount("100"));
        AddRecord(1, QStringLiteral("现金"), Amount("35.5"), 1, QStringLiteral("午饭"));
    }
    ~TWindowBooks() { qunsetenv("XDG_CONFIG_HOME"); }
    QString Folder() const { return AutoBackup::Folder(Dir()); }
    QStringList Copies() const { return AutoBackup::Names(Folder()); }
};

} // namespace

class TestAutoBackupWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QStringLiteral("记账软件"));
        // The restore's check runs without its dialog, which the modal
        // driver would take for an unexpected window.
        TJobDialogs::Instance().SetDelay(INT_MAX);
    }
    void firstStartAndChangedExitMakeCopies();
    void restoreFromTheList();
    void brokenCopyIsNotOffered();
    void failureIsShown();
    void settingInTheSettingsDialog();
    void offsiteCopyAtTheEnd_data();
    void offsiteCopyAtTheEnd();
};

void TestAutoBackupWindow::firstStartAndChangedExitMakeCopies()
{
    TWindowBooks books;
    TRecordingPrompt prompt;
    QDateTime now = kStart;
    {
        TFormMain form;
        form.AutoBackup().SetClock([&now] { return now; });
        // The new item sits right after the restore item of the settings menu.
        const QList<QAction *> items = form.SystemMenu()->actions();
        const qsizetype restore
            = items.indexOf(form.findChild<QAction *>(QStringLiteral("MenuItem3")));
        QCOMPARE(items.value(restore + 1)->text(), QStringLiteral("从自动备份恢复"));

        form.show();
        QTRY_COMPARE(books.Copies().size(), 1);
        QTRY_VERIFY(!form.AutoBackup().Busy());

        AddRecord(0, QStringLiteral("现金"), Amount("10"));
        now = now.addSecs(3600);
        prompt.Answers = {true};
        form.close();
        QVERIFY(!form.isVisible());
    }
    QCOMPARE(books.Copies().size(), 2);
    QCOMPARE(AutoBackup::Inspect(books.Folder() + books.Copies().last()).Records, qint64(2));
    QCOMPARE(prompt.Boxes.size(), 1); // the exit question only

    // The next start the same day, closed without a change, adds no copy.
    {
        TFormMain form;
        now = now.addSecs(60);
        form.AutoBackup().SetClock([&now] { return now; });
        form.show();
        prompt.Answers = {true};
        form.close();
    }
    QCOMPARE(books.Copies().size(), 2);
}

void TestAutoBackupWindow::restoreFromTheList()
{
    TWindowBooks books;
    TRecordingPrompt prompt;
    TFormMain form;
    QDateTime now = kStart;
    form.AutoBackup().SetClock([&now] { return now; });
    form.show();
    form.AutoBackup().Wait(); // the copy with one record
    AddRecord(0, QStringLiteral("现金"), Amount("10"), 1, QStringLiteral("第二条"));
    now = now.addSecs(60);
    QVERIFY(form.AutoBackup().BeforeChange()); // the copy with two
    AddRecord(0, QStringLiteral("现金"), Amount("20"), 1, QStringLiteral("第三条"));
    now = now.addSecs(60);

    QStringList listed; // the record counts, top to bottom
    {
        TModalDriver driver;
        driver.Then([&listed](QWidget *modal) {
            auto *dialog = qobject_cast<TFormBackups *>(modal);
            QTRY_VERIFY(dialog->Checked());
            QTreeWidget *list = dialog->List();
            for (int row = 0; row < list->topLevelItemCount(); ++row)
                listed << list->topLevelItem(row)->text(2);
            if (list->topLevelItemCount() < 2) {
                dialog->reject();
                return;
            }
            list->setCurrentItem(list->topLevelItem(1));
            ClickOK(dialog);
        });
        prompt.Answers = {true};
        form.NAutoRestoreClick();
        QVERIFY(driver.Done());
        QCOMPARE(driver.Unexpected, QStringList());
    }
    // Newest first: the copy with two records, then the one with one.
    QCOMPARE(listed, (QStringList {QStringLiteral("2"), QStringLiteral("1")}));

    QCOMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Text,
             QStringLiteral("你确定要恢复数据吗？你做的操作可能会覆盖最新的数据！"));
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 1);
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("64.5", "0", "35.5"));
    // What was replaced is kept twice: the safety copy and a dated copy.
    QCOMPARE(AutoBackup::Inspect(books.Dir() + QStringLiteral("tmpData.bat")).Records, qint64(3));
    QCOMPARE(books.Copies().size(), 3);
    QCOMPARE(AutoBackup::Inspect(books.Folder() + books.Copies().last()).Records, qint64(3));
    QVERIFY(QString::fromUtf8(ReadAll(TodayLog())).contains(QStringLiteral("数据恢复！")));

    // Saying No changes nothing.
    {
        TModalDriver no;
        no.Then([](QWidget *modal) {
            QTRY_VERIFY(qobject_cast<TFormBackups *>(modal)->Checked());
            ClickOK(qobject_cast<TFormBaseDlg *>(modal));
        });
        prompt.Answers = {false};
        form.NAutoRestoreClick();
        QVERIFY(no.Done());
    }
    QCOMPARE(books.Copies().size(), 3);
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 1);
}

void TestAutoBackupWindow::brokenCopyIsNotOffered()
{
    TWindowBooks books;
    TRecordingPrompt prompt;
    AutoBackup::TMade made;
    QCOMPARE(AutoBackup::Make(books.DatabaseFile(), books.Folder(), kStart, made).Reason(),
             QString());
    // A copy spoilt on the disk, newer than the sound one.
    QFile broken(books.Folder() + AutoBackup::FileName(kStart.addDays(1)));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(ReadAll(made.File).left(2048));
    broken.close();

    TFormBackups dialog(books.Folder());
    QTreeWidget *list = dialog.List();
    QCOMPARE(list->topLevelItemCount(), 2);
    // Listed at once with time and size; none can be chosen before its check.
    for (int row = 0; row < 2; ++row) {
        QTreeWidgetItem *item = list->topLevelItem(row);
        QVERIFY(!item->text(1).isEmpty());
        QCOMPARE(item->text(4), QStringLiteral("正在检查…"));
        QVERIFY(!(item->flags() & Qt::ItemIsEnabled));
    }
    QTRY_VERIFY(dialog.Checked());
    QTreeWidgetItem *spoilt = list->topLevelItem(0);
    QVERIFY(spoilt->text(4).startsWith(QStringLiteral("已损坏")));
    QVERIFY(!(spoilt->flags() & Qt::ItemIsSelectable));
    QVERIFY(!(spoilt->flags() & Qt::ItemIsEnabled));
    // The sound copy is the one chosen to begin with.
    QCOMPARE(list->currentItem(), list->topLevelItem(1));
    dialog.show();
    ClickOK(&dialog);
    QCOMPARE(dialog.FileName(), made.File);

    // Closing the window stops the checks left: none reports to it after.
    delete new TFormBackups(books.Folder());
    QCoreApplication::processEvents();
    QVERIFY(!TJob::Current());
}

void TestAutoBackupWindow::failureIsShown()
{
    TWindowBooks books;
    TRecordingPrompt prompt;
    QFile blocker(books.Dir() + QStringLiteral("backups"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QByteArray before = ReadAll(books.DatabaseFile());
    TFormMain form;
    form.AutoBackup().SetClock([] { return kStart; });
    form.show();
    // Without a tray, an error box.
    QTRY_COMPARE(prompt.Boxes.size(), 1);
    QCOMPARE(prompt.Boxes[0].Kind, TBoxKind::Error);
    QVERIFY(prompt.Boxes[0].Text.startsWith(QStringLiteral("自动备份失败！")));
    QVERIFY(QString::fromUtf8(ReadAll(TodayLog())).contains(QStringLiteral("自动备份失败！")));
    QCOMPARE(ReadAll(books.DatabaseFile()), before);
    QVERIFY(QFileInfo(blocker.fileName()).isFile());
}

void TestAutoBackupWindow::settingInTheSettingsDialog()
{
    TWindowBooks books;
    TRecordingPrompt prompt;
    GConfig->LoadConfig();
    {
        TFormConfig dialog;
        dialog.show();
        auto *check = Child<QCheckBox>(&dialog, "chkAutoBackup");
        auto *days = Child<QSpinBox>(&dialog, "spnBackupDays");
        QCOMPARE(check->text(), QStringLiteral("自动备份"));
        QVERIFY(check->isChecked());
        QCOMPARE(days->value(), 7);
        QCOMPARE(QAccessible::queryAccessibleInterface(days)->text(QAccessible::Name),
                 QStringLiteral("保留天数"));
        check->setChecked(false);
        QVERIFY(!days->isEnabled());
        check->setChecked(true);
        days->setValue(3);
        ClickOK(&dialog);
        QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(GConfig->FSql, QStringLiteral("update SysSet set bPass='0',[PassWord]='' "));
    TConfig stored;
    stored.LoadConfig();
    QVERIFY(stored.FAutoBackup);
    QCOMPARE(stored.FBackupDays, 3);

    // Switched off, the program makes no copy at start.
    {
        TFormConfig dialog;
        dialog.show();
        Child<QCheckBox>(&dialog, "chkAutoBackup")->setChecked(false);
        ClickOK(&dialog);
    }
    QVERIFY(!GConfig->FAutoBackup);
    TFormMain form;
    form.AutoBackup().SetClock([] { return kStart; });
    form.show();
    QVERIFY(!form.AutoBackup().Enabled());
    QVERIFY(!form.AutoBackup().Busy());
    QCOMPARE(books.Copies(), QStringList());
    QCOMPARE(prompt.Boxes.size(), 0);
}

BOOKKEEP_TEST_MAIN(TestAutoBackupWindow)
#include "tst_AutoBackupWindow.moc"

void TestAutoBackupWindow::offsiteCopyAtTheEnd_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("passphrase");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("refusal");
    const QString local = QStringLiteral("http://127.0.0.1:%1/");
    const QString words = QStringLiteral("一家人的口令");
    QTest::newRow("not https") << QStringLiteral("ftp://dav.example.com/") << words << words
                               << QStringLiteral("服务器地址要以 https:// 开头");
    QTest::newRow("http far away")
        << QStringLiteral("http://dav.example.com/") << words << words
        << QStringLiteral("只有局域网内的服务器可以用 http://，互联网上的服务器请用 https://");
    QTest::newRow("no passphrase") << local << QString() << QString()
                                   << QStringLiteral("请设置加密口令：没有它，备份不会离开本机。");
    QTest::newRow("passphrases differ")
        << local << words << QStringLiteral("别的") << QStringLiteral("两次输入的加密口令不一致。");
    QTest::newRow("sound") << local << words << words << QString();
}

void TestAutoBackupWindow::offsiteCopyAtTheEnd()
{
    QFETCH(QString, url);
    QFETCH(QString, passphrase);
    QFETCH(QString, again);
    QFETCH(QString, refusal);
    const TDavServer server;
    QVERIFY(server.Port() != 0);
    TWindowBooks books;
    TRecordingPrompt prompt;
    {
        TFormOffsite window([](const QString &) { return false; });
        window.show();
        const QList<std::pair<const char *, QString>> fields {
            {"edtUrl", url.contains(u'%') ? url.arg(server.Port()) : url},
            {"edtUser", TDavServer::kUser},
            {"edtPassword", TDavServer::kPassword},
            {"edtFolder", QStringLiteral("books")},
            {"edtPassphrase", passphrase},
            {"edtRePassphrase", again}};
        for (const auto &[name, text] : fields)
            Child<QLineEdit>(&window, name)->setText(text);
        ClickOK(&window);
        QCOMPARE(window.isVisible(), !refusal.isEmpty());
    }
    // Without a keyring (as here) the window says so; that is no refusal.
    QString refused;
    for (const TRecordingPrompt::TBox &box : std::as_const(prompt.Boxes))
        if (box.Kind == TBoxKind::Error)
            refused = box.Text;
    QCOMPARE(refused, refusal);
    QCOMPARE(GConfig->FOffsiteUrl.isEmpty(), !refusal.isEmpty());
    if (!refusal.isEmpty())
        return;
    // A change, then the end: its copy is sealed and uploaded before the program goes.
    TFormMain form;
    form.show();
    form.AutoBackup().Wait();
    AddRecord(0, QStringLiteral("现金"), Amount("10"));
    prompt.Answers = {true};
    form.close();
    const QStringList copies = books.Copies();
    QVERIFY(!copies.isEmpty());
    qWarning() << copies
               << QDir(QFileInfo(server.File(QStringLiteral("x"))).absolutePath()).entryList()
               << ReadAll(TodayLog());
    QTRY_VERIFY(QFile::exists(server.File(copies.last() + QStringLiteral(".sealed"))));
}
