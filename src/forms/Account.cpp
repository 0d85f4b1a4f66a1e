#include "Account.h"

#include "ui_Account.h"

#include "AccountStatement.h"
#include "AddAccount.h"
#include "BaseDlg.h"
#include "ModAccount.h"
#include "Transfer.h"

#include "controls/EmptyHint.h"
#include "data/Currency.h"
#include "data/ListModel.h"
#include "data/UntPublic.h"
#include "ledger/UntAccount.h"

#include <QApplication>
#include <QHeaderView>
#include <QMenu>

namespace {

enum AccountColumn { ColName, ColFare, ColInFare, ColOutFare, ColRemark };

} // namespace

TFormAccount::TFormAccount(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TFormAccount>())
{
    ui->setupUi(this);

    FAccounts = std::make_unique<TListModel>(
        QStringList {QStringLiteral("账户名称"), QStringLiteral("余额"), QStringLiteral("收入"),
                     QStringLiteral("支出"), QStringLiteral("备注")});
    ui->lv1->setModel(FAccounts.get());
    QFont font = ui->lv1->font();
    font.setPixelSize(13);
    ui->lv1->setFont(font);
    const int widths[] = {150, 80, 80, 80, 180};
    for (int column = 0; column < 5; ++column)
        ui->lv1->setColumnWidth(column, widths[column]);
    ui->lv1->header()->setStretchLastSection(false);
    TEmptyHint::Install(ui->lv1, QStringLiteral("点右键新建账户"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    ui->N4->setSeparator(true);
    PopupMenu1->addActions({ui->N1, ui->N2, ui->N3, ui->N4, ui->N5});
    // The view reports the position in the coordinates of its viewport.
    connect(ui->lv1, &QWidget::customContextMenuRequested, PopupMenu1,
            [this](const QPoint &at) { PopupMenu1->popup(ui->lv1->viewport()->mapToGlobal(at)); });

    // Commands run as events of their own (queued), so that a failure, which
    // ends the command, never unwinds through the internals of the menu or
    // the view that started it.
    const auto command = [this](auto *sender, auto signal, auto slot) {
        connect(sender, signal, this, slot, Qt::QueuedConnection);
    };
    command(ui->N1, &QAction::triggered, &TFormAccount::N1Click);
    command(ui->N2, &QAction::triggered, &TFormAccount::N2Click);
    command(ui->N3, &QAction::triggered, &TFormAccount::N3Click);
    command(ui->N5, &QAction::triggered, &TFormAccount::N5Click);
    command(ui->lv1, &QAbstractItemView::doubleClicked, &TFormAccount::N2Click);

    // A transfer from the selected account follows the commands on accounts.
    auto *transfer = new QAction(QStringLiteral("转账…"), this);
    transfer->setObjectName(QStringLiteral("NTransfer"));
    PopupMenu1->insertAction(ui->N4, transfer);
    command(transfer, &QAction::triggered, &TFormAccount::NTransferClick);
    // The statement of the selected account follows the account commands;
    // its shortcut works anywhere in the window.
    auto *statement = new QAction(QStringLiteral("账户明细"), this);
    statement->setObjectName(QStringLiteral("NStatement"));
    statement->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    statement->setShortcutVisibleInContextMenu(true);
    PopupMenu1->insertAction(ui->N4, statement);
    addAction(statement);
    command(statement, &QAction::triggered, &TFormAccount::NStatementClick);
}

TFormAccount::~TFormAccount() = default;

void TFormAccount::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    CentreOnMainWindow(this);
    FormShow();
}

void TFormAccount::FormShow()
{
    Reload();
}

void TFormAccount::Reload()
{
    GAccount->ListAccounts(*FAccounts);
    UpdateTotals();
}

void TFormAccount::UpdateTotals()
{
    Currency fare;
    Currency inFare;
    Currency outFare;
    const auto amount = [this](int row, int column) { return FAccounts->CellAmount(row, column); };
    const int rows = FAccounts->rowCount();
    for (int row = 0; row < rows; ++row) {
        fare += amount(row, ColFare);
        inFare += amount(row, ColInFare);
        outFare += amount(row, ColOutFare);
    }
    ui->statPanel1->setText(QString::number(rows));
    ui->statPanel3->setText(fare.ToString());
    ui->statPanel5->setText(inFare.ToString());
    ui->statPanel7->setText(outFare.ToString());
}

int TFormAccount::SelectedRow() const
{
    const QModelIndexList rows = ui->lv1->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TFormAccount::N1Click()
{
    if (ShowAddAccount() == mrOk)
        Reload();
}

void TFormAccount::N2Click()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    if (ShowModAccount(FAccounts->Cell(row, ColName)) == mrOk)
        Reload();
}

void TFormAccount::N3Click()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    const QString name = FAccounts->Cell(row, ColName);
    if (!ShowConfirm(QStringLiteral("你确定要删除\"") + name + QStringLiteral("\"吗?")))
        return;
    GAccount->DeleteAccount(name);
    FAccounts->RemoveRow(row);
    UpdateTotals();
    ShowInfo(QStringLiteral("删除成功！"));
}

void TFormAccount::NStatementClick()
{
    const int row = SelectedRow();
    if (row >= 0)
        ShowAccountStatement(FAccounts->Cell(row, ColName));
}

void TFormAccount::N5Click()
{
    close();
}

void TFormAccount::NTransferClick()
{
    const int row = SelectedRow();
    ShowTransfer(row < 0 ? QString() : FAccounts->Cell(row, ColName));
}

void ShowAccounts()
{
    TFormAccount form(QApplication::activeWindow());
    KeepAboveStayOnTop(&form);
    form.exec();
}

void ReloadAccountWindows()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *accounts = qobject_cast<TFormAccount *>(window);
            accounts && accounts->isVisible())
            accounts->Reload();
    }
}
