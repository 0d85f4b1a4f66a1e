#include "DueRecords.h"
#include "ui_DueRecords.h"

#include "BaseDlg.h"

#include "data/UException.h"
#include "data/UntPublic.h"
#include "ledger/Categories.h"

#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>

namespace {

enum TColumn { ColDate, ColSchedule, ColFare, ColAccount, ColRemark, ColState, ColumnCount };

// What the schedule is, in a few words: "支出 房租" or "转账 银行卡→现金".
QString ScheduleText(const TSchedule &schedule, const TCategoryTree *trees)
{
    const QString kind = Schedules::KindText(schedule.Kind);
    if (schedule.Kind == TSchedule::Move)
        return kind + u' ' + schedule.Account + u'→' + schedule.ToAccount;
    const TCategoryTree &tree = trees[schedule.Kind];
    return kind + u' '
        + (tree.Exists(schedule.TypeID) ? tree.Path(schedule.TypeID).join(u'/')
                                        : QStringLiteral("（分类已删除）"));
}

QTableWidgetItem *Cell(const QString &text, bool editable)
{
    auto *item = new QTableWidgetItem(text);
    if (!editable)
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

TFormDueRecords::TFormDueRecords(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TFormDueRecords>())
{
    ui->setupUi(this);
    ui->twDue->setColumnCount(ColumnCount);
    ui->twDue->setHorizontalHeaderLabels({QStringLiteral("日期"), QStringLiteral("周期记账"),
                                          QStringLiteral("金额"), QStringLiteral("账户"),
                                          QStringLiteral("备注"), QStringLiteral("状态")});
    ui->twDue->verticalHeader()->hide();
    const int widths[] = {120, 180, 90, 110, 180};
    for (int column = ColDate; column < ColState; ++column)
        ui->twDue->setColumnWidth(column, widths[column]);
    ui->twDue->horizontalHeader()->setStretchLastSection(true);

    // Commands run as events of their own (queued), so that a failure, which
    // ends the command, never unwinds through the internals of a control.
    const auto command = [this](QPushButton *button, void (TFormDueRecords::*slot)()) {
        connect(button, &QPushButton::clicked, this, slot, Qt::QueuedConnection);
    };
    command(ui->btnPostAll, &TFormDueRecords::PostAllClick);
    command(ui->btnPost, &TFormDueRecords::PostClick);
    command(ui->btnSkip, &TFormDueRecords::SkipClick);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    Reload();
}

TFormDueRecords::~TFormDueRecords() = default;

QTableWidget *TFormDueRecords::Table() const
{
    return ui->twDue;
}

void TFormDueRecords::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    CentreOnMainWindow(this);
}

void TFormDueRecords::Reload()
{
    FDue = Schedules::Due(QDate::currentDate());
    TCategoryTree trees[2];
    trees[0].Load(true);
    trees[1].Load(false);
    ui->twDue->clearContents();
    ui->twDue->setRowCount(int(FDue.size()));
    for (int row = 0; row < FDue.size(); ++row) {
        const TDueOccurrence &due = FDue[row];
        // The date is edited with a date picker.
        auto *date = new QTableWidgetItem;
        date->setData(Qt::EditRole, due.Date);
        ui->twDue->setItem(row, ColDate, date);
        ui->twDue->setItem(row, ColSchedule, Cell(ScheduleText(due.Schedule, trees), false));
        ui->twDue->setItem(row, ColFare, Cell(due.Fare.ToString(), true));
        ui->twDue->setItem(row, ColAccount, Cell(due.Schedule.Account, false));
        ui->twDue->setItem(row, ColRemark, Cell(due.Remark, true));
        ui->twDue->setItem(row, ColState,
                           Cell(due.Error.isEmpty() ? QStringLiteral("待记账") : due.Error, false));
    }
    const bool any = !FDue.isEmpty();
    for (QPushButton *button : {ui->btnPostAll, ui->btnPost, ui->btnSkip})
        button->setEnabled(any);
}

QList<TDueOccurrence> TFormDueRecords::Rows(bool selected) const
{
    QList<int> rows;
    if (selected) {
        for (const QModelIndex &index : ui->twDue->selectionModel()->selectedRows())
            rows << index.row();
        std::sort(rows.begin(), rows.end());
    } else {
        for (int row = 0; row < FDue.size(); ++row)
            rows << row;
    }
    QList<TDueOccurrence> dues;
    for (int row : std::as_const(rows)) {
        TDueOccurrence due = FDue[row];
        due.Date = ui->twDue->item(row, ColDate)->data(Qt::EditRole).toDate();
        const QString fare = ui->twDue->item(row, ColFare)->text().trimmed();
        if (!Currency::TryParse(fare, due.Fare))
            throw Exception(
                QStringLiteral("第 %1 行的金额“%2”不是有效的金额").arg(row + 1).arg(fare));
        due.Remark = ui->twDue->item(row, ColRemark)->text();
        dues << due;
    }
    return dues;
}

void TFormDueRecords::Post(const QList<TDueOccurrence> &rows)
{
    if (rows.isEmpty())
        return;
    int posted = 0;
    const QStringList faults = Schedules::Post(rows, &posted);
    Reload();
    if (posted > 0)
        Q_EMIT BooksChanged();
    if (!faults.isEmpty())
        ShowError(QStringLiteral("以下周期记账未能记账：\n") + faults.join(u'\n'));
}

void TFormDueRecords::PostAllClick()
{
    Post(Rows(false));
}

void TFormDueRecords::PostClick()
{
    Post(Rows(true));
}

void TFormDueRecords::SkipClick()
{
    const QList<TDueOccurrence> rows = Rows(true);
    if (rows.isEmpty())
        return;
    if (!ShowConfirm(QStringLiteral("确定要跳过所选的 %1 笔周期记账吗？跳过的不会再到期。")
                         .arg(rows.size())))
        return;
    Schedules::Skip(rows);
    Reload();
}

void ShowDueRecords(QWidget *parent, const std::function<void()> &changed)
{
    if (TFormDueRecords *form = OpenWindow<TFormDueRecords>()) {
        form->Reload();
        BringForward(form);
        return;
    }
    auto *form = new TFormDueRecords(parent);
    form->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(form, &TFormDueRecords::BooksChanged, form, changed);
    KeepAboveStayOnTop(form);
    form->show();
}
