#include "ScheduleList.h"
#include "ui_Schedule.h"
#include "ui_Schedules.h"

#include "DueRecords.h"
#include "ViewType.h"

#include "data/DateFormats.h"
#include "data/UException.h"
#include "data/UntPublic.h"
#include "ledger/Categories.h"
#include "ledger/UntAccount.h"

#include <QAction>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QTreeWidget>

namespace {

enum TColumn { ColKind, ColCategory, ColAccount, ColFare, ColRule, ColNext, ColMode, ColState };

const QString kUnits[]
    = {QStringLiteral("天"), QStringLiteral("周"), QStringLiteral("个月"), QStringLiteral("年")};

QString ModeText(bool automatic)
{
    return automatic ? QStringLiteral("自动记账") : QStringLiteral("提醒");
}

// A category as the main window's tree places it: "餐饮/早餐".
QString CategoryPath(const TCategoryTree &tree, int typeId)
{
    return tree.Exists(typeId) ? tree.Path(typeId).join(u'/') : QStringLiteral("（分类已删除）");
}

QString LongDate(const QDate &date)
{
    return QLocale().toString(date, QLocale::LongFormat);
}

// The rule with its end: "每月 1 日，共 12 次".
QString RuleWithEnd(const TSchedule &schedule)
{
    QString text = Schedules::RuleText(schedule);
    if (schedule.End.isValid())
        text += QStringLiteral("，至 %1").arg(DateText(schedule.End));
    if (schedule.Times > 0)
        text += QStringLiteral("，共 %1 次").arg(schedule.Times);
    return text;
}

} // namespace

