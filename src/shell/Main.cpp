#include "Main.h"

#include "AppIcon.h"
#include "AutoRun.h"
#include "JobRunner.h"
#include "ListViews.h"
#include "OffsiteService.h"
#include "RestoreBooks.h"
#include "ui_Main.h"

#include "controls/EmptyHint.h"
#include "data/AutoBackup.h"
#include "data/Currency.h"
#include "data/DateFormats.h"
#include "data/DbAccess.h"
#include "data/ListModel.h"
#include "data/UException.h"
#include "data/UntPublic.h"
#include "forms/Account.h"
#include "forms/AddBookKeep.h"
#include "forms/Backups.h"
#include "forms/BaseDlg.h"
#include "forms/Budgets.h"
#include "forms/Config.h"
#include "forms/DueRecords.h"
#include "forms/ExportBooks.h"
#include "forms/FirstStart.h"
#include "forms/Help.h"
#include "forms/ImportRules.h"
#include "forms/ImportStatement.h"
#include "forms/ModBookKeep.h"
#include "forms/Note.h"
#include "forms/Offsite.h"
#include "forms/Pass.h"
#include "forms/ScheduleList.h"
#include "forms/Transfer.h"
#include "ledger/EncryptDecrypt.h"
#include "ledger/Schedules.h"
#include "ledger/UntBookKeep.h"
#include "ledger/UntConfig.h"
#include "ledger/UntTree.h"
#include "reports/Report.h"

#include <QCloseEvent>
#include <QCursor>
#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QScreen>
#include <QSessionManager>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

// Both date pickers carry this time of day. The filter runs from the day
// before the start date at this time to the end date at this time, which
// takes in every stored (midnight) date from the start day to the end day.
const QTime kPickerTime(9, 15, 24);

const QString kExitQuestion = QStringLiteral("确定要退出记账软件吗?");
const QString kRestoreQuestion
    = QStringLiteral("你确定要恢复数据吗？你做的操作可能会覆盖最新的数据！");
const QString kBackupFilter = QStringLiteral("数据文件 (*.bat)");

void ClearSelection(QTreeWidget *view)
{
    view->clearSelection();
    view->setCurrentItem(nullptr);
}

} // namespace

TFormMain::TFormMain(QWidget *parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::TFormMain>())
{
    ui->setupUi(this);
    CreateViews();
    CreateMenus();
    CreateTray();
    ConnectCommands();
    CreateShortcuts();
    CreateServices();
}

void TFormMain::CreateViews()
{
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    const QString longDate = LongDateFormat();
    for (QDateEdit *picker : {ui->DBBegin, ui->DBOver}) {
        picker->setDisplayFormat(longDate);
        picker->setTime(kPickerTime);
    }
    ui->spl1->setSizes({209, 815});
    ui->spl1->setStretchFactor(1, 1);

    FRecords = std::make_unique<TRecordListModel>(
        QStringList {QStringLiteral("ID"), QStringLiteral("收入/支出"), QStringLiteral("类别"),
                     QStringLiteral("金额"), QStringLiteral("对应账户"), QStringLiteral("备注"),
                     QStringLiteral("时间")});
    ui->lv1->setModel(FRecords.get());
    ui->lv1->header()->setMinimumSectionSize(1);
    const int widths[] = {1, 80, 150, 80, 120, 220, 120};
    for (int column = 0; column < 7; ++column)
        ui->lv1->setColumnWidth(column, widths[column]);
    ui->lv1->header()->setStretchLastSection(false);
    ui->lv1->header()->setSectionResizeMode(ColRemark, QHeaderView::Stretch);
    // The ID is kept for the commands but never shown or read out.
    ui->lv1->setColumnHidden(ColID, true);
    ui->lv1->setItemDelegate(new TRowDelegate(ui->lv1));

    FInTree = std::make_unique<TCardTree>(ui->tv1, QStringLiteral("InType"),
                                          QStringLiteral("收入类别"));
    FOutTree = std::make_unique<TCardTree>(ui->tv2, QStringLiteral("OutType"),
                                           QStringLiteral("支出类别"));
    ui->tv1->setItemDelegate(
        new TLabelDelegate(ui->tv1, [this](const QString &text) { TypeEdited(*FInTree, text); }));
    ui->tv2->setItemDelegate(
        new TLabelDelegate(ui->tv2, [this](const QString &text) { TypeEdited(*FOutTree, text); }));

    // What a screen reader says of the lists and the totals.
    ui->tv1->setAccessibleName(QStringLiteral("收入类别"));
    ui->tv2->setAccessibleName(QStringLiteral("支出类别"));
    ui->lv1->setAccessibleName(QStringLiteral("记账记录"));
    for (QAbstractItemView *view : QList<QAbstractItemView *> {ui->tv1, ui->tv2, ui->lv1})
        view->setAccessibleDescription(view->toolTip());
    TEmptyHint::Install(ui->lv1, QStringLiteral("点右键新建记账"));
    for (QTreeWidget *tree : {ui->tv1, ui->tv2})
        TEmptyHint::Install(tree, QStringLiteral("点右键新建类别"), true);
    NameTotals();
}

