#include "ImportStatement.h"

#include "ui_ImportStatement.h"

#include "ImportRules.h"

#include "data/UException.h"
#include "data/UntPublic.h"
#include "ledger/UntAccount.h"
#include "shell/JobRunner.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QSet>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>
#include <QThread>
#include <algorithm>
#include <memory>
#include <new>

namespace {

const QString kStatementFilter
    = QStringLiteral("账单文件 (*.csv *.xlsx *.xls *.zip);;所有文件 (*)");

const QString kNoAccount = QStringLiteral("\n还没有账户：请先在“账户信息”中新建一个账户，再导入。");

const QString kNoSourceAccount = QStringLiteral("未指定账户");

const QString kAskMapping = QStringLiteral("无法识别这个表格的格式。请指出日期、金额等各在哪一列，"
                                           "下次遇到表头相同的文件会自动使用这些设置。");

// The columns of the list of files.
enum TFileColumn { FileName, FileFormat, FilePeriod, FileRows, FileAccount };

// How many rows of the bills have one of the statuses.
int Count(const QList<TBill> &bills, std::initializer_list<TRowStatus> statuses)
{
    int count = 0;
    for (const TBill &bill : bills)
        for (const TRowStatus status : statuses)
            count += bill.Statement.Count(status);
    return count;
}

// Whether a row is ticked: it is booked, on its own or with another.
bool Ticked(const TStatementRow &row)
{
    return BillMerge::Bookable(row.Status) || row.Status == TRowStatus::Merged;
}

// Whether a row can be ticked for import: one that cannot be read or moved
// no money never can.
bool Importable(const TStatementRow &row)
{
    return row.Status != TRowStatus::Unreadable && row.Amount > Currency();
}

// The category of a row is chosen from the categories of its kind.
class TCategoryDelegate : public QStyledItemDelegate
{
public:
    TCategoryDelegate(const TImportRowsModel *model, QObject *parent)
        : QStyledItemDelegate(parent)
        , FModel(model)
    {
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &index) const override
    {
        auto *box = new QComboBox(parent);
        box->setAccessibleName(QStringLiteral("分类"));
        const int kind = index.data(Qt::UserRole).toInt();
        for (const TImportCategory &c : FModel->Categories(kind))
            box->addItem(c.Name, c.TypeID);
        return box;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *box = static_cast<QComboBox *>(editor);
        box->setCurrentIndex(box->findData(index.data(Qt::EditRole)));
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        const auto *box = static_cast<QComboBox *>(editor);
        if (box->currentIndex() >= 0)
            model->setData(index, box->currentData(), Qt::EditRole);
    }

private:
    const TImportRowsModel *FModel;
};

// Proposes each row's category; a row whose category the user changed from
// the one proposed keeps it.
void ProposeCategories(const QList<TBill> &bills, QList<QList<int>> &typeIds,
                       QList<QList<int>> &proposedIds, int income, int expense)
{
    typeIds.resize(bills.size());
    proposedIds.resize(bills.size());
    for (qsizetype b = 0; b < bills.size(); ++b) {
        const QList<int> proposed
            = StatementImport::ChooseCategories(bills[b].Statement, income, expense);
        QList<int> chosen = proposed;
        if (typeIds[b].size() == proposed.size() && proposedIds[b].size() == proposed.size())
            for (qsizetype i = 0; i < proposed.size(); ++i)
                if (typeIds[b][i] != proposedIds[b][i])
                    chosen[i] = typeIds[b][i];
        proposedIds[b] = proposed;
        typeIds[b] = chosen;
    }
}

void FillCategories(QComboBox *box, const QList<TImportCategory> &categories, int selected)
{
    box->clear();
    box->addItem(QStringLiteral("（不分类）"), 0);
    for (const TImportCategory &c : categories)
        box->addItem(c.Name, c.TypeID);
    const int at = box->findData(selected);
    box->setCurrentIndex(at >= 0 ? at : 0);
}

} // namespace

TImportRowsModel::TImportRowsModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void TImportRowsModel::Reset(QList<TBill> *bills, QList<QList<int>> *typeIds,
                             const QStringList &labels)
{
    beginResetModel();
    FBills = bills;
    FTypeIds = typeIds;
    FLabels = labels;
    FStarts = {0};
    for (const TBill &bill : *bills)
        FStarts << FStarts.last() + static_cast<int>(bill.Statement.Rows.size());
    endResetModel();
}

TRowRef TImportRowsModel::Ref(int row) const
{
    if (row < 0 || row >= rowCount())
        return {};
    // The last bill that starts at or before the row: bills of no rows start
    // where the next one does.
    const auto next = std::upper_bound(FStarts.cbegin(), FStarts.cend(), row);
    const int bill = static_cast<int>(next - FStarts.cbegin()) - 1;
    return {bill, row - FStarts[bill]};
}

int TImportRowsModel::Row(TRowRef ref) const
{
    return ref.IsValid() && ref.Bill + 1 < FStarts.size() ? FStarts[ref.Bill] + ref.Row : -1;
}

void TImportRowsModel::SetCategories(const QList<TImportCategory> &income,
                                     const QList<TImportCategory> &expense)
{
    FCategories[0] = income;
    FCategories[1] = expense;
}

int TImportRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !FBills ? 0 : FStarts.last();
}

int TImportRowsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColCount;
}

QString TImportRowsModel::CategoryName(int kind, int typeId) const
{
    for (const TImportCategory &c : FCategories[kind])
        if (c.TypeID == typeId)
            return c.Name;
    return QStringLiteral("（不分类）");
}

