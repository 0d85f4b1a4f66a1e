#include "ImportRules.h"
#include "ui_ImportRule.h"
#include "ui_ImportRules.h"

#include "ViewType.h"

#include "data/UntPublic.h"
#include "ledger/Categories.h"
#include "ledger/UntAccount.h"

#include <QAction>
#include <QHeaderView>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QTreeWidget>

namespace {

enum TColumn { ColField, ColPattern, ColKind, ColCategory, ColAccount };

const QString kByStatement = QStringLiteral("（按账单）");

QString FieldName(TImportRule::TField field)
{
    return field == TImportRule::FieldCounterparty ? QStringLiteral("交易对方")
                                                   : QStringLiteral("备注");
}

QString KindName(int kind)
{
    return kind == 0 ? QStringLiteral("收入") : QStringLiteral("支出");
}

// A category as the main window's tree places it: "餐饮/早餐".
QString CategoryPath(const TCategoryTree &tree, int typeId)
{
    return tree.Exists(typeId) ? tree.Path(typeId).join(u'/') : QStringLiteral("（分类已删除）");
}

QString CategoryPath(int kind, int typeId)
{
    TCategoryTree tree;
    tree.Load(kind == 0);
    return CategoryPath(tree, typeId);
}

} // namespace

TFormImportRule::TFormImportRule(QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormImportRule>())
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    setFixedSize(ClientArea()->size());
    ui->cbField->addItem(FieldName(TImportRule::FieldCounterparty));
    ui->cbField->addItem(FieldName(TImportRule::FieldRemark));
    ui->cbKind->addItems({KindName(0), KindName(1)});
    ui->cbKind->setCurrentIndex(FRule.Kind);
    ui->edtCategory->Button()->setAccessibleName(QStringLiteral("选择分类"));
    QStringList accounts;
    TAccount().ListAccountNames(accounts);
    ui->cbAccount->addItem(kByStatement);
    ui->cbAccount->addItems(accounts);
    ShowCategory();

    connect(ui->cbKind, &QComboBox::activated, this, &TFormImportRule::KindChanged);
    // The picker runs as an event of its own, so that a failure in it never
    // unwinds through the button that opened it.
    connect(ui->edtCategory, &TCardEdtBut::OnButClick, this, &TFormImportRule::ChooseCategory,
            Qt::QueuedConnection);
    setTabOrder(ui->cbAccount, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TFormImportRule::~TFormImportRule() = default;

void TFormImportRule::LoadRule(const TImportRule &rule)
{
    setWindowTitle(QStringLiteral("修改分类规则"));
    FRule = rule;
    ui->cbField->setCurrentIndex(rule.Field);
    ui->edtPattern->setText(rule.Pattern);
    ui->cbKind->setCurrentIndex(rule.Kind);
    // An account deleted since still shows, so that OK says it is gone.
    if (!rule.Account.isEmpty() && ui->cbAccount->findText(rule.Account) < 0)
        ui->cbAccount->addItem(rule.Account);
    ui->cbAccount->setCurrentIndex(rule.Account.isEmpty() ? 0
                                                          : ui->cbAccount->findText(rule.Account));
    ShowCategory();
}

void TFormImportRule::KindChanged()
{
    if (ui->cbKind->currentIndex() == FRule.Kind)
        return;
    FRule.Kind = ui->cbKind->currentIndex();
    FRule.TypeID = 0;
    ShowCategory();
}

void TFormImportRule::ChooseCategory()
{
    int typeId = FRule.TypeID;
    QString name;
    if (ShowViewType(FRule.Kind, typeId, name) != mrOk)
        return;
    FRule.TypeID = typeId;
    ShowCategory();
}

void TFormImportRule::ShowCategory()
{
    ui->edtCategory->setText(FRule.TypeID == 0 ? QStringLiteral("选择分类")
                                               : CategoryPath(FRule.Kind, FRule.TypeID));
    ui->edtCategory->setCursorPosition(0);
}

void TFormImportRule::btnOKClick()
{
    TImportRule rule = FRule;
    rule.Field = TImportRule::TField(ui->cbField->currentIndex());
    rule.Pattern = ui->edtPattern->text();
    rule.Account = ui->cbAccount->currentIndex() > 0 ? ui->cbAccount->currentText() : QString();
    if (rule.Id == 0)
        rule.Id = ImportRules::Add(rule);
    else
        ImportRules::Modify(rule);
    FRule = rule;
    accept();
}

TFormImportRules::TFormImportRules(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::TFormImportRules>())
{
    ui->setupUi(this);
    const int widths[] = {80, 200, 50, 180};
    for (int column = ColField; column < ColAccount; ++column)
        ui->lvRules->setColumnWidth(column, widths[column]);

    // Delete on a rule deletes it, after the question.
    auto *remove = new QAction(QStringLiteral("删除"), ui->lvRules);
    remove->setShortcut(QKeySequence(QKeySequence::Delete));
    remove->setShortcutContext(Qt::WidgetShortcut);
    ui->lvRules->addAction(remove);

    // Commands run as events of their own (queued), so that a failure, which
    // ends the command, never unwinds through the internals of a control.
    const auto command = [this](auto *sender, auto signal, void (TFormImportRules::*slot)()) {
        connect(sender, signal, this, slot, Qt::QueuedConnection);
    };
    command(ui->btnNew, &QPushButton::clicked, &TFormImportRules::NewClick);
    command(ui->btnEdit, &QPushButton::clicked, &TFormImportRules::EditClick);
    command(ui->lvRules, &QTreeWidget::itemDoubleClicked, &TFormImportRules::EditClick);
    command(ui->btnDelete, &QPushButton::clicked, &TFormImportRules::DeleteClick);
    command(remove, &QAction::triggered, &TFormImportRules::DeleteClick);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    Reload();
}

TFormImportRules::~TFormImportRules() = default;

QTreeWidget *TFormImportRules::List() const
{
    return ui->lvRules;
}

void TFormImportRules::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    CentreOnMainWindow(this);
}