void TFormMain::CreateMenus()
{
    // Popup menus of the two trees and the record list.
    auto *pmInType = new QMenu(this);
    pmInType->setObjectName(QStringLiteral("pmInType"));
    pmInType->addActions({ui->NAddIEType, ui->NModIeType, ui->NDelIEType});
    pmInType->addSeparator();
    pmInType->addAction(ui->N12);
    auto *pmOutType = new QMenu(this);
    pmOutType->setObjectName(QStringLiteral("pmOutType"));
    pmOutType->addActions({ui->MenuItem4, ui->MenuItem5, ui->MenuItem6});
    pmOutType->addSeparator();
    pmOutType->addAction(ui->N14);
    auto *pm1 = new QMenu(this);
    pm1->setObjectName(QStringLiteral("pm1"));
    pm1->addActions({ui->N1, ui->N2, ui->N3});
    pm1->addSeparator();
    pm1->addAction(ui->N5);
    // Undo and redo follow the specified items; the window's shortcuts run them.
    pm1->addSeparator();
    FUndoAction = pm1->addAction(QStringLiteral("撤销"));
    FUndoAction->setObjectName(QStringLiteral("NUndo"));
    FRedoAction = pm1->addAction(QStringLiteral("重做"));
    FRedoAction->setObjectName(QStringLiteral("NRedo"));
    for (QAction *action : {FUndoAction, FRedoAction}) {
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcutVisibleInContextMenu(true);
        action->setEnabled(false);
    }
    FUndoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    FRedoAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Y));
    connect(pm1, &QMenu::aboutToShow, this, &TFormMain::UpdateUndoItems);
    FSystemMenu = new QMenu(this);
    FSystemMenu->setObjectName(QStringLiteral("pmSystem"));
    FSystemMenu->addActions({ui->N10, ui->N15});
    FSystemMenu->addSeparator();
    FSystemMenu->addActions({ui->Ndfdf1, ui->MenuItem3});
    FAutoRestoreAction = new QAction(QStringLiteral("从自动备份恢复"), this);
    FAutoRestoreAction->setObjectName(QStringLiteral("NAutoRestore"));
    FSystemMenu->addAction(FAutoRestoreAction);
    FOffsiteAction = FSystemMenu->addAction(QStringLiteral("异地备份…"));
    FOffsiteAction->setObjectName(QStringLiteral("NOffsite"));
    FImportAction = FSystemMenu->addAction(QStringLiteral("导入账单…"));
    FImportAction->setObjectName(QStringLiteral("NImport"));
    FImportRulesAction = FSystemMenu->addAction(QStringLiteral("分类规则…"));
    FImportRulesAction->setObjectName(QStringLiteral("NImportRules"));
    FSchedulesAction = FSystemMenu->addAction(QStringLiteral("周期记账…"));
    FSchedulesAction->setObjectName(QStringLiteral("NSchedules"));
    QAction *budgets = FSystemMenu->addAction(QStringLiteral("预算…"));
    budgets->setObjectName(QStringLiteral("NBudgets"));
    connect(
        budgets, &QAction::triggered, this, [this] { ShowBudgets(this); }, Qt::QueuedConnection);
    FExportAction = FSystemMenu->addAction(QStringLiteral("导出…"));
    FExportAction->setObjectName(QStringLiteral("NExport"));
    FSystemMenu->addSeparator();
    FSystemMenu->addAction(ui->NOpenWWW1);
    // The help window after the homepage; F1 opens it anywhere in the window.
    FHelpAction = FSystemMenu->addAction(QStringLiteral("使用帮助"));
    FHelpAction->setObjectName(QStringLiteral("NHelp"));
    FHelpAction->setShortcut(QKeySequence(Qt::Key_F1));
    FHelpAction->setShortcutVisibleInContextMenu(true);
    addAction(FHelpAction);
    FTrayMenu = new QMenu(this);
    FTrayMenu->setObjectName(QStringLiteral("PopupMenu"));
    FTrayMenu->addActions({ui->N4, ui->N16});
    FTrayMenu->addSeparator();
    FTrayMenu->addAction(ui->N8);
    FTrayMenu->addSeparator();
    FTrayMenu->addActions({ui->NShowForm, ui->NClose});
    // The report window: after the account window in the settings menu, after
    // the new record in the tray menu.
    FReportAction = new QAction(QStringLiteral("统计报表"), this);
    FReportAction->setObjectName(QStringLiteral("NReport"));
    FSystemMenu->insertAction(ui->N15, FReportAction);
    FTrayMenu->insertAction(ui->N16, FReportAction);
    // A transfer between accounts: after the items of the record list's menu,
    // and beside the other entries in the tray menu.
    FTransferAction = new QAction(QStringLiteral("转账…"), this);
    FTransferAction->setObjectName(QStringLiteral("NTransfer"));
    pm1->addSeparator();
    pm1->addAction(FTransferAction);
    FTrayMenu->insertAction(ui->N16, FTransferAction);
    FTrayMenu->insertAction(ui->N16, FSchedulesAction);

    // A view reports the position in the coordinates of its viewport.
    const auto popup = [](QMenu *menu, QAbstractScrollArea *view) {
        connect(view, &QWidget::customContextMenuRequested, menu,
                [menu, view](const QPoint &at) { menu->popup(view->viewport()->mapToGlobal(at)); });
    };
    popup(pmInType, ui->tv1);
    popup(pmOutType, ui->tv2);
    popup(pm1, ui->lv1);
}

