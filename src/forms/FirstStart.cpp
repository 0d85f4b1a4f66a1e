#include "FirstStart.h"
#include "ui_FirstStart.h"

#include "controls/CardFloatIntEdit.h"
#include "data/Currency.h"
#include "data/DbAccess.h"
#include "data/UException.h"
#include "data/UntPublic.h"
#include "ledger/Categories.h"
#include "ledger/UntAccount.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

namespace {

struct TAccountSeed
{
    QStringView Kind;
    bool Named; // the user names it ("招商银行 1234")
    bool Ticked;
    bool Negative; // a debt may be its opening balance
};

constexpr TAccountSeed kAccountSeeds[] = {
    {u"现金", false, true, false},   {u"银行卡", true, false, false},
    {u"支付宝", false, true, false}, {u"微信零钱", false, true, false},
    {u"信用卡", false, false, true},
};

// A category and its children, separated by spaces; kind 0 income, 1 expense.
struct TTypeSeed
{
    int Kind;
    QStringView Name;
    QStringView Children;
};

constexpr TTypeSeed kTypeSeeds[] = {
    {0, u"工资", u""},
    {0, u"奖金", u""},
    {0, u"兼职", u""},
    {0, u"投资收益", u""},
    {0, u"红包礼金", u""},
    {0, u"退款", u""},
    {0, u"其他收入", u""},
    {1, u"餐饮", u"早餐 午餐 晚餐 零食饮料 买菜"},
    {1, u"交通", u"公交地铁 打车 加油 停车"},
    {1, u"购物", u"日用品 服饰 数码家电"},
    {1, u"居住", u"房租房贷 水电燃气 物业 通讯网费"},
    {1, u"医疗", u""},
    {1, u"教育", u""},
    {1, u"娱乐", u""},
    {1, u"人情往来", u"红包 礼物 请客"},
    {1, u"其他支出", u""},
};

const QString kStep = QStringLiteral("开始使用");

QTreeWidgetItem *NewType(QTreeWidgetItem *parent, QStringView name)
{
    auto *item = new QTreeWidgetItem(parent, {name.toString()});
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable
                   | Qt::ItemIsEditable);
    item->setCheckState(0, Qt::Checked);
    return item;
}

// 0 for a category under the income root, 1 under the expense root.
int KindOf(const QTreeWidgetItem *item)
{
    while (item->parent())
        item = item->parent();
    return item == item->treeWidget()->topLevelItem(0) ? 0 : 1;
}

bool Ticked(const QTreeWidgetItem *item)
{
    return item->checkState(0) == Qt::Checked;
}

} // namespace

