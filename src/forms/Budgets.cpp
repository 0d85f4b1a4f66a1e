#include "Budgets.h"
#include "ui_Budget.h"
#include "ui_Budgets.h"

#include "ViewType.h"

#include "data/UntPublic.h"
#include "ledger/Categories.h"
#include "reports/UntReport.h"

#include <QAction>
#include <QApplication>
#include <QDate>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QTreeWidget>

namespace {

enum TColumn { ColCategory, ColPeriod, ColAvailable, ColSpent, ColRemaining, ColBar };

// The roles of the bar's cell: spent per thousand of the amount, and the level.
constexpr int kPerMilleRole = Qt::UserRole + 1;
constexpr int kLevelRole = Qt::UserRole + 2;

const QColor kLevelColours[] = {{0x59, 0xa1, 0x4f}, {0xf2, 0xa3, 0x2b}, {0xd6, 0x45, 0x41}};

QString PeriodName(TBudget::TPeriod period, bool rollover)
{
    const QString name = period == TBudget::Month ? QStringLiteral("每月") : QStringLiteral("每年");
    return rollover ? name + QStringLiteral("（结转）") : name;
}

// A category as the main window's tree places it: "餐饮/早餐".
QString CategoryPath(qint32 typeId)
{
    TCategoryTree tree;
    tree.Load(false);
    return tree.Exists(typeId) ? tree.Path(typeId).join(u'/') : QStringLiteral("（分类已删除）");
}

// Draws how far a budget has gone as a bar under its percentage: amber from
// 80 %, red beyond the amount; also on a selected row.
class TBudgetBarDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const QVariant perMille = index.data(kPerMilleRole);
        if (!perMille.isValid()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        const QString text = cell.text;
        cell.text.clear();
        const QWidget *view = option.widget;
        QStyle *style = view ? view->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, view);
        const QRect frame = option.rect.adjusted(2, 3, -2, -3);
        QRect bar = frame;
        bar.setWidth(
            int(qint64(frame.width()) * std::min<qint64>(perMille.toLongLong(), 1000) / 1000));
        painter->fillRect(frame, option.palette.color(QPalette::Midlight));
        painter->fillRect(bar, kLevelColours[index.data(kLevelRole).toInt()]);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(frame.adjusted(0, 0, -2, 0), Qt::AlignRight | Qt::AlignVCenter, text);
    }
};

} // namespace