void TFormMain::CreateTray()
{
    setWindowIcon(AppIcon());
    FTrayIcon = new QSystemTrayIcon(windowIcon(), this);
    FTrayIcon->setToolTip(QStringLiteral("记账软件"));
    FTrayIcon->setContextMenu(FTrayMenu);
    connect(FTrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    NShowFormClick();
            });
    FTrayIcon->show();
}

void TFormMain::ConnectCommands()
{
    // Commands run as events of their own (queued), so that a failure, which
    // ends the command, unwinds only through our code and Qt's core, never
    // through the internals of the menu or view that started it.
    const auto command = [this](auto *sender, auto signal, auto slot) {
        connect(sender, signal, this, slot, Qt::QueuedConnection);
    };
    command(ui->btnQuery, &QPushButton::clicked, &TFormMain::btnQueryClick);
    command(ui->edtTitle, &QLineEdit::returnPressed, &TFormMain::btnQueryClick);
    command(ui->NAddIEType, &QAction::triggered, &TFormMain::NAddIETypeClick);
    command(ui->NModIeType, &QAction::triggered, &TFormMain::NModIeTypeClick);
    command(ui->NDelIEType, &QAction::triggered, &TFormMain::NDelIETypeClick);
    command(ui->N12, &QAction::triggered, &TFormMain::N12Click);
    command(ui->MenuItem4, &QAction::triggered, &TFormMain::MenuItem4Click);
    command(ui->MenuItem5, &QAction::triggered, &TFormMain::MenuItem5Click);
    command(ui->MenuItem6, &QAction::triggered, &TFormMain::MenuItem6Click);
    command(ui->N14, &QAction::triggered, &TFormMain::N14Click);
    command(ui->N1, &QAction::triggered, &TFormMain::N1Click);
    command(ui->N2, &QAction::triggered, &TFormMain::N2Click);
    command(ui->lv1, &QAbstractItemView::doubleClicked, &TFormMain::N2Click);
    command(ui->N4, &QAction::triggered, &TFormMain::N4Click);
    command(ui->N3, &QAction::triggered, &TFormMain::N3Click);
    command(ui->N5, &QAction::triggered, &TFormMain::N5Click);
    command(ui->btnSystem, &QPushButton::clicked, &TFormMain::btnSystemClick);
    command(ui->N10, &QAction::triggered, &TFormMain::N10Click);
    command(FReportAction, &QAction::triggered, &TFormMain::NReportClick);
    command(ui->N15, &QAction::triggered, &TFormMain::N15Click);
    command(ui->Ndfdf1, &QAction::triggered, &TFormMain::Ndfdf1Click);
    command(ui->MenuItem3, &QAction::triggered, &TFormMain::MenuItem3Click);
    command(FAutoRestoreAction, &QAction::triggered, &TFormMain::NAutoRestoreClick);
    command(FOffsiteAction, &QAction::triggered, &TFormMain::NOffsiteClick);
    command(FImportAction, &QAction::triggered, &TFormMain::NImportClick);
    command(FImportRulesAction, &QAction::triggered, &TFormMain::NImportRulesClick);
    command(FExportAction, &QAction::triggered, &TFormMain::NExportClick);
    command(ui->NOpenWWW1, &QAction::triggered, &TFormMain::NOpenWWW1Click);
    command(FHelpAction, &QAction::triggered, &TFormMain::NHelpClick);
    command(ui->N8, &QAction::triggered, &TFormMain::N8Click);
    command(ui->btn1, &QPushButton::clicked, &TFormMain::btn1Click);
    command(ui->N16, &QAction::triggered, &TFormMain::btn1Click);
    command(ui->NShowForm, &QAction::triggered, &TFormMain::NShowFormClick);
    command(ui->NClose, &QAction::triggered, &TFormMain::NCloseClick);
    command(ui->chk1, &QCheckBox::toggled, &TFormMain::chk1Click);
    command(FUndoAction, &QAction::triggered, &TFormMain::NUndoClick);
    command(FRedoAction, &QAction::triggered, &TFormMain::NRedoClick);
    command(FTransferAction, &QAction::triggered, &TFormMain::NTransferClick);
    command(FSchedulesAction, &QAction::triggered, &TFormMain::NSchedulesClick);

    // A right click opens a menu without moving the selection; a left click
    // anywhere in a tree runs the query; Enter in a date picker does too.
    const QList<QWidget *> watched {ui->tv1->viewport(), ui->tv2->viewport(), ui->lv1->viewport(),
                                    ui->DBBegin, ui->DBOver};
    for (QWidget *widget : watched)
        widget->installEventFilter(this);
}