QString TImportRowsModel::StatusText(TRowRef ref) const
{
    const TStatementRow &row = RowOf(ref);
    const TRowPlan &plan = (*FBills)[ref.Bill].Plans.at(ref.Row);
    // Booked alone until the other side of its money is imported.
    const QString awaited = BillMerge::Awaits((*FBills)[ref.Bill], ref.Row) >= 0
        ? QStringLiteral("（待匹配）")
        : QString();
    switch (row.Status) {
    case TRowStatus::New:
        return QStringLiteral("新记录") + awaited;
    case TRowStatus::Skipped:
        return QStringLiteral("跳过：") + row.Reason;
    case TRowStatus::Duplicate:
        return QStringLiteral("可能重复：") + row.Reason;
    case TRowStatus::Unreadable:
        return QStringLiteral("无法识别：") + row.Reason;
    case TRowStatus::Merged:
        return QStringLiteral("将合并：") + row.Reason;
    case TRowStatus::Transfer:
        return QStringLiteral("转账：%1 → %2").arg(plan.Account, plan.ToAccount) + awaited;
    case TRowStatus::Refund:
        return (plan.Purchase.IsValid()
                    ? QStringLiteral("退款：抵消第 %1 行").arg(RowOf(plan.Purchase).Line)
                    : QStringLiteral("退款"))
            + awaited;
    }
    return QString();
}

QVariant TImportRowsModel::data(const QModelIndex &index, int role) const
{
    const TRowRef ref = Ref(index.row());
    if (!index.isValid() || !ref.IsValid())
        return {};
    const TStatementRow &row = RowOf(ref);
    const int kind = CategoryKind(row);
    if (role == Qt::UserRole)
        return kind;
    if (role == Qt::CheckStateRole && index.column() == ColStatus)
        return Ticked(row) ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::EditRole && index.column() == ColCategory)
        return (*FTypeIds)[ref.Bill].value(ref.Row);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const bool readable = row.Status != TRowStatus::Unreadable;
    switch (index.column()) {
    case ColFile:
        return FLabels.value(ref.Bill);
    case ColLine:
        return row.Line;
    case ColDate:
        if (!readable && !row.Date.isValid())
            return QString();
        return row.Time.isValid() ? row.Date.toString(QStringLiteral("yyyy-MM-dd "))
                + row.Time.toString(QStringLiteral("HH:mm:ss"))
                                  : row.Date.toString(Qt::ISODate);
    case ColKind:
        if (!readable)
            return QString();
        if (row.Status == TRowStatus::Transfer)
            return QStringLiteral("转账");
        return kind == 0 ? QStringLiteral("收入") : QStringLiteral("支出");
    case ColAmount:
        return readable ? row.Amount.ToString() : QString();
    case ColAccount:
        return Ticked(row) ? (*FBills)[ref.Bill].Plans.at(ref.Row).Account : QString();
    case ColRemark:
        return row.Remark;
    case ColCategory:
        return readable ? CategoryName(kind, (*FTypeIds)[ref.Bill].value(ref.Row)) : QString();
    case ColStatus:
        return StatusText(ref);
    default:
        return {};
    }
}

bool TImportRowsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const TRowRef ref = Ref(index.row());
    if (!index.isValid() || !ref.IsValid())
        return false;
    TStatementRow &row = RowOf(ref);
    if (!Importable(row))
        return false;
    if (role == Qt::CheckStateRole && index.column() == ColStatus) {
        const bool checked = value.toInt() == Qt::Checked;
        const TRowPlan &plan = (*FBills)[ref.Bill].Plans.at(ref.Row);
        if (checked && !Ticked(row)) {
            // Back to what was planned; a row the books seemed to hold is new.
            const bool planned
                = BillMerge::Bookable(plan.Status) || plan.Status == TRowStatus::Merged;
            row.Status = planned ? plan.Status : TRowStatus::New;
            row.Reason = planned ? plan.Reason : QString();
        } else if (!checked && Ticked(row)) {
            row.Status = TRowStatus::Skipped;
            row.Reason = QStringLiteral("不导入这一行");
        }
        Q_EMIT dataChanged(this->index(index.row(), 0), this->index(index.row(), ColCount - 1));
        return true;
    }
    if (role == Qt::EditRole && index.column() == ColCategory) {
        (*FTypeIds)[ref.Bill][ref.Row] = value.toInt();
        Q_EMIT dataChanged(index, index);
        return true;
    }
    return false;
}

Qt::ItemFlags TImportRowsModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    const TRowRef ref = Ref(index.row());
    if (!index.isValid() || !ref.IsValid() || !Importable(RowOf(ref)))
        return flags;
    if (index.column() == ColStatus)
        flags |= Qt::ItemIsUserCheckable;
    if (index.column() == ColCategory)
        flags |= Qt::ItemIsEditable;
    return flags;
}

QVariant TImportRowsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const QStringList titles
        = {QStringLiteral("文件"), QStringLiteral("行"),   QStringLiteral("日期"),
           QStringLiteral("收支"), QStringLiteral("金额"), QStringLiteral("账户"),
           QStringLiteral("备注"), QStringLiteral("分类"), QStringLiteral("状态")};
    return titles.value(section);
}

