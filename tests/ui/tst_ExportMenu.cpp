// The import, export and schedule items of the settings menu, the export they
// run from the main window, and the schedule windows.
#include "LedgerTestSupport.h"
#include "ModalDriver.h"
#include "WidgetTestSupport.h"

#include "data/ListModel.h"
#include "forms/DueRecords.h"
#include "forms/ExportBooks.h"
#include "forms/ScheduleList.h"
#include "shell/Main.h"

#include <QDateEdit>
#include <QMenu>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

class TMenuBooks : public TTestBooks
{
public:
    TMenuBooks()
    {
        DbExec(QStringLiteral("insert into OutType values (1,0,'餐饮')"));
        InsertAccount(QStringLiteral("现金"), Amount("100"));
        AddRecord(1, QStringLiteral("现金"), Amount("35.5"), 1, QStringLiteral("午饭"),
                  QDate::currentDate());
        AddRecord(1, QStringLiteral("现金"), Amount("12"), 1, QStringLiteral("很久以前"),
                  QDate(2001, 1, 1));
    }
};

// Picks a choice in the export dialog and confirms it.
TModalDriver::TAction Choose(const char *choice)
{
    return [choice](QWidget *widget) {
        auto *form = qobject_cast<TFormExport *>(widget);
        QVERIFY(form);
        Child<QRadioButton>(form, choice)->setChecked(true);
        QMetaObject::invokeMethod(form, &QDialog::accept, Qt::QueuedConnection);
    };
}

} // namespace

class TestExportMenu : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;

private Q_SLOTS:
    void ItemsFollowTheBackupItems()
    {
        TMenuBooks books;
        TFormMain form;
        QStringList names;
        for (const QAction *action : form.SystemMenu()->actions())
            names << action->objectName();
        const qsizetype backup = names.indexOf(QStringLiteral("Ndfdf1"));
        QCOMPARE(names.mid(backup, 9),
                 (QStringList {QStringLiteral("Ndfdf1"), QStringLiteral("MenuItem3"),
                               QStringLiteral("NAutoRestore"), QStringLiteral("NOffsite"),
                               QStringLiteral("NImport"), QStringLiteral("NImportRules"),
                               QStringLiteral("NSchedules"), QStringLiteral("NBudgets"),
                               QStringLiteral("NExport")}));
        const QStringList texts {QStringLiteral("导入账单…"), QStringLiteral("分类规则…"),
                                 QStringLiteral("周期记账…"), QStringLiteral("预算…"),
                                 QStringLiteral("导出…")};
        for (qsizetype i = 0; i < texts.size(); ++i)
            QCOMPARE(form.SystemMenu()->actions()[backup + 4 + i]->text(), texts[i]);
        // The tray menu gains the transfer and the schedules after its own items.
        QStringList tray;
        for (const QAction *action : form.TrayMenu()->actions())
            tray << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(
            tray.join(u'|'),
            QStringLiteral("新建记账|统计报表|转账…|周期记账…|便签|-|软件主页|-|显示窗口|关闭"));
    }

    // The schedule windows list what is stored and due, name every control,
    // and post a due bill with the amount given in the window.
    void ScheduleWindows()
    {
        TMenuBooks books;
        TSchedule rent;
        rent.TypeID = 1;
        rent.Account = QStringLiteral("现金");
        rent.Fare = Amount("3000");
        rent.Start = QDate::currentDate().addMonths(-1);
        rent.MonthDay = rent.Start.day();
        rent.Id = Schedules::Add(rent);
        {
            TFormSchedules list;
            QCOMPARE(list.List()->topLevelItem(0)->text(2), QStringLiteral("现金"));
            TFormSchedule edit;
            edit.LoadSchedule(rent);
            TFormDueRecords due;
            QCOMPARE(due.Table()->rowCount(), 2);
            for (const QWidget *window :
                 std::initializer_list<const QWidget *> {&list, &edit, &due})
                for (const QWidget *control : window->findChildren<QWidget *>())
                    if (control->focusPolicy() != Qt::NoFocus
                        && !control->objectName().startsWith(u"qt_")
                        && control->parentWidget()->objectName() != QStringLiteral("pnlBottom"))
                        QVERIFY2(!control->objectName().isEmpty()
                                     && !control->accessibleName().isEmpty(),
                                 qPrintable(control->objectName()));
            due.Table()->item(0, 2)->setText(QStringLiteral("3100"));
            due.Table()->selectRow(0);
            due.PostClick();
            QCOMPARE(due.Table()->rowCount(), 1);
            QCOMPARE(ReadTotals(QStringLiteral("现金")).OutFare, Amount("3147.5"));
        }
        // The main window posts the automatic ones and shows those that ask.
        rent.Auto = true;
        Schedules::Add(rent);
        TFormMain form;
        form.CheckSchedules();
        QCOMPARE(ReadTotals(QStringLiteral("现金")).OutFare, Amount("9147.5"));
        QVERIFY(OpenWindow<TFormDueRecords>());
        QCOMPARE(OpenWindow<TFormDueRecords>()->Table()->rowCount(), 1);
        OpenWindow<TFormDueRecords>()->close();
    }

    // The current query's records go to CSV; the whole books to a journal.
    void ExportFromTheMainWindow()
    {
        TMenuBooks books;
        TRecordingPrompt prompt;
        TFormMain form;
        Child<QDateEdit>(&form, "DBBegin")->setDate(QDate::currentDate().addDays(-1));
        Child<QDateEdit>(&form, "DBOver")->setDate(QDate::currentDate());
        form.btnQueryClick();
        QCOMPARE(form.Records().rowCount(), 1);
        const QString csv = FDir.filePath(QStringLiteral("query.csv"));
        const QString journal = FDir.filePath(QStringLiteral("all.journal"));
        prompt.FileNames = {csv, journal};

        TModalDriver driver;
        driver.Then(Choose("rbQuery"));
        form.NExportClick();
        driver.Then(Choose("rbJournal"));
        form.NExportClick();
        QVERIFY(driver.Done());
        QVERIFY(driver.Unexpected.isEmpty());

        const QString text = QString::fromUtf8(ReadAll(csv));
        QCOMPARE(text.count(QStringLiteral("\r\n")), form.Records().rowCount() + 1);
        QVERIFY(text.contains(QStringLiteral("午饭")));
        QVERIFY(!text.contains(QStringLiteral("很久以前")));
        const QString book = QString::fromUtf8(ReadAll(journal));
        QVERIFY(book.contains(QStringLiteral("很久以前")));
        QVERIFY(book.contains(QStringLiteral("资产:现金  100 CNY")));
        QCOMPARE(prompt.Boxes.size(), 2);
        QVERIFY(prompt.Boxes[0].Text.startsWith(QStringLiteral("已导出 1 条记录")));
        QVERIFY(prompt.Boxes[1].Text.startsWith(QStringLiteral("已导出 2 条记录")));
    }
};

BOOKKEEP_TEST_MAIN(TestExportMenu)

#include "tst_ExportMenu.moc"