void TFormMain::CreateShortcuts()
{
    // Escape anywhere in the window runs the settings button.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, ui->btnSystem, &QPushButton::click);
    // Undo and redo of the books; an edit box with focus keeps these keys
    // for its own text.
    const std::pair<QKeySequence, void (TFormMain::*)()> historyKeys[]
        = {{QKeySequence(Qt::CTRL | Qt::Key_Z), &TFormMain::NUndoClick},
           {QKeySequence(Qt::CTRL | Qt::Key_Y), &TFormMain::NRedoClick},
           {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &TFormMain::NRedoClick}};
    for (const auto &[keys, slot] : historyKeys)
        connect(new QShortcut(keys, this), &QShortcut::activated, this, slot, Qt::QueuedConnection);
}

void TFormMain::CreateServices()
{
    // The box shows whether the entry exists; only the user's change writes.
    {
        const QSignalBlocker blocker(ui->chk1);
        ui->chk1->setChecked(AutoRunExists(QCoreApplication::applicationName()));
    }
    connect(qApp, &QGuiApplication::commitDataRequest, this, &TFormMain::CommitData,
            Qt::DirectConnection);

    FAutoBackup = std::make_unique<TAutoBackup>();
    connect(FAutoBackup.get(), &TAutoBackup::Failed, this, &TFormMain::BackupFailed);

    // The date is compared every minute, so a day that begins while the
    // program runs, or while the computer sleeps, is noticed soon after.
    FScheduleTimer = new QTimer(this);
    FScheduleTimer->setInterval(60 * 1000);
    connect(FScheduleTimer, &QTimer::timeout, this, [this] {
        // Work that holds the books is left alone; the next minute looks again.
        if (QDate::currentDate() != FScheduleDay && !TJob::Current())
            CheckSchedules();
    });
    // The off-site copies report in the status area, after the totals.
    auto *offsiteStatus = new QLabel(ui->statPanel7->parentWidget());
    offsiteStatus->setObjectName(QStringLiteral("lblOffsite"));
    offsiteStatus->setAccessibleName(QStringLiteral("异地备份状态"));
    ui->statPanel7->parentWidget()->layout()->addWidget(offsiteStatus);
    FOffsite = std::make_unique<TOffsiteService>(*FAutoBackup, offsiteStatus);
    connect(FOffsite.get(), &TOffsiteService::Failed, this, [this](const QString &reason) {
        ShowWarning(QStringLiteral("异地备份失败！") + reason);
    });
}

TFormMain::~TFormMain() = default;

void TFormMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    FormShow();
}

void TFormMain::FormShow()
{
    if (!LoginCheck()) {
        RequestTermination();
        return;
    }
    const QDate today = QDate::currentDate();
    ui->DBBegin->setDate(QDate(today.year(), today.month(), 1));
    ui->DBOver->setDate(today);
    FInTree->LoadTypes();
    FOutTree->LoadTypes();
    // The copy of the day is made on a worker thread while the user goes on,
    // and only of books whose pages have passed the check.
    FAutoBackup->Configure(GConfig->FAutoBackup, GConfig->FBackupDays);
    GDbAccess->AfterPageCheck(this, [this] {
        if (!FExitConfirmed)
            FAutoBackup->AtStart();
    });
    FOffsite->AtStart(AutoBackup::Folder(AppPath));
    btnQueryClick();
}

