#include "ImportStatement.h"

#include "ui_ImportStatement.h"

#include "ImportRules.h"

#include "data/UException.h"
#include "data/UntPublic.h"
#include "ledger/UntAccount.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QThread>
#include <memory>
#include <new>
#include <optional>

namespace {

const QString kStatementFilter = QStringLiteral("账单文件 (*.csv *.xlsx *.xls);;所有文件 (*)");

const QString kNoAccount = QStringLiteral("\n还没有账户：请先在“账户信息”中新建一个账户，再导入。");

QString StatusText(const TStatementRow &row)
{
    switch (row.Status) {
    case TRowStatus::New:
        return QStringLiteral("新记录");
    case TRowStatus::Skipped:
        return QStringLiteral("跳过：") + row.Reason;
    case TRowStatus::Duplicate:
        return QStringLiteral("可能重复：") + row.Reason;
    case TRowStatus::Unreadable:
        return QStringLiteral("无法识别：") + row.Reason;
    }
    return QString();
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

void TImportRowsModel::Reset(TStatement *statement, QList<int> *typeIds)
{
    beginResetModel();
    FStatement = statement;
    FTypeIds = typeIds;
    endResetModel();
}

void TImportRowsModel::SetCategories(const QList<TImportCategory> &income,
                                     const QList<TImportCategory> &expense)
{
    FCategories[0] = income;
    FCategories[1] = expense;
}

int TImportRowsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !FStatement ? 0 : static_cast<int>(FStatement->Rows.size());
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

QVariant TImportRowsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !FStatement)
        return {};
    const TStatementRow &row = FStatement->Rows[index.row()];
    const int kind = row.Kind == 0 ? 0 : 1;
    if (role == Qt::UserRole)
        return kind;
    if (role == Qt::CheckStateRole && index.column() == ColStatus)
        return row.Status == TRowStatus::New ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::EditRole && index.column() == ColCategory)
        return FTypeIds->value(index.row());
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const bool readable = row.Status != TRowStatus::Unreadable;
    switch (index.column()) {
    case ColDate:
        if (!readable && !row.Date.isValid())
            return QString();
        return row.Time.isValid() ? row.Date.toString(QStringLiteral("yyyy-MM-dd "))
                + row.Time.toString(QStringLiteral("HH:mm:ss"))
                                  : row.Date.toString(Qt::ISODate);
    case ColKind:
        return readable ? (kind == 0 ? QStringLiteral("收入") : QStringLiteral("支出")) : QString();
    case ColAmount:
        return readable ? row.Amount.ToString() : QString();
    case ColRemark:
        return row.Remark;
    case ColCategory:
        return readable ? CategoryName(kind, FTypeIds->value(index.row())) : QString();
    case ColStatus:
        return StatusText(row);
    default:
        return {};
    }
}

bool TImportRowsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || !FStatement)
        return false;
    TStatementRow &row = FStatement->Rows[index.row()];
    if (!Importable(row))
        return false;
    if (role == Qt::CheckStateRole && index.column() == ColStatus) {
        const bool checked = value.toInt() == Qt::Checked;
        if (checked) {
            row.Status = TRowStatus::New;
            row.Reason.clear();
        } else if (row.Status == TRowStatus::New) {
            row.Status = TRowStatus::Skipped;
            row.Reason = QStringLiteral("不导入这一行");
        }
        Q_EMIT dataChanged(index, index);
        return true;
    }
    if (role == Qt::EditRole && index.column() == ColCategory) {
        (*FTypeIds)[index.row()] = value.toInt();
        Q_EMIT dataChanged(index, index);
        return true;
    }
    return false;
}

Qt::ItemFlags TImportRowsModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid() || !FStatement || !Importable(FStatement->Rows[index.row()]))
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
        = {QStringLiteral("日期"), QStringLiteral("收支"), QStringLiteral("金额"),
           QStringLiteral("备注"), QStringLiteral("分类"), QStringLiteral("状态")};
    return titles.value(section);
}