TFormBudget::TFormBudget(QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormBudget>())
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    setFixedSize(ClientArea()->size());
    ui->cbPeriod->addItems({QStringLiteral("每月"), QStringLiteral("每年")});
    ui->edtCategory->Button()->setAccessibleName(QStringLiteral("选择支出分类"));
    ShowCategory();
    // The picker runs as an event of its own, so that a failure in it never
    // unwinds through the button that opened it.
    connect(ui->edtCategory, &TCardEdtBut::OnButClick, this, &TFormBudget::ChooseCategory,
            Qt::QueuedConnection);
    setTabOrder(ui->chkRollover, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TFormBudget::~TFormBudget() = default;

void TFormBudget::LoadBudget(const TBudget &budget)
{
    setWindowTitle(QStringLiteral("修改预算"));
    FTypeID = budget.TypeID;
    FStored = true;
    ui->edtCategory->SetButVisible(false);
    ui->cbPeriod->setCurrentIndex(int(budget.Period));
    ui->edtFare->setText(budget.Fare.ToString());
    ui->chkRollover->setChecked(budget.Rollover);
    ShowCategory();
}

void TFormBudget::ChooseCategory()
{
    qint32 typeId = FTypeID;
    QString name;
    if (FStored || ShowViewType(1, typeId, name) != mrOk)
        return;
    FTypeID = typeId;
    ShowCategory();
}

void TFormBudget::ShowCategory()
{
    ui->edtCategory->setText(FTypeID == 0 ? QStringLiteral("选择分类") : CategoryPath(FTypeID));
    ui->edtCategory->setCursorPosition(0);
}

void TFormBudget::btnOKClick()
{
    const auto period = TBudget::TPeriod(ui->cbPeriod->currentIndex());
    (FStored ? Budgets::Modify : Budgets::Add)(FTypeID, period, ui->edtFare->text(),
                                               ui->chkRollover->isChecked(), QDate::currentDate());
    accept();
}

TFormBudgets::TFormBudgets(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TFormBudgets>())
{
    ui->setupUi(this);
    const int widths[] = {180, 90, 100, 100, 100};
    for (int column = ColCategory; column < ColBar; ++column)
        ui->lvBudgets->setColumnWidth(column, widths[column]);
    for (int column = ColAvailable; column <= ColBar; ++column)
        ui->lvBudgets->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    ui->lvBudgets->setItemDelegateForColumn(ColBar, new TBudgetBarDelegate(ui->lvBudgets));
    {
        const QSignalBlocker blocker(ui->dtPeriod);
        ui->dtPeriod->setDate(QDate::currentDate());
    }

    // Delete on a budget deletes it, after the question.
    auto *remove = new QAction(QStringLiteral("删除"), ui->lvBudgets);
    remove->setShortcut(QKeySequence(QKeySequence::Delete));
    remove->setShortcutContext(Qt::WidgetShortcut);
    ui->lvBudgets->addAction(remove);

    // Commands run as events of their own (queued), so that a failure, which
    // ends the command, never unwinds through the internals of a control.
    const auto command = [this](auto *sender, auto signal, void (TFormBudgets::*slot)()) {
        connect(sender, signal, this, slot, Qt::QueuedConnection);
    };
    command(ui->btnNew, &QPushButton::clicked, &TFormBudgets::NewClick);
    command(ui->btnEdit, &QPushButton::clicked, &TFormBudgets::EditClick);
    command(ui->lvBudgets, &QTreeWidget::itemDoubleClicked, &TFormBudgets::EditClick);
    command(ui->btnDelete, &QPushButton::clicked, &TFormBudgets::DeleteClick);
    command(remove, &QAction::triggered, &TFormBudgets::DeleteClick);
    connect(
        ui->dtPeriod, &QDateEdit::dateChanged, this, [this] { Reload(SelectedType()); },
        Qt::QueuedConnection);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

TFormBudgets::~TFormBudgets() = default;

QTreeWidget *TFormBudgets::List() const
{
    return ui->lvBudgets;
}

void TFormBudgets::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    Reload(SelectedType());
    if (FShown)
        return;
    FShown = true;
    CentreOnMainWindow(this);
}

void TFormBudgets::Reload(qint32 selectType)
{
    FFigures = Budgets::Figures(ui->dtPeriod->date());
    TCategoryTree tree;
    tree.Load(false);
    ui->lvBudgets->clear();
    for (const TBudgetFigure &figure : FFigures) {
        auto *item = new QTreeWidgetItem(ui->lvBudgets);
        item->setText(ColCategory, tree.Path(figure.Budget.TypeID).join(u'/'));
        item->setText(ColPeriod, PeriodName(figure.Budget.Period, figure.Budget.Rollover));
        item->setText(ColAvailable, MoneyText(figure.Available));
        item->setText(ColSpent, MoneyText(figure.Spent));
        item->setText(ColRemaining, MoneyText(figure.Remaining()));
        item->setText(ColBar,
                      figure.Available > Currency()
                          ? QStringLiteral("%1%").arg(figure.PerMille() / 10)
                          : QStringLiteral("—"));
        item->setData(ColBar, kPerMilleRole, figure.PerMille());
        item->setData(ColBar, kLevelRole, int(figure.Level()));
        item->setData(ColCategory, Qt::UserRole, figure.Budget.TypeID);
        for (int column = ColAvailable; column <= ColBar; ++column)
            item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
        if (figure.Level() == TBudgetLevel::Over)
            item->setForeground(ColRemaining, kLevelColours[int(TBudgetLevel::Over)]);
        if (figure.Budget.TypeID == selectType)
            ui->lvBudgets->setCurrentItem(item);
    }
    if (!ui->lvBudgets->currentItem() && ui->lvBudgets->topLevelItemCount() > 0)
        ui->lvBudgets->setCurrentItem(ui->lvBudgets->topLevelItem(0));
    const bool any = !FFigures.empty();
    ui->btnEdit->setEnabled(any);
    ui->btnDelete->setEnabled(any);
    ui->lblHint->setText(any ? QString()
                             : QStringLiteral("还没有预算，点“新建”为支出分类定一个。"));
}

qint32 TFormBudgets::SelectedType() const
{
    const QTreeWidgetItem *item = ui->lvBudgets->currentItem();
    return item ? item->data(ColCategory, Qt::UserRole).toInt() : 0;
}

void TFormBudgets::NewClick()
{
    TFormBudget dialog(this);
    if (dialog.ShowModal() == mrOk)
        Reload(dialog.TypeID());
}

void TFormBudgets::EditClick()
{
    const qint32 typeId = SelectedType();
    for (const TBudgetFigure &figure : FFigures) {
        if (figure.Budget.TypeID != typeId)
            continue;
        TFormBudget dialog(this);
        dialog.LoadBudget(figure.Budget);
        if (dialog.ShowModal() == mrOk)
            Reload(typeId);
        return;
    }
}

void TFormBudgets::DeleteClick()
{
    const QTreeWidgetItem *item = ui->lvBudgets->currentItem();
    if (!item)
        return;
    if (!ShowConfirm(QStringLiteral("确定要删除“%1”的预算吗？").arg(item->text(ColCategory))))
        return;
    Budgets::Remove(SelectedType());
    Reload();
}

void ShowBudgets(QWidget *parent)
{
    TFormBudgets form(parent);
    KeepAboveStayOnTop(&form);
    form.exec();
}