void TFormImportRules::Reload(int selectId)
{
    FRules = ImportRules::List();
    TCategoryTree trees[2];
    trees[0].Load(true);
    trees[1].Load(false);
    ui->lvRules->clear();
    for (const TImportRule &rule : FRules) {
        auto *item = new QTreeWidgetItem(ui->lvRules);
        item->setText(ColField, FieldName(rule.Field));
        item->setText(ColPattern, rule.Pattern);
        item->setText(ColKind, KindName(rule.Kind));
        item->setText(ColCategory, CategoryPath(trees[rule.Kind], rule.TypeID));
        item->setText(ColAccount, rule.Account.isEmpty() ? kByStatement : rule.Account);
        item->setData(ColField, Qt::UserRole, rule.Id);
        if (rule.Id == selectId)
            ui->lvRules->setCurrentItem(item);
    }
    if (!ui->lvRules->currentItem() && ui->lvRules->topLevelItemCount() > 0)
        ui->lvRules->setCurrentItem(ui->lvRules->topLevelItem(0));
    const bool any = !FRules.isEmpty();
    ui->btnEdit->setEnabled(any);
    ui->btnDelete->setEnabled(any);
}

int TFormImportRules::SelectedId() const
{
    const QTreeWidgetItem *item = ui->lvRules->currentItem();
    return item ? item->data(ColField, Qt::UserRole).toInt() : 0;
}

void TFormImportRules::NewClick()
{
    TFormImportRule dialog(this);
    if (dialog.ShowModal() == mrOk)
        Reload(dialog.Rule().Id);
}

void TFormImportRules::EditClick()
{
    const int id = SelectedId();
    for (const TImportRule &rule : FRules) {
        if (rule.Id != id)
            continue;
        TFormImportRule dialog(this);
        dialog.LoadRule(rule);
        if (dialog.ShowModal() == mrOk)
            Reload(id);
        return;
    }
}

void TFormImportRules::DeleteClick()
{
    const QTreeWidgetItem *item = ui->lvRules->currentItem();
    if (!item)
        return;
    if (!ShowConfirm(QStringLiteral("确定要删除规则“%1包含 %2”吗？")
                         .arg(item->text(ColField), item->text(ColPattern))))
        return;
    ImportRules::Remove(SelectedId());
    Reload();
}

void ShowImportRules(QWidget *parent)
{
    TFormImportRules form(parent);
    KeepAboveStayOnTop(&form);
    form.exec();
}