TFormImport::TFormImport(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFormImport>())
    , FModel(new TImportRowsModel(this))
{
    ui->setupUi(this);
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
                              metrics.horizontalAdvance(sample) + 4 * metrics.averageCharWidth());
    };
    fit(TImportRowsModel::ColDate, QStringLiteral("2026-12-31 23:59:59"));
    fit(TImportRowsModel::ColKind, QStringLiteral("收支"));
    fit(TImportRowsModel::ColAmount, QStringLiteral("1000000.00"));
    fit(TImportRowsModel::ColCategory, QStringLiteral("分类名称较长"));
    fit(TImportRowsModel::ColStatus, QStringLiteral("跳过：交易关闭，没有付款"));
    ui->tvRows->verticalHeader()->hide();

    QStringList accounts;
    TAccount().ListAccountNames(accounts);
    ui->cbAccount->addItems(accounts);
    SetSummary(ui->lblSummary->text() + (accounts.isEmpty() ? kNoAccount : QString()));
    const QList<TImportCategory> income = StatementImport::Categories(0);
    const QList<TImportCategory> expense = StatementImport::Categories(1);
    FModel->SetCategories(income, expense);
    FillCategories(ui->cbDefaultIncome, income, StatementImport::RememberedDefault(0));
    FillCategories(ui->cbDefaultExpense, expense, StatementImport::RememberedDefault(1));

    // Commands run queued, so a failure never unwinds through event delivery.
    const auto command = [this](auto *sender, auto signal, void (TFormImport::*slot)()) {
        connect(sender, signal, this, slot, Qt::QueuedConnection);
    };
    command(ui->btnFile, &QPushButton::clicked, &TFormImport::ChooseFile);
    command(ui->btnMapping, &QPushButton::clicked, &TFormImport::ApplyMapping);
    command(ui->btnImport, &QPushButton::clicked, &TFormImport::ImportClick);
    command(ui->btnRules, &QPushButton::clicked, &TFormImport::RulesClick);
    command(ui->cbAccount, &QComboBox::activated, &TFormImport::AccountChanged);
    command(ui->cbDefaultIncome, &QComboBox::activated, &TFormImport::DefaultsChanged);
    command(ui->cbDefaultExpense, &QComboBox::activated, &TFormImport::DefaultsChanged);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(FModel, &QAbstractItemModel::dataChanged, this, &TFormImport::ShowSummary);
}

TFormImport::~TFormImport()
{
    // A read still running finishes before the window goes.
    if (FThread)
        FThread->wait();
}

void TFormImport::reject()
{
    if (!FImporting)
        QDialog::reject();
}

void TFormImport::ChooseFile()
{
    const QString fileName = Prompt().FileDialog(TFileDialogKind::Open, kStatementFilter);
    if (!fileName.isEmpty())
        OpenFile(fileName);
}

void TFormImport::OpenFile(const QString &fileName)
{
    if (FLoading)
        return;
    FFileName = fileName;
    ui->edtFile->setText(fileName);
    ui->grpMapping->hide();
    Read(TColumnMapping());
}