void TFormMain::RequestTermination()
{
    hide();
    Q_EMIT TerminateRequested();
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    // A failure while asking leaves the window open.
    event->ignore();
    // Work under way ends first; the window closes once it has. The user
    // chooses between waiting and, where that is safe, stopping it; a session
    // that ends stops what may be stopped without asking.
    if (TJob *job = TJob::Current()) {
        bool stop = FExitConfirmed;
        if (!FExitConfirmed && !job->CanCancel())
            ShowInfo(QStringLiteral("有一项操作正在进行（%1），不能中途停止。它完成后程序即退出。")
                         .arg(job->Name()));
        else if (!FExitConfirmed)
            stop = ShowConfirm(QStringLiteral("有一项操作正在进行（%1）。要停止它并退出吗？\n"
                                              "选“否”则等它完成后退出。")
                                   .arg(job->Name()));
        FExitConfirmed = true;
        // The job may have ended while the question was open.
        if ((job = TJob::Current())) {
            if (stop)
                job->Cancel();
            connect(job, &TJob::Finished, this, &QWidget::close,
                    Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection
                                       | Qt::SingleShotConnection));
            return;
        }
    }
    if (!ConfirmExit())
        return;
    event->accept();
    if (FTrayIcon)
        FTrayIcon->hide();
    // The window goes at once; the copy of large books takes seconds.
    hide();
    FOffsite->BeforeExitCopy();
    FAutoBackup->AtExit();
    FOffsite->AtExit();
    Q_EMIT ExitConfirmed();
}

bool TFormMain::ConfirmExit()
{
    if (FExitConfirmed)
        return true;
    // The note is kept whatever the answer; the question shows above it.
    SaveOpenNote();
    FExitConfirmed = ShowConfirm(kExitQuestion);
    return FExitConfirmed;
}

void TFormMain::CommitData(QSessionManager &manager)
{
    // Called from the session manager's callback: no failure may leave here.
    try {
        if (!manager.allowsInteraction()) {
            SaveOpenNote();
            return;
        }
        const bool exit = ConfirmExit();
        manager.release();
        if (!exit)
            manager.cancel();
    } catch (const EAbort &) {
    } catch (const std::exception &failure) {
        if (GCardException)
            GCardException->ReportException(failure);
    }
}

void TFormMain::EndSession()
{
    try {
        SaveOpenNote();
    } catch (const std::exception &failure) {
        if (GCardException)
            GCardException->ReportException(failure);
    }
    FExitConfirmed = true;
    close();
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    const auto type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick
        || type == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<const QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton)
            return true;
        if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
            if (watched == ui->tv1->viewport())
                QMetaObject::invokeMethod(this, &TFormMain::tv1Click, Qt::QueuedConnection);
            else if (watched == ui->tv2->viewport())
                QMetaObject::invokeMethod(this, &TFormMain::tv2Click, Qt::QueuedConnection);
        }
    } else if (type == QEvent::KeyPress && (watched == ui->DBBegin || watched == ui->DBOver)) {
        const int key = static_cast<const QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            QMetaObject::invokeMethod(this, &TFormMain::btnQueryClick, Qt::QueuedConnection);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // Minimised, the window leaves the taskbar and lives on in the tray; with
    // no tray to bring it back from, it stays where it is.
    if (event->type() == QEvent::WindowStateChange && isMinimized()
        && QSystemTrayIcon::isSystemTrayAvailable())
        QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
}

RecordFilter TFormMain::QueryFilter() const
{
    RecordFilter filter;
    filter.Begin = ui->DBBegin->date();
    filter.End = ui->DBOver->date();
    filter.DayTime = kPickerTime;
    if (FInTree->Selected())
        filter.IncomeType = FInTree->GetSelIndex();
    if (FOutTree->Selected())
        filter.ExpenseType = FOutTree->GetSelIndex();
    filter.Remark = ui->edtTitle->text();
    return filter;
}

void TFormMain::btnQueryClick()
{
    GBookKeep->ListRecords(*FRecords, QueryFilter().Where());
    CalcTotals();
}

void TFormMain::CalcTotals()
{
    const TRecordTotals totals = SumListedRecords(*FRecords);
    ui->statPanel1->setText(QString::number(totals.Count));
    ui->statPanel3->setText(totals.Income.ToString());
    ui->statPanel5->setText(totals.Expense.ToString());
    ui->statPanel7->setText((totals.Income - totals.Expense).ToString());
    NameTotals();
}