TFormSchedule::TFormSchedule(QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormSchedule>())
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    setFixedSize(ClientArea()->size());
    for (int kind = TSchedule::Income; kind <= TSchedule::Move; ++kind)
        ui->cbKind->addItem(Schedules::KindText(kind));
    ui->cbKind->setCurrentIndex(FSchedule.Kind);
    for (const QString &unit : kUnits)
        ui->cbUnit->addItem(unit);
    ui->cbUnit->setCurrentIndex(TSchedule::Months);
    ui->cbMode->addItems({ModeText(false), ModeText(true)});
    ui->edtCategory->Button()->setAccessibleName(QStringLiteral("选择分类"));
    QStringList accounts;
    TAccount().ListAccountNames(accounts);
    ui->cbAccount->addItems(accounts);
    ui->cbToAccount->addItems(accounts);
    if (accounts.size() > 1)
        ui->cbToAccount->setCurrentIndex(1);
    const QDate today = QDate::currentDate();
    for (QDateEdit *picker : {ui->dtpStart, ui->dtpEnd})
        picker->setDisplayFormat(LongDateFormat());
    ui->dtpStart->setDate(today);
    ui->dtpEnd->setDate(today.addYears(1));
    ui->spnMonthDay->setValue(today.day());
    ui->spnTimes->setValue(12);
    ui->lblDealt->hide();
    ShowCategory();
    UpdateControls();

    connect(ui->cbKind, &QComboBox::activated, this, &TFormSchedule::KindChanged);
    connect(ui->cbUnit, &QComboBox::currentIndexChanged, this, &TFormSchedule::UpdateControls);
    connect(ui->dtpStart, &QDateEdit::dateChanged, this, [this](const QDate &start) {
        // A new schedule falls on its start's day unless another is chosen.
        if (FSchedule.Id == 0)
            ui->spnMonthDay->setValue(start.day());
        UpdateControls();
    });
    for (QRadioButton *end : {ui->rbEndNone, ui->rbEndDate, ui->rbEndTimes})
        connect(end, &QRadioButton::toggled, this, &TFormSchedule::UpdateControls);
    // The picker runs as an event of its own, so that a failure in it never
    // unwinds through the button that opened it.
    connect(ui->edtCategory, &TCardEdtBut::OnButClick, this, &TFormSchedule::ChooseCategory,
            Qt::QueuedConnection);
    setTabOrder(ui->spnAhead, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TFormSchedule::~TFormSchedule() = default;

void TFormSchedule::LoadSchedule(const TSchedule &schedule)
{
    setWindowTitle(QStringLiteral("修改周期记账"));
    FSchedule = schedule;
    ui->cbKind->setCurrentIndex(schedule.Kind);
    // An account deleted since still shows, so that OK says it is gone.
    for (auto [box, name] : {std::pair(ui->cbAccount, schedule.Account),
                             std::pair(ui->cbToAccount, schedule.ToAccount)}) {
        if (!name.isEmpty() && box->findText(name) < 0)
            box->addItem(name);
        box->setCurrentIndex(box->findText(name));
    }
    ui->edtAmount->setText(schedule.Fare.ToString());
    ui->edtRemark->setText(schedule.Remark);
    ui->spnEvery->setValue(schedule.Every);
    ui->cbUnit->setCurrentIndex(schedule.Unit);
    ui->spnMonthDay->setValue(schedule.MonthDay);
    ui->dtpStart->setDate(schedule.Start);
    if (schedule.End.isValid())
        ui->dtpEnd->setDate(schedule.End);
    if (schedule.Times > 0)
        ui->spnTimes->setValue(schedule.Times);
    (schedule.End.isValid()   ? ui->rbEndDate
         : schedule.Times > 0 ? ui->rbEndTimes
                              : ui->rbEndNone)
        ->setChecked(true);
    ui->cbMode->setCurrentIndex(schedule.Auto ? 1 : 0);
    ui->spnAhead->setValue(schedule.Ahead);
    // What a change of the rule does to the dates already dealt with.
    const QDate last = Schedules::LastDealt(schedule.Id);
    if (last.isValid()) {
        ui->lblDealt->setText(
            schedule.Start <= last
                ? QStringLiteral("已处理到 %1。改动后的规则最早从 %2 起生效，已处理的次数计入"
                                 "总次数，已处理过的日期不会再记账。")
                      .arg(LongDate(last), LongDate(last.addDays(1)))
                : QStringLiteral("已处理到 %1，已处理过的日期不会再记账。").arg(LongDate(last)));
        ui->lblDealt->show();
    }
    ShowCategory();
    UpdateControls();
}

void TFormSchedule::KindChanged()
{
    if (ui->cbKind->currentIndex() == FSchedule.Kind)
        return;
    // Income and expense categories are different trees.
    FSchedule.Kind = ui->cbKind->currentIndex();
    FSchedule.TypeID = 0;
    ShowCategory();
    UpdateControls();
}

void TFormSchedule::ChooseCategory()
{
    int typeId = FSchedule.TypeID;
    QString name;
    if (ShowViewType(FSchedule.Kind, typeId, name) != mrOk)
        return;
    FSchedule.TypeID = typeId;
    ShowCategory();
}

void TFormSchedule::ShowCategory()
{
    if (FSchedule.Kind == TSchedule::Move) {
        ui->edtCategory->clear();
        return;
    }
    TCategoryTree tree;
    tree.Load(FSchedule.Kind == TSchedule::Income);
    ui->edtCategory->setText(FSchedule.TypeID == 0 ? QStringLiteral("选择分类")
                                                   : CategoryPath(tree, FSchedule.TypeID));
    ui->edtCategory->setCursorPosition(0);
}

void TFormSchedule::UpdateControls()
{
    const bool transfer = FSchedule.Kind == TSchedule::Move;
    ui->edtCategory->setEnabled(!transfer);
    ui->cbToAccount->setEnabled(transfer);
    ui->lblAccount->setText(transfer ? QStringLiteral("转出账户(&A)：")
                                     : QStringLiteral("账户(&A)："));
    const int unit = ui->cbUnit->currentIndex();
    ui->spnMonthDay->setEnabled(unit == TSchedule::Months || unit == TSchedule::Years);
    // A yearly one falls in its start's month.
    ui->lblMonthDayHint->setText(
        unit == TSchedule::Years
            ? QStringLiteral("日，每年 %1 月（31 为月末）").arg(ui->dtpStart->date().month())
            : QStringLiteral("日（31 为月末）"));
    ui->dtpEnd->setEnabled(ui->rbEndDate->isChecked());
    ui->spnTimes->setEnabled(ui->rbEndTimes->isChecked());
}

void TFormSchedule::btnOKClick()
{
    TSchedule schedule = FSchedule;
    schedule.Account = ui->cbAccount->currentText();
    schedule.ToAccount
        = schedule.Kind == TSchedule::Move ? ui->cbToAccount->currentText() : QString();
    const QString amount
        = TCardFloatIntEdit::Tidied(ui->edtAmount->TextType(), ui->edtAmount->text());
    schedule.Fare = {};
    if (!amount.trimmed().isEmpty() && !Currency::TryParse(amount, schedule.Fare)) {
        ui->edtAmount->setFocus();
        throw Exception(QStringLiteral("金额“%1”超出了能记录的范围").arg(amount));
    }
    schedule.Remark = ui->edtRemark->text();
    schedule.Every = ui->spnEvery->value();
    schedule.Unit = ui->cbUnit->currentIndex();
    schedule.MonthDay = ui->spnMonthDay->value();
    schedule.Start = ui->dtpStart->date();
    schedule.End = ui->rbEndDate->isChecked() ? ui->dtpEnd->date() : QDate();
    schedule.Times = ui->rbEndTimes->isChecked() ? ui->spnTimes->value() : 0;
    schedule.Auto = ui->cbMode->currentIndex() == 1;
    schedule.Ahead = ui->spnAhead->value();
    if (schedule.Id == 0)
        schedule.Id = Schedules::Add(schedule);
    else
        schedule = Schedules::Modify(schedule);
    FSchedule = schedule;
    accept();
}

TFormSchedules::TFormSchedules(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TFormSchedules>())
{
    ui->setupUi(this);
    const int widths[] = {50, 120, 140, 80, 180, 110, 70};
    for (int column = ColKind; column < ColState; ++column)
        ui->lvSchedules->setColumnWidth(column, widths[column]);

    // Delete on a schedule deletes it, after the question.
    auto *remove = new QAction(QStringLiteral("删除"), ui->lvSchedules);
    remove->setShortcut(QKeySequence(QKeySequence::Delete));
    remove->setShortcutContext(Qt::WidgetShortcut);
    ui->lvSchedules->addAction(remove);

    // Commands run as events of their own (queued), so that a failure, which
    // ends the command, never unwinds through the internals of a control.
    const auto command = [this](auto *sender, auto signal, void (TFormSchedules::*slot)()) {
        connect(sender, signal, this, slot, Qt::QueuedConnection);
    };
    command(ui->btnNew, &QPushButton::clicked, &TFormSchedules::NewClick);
    command(ui->btnEdit, &QPushButton::clicked, &TFormSchedules::EditClick);
    command(ui->lvSchedules, &QTreeWidget::itemDoubleClicked, &TFormSchedules::EditClick);
    command(ui->btnDelete, &QPushButton::clicked, &TFormSchedules::DeleteClick);
    command(remove, &QAction::triggered, &TFormSchedules::DeleteClick);
    command(ui->btnDue, &QPushButton::clicked, &TFormSchedules::DueClick);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    Reload();
}

TFormSchedules::~TFormSchedules() = default;

QTreeWidget *TFormSchedules::List() const
{
    return ui->lvSchedules;
}

void TFormSchedules::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    CentreOnMainWindow(this);
}

