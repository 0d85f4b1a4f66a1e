// The import window: files read in the background, rows shown and changed,
// a mapping asked for once, failures told and nothing imported then; bills
// of one month planned together, their sources and the plan's choices set.
#include "LedgerTestSupport.h"
#include "ModalDriver.h"
#include "MonthBills.h"
#include "WidgetTestSupport.h"

#include "controls/CardEdtBut.h"
#include "forms/ImportRules.h"
#include "forms/ImportStatement.h"
#include "forms/ViewType.h"
#include "shell/JobRunner.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

using namespace StatementImport;
using namespace Qt::StringLiterals;

namespace {

const QString kWallet = QStringLiteral("零钱");

class TWindowBooks : public TTestBooks
{
public:
    TWindowBooks()
    {
        InsertAccount(QStringLiteral("银行卡"), Amount("0"));
        InsertAccount(kWallet, Amount("50"));
        DbExec(QStringLiteral(
            "insert into InType(SelfIndex,ParentIndex,TypeName) values (1,0,'工资')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (1,0,'餐饮')@#@"
            "insert into OutType(SelfIndex,ParentIndex,TypeName) values (2,0,'商户消费')"));
    }
};

QString WriteText(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    const QString path = dir.filePath(name);
    WriteFile(path, bytes);
    return path;
}

// Opens a file in the window and waits until it has been read.
void Open(TFormImport &form, const QString &fileName)
{
    QSignalSpy loaded(&form, &TFormImport::FileLoaded);
    form.OpenFile(fileName);
    QVERIFY(loaded.wait(60000));
}

// Chooses the bills through the file button, sets the account of each and,
// when asked, sends each source to the account of its name.
void OpenMonth(TFormImport &form, TRecordingPrompt &prompt, const QStringList &order, bool sources)
{
    prompt.FileLists << QStringList();
    for (const QString &name : order)
        prompt.FileLists[0] << kMonth + name + u".csv"_s;
    Child<QPushButton>(&form, "btnFile")->click();
    RunQueuedCommands(&form);
    QTRY_VERIFY_WITH_TIMEOUT(!form.Loading(), 60000);
    const auto choose = [&form](const char *table, int row, const char *box, const QString &text) {
        Child<QTableWidget>(&form, table)->setCurrentCell(row, 0);
        Child<QComboBox>(&form, box)->setCurrentIndex(Child<QComboBox>(&form, box)->findText(text));
        RunQueuedCommands(&form);
    };
    // Each bill first goes to the one account named like its app or bank.
    for (int i = 0; i < order.size(); ++i)
        QCOMPARE(form.Bills()[i].Account, kMonthAccounts[kMonthBills.indexOf(order[i])]);
    for (int i = 0; i < order.size(); ++i)
        choose("twFiles", i, "cbAccount", kMonthAccounts[kMonthBills.indexOf(order[i])]);
    auto *names = Child<QTableWidget>(&form, "twSources");
    for (int i = 0; sources && i < names->rowCount(); ++i)
        choose("twSources", i, "cbSource", names->item(i, 0)->text());
}

} // namespace

class TestImportWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;