TFormImport::TFormImport(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFormImport>())
    , FModel(new TImportRowsModel(this))
    , FRowMenu(new QMenu(this))
{
    ui->setupUi(this);
    FIntro = ui->lblSummary->text();
    ui->pbLoad->hide();
    ui->pbImport->hide();
    ui->grpMapping->hide();
    ui->tvRows->setModel(FModel);
    ui->tvRows->setItemDelegateForColumn(TImportRowsModel::ColCategory,
                                         new TCategoryDelegate(FModel, ui->tvRows));
    // The columns are as wide as their usual texts, so that dates and reasons
    // read whole; the remark takes what is left. Longer texts show as tips.
    QHeaderView *header = ui->tvRows->horizontalHeader();
    header->setSectionResizeMode(TImportRowsModel::ColRemark, QHeaderView::Stretch);
    const QFontMetrics metrics(ui->tvRows->font());
    const auto fit = [&](int column, const QString &sample) {
        header->resizeSection(column,
                              metrics.horizontalAdvance(sample) + 3 * metrics.averageCharWidth());
    };
    fit(TImportRowsModel::ColFile, QStringLiteral("微信支付账单"));
    fit(TImportRowsModel::ColLine, QStringLiteral("行"));
    fit(TImportRowsModel::ColDate, QStringLiteral("2026-12-31 23:59:59"));
    fit(TImportRowsModel::ColKind, QStringLiteral("收支"));
    fit(TImportRowsModel::ColAmount, QStringLiteral("100000.00"));
    fit(TImportRowsModel::ColAccount, QStringLiteral("银行储蓄卡(1234)"));
    fit(TImportRowsModel::ColCategory, QStringLiteral("分类名称较长"));
    fit(TImportRowsModel::ColStatus, QStringLiteral("转账：余额宝 → 支付宝余额"));
    ui->tvRows->verticalHeader()->hide();
    for (QTableWidget *table : {ui->twFiles, ui->twSources}) {
        table->verticalHeader()->hide();
        table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
        table->horizontalHeader()->setStretchLastSection(true);
    }

    TAccount().ListAccountNames(FAccounts);
    ui->cbAccount->addItems(FAccounts);
    ui->cbSource->addItem(kNoSourceAccount, QString());
    for (const QString &account : FAccounts)
        ui->cbSource->addItem(account, account);
    const QList<TImportCategory> income = StatementImport::Categories(0);
    const QList<TImportCategory> expense = StatementImport::Categories(1);
    FModel->SetCategories(income, expense);
    FillCategories(ui->cbDefaultIncome, income, StatementImport::RememberedDefault(0));
    FillCategories(ui->cbDefaultExpense, expense, StatementImport::RememberedDefault(1));
    FillSources();
    ShowSummary();

    // A row's menu changes what the plan made of it; it comes up by mouse,
    // the menu key or Shift+F10, for the current row.
    FRowMenu->setObjectName(QStringLiteral("pmRows"));
    FSeparateAction = FRowMenu->addAction(QStringLiteral("分开记账"));
    FSeparateAction->setObjectName(QStringLiteral("NSeparate"));
    FPlainAction = FRowMenu->addAction(QStringLiteral("记为收支"));
    FPlainAction->setObjectName(QStringLiteral("NPlain"));
    FOwnMenu = FRowMenu->addMenu(QStringLiteral("对方是我的账户"));
    FOwnMenu->setObjectName(QStringLiteral("pmOwnAccount"));
    FRowMenu->addSeparator();
    FAutoAction = FRowMenu->addAction(QStringLiteral("恢复自动判断"));
    FAutoAction->setObjectName(QStringLiteral("NAuto"));
    connect(FRowMenu, &QMenu::aboutToShow, this, &TFormImport::UpdateRowMenu);
    ui->tvRows->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui->tvRows, &QWidget::customContextMenuRequested, this, &TFormImport::PopupRowMenu);
    auto *menuKey = new QAction(ui->tvRows);
    menuKey->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10));
    menuKey->setShortcutContext(Qt::WidgetShortcut);
    ui->tvRows->addAction(menuKey);
    connect(menuKey, &QAction::triggered, this,
            [this] { PopupRowMenu(ui->tvRows->visualRect(ui->tvRows->currentIndex()).center()); });
    connect(ui->tvRows->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &TFormImport::ShowDetail);
    connect(ui->twFiles, &QTableWidget::currentCellChanged, this, &TFormImport::ShowFileAccount);
    connect(ui->twSources, &QTableWidget::currentCellChanged, this,
            &TFormImport::ShowSourceAccount);

    // Commands run queued, so a failure never unwinds through event delivery,
    // and after any job the window waits on (one queued before it started
    // arrives while it runs).
    const auto command = [this](auto *sender, auto signal, void (TFormImport::*slot)()) {
        connect(
            sender, signal, this,
            [this, slot] { WhenNoJob(this, [this, slot] { (this->*slot)(); }); },
            Qt::QueuedConnection);
    };
    command(ui->btnFile, &QPushButton::clicked, &TFormImport::ChooseFile);
    command(ui->btnRemove, &QPushButton::clicked, &TFormImport::RemoveFile);
    command(ui->btnMapping, &QPushButton::clicked, &TFormImport::ApplyMapping);
    command(ui->btnImport, &QPushButton::clicked, &TFormImport::ImportClick);
    command(ui->btnRules, &QPushButton::clicked, &TFormImport::RulesClick);
    command(ui->cbAccount, &QComboBox::currentIndexChanged, &TFormImport::AccountChanged);
    command(ui->cbSource, &QComboBox::currentIndexChanged, &TFormImport::SourceChanged);
    command(ui->cbDefaultIncome, &QComboBox::activated, &TFormImport::DefaultsChanged);
    command(ui->cbDefaultExpense, &QComboBox::activated, &TFormImport::DefaultsChanged);
    const auto override = [this](QAction *action, std::optional<BillMerge::TOverride> choice) {
        connect(
            action, &QAction::triggered, this,
            [this, choice] { WhenNoJob(this, [this, choice] { Override(choice); }); },
            Qt::QueuedConnection);
    };
    override(FSeparateAction, BillMerge::TOverride::Separate);
    override(FPlainAction, BillMerge::TOverride::Plain);
    override(FAutoAction, std::nullopt);
    connect(
        FAutoAction, &QAction::triggered, this,
        [this] {
            WhenNoJob(this, [this] {
                const TRowRef lead = CurrentLead();
                if (lead.IsValid() && FBills[lead.Bill].Read.Rows[lead.Row].Personal)
                    SendPerson(QString());
            });
        },
        Qt::QueuedConnection);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(FModel, &QAbstractItemModel::dataChanged, this, &TFormImport::ShowSummary);
}

