#include "Main.h"

#include "ui_Main.h"

#include "data/Currency.h"
#include "data/ListModel.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "data/UntPublic.h"
#include "forms/Pass.h"
#include "ledger/UntBookKeep.h"
#include "ledger/UntTree.h"

#include <QCloseEvent>
#include <QColor>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QRegularExpression>
#include <QScreen>
#include <QShortcut>
#include <QStyledItemDelegate>

namespace {

// Both date pickers carry this time of day. The filter runs from the day
// before the start date at this time to the end date at this time, which
// takes in every stored (midnight) date from the start day to the end day.
const QTime kPickerTime(9, 15, 24);

const QString kIncome = QStringLiteral("收入");
const QString kExpense = QStringLiteral("支出");

enum RecordColumn { ColID, ColKind, ColType, ColFare, ColAccount, ColRemark, ColDate };

// The record list: expense rows in red.
class TRecordListModel : public TListModel
{
public:
    using TListModel::TListModel;
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::ForegroundRole && index.isValid()) {
            static const QByteArray expense = kExpense.toUtf8();
            return CellUtf8(index.row(), ColKind) == expense ? QVariant(QColor(255, 0, 0))
                                                             : QVariant();
        }
        return TListModel::data(index, role);
    }
};

// Ends a label edit through the window's handler, which renames the category
// (and with it the node). The view calls this in the middle of its own
// commit, which Qt's widget code cannot unwind through, so a refused name is
// handed on as a command of its own; the node keeps its old text.
class TLabelDelegate : public QStyledItemDelegate
{
public:
    TLabelDelegate(QObject *parent, std::function<void(const QString &)> edited)
        : QStyledItemDelegate(parent)
        , FEdited(std::move(edited))
    {
    }
    void setModelData(QWidget *editor, QAbstractItemModel *,
                      const QModelIndex &index) const override
    {
        const QString text = static_cast<QLineEdit *>(editor)->text();
        if (text == index.data().toString())
            return;
        try {
            FEdited(text);
        } catch (...) {
            QMetaObject::invokeMethod(
                parent(), [failure = std::current_exception()] { std::rethrow_exception(failure); },
                Qt::QueuedConnection);
        }
    }

private:
    std::function<void(const QString &)> FEdited;
};

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
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    // The long date without the weekday, which the pickers have no room for.
    static const QRegularExpression weekday(QStringLiteral("[,，\\s]*dddd[,，\\s]*"));
    const QString longDate
        = QLocale::system().dateFormat(QLocale::LongFormat).replace(weekday, QString()).trimmed();
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

    FInTree = std::make_unique<TCardTree>(ui->tv1, QStringLiteral("InType"),
                                          QStringLiteral("收入类别"));
    FOutTree = std::make_unique<TCardTree>(ui->tv2, QStringLiteral("OutType"),
                                           QStringLiteral("支出类别"));
    ui->tv1->setItemDelegate(
        new TLabelDelegate(ui->tv1, [this](const QString &text) { TypeEdited(*FInTree, text); }));
    ui->tv2->setItemDelegate(
        new TLabelDelegate(ui->tv2, [this](const QString &text) { TypeEdited(*FOutTree, text); }));

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
    // The record dialogs are not part of this window yet.
    ui->N1->setEnabled(false);
    ui->N2->setEnabled(false);

    const auto popup = [](QMenu *menu, QWidget *view) {
        connect(view, &QWidget::customContextMenuRequested, menu,
                [menu, view](const QPoint &at) { menu->popup(view->mapToGlobal(at)); });
    };
    popup(pmInType, ui->tv1);
    popup(pmOutType, ui->tv2);
    popup(pm1, ui->lv1);

    // Commands run as events of their own (queued), so that a failure, which
    // ends the command, unwinds only through our code and Qt's core, never
    // through the internals of the menu or view that started it.
    const auto command = [this](auto *sender, auto signal, auto slot) {
        connect(sender, signal, this, slot, Qt::QueuedConnection);
    };
    command(ui->btnQuery, &QPushButton::clicked, &TFormMain::btnQueryClick);
    command(ui->tv1, &QTreeWidget::itemClicked, &TFormMain::tv1Click);
    command(ui->tv2, &QTreeWidget::itemClicked, &TFormMain::tv2Click);
    command(ui->NAddIEType, &QAction::triggered, &TFormMain::NAddIETypeClick);
    command(ui->NModIeType, &QAction::triggered, &TFormMain::NModIeTypeClick);
    command(ui->NDelIEType, &QAction::triggered, &TFormMain::NDelIETypeClick);
    command(ui->N12, &QAction::triggered, &TFormMain::N12Click);
    command(ui->MenuItem4, &QAction::triggered, &TFormMain::MenuItem4Click);
    command(ui->MenuItem5, &QAction::triggered, &TFormMain::MenuItem5Click);
    command(ui->MenuItem6, &QAction::triggered, &TFormMain::MenuItem6Click);
    command(ui->N14, &QAction::triggered, &TFormMain::N14Click);
    command(ui->N3, &QAction::triggered, &TFormMain::N3Click);
    command(ui->N5, &QAction::triggered, &TFormMain::N5Click);

    // Escape anywhere in the window runs the settings button.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, ui->btnSystem, &QPushButton::click);
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
    btnQueryClick();
}