private Q_SLOTS:
    void ImportWithChanges()
    {
        TWindowBooks books;
        TRecordingPrompt prompt;
        const QString file = WriteText(
            FDir, QStringLiteral("w.csv"),
            QStringLiteral(
                "微信支付账单明细\n交易时间,交易类型,交易对方,商品,收/支,金额(元),支付方式,"
                "当前状态,交易单号,商户单号,备注\n"
                "2026-03-02 08:00:00,商户消费,店,早餐,支出,¥12.50,零钱,支付成功,W1,/,/\n"
                "2026-03-02 09:00:00,微信红包,友,/,支出,¥20.00,零钱,支付成功,W2,/,/\n"
                "2026-03-03 09:00:00,零钱充值,银行,/,/,¥100.00,银行卡,充值完成,W3,/,/\n"
                "2026-03-04 09:00:00,转账,友,/,收入,¥5.00,零钱,已收钱,W4,/,/\n"
                "2026-03-05 09:00:00,转账,友,/,收入,¥0.00,零钱,已收钱,W5,/,/\n")
                .toUtf8());
        TFormImport form;
        Child<QComboBox>(&form, "cbAccount")
            ->setCurrentIndex(Child<QComboBox>(&form, "cbAccount")->findText(kWallet));
        Open(form, file);
        QVERIFY(Child<QLabel>(&form, "lblSummary")->text().contains(QStringLiteral("微信支付")));
        QVERIFY(Child<QLabel>(&form, "lblSummary")->text().contains(QStringLiteral("导入 3")));
        // A screen reader reads the summary under the label's name.
        QCOMPARE(Child<QLabel>(&form, "lblSummary")->accessibleDescription(),
                 Child<QLabel>(&form, "lblSummary")->text());
        QAbstractItemModel *model = Child<QTableView>(&form, "tvRows")->model();
        QCOMPARE(model->rowCount(), 5);
        QCOMPARE(model->index(0, TImportRowsModel::ColCategory).data().toString(),
                 QStringLiteral("商户消费"));
        QVERIFY(model->index(2, TImportRowsModel::ColStatus)
                    .data()
                    .toString()
                    .startsWith(QStringLiteral("跳过")));

        // The red packet goes to 餐饮; the transfer in is left out.
        QVERIFY(model->setData(model->index(1, TImportRowsModel::ColCategory), 1, Qt::EditRole));
        QVERIFY(model->setData(model->index(3, TImportRowsModel::ColStatus), Qt::Unchecked,
                               Qt::CheckStateRole));
        // A row of no amount stays unticked with its reason.
        QVERIFY(!model->setData(model->index(4, TImportRowsModel::ColStatus), Qt::Checked,
                                Qt::CheckStateRole));
        QVERIFY(Child<QLabel>(&form, "lblSummary")->text().contains(QStringLiteral("导入 2")));
        QVERIFY(Child<QPushButton>(&form, "btnImport")->isEnabled());
        Child<QPushButton>(&form, "btnImport")->click();
        RunQueuedCommands(&form);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.Imported(), 2);
        QCOMPARE(prompt.Boxes.size(), 1);
        QCOMPARE(
            prompt.Boxes[0].Text,
            QStringLiteral("已导入 2 条记录（2026-03-02 至 2026-03-02）。\n其中：零钱 2 条。"));
        QCOMPARE(ReadTotals(kWallet), Totals("17.5", "0", "32.5"));
        QCOMPARE(DbQueryInt(QStringLiteral("select TypeID from BookKeep where Fare=20")), 1);

        // The same file again: only the row left out is new, and the account
        // is offered again.
        TFormImport again;
        Open(again, file);
        QCOMPARE(Child<QComboBox>(&again, "cbAccount")->currentText(), kWallet);
        QVERIFY(Child<QLabel>(&again, "lblSummary")->text().contains(QStringLiteral("导入 1")));
        QCOMPARE(again.Statement().Rows[0].Reason, QStringLiteral("以前已经导入过"));
        QCOMPARE(again.Statement().Rows[1].Reason, QStringLiteral("以前已经导入过"));
        QCOMPARE(again.Statement().Rows[3].Status, TRowStatus::New);
    }

    // Rules are added, changed, kept and deleted in their window, reached from
    // the import window; rows follow them then, but for those the user filed.
    void RulesWindow()
    {
        TWindowBooks books;
        TRecordingPrompt prompt;
        DbExec(u"insert into OutType(SelfIndex,ParentIndex,TypeName) values (3,1,'早餐')"_s);
        TFormImport form;
        Open(
            form,
            WriteText(FDir, u"r.csv"_s,
                      u"微信支付账单明细\n交易时间,交易类型,交易对方,商品,收/支,金额(元),"
                      "支付方式,当前状态,交易单号,商户单号,备注\n"
                      "2026-03-02 08:00:00,商户消费,包子店,早餐,支出,¥6.00,零钱,支付成功,R1,/,/\n"
                      "2026-03-02 12:00:00,商户消费,包子店,午餐,支出,¥9.00,零钱,支付成功,R2,/,/\n"_s
                          .toUtf8()));
        QAbstractItemModel *model = Child<QTableView>(&form, "tvRows")->model();
        QVERIFY(model->setData(model->index(1, TImportRowsModel::ColCategory), 1, Qt::EditRole));
        const auto first = [](TFormImportRules *rules) {
            QStringList cells;
            for (int column = 0; column < 5; ++column)
                cells << rules->List()->topLevelItem(0)->text(column);
            return cells.join(u'|');
        };
        const auto keyDelete = [](TFormImportRules *rules) {
            rules->activateWindow(); // the closed dialogs handed nothing back
            QVERIFY(QTest::qWaitForWindowActive(rules));
            rules->List()->setFocus();
            QTest::keyClick(rules->List(), Qt::Key_Delete);
            RunQueuedCommands(rules);
        };
        prompt.Answers = {false, true};
        TModalDriver driver;
        driver.Then<TFormImportRules>([&](TFormImportRules *rules) {
            Child<QPushButton>(rules, "btnNew")->click();
            RunQueuedCommands(rules);
            QCOMPARE(first(rules), u"交易对方|包子|支出|餐饮/早餐|零钱"_s);
            const QPoint at
                = rules->List()->visualItemRect(rules->List()->topLevelItem(0)).center();
            QTest::mouseClick(rules->List()->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(rules->List()->viewport(), Qt::LeftButton, {}, at);
            RunQueuedCommands(rules);
            QCOMPARE(first(rules), u"交易对方|包子|支出|餐饮/早餐|（按账单）"_s);
            keyDelete(rules); // answered No
            rules->reject();
        });
        driver.Then<TFormImportRule>([](TFormImportRule *dialog) {
            Child<QLineEdit>(dialog, "edtPattern")->setText(u"包子"_s);
            Child<TCardEdtBut>(dialog, "edtCategory")->Button()->click();
            RunQueuedCommands(dialog);
            Child<QComboBox>(dialog, "cbAccount")->setCurrentText(kWallet);
            ClickOK(dialog);
        });
        driver.Then<TFormViewType>([](TFormViewType *picker) {
            picker->TreeView()->setCurrentItem(
                picker->TreeView()->findItems(u"早餐"_s, Qt::MatchRecursive).value(0));
            ClickOK(picker);
        });
        driver.Then<TFormImportRule>([](TFormImportRule *dialog) {
            QCOMPARE(Child<QLineEdit>(dialog, "edtPattern")->text(), u"包子"_s);
            Child<QComboBox>(dialog, "cbAccount")->setCurrentIndex(0);
            ClickOK(dialog);
        });
        Child<QPushButton>(&form, "btnRules")->click();
        RunQueuedCommands(&form);
        QVERIFY(driver.Done());
        QCOMPARE(form.TypeIds().value(0), (QList<int> {3, 1}));

        TFormImportRules rules;
        rules.show();
        keyDelete(&rules);
        QCOMPARE(rules.List()->topLevelItemCount(), 0);
        QCOMPARE(prompt.Boxes.size(), 2);
        QCOMPARE(prompt.Boxes[1].Text, u"确定要删除规则“交易对方包含 包子”吗？"_s);
    }

    // A table of no known kind: its columns are asked for once.
    void MappingAskedOnce()
    {
        TWindowBooks books;
        TRecordingPrompt prompt;
        const QString file = WriteText(FDir, QStringLiteral("m.csv"),
                                       QByteArray("date,note,amount\n2026-01-02,tea,-3.50\n"
                                                  "2026-01-03,pay,+100\n"));
        TFormImport form;
        Open(form, file);
        QVERIFY(!Child<QGroupBox>(&form, "grpMapping")->isHidden());
        QVERIFY(!Child<QPushButton>(&form, "btnImport")->isEnabled());
        Child<QComboBox>(&form, "cbDate")->setCurrentText(QStringLiteral("date"));
        Child<QComboBox>(&form, "cbAmount")->setCurrentText(QStringLiteral("amount"));
        Child<QComboBox>(&form, "cbRemark")->setCurrentText(QStringLiteral("note"));
        QSignalSpy loaded(&form, &TFormImport::FileLoaded);
        Child<QPushButton>(&form, "btnMapping")->click();
        RunQueuedCommands(&form);
        QVERIFY(loaded.wait(60000));
        QVERIFY(Child<QGroupBox>(&form, "grpMapping")->isHidden());
        QCOMPARE(form.Statement().Count(TRowStatus::New), 2);
        QCOMPARE(form.Statement().Rows[0].Remark, QStringLiteral("tea"));

        TFormImport next;
        Open(next, file);
        QVERIFY(Child<QGroupBox>(&next, "grpMapping")->isHidden());
        QCOMPARE(next.Statement().Count(TRowStatus::New), 2);
        QVERIFY(prompt.Boxes.isEmpty());
    }

    // An import that fails says why, changes nothing and leaves the window open.
    void FailedImport()
    {
        TWindowBooks books;
        TRecordingPrompt prompt;
        const QString file = WriteText(
            FDir, QStringLiteral("f.csv"),
            QStringLiteral(
                "微信支付账单明细\n交易时间,交易类型,交易对方,商品,收/支,金额(元),支付方式,"
                "当前状态,交易单号,商户单号,备注\n"
                "2026-03-02 08:00:00,商户消费,店,早餐,支出,¥12.50,零钱,支付成功,F1,/,/\n")
                .toUtf8());
        TFormImport form;
        Open(form, file);
        DbExec(QStringLiteral("create trigger Boom BEFORE INSERT ON BookKeep "
                              "BEGIN SELECT RAISE(ABORT,'boom'); END"));
        Child<QPushButton>(&form, "btnImport")->click();
        RunQueuedCommands(&form);
        QCOMPARE(prompt.Boxes.size(), 1);
        QVERIFY(prompt.Boxes[0].Text.startsWith(QStringLiteral("导入失败，账目没有任何改变")));
        QVERIFY(prompt.Boxes[0].Text.contains(QStringLiteral("boom")));
        QCOMPARE(form.result(), 0);
        QVERIFY(Child<QPushButton>(&form, "btnImport")->isEnabled());
        QCOMPARE(RowCount(QStringLiteral("BookKeep")), 0);
        QCOMPARE(RowCount(QStringLiteral("ImportedRow")), 0);
        QCOMPARE(ReadTotals(QStringLiteral("银行卡")), Totals("0", "0", "0"));
        QCOMPARE(ReadTotals(kWallet), Totals("50", "0", "0"));
    }

    void LongImportShowsProgress_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("closed meanwhile") << false;
        QTest::newRow("cancelled") << true;
    }

    // A long import is written by a job whose dialog shows its progress;
    // closing the window meanwhile neither stops it nor loses it, and
    // cancelling it leaves the books as they were.
    void LongImportShowsProgress()
    {
        QFETCH(bool, cancel);
        TWindowBooks books;
        TRecordingPrompt prompt;
        constexpr int kRows = 3000;
        QByteArray text = QStringLiteral("微信支付账单明细\n交易时间,交易类型,交易对方,商品,收/支,"
                                         "金额(元),支付方式,当前状态,交易单号,商户单号,备注\n")
                              .toUtf8();
        for (int i = 0; i < kRows; ++i)
            text += QStringLiteral("2026-03-02 08:00:00,商户消费,店,早餐,支出,¥1.00,零钱,"
                                   "支付成功,L%1,/,/\n")
                        .arg(i)
                        .toUtf8();
        TFormImport form;
        Child<QComboBox>(&form, "cbAccount")
            ->setCurrentIndex(Child<QComboBox>(&form, "cbAccount")->findText(kWallet));
        form.show();
        Open(form, WriteText(FDir, QStringLiteral("long.csv"), text));
        QCOMPARE(form.Statement().Count(TRowStatus::New), kRows);

        // The worker waits before writing until the dialog has been acted on.
        QSemaphore gate;
        form.BeforeImport = [&gate] { return gate.tryAcquire(1, 60000); };
        double reported = -1;
        QObject context;
        connect(&TJobDialogs::Instance(), &TJobDialogs::Shown, &context,
                [&](QWidget *dialog, TJob *job) {
                    connect(job, &TJob::Progressed, &context,
                            [&reported](double fraction) { reported = fraction; });
                    QCloseEvent close;
                    QCoreApplication::sendEvent(&form, &close);
                    QVERIFY(form.isVisible());
                    if (cancel)
                        Child<QPushButton>(dialog, "btnJobCancel")->click();
                    gate.release();
                });
        const int delay = TJobDialogs::Instance().Delay();
        TJobDialogs::Instance().SetDelay(0);
        Child<QPushButton>(&form, "btnImport")->click();
        RunQueuedCommands(&form);
        TJobDialogs::Instance().SetDelay(delay);
        QCOMPARE(form.result(), cancel ? int(QDialog::Rejected) : int(QDialog::Accepted));
        QCOMPARE(prompt.Boxes.size(), cancel ? 0 : 1);
        QCOMPARE(RowCount(QStringLiteral("BookKeep")), cancel ? 0 : kRows);
        QCOMPARE(ReadTotals(kWallet),
                 cancel ? Totals("50", "0", "0") : Totals("-2950", "0", "3000"));
        QCOMPARE(reported, cancel ? 0.0 : 1.0);
        QVERIFY(Child<QProgressBar>(&form, "pbImport")->isHidden());
        QCOMPARE(Child<QPushButton>(&form, "btnImport")->isEnabled(), cancel);
    }

    // Books without an account: the window says where to make one first.
    void NoAccountSaysSo()
    {
        TTestBooks books;
        TRecordingPrompt prompt;
        TFormImport form;
        QVERIFY(Child<QLabel>(&form, "lblSummary")
                    ->text()
                    .contains(QStringLiteral("请先在“账户信息”中新建")));
        Open(form,
             WriteText(FDir, QStringLiteral("n.csv"),
                       QByteArray("交易日期,交易金额,摘要\n2026-01-02,-3.50,茶\n")));
        QVERIFY(Child<QLabel>(&form, "lblSummary")
                    ->text()
                    .contains(QStringLiteral("请先在“账户信息”中新建")));
        QVERIFY(!Child<QPushButton>(&form, "btnImport")->isEnabled());
    }

    void Month_data() { AddMonthOrders(); }

    // A month's four bills chosen at once, in any order, go into the books as
    // one import of the entries expected.csv lists.
    void Month()
    {
        QFETCH(QStringList, order);
        TMonthBooks books;
        TRecordingPrompt prompt;
        TFormImport form;
        OpenMonth(form, prompt, order, true);
        QCOMPARE(Child<QTableWidget>(&form, "twSources")->rowCount(), 4);
        QVERIFY(Child<QLabel>(&form, "lblSummary")
                    ->text()
                    .endsWith(u"共 49 行：导入 34，跳过 2，可能重复 0，无法识别 0，合并 13"_s));
        int backups = 0;
        form.BeforeImport = [&backups] { return ++backups > 0; };
        Child<QPushButton>(&form, "btnImport")->click();
        RunQueuedCommands(&form);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(backups, 1);
        QCOMPARE(prompt.Boxes.size(), 1);
        QVERIFY(
            prompt.Boxes[0].Text.startsWith(u"已导入 35 条记录（2026-05-01 至 2026-05-29）。"_s));
        QVERIFY(prompt.Boxes[0].Text.endsWith(
            u"转账 6 笔。\n另有 13 行与其他行是同一笔钱，已合并记账。"_s));

        QHash<QString, Currency> net;
        int transfers = 0;
        const QList<QStringList> lines = ExpectedMonth();
        for (const QStringList &cells : lines) {
            const Currency amount = Currency::Parse(cells[2]);
            transfers += cells[1] == u"转账";
            net[cells[3]] += cells[1] == u"收入" ? amount : -amount;
            net[cells[4]] += amount;
        }
        QCOMPARE(RowCount(u"BookKeep"_s), lines.size() - transfers);
        QCOMPARE(RowCount(u"Transfer"_s), transfers);
        for (const QString &account : kMonthAccounts + kMonthPockets)
            QCOMPARE(ReadTotals(account).Fare, net.value(account));
    }

    // The row menu books a merged pair apart, for that counterparty from then
    // on, and gives the pair back to the plan; Shift+F10 brings it up.
    void OverrideMenu()
    {
        TMonthBooks books;
        TRecordingPrompt prompt;
        TFormImport form;
        OpenMonth(form, prompt, {u"alipay"_s, u"cmb"_s}, true);
        const QList<TBill> &bills = form.Bills();
        const auto status = [&bills](int bill, int line) {
            for (const TStatementRow &row : bills[bill].Statement.Rows)
                if (row.Line == line)
                    return row.Status;
            return TRowStatus::Unreadable;
        };
        // The card's line of the electricity bill, merged with the app's row.
        auto *view = Child<QTableView>(&form, "tvRows");
        view->setCurrentIndex(view->model()->index(int(bills[0].Statement.Rows.size()), 0));
        QCOMPARE(status(1, 9), TRowStatus::Merged);
        auto *menu = Child<QMenu>(&form, "pmRows");
        const auto enabled = [menu] {
            Q_EMIT menu->aboutToShow();
            QString states;
            for (const char *name : {"NSeparate", "NPlain", "NAuto"})
                states += Child<QAction>(menu, name)->isEnabled() ? u'1' : u'0';
            return states;
        };
        QCOMPARE(enabled(), u"100"_s);
        Child<QAction>(menu, "NSeparate")->trigger();
        RunQueuedCommands(&form);
        QCOMPARE(status(0, 29), TRowStatus::New);
        QCOMPARE(status(1, 9), TRowStatus::New);
        QVERIFY(RememberedOverrides().contains(u"某某供电公司"_s));
        QCOMPARE(enabled(), u"001"_s);
        Child<QAction>(menu, "NAuto")->trigger();
        RunQueuedCommands(&form);
        QCOMPARE(status(1, 9), TRowStatus::Merged);
        QVERIFY(RememberedOverrides().isEmpty());

        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        view->setFocus();
        QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
    }

    // Money to a person the user keeps an account for is a transfer to it,
    // until the choice is taken back.
    void PersonIsOwnAccount()
    {
        TMonthBooks books;
        TRecordingPrompt prompt;
        TFormImport form;
        OpenMonth(form, prompt, {u"wechat"_s}, false);
        const auto gift = [&form] {
            for (const TStatementRow &row : form.Bills()[0].Statement.Rows)
                if (row.Line == 25)
                    return row.Status;
            return TRowStatus::Unreadable;
        };
        int index = 0;
        while (form.Bills()[0].Statement.Rows[index].Line != 25)
            ++index;
        auto *view = Child<QTableView>(&form, "tvRows");
        view->setCurrentIndex(view->model()->index(index, 0));
        auto *menu = Child<QMenu>(&form, "pmRows");
        Q_EMIT menu->aboutToShow();
        Child<QMenu>(menu, "pmOwnAccount")->actions().value(0)->trigger();
        RunQueuedCommands(&form);
        QCOMPARE(gift(), TRowStatus::Transfer);
        Q_EMIT menu->aboutToShow();
        Child<QAction>(menu, "NAuto")->trigger();
        // Its second command waits for the first one's planning.
        QTRY_COMPARE(gift(), TRowStatus::New);
    }

    // Rows of a source with no account are asked about once before the
    // import: No goes back; Yes books them to their bill's account and
    // remembers that.
    void UnmappedSourcesAsked()
    {
        TMonthBooks books;
        TRecordingPrompt prompt;
        TFormImport form;
        OpenMonth(form, prompt, {u"alipay"_s}, false);
        prompt.Answers << false << true;
        for (int click = 0; click < 2; ++click) {
            Child<QPushButton>(&form, "btnImport")->click();
            RunQueuedCommands(&form);
        }
        QCOMPARE(prompt.Boxes.size(), 3);
        QCOMPARE(prompt.Boxes[1].Text, prompt.Boxes[0].Text);
        QCOMPARE(prompt.Boxes[0].Text,
                 u"资金来源“招商银行储蓄卡(1234)”、“余额宝”还没有指定账户，它们的 9 条记录将记入"
                 "所在账单的账户。\n是否这样导入，并记住这个选择？"_s);
        QCOMPARE(form.Imported(), 14);
        QCOMPARE(RememberedPockets().value(u"余额宝"_s), kMonthAccounts[0]);
        QCOMPARE(RememberedPockets().value(u"招商银行储蓄卡(1234)"_s), kMonthAccounts[0]);
    }

    // A file that is no statement is told, and nothing can be imported.
    void BadFile()
    {
        TWindowBooks books;
        TRecordingPrompt prompt;
        TFormImport form;
        Open(form, WriteText(FDir, QStringLiteral("empty.csv"), QByteArray()));
        QCOMPARE(prompt.Boxes.size(), 1);
        QCOMPARE(prompt.Boxes[0].Text, QStringLiteral("文件是空的"));
        QVERIFY(!Child<QPushButton>(&form, "btnImport")->isEnabled());
        QCOMPARE(RowCount(QStringLiteral("BookKeep")), 0);
    }

    // An archive's password is asked for, again when wrong; cancelled, nothing changes.
    void PasswordAsked()
    {
        TWindowBooks books;
        TRecordingPrompt prompt;
        TFormImport form;
        form.show();
        QStringList asked;
        TModalDriver driver;
        for (const QString &password :
             {QStringLiteral("lin0530"), QStringLiteral("lin0531"), QString()})
            driver.Then<QInputDialog>([&asked, password](QInputDialog *dialog) {
                QCOMPARE(dialog->textEchoMode(), QLineEdit::Password);
                asked << dialog->labelText().section(u'。', 0, 0);
                dialog->setTextValue(password);
                password.isEmpty() ? dialog->reject() : dialog->accept();
            });
        const QString file = QStringLiteral(TEST_DATA "/zip/alipay-aes256.zip");
        Open(form, file);
        const QString shown = Child<QLabel>(&form, "lblSummary")->text();
        Open(form, WriteText(FDir, QStringLiteral("again.zip"), ReadAll(file)));
        QVERIFY(driver.Done() && prompt.Boxes.isEmpty() && form.isVisible());
        QCOMPARE(
            asked.join(u'|'),
            QStringLiteral("alipay-aes256.zip：压缩包设有密码|alipay-aes256.zip：解压密码不正确|"
                           "again.zip：压缩包设有密码"));
        QCOMPARE(Child<QLabel>(&form, "lblSummary")->text(), shown);
        QVERIFY(Child<QPushButton>(&form, "btnImport")->isEnabled());
    }
};

BOOKKEEP_TEST_MAIN(TestImportWindow)

#include "tst_ImportWindow.moc"