void TFormMain::NameTotals()
{
    // A screen reader reads each total as its caption and its value.
    const std::pair<QLabel *, QLabel *> panels[] = {{ui->statPanel0, ui->statPanel1},
                                                    {ui->statPanel2, ui->statPanel3},
                                                    {ui->statPanel4, ui->statPanel5},
                                                    {ui->statPanel6, ui->statPanel7}};
    for (const auto &[caption, value] : panels)
        value->setAccessibleName(caption->text() + value->text());
}

void TFormMain::N1Click()
{
    // Records saved with "保存并继续新建" are listed too, also when the dialog
    // is finally cancelled, so none looks lost and is entered twice.
    int saved = 0;
    const bool listed = ShowAddBookkeep(&saved) == mrOk || saved > 0;
    RefreshTrees();
    if (listed)
        btnQueryClick();
}

void TFormMain::N2Click()
{
    const QModelIndexList rows = ui->lv1->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    const bool changed = ShowModBookKeep(FRecords->Cell(rows.first().row(), ColID)) == mrOk;
    RefreshTrees();
    if (changed)
        btnQueryClick();
}

void TFormMain::RefreshTrees()
{
    FInTree->Refresh();
    FOutTree->Refresh();
}

void TFormMain::N4Click()
{
    N1Click();
}

void TFormMain::N3Click()
{
    const QModelIndexList rows = ui->lv1->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    if (!ShowConfirm(QStringLiteral("你确定要删除所选记录吗?")))
        return;
    const int row = rows.first().row();
    if (!GBookKeep->DeleteRecord(FRecords->Cell(row, ColID))) {
        // Gone meanwhile (an undo, a restore): the list shows the books as they are.
        btnQueryClick();
        throw Exception(kRecordGone);
    }
    FRecords->RemoveRow(row);
    CalcTotals();
    ShowInfo(QStringLiteral("删除成功！"));
}

void TFormMain::N5Click()
{
    ClearSelection(ui->tv1);
    ClearSelection(ui->tv2);
    btnQueryClick();
}

void TFormMain::TreeClick(QTreeWidget *other)
{
    ClearSelection(other);
    btnQueryClick();
}

void TFormMain::tv1Click()
{
    TreeClick(ui->tv2);
}

void TFormMain::tv2Click()
{
    TreeClick(ui->tv1);
}

void TFormMain::NAddIETypeClick()
{
    if (FInTree->NewType())
        btnQueryClick();
}

void TFormMain::MenuItem4Click()
{
    if (FOutTree->NewType())
        btnQueryClick();
}

void TFormMain::EditType(const TCardTree &tree)
{
    QTreeWidgetItem *node = tree.Selected();
    if (!node || node == tree.RootNode())
        return;
    QTreeWidget *view = node->treeWidget();
    // Labels are editable only while this command runs.
    node->setFlags(node->flags() | Qt::ItemIsEditable);
    auto *delegate = view->itemDelegate();
    connect(
        delegate, &QAbstractItemDelegate::closeEditor, this,
        [node] { node->setFlags(node->flags() & ~Qt::ItemIsEditable); }, Qt::SingleShotConnection);
    view->editItem(node, 0);
}

void TFormMain::TypeEdited(TCardTree &tree, const QString &newText)
{
    // A nameless category could be neither chosen nor told apart; the node
    // keeps its old text.
    if (IsBlankName(newText)) {
        ShowInfo(QStringLiteral("名称不能为空!"));
        return;
    }
    tree.ModType(newText);
    btnQueryClick();
}

void TFormMain::NModIeTypeClick()
{
    EditType(*FInTree);
}

void TFormMain::MenuItem5Click()
{
    EditType(*FOutTree);
}

void TFormMain::DeleteType(TCardTree &tree)
{
    if (!tree.Selected())
        return;
    tree.DelType();
    btnQueryClick();
}

void TFormMain::NDelIETypeClick()
{
    DeleteType(*FInTree);
}

void TFormMain::MenuItem6Click()
{
    DeleteType(*FOutTree);
}

void TFormMain::N12Click()
{
    FInTree->LoadTypes();
}

void TFormMain::N14Click()
{
    FOutTree->LoadTypes();
}

void TFormMain::btnSystemClick()
{
    FSystemMenu->popup(QCursor::pos());
}

void TFormMain::N10Click()
{
    ShowAccounts();
}

void TFormMain::NReportClick()
{
    ShowReport(this);
}

void TFormMain::N15Click()
{
    ShowConfig();
    FAutoBackup->Configure(GConfig->FAutoBackup, GConfig->FBackupDays);
}