void TFormMain::RequestTermination()
{
    hide();
    Q_EMIT TerminateRequested();
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    if (ShowConfirm(QStringLiteral("确定要退出记账软件吗?")))
        event->accept();
    else
        event->ignore();
}

QString TFormMain::QueryFilter() const
{
    const double begin = DayNumber(QDateTime(ui->DBBegin->date(), kPickerTime)) - 1;
    const double over = DayNumber(QDateTime(ui->DBOver->date(), kPickerTime));
    QString filter = Format(QStringLiteral("where InDate >= %s and InDate <= %s "),
                            {FormatDayNumber(begin), FormatDayNumber(over)});
    if (const QTreeWidgetItem *node = FInTree->Selected()) {
        filter += node == FInTree->RootNode()
            ? QStringLiteral(" and InOutType=0 ")
            : Format(QStringLiteral(" and InOutType=0 and TypeID=%s "),
                     {QString::number(FInTree->GetSelIndex())});
    }
    if (const QTreeWidgetItem *node = FOutTree->Selected()) {
        filter += node == FOutTree->RootNode()
            ? QStringLiteral(" and InOutType=1 ")
            : Format(QStringLiteral(" and InOutType=1 and TypeID=%s "),
                     {QString::number(FOutTree->GetSelIndex())});
    }
    // The remark is a pattern: % and _ keep their meaning; quotes are doubled
    // so that a remark holding ' finds its records.
    const QString remark = ui->edtTitle->text();
    if (!remark.isEmpty())
        filter += QStringLiteral(" and Remark like '%") + SqlText(remark) + QStringLiteral("%' ");
    return filter;
}

void TFormMain::btnQueryClick()
{
    GBookKeep->ListRecords(*FRecords, QueryFilter());
    CalcTotals();
}

void TFormMain::CalcTotals()
{
    Currency income;
    Currency expense;
    const QByteArray incomeText = kIncome.toUtf8();
    const int rows = FRecords->rowCount();
    for (int row = 0; row < rows; ++row) {
        const Currency amount
            = Currency::ParseLenient(QString::fromUtf8(FRecords->CellUtf8(row, ColFare)));
        if (FRecords->CellUtf8(row, ColKind) == incomeText)
            income += amount;
        else
            expense += amount;
    }
    ui->statPanel1->setText(QString::number(rows));
    ui->statPanel3->setText(income.ToString());
    ui->statPanel5->setText(expense.ToString());
    ui->statPanel7->setText((income - expense).ToString());
}

void TFormMain::N3Click()
{
    const QModelIndexList rows = ui->lv1->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    if (!ShowConfirm(QStringLiteral("你确定要删除所选记录吗?")))
        return;
    const int row = rows.first().row();
    GBookKeep->DeleteRecord(FRecords->Cell(row, ColID));
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