void TFormImport::Read(const TColumnMapping &mapping)
{
    FLoading = true;
    ui->btnImport->setEnabled(false);
    ui->btnFile->setEnabled(false);
    ui->btnMapping->setEnabled(false);
    ui->pbLoad->show();
    SetSummary(QStringLiteral("正在读取文件…"));
    // The file is read off the window's thread, so the window stays responsive
    // however long the file; the books are not touched there.
    auto result = std::make_shared<TStatement>();
    const QString fileName = FFileName;
    FThread = QThread::create([fileName, mapping, result] {
        // No failure may leave the thread: that would end the program.
        try {
            *result = ReadStatement(fileName, mapping);
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
        Loaded(*result);
    });
    FThread->start();
}

void TFormImport::Loaded(const TStatement &statement)
{
    FLoading = false;
    ui->pbLoad->hide();
    ui->btnFile->setEnabled(true);
    ui->btnMapping->setEnabled(true);
    FStatement = statement;
    FTypeIds.clear();
    FProposed.clear();
    FModel->Reset(&FStatement, &FTypeIds);
    if (!FStatement.Readable.IsSound()) {
        SetSummary(FStatement.Readable.Reason());
        Q_EMIT FileLoaded();
        ShowError(FStatement.Readable.Reason());
        return;
    }
    if (FStatement.NeedsMapping) {
        const TColumnMapping remembered = StatementImport::RememberedMapping(FStatement.Header);
        if (remembered.IsValid()) {
            Read(remembered);
            return;
        }
        const QStringList choices = QStringList {QStringLiteral("（无）")} + FStatement.Header;
        for (QComboBox *box : {ui->cbDate, ui->cbTime, ui->cbAmount, ui->cbIncome, ui->cbExpense,
                               ui->cbRemark, ui->cbHint}) {
            box->clear();
            box->addItems(choices);
        }
        ui->grpMapping->show();
        SetSummary(QStringLiteral("无法识别这个表格的格式。请指出日期、金额等各在哪一列，"
                                  "下次遇到表头相同的文件会自动使用这些设置。"));
        Q_EMIT FileLoaded();
        return;
    }
    const QString remembered = StatementImport::RememberedAccount(FStatement.FormatId);
    if (const int at = ui->cbAccount->findText(remembered); at >= 0)
        ui->cbAccount->setCurrentIndex(at);
    Propose();
    AccountChanged();
    Q_EMIT FileLoaded();
}

void TFormImport::ApplyMapping()
{
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
    StatementImport::RememberMapping(FStatement.Header, mapping);
    ui->grpMapping->hide();
    Read(mapping);
}

void TFormImport::AccountChanged()
{
    if (FLoading || FStatement.Rows.isEmpty()) {
        ShowSummary();
        return;
    }
    StatementImport::MarkKnownRows(FStatement, ui->cbAccount->currentText());
    FModel->Reset(&FStatement, &FTypeIds);
    ShowSummary();
}

void TFormImport::DefaultsChanged()
{
    if (FStatement.Rows.isEmpty())
        return;
    Propose();
    FModel->Reset(&FStatement, &FTypeIds);
}

void TFormImport::RulesClick()
{
    ShowImportRules(this);
    DefaultsChanged();
}

void TFormImport::Propose()
{
    const QList<int> proposed
        = StatementImport::ChooseCategories(FStatement, DefaultCategory(0), DefaultCategory(1));
    QList<int> typeIds = proposed;
    if (FTypeIds.size() == proposed.size() && FProposed.size() == proposed.size())
        for (qsizetype i = 0; i < proposed.size(); ++i)
            if (FTypeIds[i] != FProposed[i])
                typeIds[i] = FTypeIds[i];
    FProposed = proposed;
    FTypeIds = typeIds;
}

int TFormImport::DefaultCategory(int kind) const
{
    const QComboBox *box = kind == 0 ? ui->cbDefaultIncome : ui->cbDefaultExpense;
    return box->currentData().toInt();
}

void TFormImport::ShowSummary()
{
    if (FStatement.FormatId.isEmpty() || FStatement.NeedsMapping)
        return;
    const int fresh = FStatement.Count(TRowStatus::New);
    QString text = QStringLiteral("格式：%1").arg(FStatement.FormatName);
    if (FStatement.FirstDate().isValid())
        text += QStringLiteral("　期间：%1 至 %2")
                    .arg(FStatement.FirstDate().toString(Qt::ISODate),
                         FStatement.LastDate().toString(Qt::ISODate));
    text += QStringLiteral("\n共 %1 行：导入 %2，跳过 %3，可能重复 %4，无法识别 %5")
                .arg(FStatement.Rows.size())
                .arg(fresh)
                .arg(FStatement.Count(TRowStatus::Skipped))
                .arg(FStatement.Count(TRowStatus::Duplicate))
                .arg(FStatement.Count(TRowStatus::Unreadable));
    if (FStatement.Rows.isEmpty())
        text += QStringLiteral("\n文件中没有交易记录。");
    if (ui->cbAccount->count() == 0)
        text += kNoAccount;
    SetSummary(text);
    ui->btnImport->setEnabled(fresh > 0 && ui->cbAccount->currentIndex() >= 0 && !FLoading);
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
    if (ui->cbAccount->currentIndex() < 0) {
        ShowError(QStringLiteral("请先选择要导入到的账户。"));
        return;
    }
    if (BeforeImport && !BeforeImport())
        return;
    // One transaction on the books' connection, on the window's thread. After
    // each batch of records the window paints their progress; keys and clicks
    // wait until the import is over, so nothing else reaches the books meanwhile.
    SetSummary(QStringLiteral("正在导入 %1 条记录…").arg(FStatement.Count(TRowStatus::New)));
    ui->btnImport->setEnabled(false);
    ui->pbImport->setValue(0);
    ui->pbImport->show();
    FImporting = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const auto progress = [this](qsizetype total, qsizetype written) {
        ui->pbImport->setMaximum(static_cast<int>(total));
        ui->pbImport->setValue(static_cast<int>(written));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    std::optional<QString> failed;
    try {
        FImported = StatementImport::ImportRows(FStatement, FTypeIds, ui->cbAccount->currentText(),
                                                DefaultCategory(0), DefaultCategory(1), progress,
                                                FProposed);
    } catch (const Exception &failure) {
        failed = failure.Message();
    }
    FImporting = false;
    ui->pbImport->hide();
    QGuiApplication::restoreOverrideCursor();
    if (failed) {
        ShowSummary();
        ShowError(QStringLiteral("导入失败，账目没有任何改变：%1").arg(*failed));
        return;
    }
    WriteLog(QStringLiteral("导入账单 %1 条").arg(FImported));
    // The period tells where to look: the main window shows this month's.
    QDate first;
    QDate last;
    for (const TStatementRow &row : FStatement.Rows)
        if (row.Status == TRowStatus::New) {
            if (!first.isValid() || row.Date < first)
                first = row.Date;
            if (!last.isValid() || row.Date > last)
                last = row.Date;
        }
    ShowInfo(QStringLiteral("已导入 %1 条记录（%2 至 %3）。")
                 .arg(FImported)
                 .arg(first.toString(Qt::ISODate), last.toString(Qt::ISODate)));
    accept();
}