void TFormMain::Ndfdf1Click()
{
    const QString fileName = Prompt().FileDialog(TFileDialogKind::Save, kBackupFilter);
    if (fileName.isEmpty())
        return;
    // A copy of large books takes seconds; stopping it leaves no file.
    RunJob(
        QStringLiteral("正在备份数据…"),
        [&fileName](TJob &job) {
            GDbAccess->BackupTo(fileName + QStringLiteral(".bat"), Hooks(job));
        },
        {}, TJobBooks::Used);
}

void TFormMain::MenuItem3Click()
{
    if (!ShowConfirm(kRestoreQuestion))
        return;
    const QString fileName = Prompt().FileDialog(TFileDialogKind::Open, kBackupFilter);
    if (fileName.isEmpty())
        return;
    RestoreFile(fileName);
}

void TFormMain::NAutoRestoreClick()
{
    const QString fileName = ShowBackups(AutoBackup::Folder(AppPath));
    if (fileName.isEmpty())
        return;
    if (!ShowConfirm(kRestoreQuestion))
        return;
    RestoreFile(fileName);
}

void TFormMain::NOffsiteClick()
{
    ShowOffsite(
        [this](const QString &file) { return ShowConfirm(kRestoreQuestion) && RestoreFile(file); });
}

bool TFormMain::RestoreFile(const QString &fileName)
{
    // The copy and its checks touch nothing of the books and may be stopped;
    // the copies before the copy in, and the copy in, may not.
    std::unique_ptr<TRestoreCopy> copy;
    const bool checked = RunJob(QStringLiteral("正在检查备份…"), [&copy, &fileName](TJob &job) {
        copy = std::make_unique<TRestoreCopy>(fileName, Hooks(job));
    });
    if (!checked)
        return false;
    // The copy made at start is finished here, not on the worker.
    FAutoBackup->Wait();
    RunJob(
        QStringLiteral("正在恢复数据…"),
        [&copy, this](TJob &job) { RestoreBooks(*copy, *FAutoBackup, Hooks(job)); },
        QStringLiteral("数据文件正在被替换，中途停止会使数据不完整。"), TJobBooks::Used);
    CheckSchedules();
    return true;
}

void TFormMain::UpdateUndoItems()
{
    // A menu item shows & as a mnemonic mark unless it is doubled.
    const auto name = [](const QString &command, const QString &step) {
        return step.isEmpty() ? command
                              : command + u' ' + QString(step).replace(u'&', QStringLiteral("&&"));
    };
    QString undo;
    QString redo;
    try {
        undo = GDbAccess->UndoName();
        redo = GDbAccess->RedoName();
    } catch (const Exception &) {
        // Books that cannot be read have nothing to take back; the next
        // command reports why.
    }
    FUndoAction->setText(name(QStringLiteral("撤销"), undo));
    FUndoAction->setEnabled(!undo.isEmpty());
    FRedoAction->setText(name(QStringLiteral("重做"), redo));
    FRedoAction->setEnabled(!redo.isEmpty());
}

void TFormMain::NUndoClick()
{
    ReplayStep(false);
}

void TFormMain::NRedoClick()
{
    ReplayStep(true);
}

void TFormMain::NTransferClick()
{
    // Transfers are neither income nor expense: the list and its totals stay.
    ShowTransfer();
}

void TFormMain::OfferFirstStart()
{
    // Not after a refused login, nor once the window has gone.
    if (!isVisible() || !TFormFirstStart::BooksEmpty())
        return;
    TFormFirstStart form(this);
    KeepAboveStayOnTop(&form);
    if (form.exec() != QDialog::Accepted) {
        if (form.OffsiteChosen())
            NOffsiteClick();
        return;
    }
    ShowChangedBooks();
    if (form.ImportChosen())
        NImportClick();
}

void TFormMain::ReplayStep(bool redo)
{
    if ((redo ? GDbAccess->RedoName() : GDbAccess->UndoName()).isEmpty())
        return;
    // A step may be a whole import of many records: it is replayed on a
    // worker while the window waits, in one transaction that cannot be cut
    // short. A failure is raised here as if the replay had run on this thread.
    RunJob(
        redo ? QStringLiteral("正在重做…") : QStringLiteral("正在撤销…"),
        [redo](TJob &job) {
            // The replay does not tell how far it got: the bar just moves.
            job.Report(-1);
            if (redo)
                GDbAccess->Redo();
            else
                GDbAccess->Undo();
        },
        redo ? QStringLiteral("一步操作要整个重做，不能只重做一部分。")
             : QStringLiteral("一步操作要整个撤销，不能只撤销一部分。"),
        TJobBooks::Used);
    ShowChangedBooks();
}

void TFormMain::ShowChangedBooks()
{
    // A category the step took back or restored shows in its tree; the
    // query then runs without a category chosen.
    FInTree->LoadTypes();
    FOutTree->LoadTypes();
    btnQueryClick();
    UpdateUndoItems();
}