TFormImport::~TFormImport()
{
    // A read still running finishes before the window goes.
    if (FThread)
        FThread->wait();
}

const TStatement &TFormImport::Statement(int file) const
{
    static const TStatement none;
    return file >= 0 && file < FBills.size() ? FBills[file].Statement : none;
}

void TFormImport::reject()
{
    if (!FImporting)
        QDialog::reject();
}

void TFormImport::ChooseFile()
{
    OpenFiles(Prompt().FilesDialog(kStatementFilter));
}

void TFormImport::OpenFile(const QString &fileName)
{
    OpenFiles({fileName});
}

void TFormImport::OpenFiles(const QStringList &fileNames)
{
    for (const QString &fileName : fileNames)
        if (!FFiles.contains(fileName) && !FQueue.contains(fileName)
            && !(FLoading && fileName == FFileName))
            FQueue << fileName;
    if (!FLoading)
        ReadNext();
}

void TFormImport::RemoveFile()
{
    const int at = ui->twFiles->currentRow();
    if (FLoading || at < 0 || at >= FFiles.size())
        return;
    ui->tvRows->setCurrentIndex({});
    FFiles.removeAt(at);
    FBills.removeAt(at);
    FTypeIds.removeAt(at);
    FProposed.removeAt(at);
    FillFiles(std::min(at, static_cast<int>(FFiles.size()) - 1));
    ShowMapping();
    Replan();
}

void TFormImport::ReadNext()
{
    if (!FQueue.isEmpty()) {
        FFileName = FQueue.takeFirst();
        Read(TColumnMapping());
    }
}

void TFormImport::Read(const TColumnMapping &mapping)
{
    FLoading = true;
    ui->btnImport->setEnabled(false);
    ui->btnFile->setEnabled(false);
    ui->btnRemove->setEnabled(false);
    ui->btnMapping->setEnabled(false);
    ui->pbLoad->show();
    SetSummary(QStringLiteral("正在读取文件…"));
    // The file is read off the window's thread, so the window stays responsive
    // however long the file; the books are not touched there.
    auto result = std::make_shared<TStatement>();
    const QString fileName = FFileName;
    const QString password = FPasswords.value(fileName);
    FThread = QThread::create([fileName, mapping, password, result] {
        // No failure may leave the thread: that would end the program.
        try {
            *result = ReadStatement(fileName, mapping, password);
        } catch (const std::bad_alloc &) {
            result->Readable = Outcome::Fault(QStringLiteral("内存不足，无法读取这个文件"));
        } catch (const Exception &failure) {
            result->Readable = Outcome::Fault(failure.Message());
        } catch (...) {
            result->Readable = Outcome::Fault(QStringLiteral("读取文件时出错，文件没有读取"));
        }
    });
    connect(FThread, &QThread::finished, FThread, &QObject::deleteLater);
    connect(FThread, &QThread::finished, this, [this, result] {
        FThread = nullptr;
        WhenNoJob(this, [this, result] { Loaded(*result); });
    });
    FThread->start();
}

void TFormImport::Loaded(const TStatement &statement)
{
    if (statement.NeedsPassword && AskPassword(statement.Readable.Reason()))
        return;
    // An archive whose password is not given is left out without a word.
    const bool told = !statement.NeedsPassword;
    const bool readable = statement.Readable.IsSound();
    if (readable && statement.NeedsMapping) {
        const TColumnMapping remembered = StatementImport::RememberedMapping(statement.Header);
        if (remembered.IsValid()) {
            Read(remembered);
            return;
        }
    }
    // A failure names its file when the import has others.
    const bool alone = FQueue.isEmpty() && (FFiles.isEmpty() || FFiles == QStringList {FFileName});
    const QString failure = alone ? statement.Readable.Reason()
                                  : QStringLiteral("%1：%2").arg(QFileInfo(FFileName).fileName(),
                                                                 statement.Readable.Reason());
    if (readable) {
        AddBill(statement);
    } else if (const qsizetype at = FFiles.indexOf(FFileName); at >= 0) {
        // Read again with its columns given, it no longer reads at all.
        FFiles.removeAt(at);
        FBills.removeAt(at);
        FTypeIds.removeAt(at);
        FProposed.removeAt(at);
    }
    if (FQueue.isEmpty()) {
        FLoading = false;
        ui->pbLoad->hide();
        ui->btnFile->setEnabled(true);
        ui->btnMapping->setEnabled(true);
    }
    const int current
        = readable ? static_cast<int>(FFiles.indexOf(FFileName)) : ui->twFiles->currentRow();
    FillFiles(std::min(current, static_cast<int>(FFiles.size()) - 1));
    ShowMapping();
    Replan();
    if (!readable && told && FBills.isEmpty())
        SetSummary(statement.Readable.Reason());
    ReadNext();
    Q_EMIT FileLoaded();
    if (!readable && told)
        ShowError(failure);
}

bool TFormImport::AskPassword(const QString &reason)
{
    bool entered = false;
    const QString password = QInputDialog::getText(
        this, QStringLiteral("输入解压密码"),
        QStringLiteral("%1：%2。\n请输入解压密码：").arg(QFileInfo(FFileName).fileName(), reason),
        QLineEdit::Password, QString(), &entered);
    if (!entered || password.isEmpty()) {
        FPasswords.remove(FFileName);
        return false;
    }
    FPasswords.insert(FFileName, password);
    Read(TColumnMapping());
    return true;
}

