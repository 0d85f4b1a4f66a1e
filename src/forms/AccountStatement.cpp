#include "AccountStatement.h"

#include "ui_AccountStatement.h"

#include "Account.h"
#include "Transfer.h"

#include "controls/CardFloatIntEdit.h"
#include "data/DateFormats.h"
#include "data/UException.h"
#include "data/UntPublic.h"
#include "ledger/AccountStatement.h"
#include "ledger/Transfers.h"
#include "reports/UntReport.h"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

QString LongDate(const QDate &day)
{
    const QLocale locale;
    return locale.toString(day, LongDateFormat(locale));
}

} // namespace

TFormAccountStatement::TFormAccountStatement(const QString &account, QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TFormAccountStatement>())
    , FAccount(account)
    , FLines(std::make_unique<TStatementModel>())
{
    ui->setupUi(this);
    setWindowTitle(windowTitle() + QStringLiteral(" - ") + account);
    const QString dateFormat = LongDateFormat();
    for (QDateEdit *picker : {ui->DBBegin, ui->DBOver})
        picker->setDisplayFormat(dateFormat);
    ui->cbbPeriod->addItems({QStringLiteral("本月"), QStringLiteral("上月"), QStringLiteral("今年"),
                             QStringLiteral("全部"), QStringLiteral("自定义")});
    ui->lvStatement->setModel(FLines.get());
    const int widths[] = {90, 44, 160, 160, 90, 90, 100, 40};
    for (int column = 0; column < TStatementModel::kColumnCount; ++column)
        ui->lvStatement->setColumnWidth(column, widths[column]);
    ui->lvStatement->header()->setStretchLastSection(false);
    ui->lblWarning->setAccessibleName(QStringLiteral("对账提醒"));

    // The commands on a transfer's line, in the list's popup menu and on its
    // keys; a record is changed in the main window.
    auto *popup = new QMenu(this);
    popup->setObjectName(QStringLiteral("pmStatement"));
    FModifyAction = popup->addAction(QStringLiteral("修改转账…"));
    FModifyAction->setObjectName(QStringLiteral("NModifyTransfer"));
    FModifyAction->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    FDeleteAction = popup->addAction(QStringLiteral("删除转账"));
    FDeleteAction->setObjectName(QStringLiteral("NDeleteTransfer"));
    FDeleteAction->setShortcut(QKeySequence(QKeySequence::Delete));
    for (QAction *action : {FModifyAction, FDeleteAction}) {
        action->setShortcutContext(Qt::WidgetShortcut);
        action->setShortcutVisibleInContextMenu(true);
        action->setEnabled(false);
        ui->lvStatement->addAction(action);
    }
    // The view reports the position in the coordinates of its viewport.
    connect(ui->lvStatement, &QWidget::customContextMenuRequested, popup,
            [this, popup](const QPoint &at) {
                popup->popup(ui->lvStatement->viewport()->mapToGlobal(at));
            });
    connect(ui->lvStatement->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormAccountStatement::UpdateTransferItems);
    connect(FLines.get(), &QAbstractItemModel::modelReset, this,
            &TFormAccountStatement::UpdateTransferItems);

    // Commands run as events of their own (queued), so that a failure, which
    // ends the command, never unwinds through the internals of a control.
    connect(
        ui->cbbPeriod, &QComboBox::activated, this,
        [this](int index) { SetPeriod(TPeriod(index)); }, Qt::QueuedConnection);
    for (QDateEdit *picker : {ui->DBBegin, ui->DBOver})
        connect(picker, &QDateEdit::dateChanged, this, &TFormAccountStatement::PeriodEdited,
                Qt::QueuedConnection);
    connect(ui->btnReconcile, &QPushButton::clicked, this,
            &TFormAccountStatement::btnReconcileClick, Qt::QueuedConnection);
    connect(FModifyAction, &QAction::triggered, this, &TFormAccountStatement::NModifyTransferClick,
            Qt::QueuedConnection);
    connect(ui->lvStatement, &QAbstractItemView::doubleClicked, this,
            &TFormAccountStatement::NModifyTransferClick, Qt::QueuedConnection);
    connect(FDeleteAction, &QAction::triggered, this, &TFormAccountStatement::NDeleteTransferClick,
            Qt::QueuedConnection);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
}

TFormAccountStatement::~TFormAccountStatement() = default;

void TFormAccountStatement::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    CentreOnMainWindow(this);
    QMetaObject::invokeMethod(
        this, [this] { SetPeriod(pdThisMonth); }, Qt::QueuedConnection);
}