TFormFirstStart::TFormFirstStart(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFormFirstStart>())
{
    ui->setupUi(this);
    CreateAccounts();
    CreateTypes();
    // Writing the books may fail: queued, like every command of a window.
    connect(ui->btnStart, &QPushButton::clicked, this, &TFormFirstStart::btnStartClick,
            Qt::QueuedConnection);
    connect(ui->btnImport, &QPushButton::clicked, this, &TFormFirstStart::btnImportClick,
            Qt::QueuedConnection);
    connect(ui->btnSkip, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->btnOffsite, &QPushButton::clicked, this, [this] {
        FOffsite = true;
        reject();
    });

    // Tab goes through the accounts row by row, then the categories and the buttons.
    QList<QWidget *> order;
    for (const TAccountRow &row : std::as_const(FAccounts))
        order << row.Ticked << row.Name << row.Fare;
    order << ui->tvTypes << ui->btnStart << ui->btnSkip << ui->btnImport << ui->btnOffsite;
    order.removeAll(nullptr);
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

TFormFirstStart::~TFormFirstStart() = default;

void TFormFirstStart::CreateAccounts()
{
    auto *grid = static_cast<QGridLayout *>(ui->grpAccounts->layout());
    int row = 0;
    for (const TAccountSeed &seed : kAccountSeeds) {
        const QString kind = seed.Kind.toString();
        TAccountRow account {new QCheckBox(kind), nullptr, new TCardFloatIntEdit};
        account.Ticked->setObjectName(QStringLiteral("chkAccount%1").arg(row));
        account.Ticked->setChecked(seed.Ticked);
        grid->addWidget(account.Ticked, row, 0);
        if (seed.Named) {
            account.Name = new QLineEdit(kind);
            account.Name->setObjectName(QStringLiteral("edtName%1").arg(row));
            account.Name->setAccessibleName(kind + QStringLiteral("名称"));
            account.Name->setPlaceholderText(QStringLiteral("如 招商银行 1234"));
            grid->addWidget(account.Name, row, 1);
        }
        account.Fare->setObjectName(QStringLiteral("edtFare%1").arg(row));
        account.Fare->setAccessibleName(kind + QStringLiteral("初始金额"));
        account.Fare->SetZF(seed.Negative);
        account.Fare->setText(QStringLiteral("0"));
        grid->addWidget(account.Fare, row, 2);
        FAccounts.append(account);
        ++row;
    }
    grid->setRowStretch(row, 1);
}

void TFormFirstStart::CreateTypes()
{
    QTreeWidgetItem *roots[] = {new QTreeWidgetItem(ui->tvTypes, {QStringLiteral("收入类别")}),
                                new QTreeWidgetItem(ui->tvTypes, {QStringLiteral("支出类别")})};
    for (QTreeWidgetItem *root : roots)
        root->setFlags(Qt::ItemIsEnabled);
    for (const TTypeSeed &seed : kTypeSeeds) {
        QTreeWidgetItem *parent = NewType(roots[seed.Kind], seed.Name);
        for (QStringView child : seed.Children.split(u' ', Qt::SkipEmptyParts))
            NewType(parent, child);
    }
    ui->tvTypes->expandAll();
    connect(ui->tvTypes, &QTreeWidget::itemChanged, this, &TFormFirstStart::TypeChanged);
}

void TFormFirstStart::TypeChanged(QTreeWidgetItem *item)
{
    const QSignalBlocker blocker(ui->tvTypes);
    if (!Ticked(item)) {
        for (int i = 0; i < item->childCount(); ++i)
            item->child(i)->setCheckState(0, Qt::Unchecked);
    } else if (QTreeWidgetItem *parent = item->parent();
               parent && (parent->flags() & Qt::ItemIsUserCheckable)) {
        parent->setCheckState(0, Qt::Checked);
    }
}

bool TFormFirstStart::BooksEmpty()
{
    QStringList names;
    GAccount->ListAccountNames(names);
    return names.isEmpty() && Categories::OfKind(0).Rows().isEmpty()
        && Categories::OfKind(1).Rows().isEmpty();
}

void TFormFirstStart::WriteBooks()
{
    // Every check comes before the first write, so a refusal leaves the books
    // as they were and the dialog with what the user entered.
    QList<std::pair<QString, Currency>> accounts;
    QSet<QString> accountNames;
    for (const TAccountRow &row : std::as_const(FAccounts)) {
        if (!row.Ticked->isChecked())
            continue;
        const QString name = (row.Name ? row.Name->text() : row.Ticked->text()).trimmed();
        if (IsBlankName(name)) {
            if (row.Name)
                row.Name->setFocus();
            throw Exception(QStringLiteral("账户名称不能为空！"));
        }
        if (accountNames.contains(name))
            throw Exception(QStringLiteral("账户“%1”重复，请改名！").arg(name));
        accountNames.insert(name);
        // An empty box is a zero balance; text that reads as no amount is
        // refused rather than taken as zero.
        const QString fareText = row.Fare->text().trimmed();
        Currency fare;
        if (!fareText.isEmpty() && !Currency::TryParse(fareText, fare)) {
            row.Fare->setFocus();
            throw Exception(QStringLiteral("“%1”的初始金额不是有效的金额！").arg(name));
        }
        accounts.append({name, fare});
    }
    QList<std::pair<const QTreeWidgetItem *, int>> types; // with their kind, parents first
    QSet<QString> typeNames[2];
    for (QTreeWidgetItemIterator it(ui->tvTypes, QTreeWidgetItemIterator::Checked); *it; ++it) {
        const int kind = KindOf(*it);
        const QString name = (*it)->text(0).trimmed();
        if (IsBlankName(name))
            throw Exception(QStringLiteral("类别名称不能为空！"));
        if (typeNames[kind].contains(name))
            throw Exception(QStringLiteral("类别“%1”重复，请改名！").arg(name));
        typeNames[kind].insert(name);
        types.append({*it, kind});
    }
    // Nothing ticked writes nothing, not even an empty undo step.
    if (accounts.isEmpty() && types.isEmpty())
        return;

    GDbAccess->InTransaction([&] {
        GDbAccess->NameStep(kStep);
        for (const auto &[name, fare] : accounts) {
            GAccount->FAccountName = name;
            GAccount->FRemark.clear();
            GAccount->FFare = fare;
            GAccount->InsertAccount();
        }
        // Parents come before their children, so each child finds its index.
        QHash<const QTreeWidgetItem *, qint32> indexes;
        int next[2] = {Categories::OfKind(0).NextIndex(0), Categories::OfKind(1).NextIndex(0)};
        for (const auto &[item, kind] : std::as_const(types)) {
            const TTypeNodeData data {next[kind]++, indexes.value(item->parent(), 0)};
            Categories::OfKind(kind).Insert(data, item->text(0).trimmed());
            indexes.insert(item, data.SelfIndex);
        }
    });
}

void TFormFirstStart::btnStartClick()
{
    WriteBooks();
    accept();
}

void TFormFirstStart::btnImportClick()
{
    WriteBooks();
    FImport = true;
    accept();
}