void TFormImport::AddBill(const TStatement &statement)
{
    TBill bill(statement, QString());
    bill.Statement = statement;
    // A file read again with its columns given keeps its place and account.
    if (const qsizetype at = FFiles.indexOf(FFileName); at >= 0) {
        bill.Account = FBills[at].Account;
        FBills[at] = bill;
        return;
    }
    const QString remembered = StatementImport::RememberedAccount(statement.FormatId);
    // Else the one account named like the bill's app or bank (支付宝, 招商…).
    const QString maker = statement.IsBank || statement.Rows.isEmpty()
        ? statement.FormatName.left(2)
        : statement.Rows[0].App;
    const QStringList named = maker.isEmpty() ? QStringList() : FAccounts.filter(maker);
    bill.Account = FAccounts.contains(remembered) ? remembered
        : named.size() == 1                       ? named[0]
                                                  : ui->cbAccount->currentText();
    FFiles << FFileName;
    FBills << bill;
    FTypeIds << QList<int>();
    FProposed << QList<int>();
}

void TFormImport::ShowMapping()
{
    // The columns of one file are asked for at a time: the first that needs them.
    const auto needs = std::find_if(FBills.cbegin(), FBills.cend(),
                                    [](const TBill &bill) { return bill.Read.NeedsMapping; });
    if (needs == FBills.cend()) {
        FMappingFile.clear();
        ui->grpMapping->hide();
        return;
    }
    const QString fileName = FFiles[needs - FBills.cbegin()];
    if (fileName == FMappingFile)
        return;
    FMappingFile = fileName;
    const QStringList choices = QStringList {QStringLiteral("（无）")} + needs->Read.Header;
    for (QComboBox *box : {ui->cbDate, ui->cbTime, ui->cbAmount, ui->cbIncome, ui->cbExpense,
                           ui->cbRemark, ui->cbHint}) {
        box->clear();
        box->addItems(choices);
    }
    ui->grpMapping->show();
}

void TFormImport::ApplyMapping()
{
    const qsizetype at = FFiles.indexOf(FMappingFile);
    if (FLoading || at < 0)
        return;
    const auto column = [](const QComboBox *box) {
        return box->currentIndex() > 0 ? box->currentText() : QString();
    };
    TColumnMapping mapping;
    mapping.Date = column(ui->cbDate);
    mapping.Time = column(ui->cbTime);
    mapping.Amount = column(ui->cbAmount);
    mapping.Income = column(ui->cbIncome);
    mapping.Expense = column(ui->cbExpense);
    if (!column(ui->cbRemark).isEmpty())
        mapping.Remark << column(ui->cbRemark);
    mapping.Hint = column(ui->cbHint);
    if (!mapping.IsValid()) {
        ShowError(QStringLiteral("请至少指定日期列，以及金额列或收入、支出两列。"));
        return;
    }
    StatementImport::RememberMapping(FBills[at].Read.Header, mapping);
    ui->grpMapping->hide();
    FMappingFile.clear();
    FFileName = FFiles[at];
    Read(mapping);
}

void TFormImport::FillFiles(int current)
{
    QTableWidget *table = ui->twFiles;
    table->setRowCount(static_cast<int>(FFiles.size()));
    for (int b = 0; b < FFiles.size(); ++b) {
        const TStatement &read = FBills[b].Read;
        const auto cell = [&](int column, const QString &text) {
            auto *item = new QTableWidgetItem(text);
            item->setToolTip(text);
            table->setItem(b, column, item);
        };
        cell(FileName, QFileInfo(FFiles[b]).fileName());
        table->item(b, FileName)->setToolTip(QDir::toNativeSeparators(FFiles[b]));
        cell(FileFormat, read.NeedsMapping ? QStringLiteral("未识别的表格") : read.FormatName);
        cell(FilePeriod,
             read.FirstDate().isValid() ? QStringLiteral("%1 至 %2")
                                              .arg(read.FirstDate().toString(Qt::ISODate),
                                                   read.LastDate().toString(Qt::ISODate))
                                        : QString());
        cell(FileRows, QString::number(read.Rows.size()));
        cell(FileAccount, FBills[b].Account);
    }
    table->setCurrentCell(current, FileName);
    ShowFileAccount();
}

void TFormImport::ShowFileAccount()
{
    const int at = ui->twFiles->currentRow();
    ui->btnRemove->setEnabled(!FLoading && at >= 0);
    if (at < 0 || at >= FBills.size())
        return;
    const QSignalBlocker quiet(ui->cbAccount);
    ui->cbAccount->setCurrentIndex(ui->cbAccount->findText(FBills[at].Account));
}

void TFormImport::AccountChanged()
{
    // Before any file is read, the choice is the account of the files to come.
    const int at = ui->twFiles->currentRow();
    if (at < 0 || at >= FBills.size())
        return;
    FBills[at].Account = ui->cbAccount->currentText();
    ui->twFiles->item(at, FileAccount)->setText(FBills[at].Account);
    Replan();
}