std::pair<QDate, QDate> TFormAccountStatement::Period() const
{
    if (ui->cbbPeriod->currentIndex() == pdAll)
        return {};
    return {ui->DBBegin->date(), ui->DBOver->date()};
}

void TFormAccountStatement::SetPeriod(TPeriod which)
{
    static constexpr TQuickPeriod kQuick[]
        = {TQuickPeriod::ThisMonth, TQuickPeriod::LastMonth, TQuickPeriod::ThisYear};
    if (which < pdAll) {
        const auto [begin, end] = QuickPeriod(kQuick[which], QDate::currentDate());
        const QSignalBlocker blockBegin(ui->DBBegin);
        const QSignalBlocker blockOver(ui->DBOver);
        ui->DBBegin->setDate(begin);
        ui->DBOver->setDate(end);
    }
    ui->cbbPeriod->setCurrentIndex(which);
    Reload();
}

void TFormAccountStatement::PeriodEdited()
{
    ui->cbbPeriod->setCurrentIndex(pdCustom);
    Reload();
}

void TFormAccountStatement::Reload()
{
    const auto [begin, end] = Period();
    FLines->Load(FAccount, begin, end);
    const int rows = FLines->rowCount();
    // The whole of the books: the pickers show its first day and its last.
    if (begin.isNull() && rows > 0) {
        const QSignalBlocker blockBegin(ui->DBBegin);
        const QSignalBlocker blockOver(ui->DBOver);
        ui->DBBegin->setDate(FLines->Line(0).Date);
        ui->DBOver->setDate(std::max(FLines->Line(rows - 1).Date, QDate::currentDate()));
    }
    ShowAgreedPoint();
    if (begin > end) {
        ui->lblTotals->setText(QStringLiteral("开始日期晚于结束日期，没有明细可显示。"));
        return;
    }
    ui->lblTotals->setText(
        QStringLiteral("期初余额：%1　收入：%2　支出：%3　期末余额：%4　共 %5 笔")
            .arg(FLines->Opening().ToString(), FLines->TotalIn().ToString(),
                 FLines->TotalOut().ToString(), FLines->Closing().ToString())
            .arg(rows));
}

void TFormAccountStatement::ShowAgreedPoint()
{
    const std::optional<Reconciliation::TPoint> point = Reconciliation::Latest(FAccount);
    FLines->MarkAgreedThrough(point ? point->Day : QDate());
    ui->lblWarning->setVisible(point && !point->Holds());
    if (!point) {
        ui->lblLegend->setText(QStringLiteral("尚未对账"));
        return;
    }
    const QString day = LongDate(point->Day);
    ui->lblLegend->setText(
        QStringLiteral("✓：已对账（截至 %1，余额 %2）").arg(day, point->Agreed.ToString()));
    ui->lblWarning->setText(QStringLiteral("对账后有改动：%1 的余额已从 %2 变为 %3")
                                .arg(day, point->Agreed.ToString(), point->Now.ToString()));
}

void TFormAccountStatement::btnReconcileClick()
{
    TFormReconcile dialog(FAccount, ui->DBOver->date(), this);
    if (dialog.ShowModal() == mrOk)
        ShowAgreedPoint();
}