void TFormSchedules::Reload(int selectId)
{
    FSchedules = Schedules::List();
    TCategoryTree trees[2];
    trees[0].Load(true);
    trees[1].Load(false);
    ui->lvSchedules->clear();
    for (const TSchedule &schedule : FSchedules) {
        const bool transfer = schedule.Kind == TSchedule::Move;
        const QDate next = Schedules::NextDate(schedule);
        const QString fault = Schedules::PostingFault(schedule, schedule.Fare);
        auto *item = new QTreeWidgetItem(ui->lvSchedules);
        item->setText(ColKind, Schedules::KindText(schedule.Kind));
        item->setText(ColCategory,
                      transfer ? schedule.Remark
                               : CategoryPath(trees[schedule.Kind], schedule.TypeID));
        item->setText(ColAccount,
                      transfer ? schedule.Account + u'→' + schedule.ToAccount : schedule.Account);
        item->setText(ColFare, schedule.Fare.ToString());
        item->setText(ColRule, RuleWithEnd(schedule));
        item->setText(ColNext, next.isValid() ? DateText(next) : QStringLiteral("已结束"));
        item->setText(ColMode, ModeText(schedule.Auto));
        item->setText(ColState, fault.isEmpty() ? QStringLiteral("正常") : fault);
        item->setData(ColKind, Qt::UserRole, schedule.Id);
        if (schedule.Id == selectId)
            ui->lvSchedules->setCurrentItem(item);
    }
    if (!ui->lvSchedules->currentItem() && ui->lvSchedules->topLevelItemCount() > 0)
        ui->lvSchedules->setCurrentItem(ui->lvSchedules->topLevelItem(0));
    const bool any = !FSchedules.isEmpty();
    ui->btnEdit->setEnabled(any);
    ui->btnDelete->setEnabled(any);
}

int TFormSchedules::SelectedId() const
{
    const QTreeWidgetItem *item = ui->lvSchedules->currentItem();
    return item ? item->data(ColKind, Qt::UserRole).toInt() : 0;
}

void TFormSchedules::NewClick()
{
    TFormSchedule dialog(this);
    if (dialog.ShowModal() == mrOk)
        Reload(dialog.Schedule().Id);
}

void TFormSchedules::EditClick()
{
    const int id = SelectedId();
    for (const TSchedule &schedule : std::as_const(FSchedules)) {
        if (schedule.Id != id)
            continue;
        TFormSchedule dialog(this);
        dialog.LoadSchedule(schedule);
        if (dialog.ShowModal() == mrOk)
            Reload(id);
        return;
    }
}

void TFormSchedules::DeleteClick()
{
    const QTreeWidgetItem *item = ui->lvSchedules->currentItem();
    if (!item)
        return;
    if (!ShowConfirm(QStringLiteral("确定要删除周期记账“%1 %2 %3”吗？已经记的账会保留。")
                         .arg(item->text(ColKind), item->text(ColCategory), item->text(ColFare))))
        return;
    Schedules::Remove(SelectedId());
    Reload();
}

void TFormSchedules::DueClick()
{
    TFormDueRecords form(this);
    KeepAboveStayOnTop(&form);
    form.exec();
    Reload(SelectedId());
}

void ShowSchedules(QWidget *parent)
{
    TFormSchedules form(parent);
    KeepAboveStayOnTop(&form);
    form.exec();
}