void TFormImport::FillSources()
{
    // Every funding source and pocket the bills name, but a payment app's
    // balance when the import holds the app's bill: that bill's account.
    QSet<QString> apps;
    for (const TBill &bill : FBills)
        if (!bill.Read.IsBank)
            for (const TStatementRow &row : bill.Read.Rows)
                apps.insert(row.App);
    QStringList names;
    for (const TBill &bill : FBills)
        for (const TStatementRow &row : bill.Read.Rows)
            for (const QString &name : {row.Source, row.Pocket})
                if (!name.isEmpty() && !(IsAppBalance(row.App, name) && apps.contains(row.App))
                    && !names.contains(name))
                    names << name;
    names.sort();
    QTableWidget *table = ui->twSources;
    const QString current
        = table->currentRow() >= 0 ? table->item(table->currentRow(), 0)->text() : QString();
    const BillMerge::TPockets pockets = StatementImport::RememberedPockets();
    table->setRowCount(static_cast<int>(names.size()));
    for (int i = 0; i < names.size(); ++i) {
        const QString account = pockets.value(names[i]);
        table->setItem(i, 0, new QTableWidgetItem(names[i]));
        auto *item = new QTableWidgetItem(account.isEmpty() ? kNoSourceAccount : account);
        item->setData(Qt::UserRole, account);
        table->setItem(i, 1, item);
    }
    table->setCurrentCell(names.isEmpty() ? -1 : std::max(0, int(names.indexOf(current))), 0);
    ShowSourceAccount();
    for (QWidget *widget :
         QList<QWidget *> {ui->lblSources, ui->twSources, ui->lblSource, ui->cbSource})
        widget->setVisible(!names.isEmpty());
}

void TFormImport::ShowSourceAccount()
{
    const int at = ui->twSources->currentRow();
    if (at < 0)
        return;
    const QSignalBlocker quiet(ui->cbSource);
    ui->cbSource->setCurrentIndex(
        std::max(0, ui->cbSource->findData(ui->twSources->item(at, 1)->data(Qt::UserRole))));
}

void TFormImport::SourceChanged()
{
    const int at = ui->twSources->currentRow();
    if (at < 0)
        return;
    StatementImport::RememberSourceAccount(ui->twSources->item(at, 0)->text(),
                                           ui->cbSource->currentData().toString());
    Replan();
}

void TFormImport::Replan()
{
    // The bills are planned together with the accounts and choices as they
    // now are, then marked against the books; rows left out or given another
    // category are as planned again. Many rows take a while: the planning
    // runs as a job, on copies, while the table shows the rows as they were.
    QList<TBill> bills = FBills;
    QList<QList<int>> typeIds = FTypeIds;
    QList<QList<int>> proposed = FProposed;
    const int income = DefaultCategory(0);
    const int expense = DefaultCategory(1);
    RunJob(
        QStringLiteral("正在核对账单…"),
        [&](TJob &) {
            StatementImport::PlanBills(bills);
            ProposeCategories(bills, typeIds, proposed, income, expense);
        },
        QStringLiteral("账单要与账目完整核对一遍。"), TJobBooks::Used);
    FBills = std::move(bills);
    FTypeIds = std::move(typeIds);
    FProposed = std::move(proposed);
    ShowRows();
    FillSources();
    ShowSummary();
}

void TFormImport::ShowRows()
{
    // The current row stays current: the bills keep their rows in order.
    const QModelIndex current = ui->tvRows->currentIndex();
    const TRowRef ref = FModel->Ref(current.row());
    // A bill is named by its format, and by its file too where two share one.
    QStringList labels;
    for (const TBill &bill : FBills)
        labels << bill.Read.FormatName;
    const QStringList formats = labels;
    for (qsizetype b = 0; b < labels.size(); ++b)
        if (formats.count(formats[b]) > 1)
            labels[b] += QStringLiteral("（%1）").arg(QFileInfo(FFiles[b]).fileName());
    FModel->Reset(&FBills, &FTypeIds, labels);
    if (const int row = FModel->Row(ref); row >= 0 && row < FModel->rowCount())
        ui->tvRows->setCurrentIndex(FModel->index(row, current.column()));
    ShowDetail();
}

void TFormImport::DefaultsChanged()
{
    Propose();
    ShowRows();
}

void TFormImport::RulesClick()
{
    ShowImportRules(this);
    DefaultsChanged();
}

void TFormImport::Propose()
{
    ProposeCategories(FBills, FTypeIds, FProposed, DefaultCategory(0), DefaultCategory(1));
}

int TFormImport::DefaultCategory(int kind) const
{
    const QComboBox *box = kind == 0 ? ui->cbDefaultIncome : ui->cbDefaultExpense;
    return box->currentData().toInt();
}

TRowRef TFormImport::CurrentRow() const
{
    return FModel->Ref(ui->tvRows->currentIndex().row());
}

TRowRef TFormImport::CurrentLead() const
{
    // A card's line merged with a payment app's row follows that row: the
    // app's row names whom the money went to.
    const TRowRef self = CurrentRow();
    if (!self.IsValid())
        return {};
    const TRowPlan &plan = FBills[self.Bill].Plans[self.Row];
    return plan.Status == TRowStatus::Merged && plan.Partner.IsValid() ? plan.Partner : self;
}

void TFormImport::PopupRowMenu(const QPoint &at)
{
    if (CurrentRow().IsValid())
        FRowMenu->popup(ui->tvRows->viewport()->mapToGlobal(at));
}

QString TFormImport::OverrideKey() const
{
    // Whom the money of the current row went to, as its choice is remembered:
    // for a card's line merged with an app's row, the app's counterparty.
    // Once booked apart, both rows keep the one that parted them.
    const TRowRef self = CurrentRow();
    const TRowRef lead = CurrentLead();
    return FOverrideKeys.value(FBills[self.Bill].Read.Rows[self.Row].SourceId,
                               BillMerge::Counterparty(FBills[lead.Bill].Read.Rows[lead.Row]));
}