void TFormMain::BackupFailed(const QString &reason)
{
    ShowWarning(QStringLiteral("自动备份失败！") + reason);
}

void TFormMain::ShowWarning(const QString &text)
{
    if (FTrayIcon && FTrayIcon->isVisible() && QSystemTrayIcon::isSystemTrayAvailable()
        && QSystemTrayIcon::supportsMessages())
        FTrayIcon->showMessage(QStringLiteral("记账软件"), text, QSystemTrayIcon::Warning);
    else
        ShowError(text);
}

bool TFormMain::TrayMessage(const QString &text)
{
    if (!FTrayIcon || !FTrayIcon->isVisible() || !QSystemTrayIcon::isSystemTrayAvailable()
        || !QSystemTrayIcon::supportsMessages())
        return false;
    FTrayIcon->showMessage(QStringLiteral("记账软件"), text, QSystemTrayIcon::Information);
    return true;
}

void TFormMain::NSchedulesClick()
{
    ShowSchedules(this);
    // The category picker may have added categories; the due window may
    // have posted records.
    RefreshTrees();
    btnQueryClick();
}

void TFormMain::CheckSchedules()
{
    FScheduleDay = QDate::currentDate();
    FScheduleTimer->start();
    const TScheduleCheck check = Schedules::Check(FScheduleDay);
    if (check.ClockBack && !FClockBackTold) {
        FClockBackTold = true;
        const QString text = QStringLiteral("系统日期早于上次查看周期记账的日期，请检查电脑的日期。"
                                            "已经记过的周期记账不会重复记账。");
        if (!TrayMessage(text))
            ShowInfo(text);
    }
    // One balloon tells both; where there is no tray, the due window itself tells.
    QStringList news;
    if (check.Posted > 0) {
        btnQueryClick();
        news << QStringLiteral("已自动记账 %1 笔").arg(check.Posted);
    }
    if (!check.Due.isEmpty())
        news << QStringLiteral("有 %1 笔周期记账到期，请确认后记账").arg(check.Due.size());
    if (!news.isEmpty())
        TrayMessage(news.join(QStringLiteral("；")));
    if (!check.Due.isEmpty())
        ShowDueRecords(this, [this] { btnQueryClick(); });
}

void TFormMain::NImportClick()
{
    TFormImport form(this);
    // The copy made at start is finished here, not on the import's worker.
    form.BeforeJob = [this] { FAutoBackup->Wait(); };
    form.BeforeImport = [this] { return FAutoBackup->BeforeChange(); };
    KeepAboveStayOnTop(&form);
    if (form.exec() == QDialog::Accepted)
        btnQueryClick();
}

void TFormMain::NImportRulesClick()
{
    ShowImportRules(this);
    RefreshTrees();
}

void TFormMain::NExportClick()
{
    TFormExport form(this);
    KeepAboveStayOnTop(&form);
    if (form.exec() != QDialog::Accepted)
        return;
    const bool journal = form.Choice() == TFormExport::ExportJournal;
    const QString fileName = Prompt().FileDialog(TFileDialogKind::Save,
                                                 journal ? QStringLiteral("记账日记账 (*.journal)")
                                                         : QStringLiteral("CSV 表格 (*.csv)"));
    if (fileName.isEmpty())
        return;
    const std::optional<int> written = form.Write(fileName, QueryFilter());
    if (!written)
        return;
    ShowInfo(QStringLiteral("已导出 %1 条记录到 %2")
                 .arg(*written)
                 .arg(QDir::toNativeSeparators(fileName)));
}

void TFormMain::OpenHomepage()
{
    OpenDocument(DecryptTwoStage(HomepageCipher, HomepageKey));
}

void TFormMain::NOpenWWW1Click()
{
    OpenHomepage();
}

void TFormMain::N8Click()
{
    OpenHomepage();
}

void TFormMain::NHelpClick()
{
    ShowHelp(this);
}

void TFormMain::btn1Click()
{
    ShowNote();
}

void TFormMain::NShowFormClick()
{
    BringForward(this);
}

void TFormMain::NCloseClick()
{
    close();
}

void TFormMain::chk1Click()
{
    const bool present = ui->chk1->isChecked();
    try {
        SetAutoRun(QCoreApplication::applicationName(), AutoRunCommand(), present);
    } catch (...) {
        // The box keeps showing what is on disk.
        const QSignalBlocker blocker(ui->chk1);
        ui->chk1->setChecked(AutoRunExists(QCoreApplication::applicationName()));
        throw;
    }
}