int TFormAccountStatement::SelectedRow() const
{
    const QModelIndexList rows = ui->lvStatement->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TFormAccountStatement::UpdateTransferItems()
{
    const bool transfer = FLines->Line(SelectedRow()).TransferId != 0;
    FModifyAction->setEnabled(transfer);
    FDeleteAction->setEnabled(transfer);
}

void TFormAccountStatement::ShowChanges(qint64 id, int row)
{
    Reload();
    ReloadAccountWindows();
    const int listed = FLines->RowOfTransfer(id);
    row = std::min(listed >= 0 ? listed : row, FLines->rowCount() - 1);
    if (row >= 0)
        ui->lvStatement->setCurrentIndex(FLines->index(row, 0));
}

void TFormAccountStatement::NModifyTransferClick()
{
    const int row = SelectedRow();
    const qint64 id = FLines->Line(row).TransferId;
    if (id == 0)
        return;
    const std::optional<Transfer> transfer = Transfers::Read(id);
    if (transfer) {
        TFormTransfer dialog(this);
        dialog.LoadTransfer(*transfer);
        // Cancelled with the transfer as it was: nothing to show anew. A
        // refused change may have found it changed or deleted elsewhere.
        if (dialog.ShowModal() != mrOk && Transfers::Read(id) == transfer)
            return;
    }
    ShowChanges(id, row);
    if (!transfer)
        throw Exception(kTransferGone);
}

void TFormAccountStatement::NDeleteTransferClick()
{
    const int row = SelectedRow();
    const qint64 id = FLines->Line(row).TransferId;
    if (id == 0 || !ShowConfirm(QStringLiteral("确定要删除这笔转账吗？")))
        return;
    const bool removed = Transfers::Remove(id);
    ShowChanges(id, row);
    if (!removed)
        throw Exception(kTransferGone);
}

TFormReconcile::TFormReconcile(const QString &account, const QDate &day, QWidget *parent)
    : TFormBaseDlg(parent)
    , FAccount(account)
    , FDate(new QDateEdit(day, ClientArea()))
    , FBank(new TCardFloatIntEdit(ClientArea()))
    , FBooks(new QLabel(ClientArea()))
    , FDifference(new QLabel(ClientArea()))
{
    setWindowTitle(QStringLiteral("对账 - ") + account);
    FDate->setObjectName(QStringLiteral("edtDate"));
    FDate->setDisplayFormat(LongDateFormat());
    FDate->setCalendarPopup(true);
    FBank->setObjectName(QStringLiteral("edtBank"));
    FBooks->setObjectName(QStringLiteral("lblBooks"));
    FBooks->setAccessibleName(QStringLiteral("账面余额"));
    FDifference->setObjectName(QStringLiteral("lblDifference"));
    FDifference->setAccessibleName(QStringLiteral("差额"));
    auto *grid = new QGridLayout(ClientArea());
    grid->setContentsMargins(24, 20, 24, 12);
    const auto add = [&](const QString &caption, QWidget *value) {
        auto *label = new QLabel(caption, ClientArea());
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setBuddy(value);
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(value, row, 1);
    };
    add(QStringLiteral("对账日期(&D)："), FDate);
    add(QStringLiteral("银行余额(&B)："), FBank);
    add(QStringLiteral("账面余额："), FBooks);
    add(QStringLiteral("差额（银行 − 账面）："), FDifference);
    grid->addWidget(
        new QLabel(QStringLiteral("银行余额与账面余额一致时，保存为对账点。"), ClientArea()),
        grid->rowCount(), 0, 1, 2);
    setFixedSize(400, 240);
    setTabOrder(FDate, FBank);
    setTabOrder(FBank, btnOK);
    setTabOrder(btnOK, btnCancel);

    connect(FDate, &QDateEdit::dateChanged, this, &TFormReconcile::ShowBooks, Qt::QueuedConnection);
    connect(FBank, &QLineEdit::textChanged, this, &TFormReconcile::ShowDifference);
    ShowBooks();
    FBank->setFocus();
}

void TFormReconcile::ShowBooks()
{
    FBooksBalance = Reconciliation::BalanceAt(FAccount, FDate->date());
    FBooks->setText(FBooksBalance->ToString());
    ShowDifference();
}

void TFormReconcile::ShowDifference()
{
    Currency bank;
    if (!FBooksBalance || FBank->text().trimmed().isEmpty()
        || !Currency::TryParse(TCardFloatIntEdit::Tidied(FBank->TextType(), FBank->text()), bank)) {
        FDifference->setText(QStringLiteral("—"));
        return;
    }
    const Currency difference = bank - *FBooksBalance;
    FDifference->setText(difference == Currency() ? QStringLiteral("0（一致）")
                                                  : difference.ToString());
}

void TFormReconcile::btnOKClick()
{
    if (FBank->text().trimmed().isEmpty()) {
        ShowInfo(QStringLiteral("请输入银行或支付软件显示的余额！"));
        FBank->setFocus();
        return;
    }
    // Taken as leaving the box would leave it ("5." as 5), as the keyboard
    // and the mouse must save the same amount.
    const QString text = TCardFloatIntEdit::Tidied(FBank->TextType(), FBank->text());
    if (text != FBank->text())
        FBank->setText(text);
    Currency bank;
    try {
        bank = Currency::Parse(text);
    } catch (...) {
        FBank->setFocus();
        throw;
    }
    const Reconciliation::TResult result = Reconciliation::Reconcile(FAccount, FDate->date(), bank);
    FBooksBalance = result.Books;
    FBooks->setText(result.Books.ToString());
    ShowDifference();
    if (result.Difference != Currency()) {
        ShowInfo(QStringLiteral("银行余额与账面余额相差 %1，对账点没有保存。")
                     .arg(result.Difference.ToString()));
        FBank->setFocus();
        return;
    }
    accept();
}

void ShowAccountStatement(const QString &account)
{
    TFormAccountStatement form(account, QApplication::activeWindow());
    KeepAboveStayOnTop(&form);
    form.exec();
}