void TFormImport::UpdateRowMenu()
{
    for (QAction *action : FRowMenu->actions())
        action->setEnabled(false);
    const TRowRef lead = CurrentLead();
    if (!lead.IsValid())
        return;
    const TRowPlan &plan = FBills[lead.Bill].Plans[lead.Row];
    FSeparateAction->setEnabled(plan.Partner.IsValid() || plan.Status == TRowStatus::Merged);
    FPlainAction->setEnabled(plan.Status == TRowStatus::Transfer
                             || plan.Status == TRowStatus::Refund);
    const TStatementRow &row = FBills[lead.Bill].Statement.Rows[lead.Row];
    const bool sent
        = row.Personal && StatementImport::RememberedPockets().contains(row.Counterparty);
    FAutoAction->setEnabled(sent || StatementImport::RememberedOverrides().contains(OverrideKey()));
    FOwnMenu->clear();
    FOwnMenu->menuAction()->setEnabled(row.Personal && !row.Counterparty.isEmpty());
    QStringList accounts;
    TAccount().ListAccountNames(accounts);
    for (const QString &account : accounts)
        if (account != plan.Account)
            connect(
                FOwnMenu->addAction(account), &QAction::triggered, this,
                [this, account] { WhenNoJob(this, [this, account] { SendPerson(account); }); },
                Qt::QueuedConnection);
}

void TFormImport::SendPerson(const QString &account)
{
    const TRowRef lead = CurrentLead();
    if (!lead.IsValid())
        return;
    StatementImport::RememberSourceAccount(FBills[lead.Bill].Read.Rows[lead.Row].Counterparty,
                                           account);
    Replan();
}

void TFormImport::Override(std::optional<BillMerge::TOverride> choice)
{
    const TRowRef self = CurrentRow();
    if (!self.IsValid())
        return;
    const QString key = OverrideKey();
    for (const TRowRef row : {self, FBills[self.Bill].Plans[self.Row].Partner})
        if (row.IsValid())
            FOverrideKeys.insert(FBills[row.Bill].Read.Rows[row.Row].SourceId, key);
    StatementImport::RememberOverride(key, choice);
    Replan();
}

void TFormImport::ShowDetail()
{
    // What the status column cannot say in a few words: the other row of the
    // same money, the purchase a refund gives back, a source with no account.
    QStringList parts;
    if (const TRowRef ref = CurrentRow(); ref.IsValid()) {
        const TStatementRow &self = FBills[ref.Bill].Statement.Rows[ref.Row];
        const TRowPlan &plan = FBills[ref.Bill].Plans[ref.Row];
        const auto where = [this](TRowRef other) {
            const TStatementRow &row = FBills[other.Bill].Statement.Rows[other.Row];
            return QStringLiteral("%1第 %2 行（%3，%4，%5）")
                .arg(FModel->Label(other.Bill))
                .arg(row.Line)
                .arg(row.Date.toString(Qt::ISODate), row.Amount.ToString(), row.Remark);
        };
        if (plan.Partner.IsValid())
            parts << QStringLiteral("与%1是同一笔钱").arg(where(plan.Partner));
        if (plan.Purchase.IsValid())
            parts << QStringLiteral("退回的是%1").arg(where(plan.Purchase));
        if (!plan.Unmapped.isEmpty())
            parts << QStringLiteral("“%1”还没有指定账户").arg(plan.Unmapped)
                    + (Ticked(self) ? QStringLiteral("，暂记入%1").arg(plan.Account) : QString());
    }
    const QString text = parts.join(QStringLiteral("；"));
    ui->lblDetail->setText(text);
    ui->lblDetail->setAccessibleDescription(text);
}

bool TFormImport::ConfirmUnmapped()
{
    // Rows of a source no account is chosen for go to their bill's account;
    // asked once, that choice is remembered for each such source.
    const BillMerge::TPockets pockets = StatementImport::RememberedPockets();
    QStringList sources;
    QStringList accounts;
    int rows = 0;
    for (const TBill &bill : FBills)
        for (int r = 0; r < bill.Statement.Rows.size(); ++r) {
            const QString &source = bill.Plans[r].Unmapped;
            if (!BillMerge::Bookable(bill.Statement.Rows[r].Status) || source.isEmpty()
                || pockets.contains(source))
                continue;
            ++rows;
            if (!sources.contains(source)) {
                sources << source;
                accounts << bill.Account;
            }
        }
    if (sources.isEmpty())
        return true;
    if (!ShowConfirm(
            QStringLiteral("资金来源“%1”还没有指定账户，它们的 %2 条记录将记入所在账单的账户。"
                           "\n是否这样导入，并记住这个选择？")
                .arg(sources.join(QStringLiteral("”、“")))
                .arg(rows)))
        return false;
    for (qsizetype i = 0; i < sources.size(); ++i)
        StatementImport::RememberSourceAccount(sources[i], accounts[i]);
    FillSources();
    return true;
}

void TFormImport::ShowSummary()
{
    ui->btnImport->setEnabled(false);
    if (FBills.isEmpty()) {
        SetSummary(FIntro + (FAccounts.isEmpty() ? kNoAccount : QString()));
        return;
    }
    const int fresh = Count(FBills, {TRowStatus::New, TRowStatus::Transfer, TRowStatus::Refund});
    qsizetype rows = 0;
    QDate first;
    QDate last;
    for (const TBill &bill : FBills) {
        rows += bill.Statement.Rows.size();
        const QDate from = bill.Statement.FirstDate();
        if (from.isValid() && (!first.isValid() || from < first))
            first = from;
        last = std::max(last, bill.Statement.LastDate());
    }
    QString text = FBills.size() == 1
        ? QStringLiteral("格式：%1").arg(FBills[0].Statement.FormatName)
        : QStringLiteral("%1 个文件").arg(FBills.size());
    if (first.isValid())
        text += QStringLiteral("　期间：%1 至 %2")
                    .arg(first.toString(Qt::ISODate), last.toString(Qt::ISODate));
    text += QStringLiteral("\n共 %1 行：导入 %2，跳过 %3，可能重复 %4，无法识别 %5")
                .arg(rows)
                .arg(fresh)
                .arg(Count(FBills, {TRowStatus::Skipped}))
                .arg(Count(FBills, {TRowStatus::Duplicate}))
                .arg(Count(FBills, {TRowStatus::Unreadable}));
    if (const int merged = Count(FBills, {TRowStatus::Merged}); merged > 0)
        text += QStringLiteral("，合并 %1").arg(merged);
    if (rows == 0)
        text += QStringLiteral("\n文件中没有交易记录。");
    if (!FMappingFile.isEmpty())
        text = FBills.size() == 1 ? kAskMapping
                                  : text + u'\n' + QFileInfo(FMappingFile).fileName()
                + QStringLiteral("：") + kAskMapping;
    if (FAccounts.isEmpty())
        text += kNoAccount;
    SetSummary(text);
    ui->btnImport->setEnabled(fresh > 0 && FMappingFile.isEmpty() && !FAccounts.isEmpty()
                              && !FLoading);
}

void TFormImport::SetSummary(const QString &text)
{
    // The label's accessible name names it; screen readers read the summary
    // itself as its description.
    ui->lblSummary->setText(text);
    ui->lblSummary->setAccessibleDescription(text);
}

void TFormImport::ImportClick()
{
    if (FBills.isEmpty() || FAccounts.isEmpty()) {
        ShowError(QStringLiteral("请先选择要导入到的账户。"));
        return;
    }
    if (!ConfirmUnmapped())
        return;
    if (BeforeJob)
        BeforeJob();
    // One transaction on the books' connection, written on a worker while
    // the window waits and shows how far it got; a stop between batches rolls
    // it back. The categories are read from the window before it starts.
    const int fresh = Count(FBills, {TRowStatus::New, TRowStatus::Transfer, TRowStatus::Refund});
    SetSummary(QStringLiteral("正在导入 %1 条记录…").arg(fresh));
    ui->btnImport->setEnabled(false);
    ui->pbImport->setMaximum(fresh);
    ui->pbImport->setValue(0);
    ui->pbImport->show();
    FImporting = true;
    const int defaultIncome = DefaultCategory(0);
    const int defaultExpense = DefaultCategory(1);
    // Set when the records are in, even when a stop came too late to keep them out.
    bool written = false;
    std::optional<QString> failed;
    try {
        RunJob(
            QStringLiteral("正在导入账单…"),
            [&, bar = ui->pbImport](TJob &job) {
                // Reported on the worker, shown on the window's thread.
                connect(&job, &TJob::Progressed, bar, [bar, fresh](double fraction) {
                    bar->setValue(qRound(qMax(0.0, fraction) * fresh));
                });
                if (BeforeImport) {
                    job.Report(-1, QStringLiteral("正在保存自动备份…"));
                    if (!BeforeImport())
                        return;
                }
                job.Report(0, QStringLiteral("正在写入记录…"));
                FImported = StatementImport::ImportBills(FBills, FTypeIds, defaultIncome,
                                                         defaultExpense, Hooks(job), FProposed);
                written = true;
            },
            {}, TJobBooks::Used);
    } catch (const Exception &failure) {
        failed = failure.Message();
    }
    FImporting = false;
    ui->pbImport->hide();
    if (failed) {
        ShowSummary();
        ShowError(QStringLiteral("导入失败，账目没有任何改变：%1").arg(*failed));
        return;
    }
    // Stopped, or the copy before it failed (and said why): nothing was written.
    if (!written) {
        ShowSummary();
        return;
    }
    WriteLog(QStringLiteral("导入账单 %1 条").arg(FImported));
    ShowInfo(Finished());
    accept();
}

QString TFormImport::Finished() const
{
    // The period tells where to look: the main window shows this month's.
    QDate first;
    QDate last;
    QStringList accounts; // in the order of their first record
    QHash<QString, int> records;
    int transfers = 0;
    for (const TEntry &entry : BillMerge::Entries(FBills)) {
        if (!first.isValid() || entry.Date < first)
            first = entry.Date;
        if (!last.isValid() || entry.Date > last)
            last = entry.Date;
        if (entry.IsTransfer) {
            ++transfers;
            continue;
        }
        if (!records.contains(entry.Account))
            accounts << entry.Account;
        ++records[entry.Account];
    }
    QStringList counts;
    for (const QString &account : accounts)
        counts << QStringLiteral("%1 %2 条").arg(account).arg(records[account]);
    if (transfers > 0)
        counts << QStringLiteral("转账 %1 笔").arg(transfers);
    // A merged row joined what another row or an earlier import booked.
    int merged = 0;
    for (const TBill &bill : FBills)
        for (int r = 0; r < bill.Statement.Rows.size(); ++r) {
            const TRowPlan &plan = bill.Plans[r];
            const TRowRef partner = plan.Partner;
            merged += bill.Statement.Rows[r].Status == TRowStatus::Merged
                && (plan.KnownRecord != 0 || plan.KnownTransfer != 0
                    || (partner.IsValid()
                        && BillMerge::Bookable(
                            FBills[partner.Bill].Statement.Rows[partner.Row].Status)));
        }
    QString text = QStringLiteral("已导入 %1 条记录（%2 至 %3）。")
                       .arg(FImported)
                       .arg(first.toString(Qt::ISODate), last.toString(Qt::ISODate));
    if (!counts.isEmpty())
        text += QStringLiteral("\n其中：%1。").arg(counts.join(QStringLiteral("，")));
    if (merged > 0)
        text += QStringLiteral("\n另有 %1 行与其他行是同一笔钱，已合并记账。").arg(merged);
    return text;
}
