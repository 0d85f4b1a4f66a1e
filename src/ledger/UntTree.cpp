#include "UntTree.h"

#include "data/UException.h"
#include "data/UntPublic.h"

#include <QHash>
#include <QIcon>
#include <QSet>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>

namespace {

constexpr int kRootImage = 0;
constexpr int kCategoryImage = 1;
constexpr int kSelectedImage = 2;

const QString &ImageFile(int index)
{
    static const QString files[]
        = {QStringLiteral(":/tree/root.png"), QStringLiteral(":/tree/folder.png"),
           QStringLiteral(":/tree/folderopen.png")};
    return files[index];
}

// Stops the view repainting while it is filled, and resumes on every way out.
class TUpdatesSuspended
{
public:
    explicit TUpdatesSuspended(QWidget *widget)
        : FWidget(widget)
        , FWasEnabled(widget->updatesEnabled())
    {
        FWidget->setUpdatesEnabled(false);
    }
    TUpdatesSuspended(const TUpdatesSuspended &) = delete;
    TUpdatesSuspended &operator=(const TUpdatesSuspended &) = delete;
    ~TUpdatesSuspended() { FWidget->setUpdatesEnabled(FWasEnabled); }

private:
    QWidget *FWidget;
    bool FWasEnabled;
};

// The texts from the root down to the node, joined by "->".
QString PathOf(const QTreeWidgetItem *node)
{
    QStringList texts;
    for (; node; node = node->parent())
        texts.prepend(node->text(0));
    return texts.join(QStringLiteral("->"));
}

} // namespace

TCardTree::TCardTree(QTreeWidget *treeView, const QString &tableName, const QString &rootCaption)
    : FTable(tableName)
    , FTreeView(treeView)
{
    FTreeView->clear();
    if (rootCaption.isEmpty())
        return;
    FRootCaption = rootCaption;
    FRootNode = new QTreeWidgetItem(FTreeView, {FRootCaption});
    FRootNode->setData(0, Qt::UserRole, QVariant::fromValue(TTypeNodeData {}));
    FRootNode->setIcon(0, RootImage());
}

const QIcon &TCardTree::RootImage()
{
    static const QIcon icon = [] {
        QIcon result;
        result.addFile(ImageFile(kRootImage), {}, QIcon::Normal);
        result.addFile(ImageFile(kRootImage), {}, QIcon::Selected);
        return result;
    }();
    return icon;
}

const QIcon &TCardTree::CategoryImage()
{
    static const QIcon icon = [] {
        QIcon result;
        result.addFile(ImageFile(kCategoryImage), {}, QIcon::Normal);
        result.addFile(ImageFile(kSelectedImage), {}, QIcon::Selected);
        return result;
    }();
    return icon;
}

TTypeNodeData TCardTree::NodeData(const QTreeWidgetItem *node)
{
    return node ? node->data(0, Qt::UserRole).value<TTypeNodeData>() : TTypeNodeData {};
}

QTreeWidgetItem *TCardTree::Selected() const
{
    const QList<QTreeWidgetItem *> items = FTreeView->selectedItems();
    return items.isEmpty() ? nullptr : items.first();
}

QTreeWidgetItem *TCardTree::NewNode(const QString &text, TTypeNodeData data)
{
    auto *node = new QTreeWidgetItem(QStringList {text});
    node->setData(0, Qt::UserRole, QVariant::fromValue(data));
    node->setIcon(0, CategoryImage());
    return node;
}

QTreeWidgetItem *TCardTree::AddNode(QTreeWidgetItem *parent, const QString &text,
                                    TTypeNodeData data)
{
    QTreeWidgetItem *node = NewNode(text, data);
    if (parent)
        parent->addChild(node);
    else
        FTreeView->addTopLevelItem(node);
    return node;
}

void TCardTree::LoadTypes()
{
    if (FRootNode)
        qDeleteAll(FRootNode->takeChildren());
    for (int i = FTreeView->topLevelItemCount() - 1; i >= 0; --i) {
        if (FTreeView->topLevelItem(i) != FRootNode)
            delete FTreeView->takeTopLevelItem(i);
    }

    const QList<Categories::Row> rows = FTable.Rows();
    TUpdatesSuspended suspended(FTreeView);
    // The new nodes are built apart from the view and handed to it at once,
    // so that it takes in one change rather than one for each node.
    QList<QTreeWidgetItem *> top; // the root's children, or the top level without a root
    // The category tree places each node, orphans included, so that the
    // report and the export see the same tree; 0 is the top.
    TCategoryTree shape;
    QHash<qint32, QTreeWidgetItem *> nodes;
    for (const Categories::Row &row : rows) {
        if (!shape.Add(row.Data.SelfIndex, row.Data.ParentIndex, row.Name))
            continue;
        QTreeWidgetItem *node = NewNode(row.Name, row.Data);
        const qint32 parent = shape.Parent(row.Data.SelfIndex);
        if (parent == 0)
            top.append(node);
        else
            nodes.value(parent)->addChild(node);
        nodes.insert(row.Data.SelfIndex, node);
    }
    if (FRootNode) {
        FRootNode->addChildren(top);
        FRootNode->setExpanded(true);
    } else {
        FTreeView->addTopLevelItems(top);
    }
}

void TCardTree::Refresh()
{
    qsizetype shown = FRootNode ? -1 : 0; // the root is no category
    QSet<qint32> open;
    for (QTreeWidgetItemIterator it(FTreeView); *it; ++it) {
        ++shown;
        if ((*it)->isExpanded())
            open.insert(NodeData(*it).SelfIndex);
    }
    if (FTable.Rows().size() == shown)
        return;
    const qint32 selected = Selected() ? GetSelIndex() : -1;
    LoadTypes();
    for (QTreeWidgetItemIterator it(FTreeView); *it; ++it) {
        const qint32 self = NodeData(*it).SelfIndex;
        if (open.contains(self))
            (*it)->setExpanded(true);
        if (self == selected)
            FTreeView->setCurrentItem(*it);
    }
}

QTreeWidgetItem *TCardTree::InsertType(const QString &name)
{
    FTable.CheckName(name, Shows(name));
    QTreeWidgetItem *parent = Selected();
    if (!parent)
        parent = FRootNode;
    const TTypeNodeData data {FTable.NextIndex(GetMaxIndex()), GetSelIndex()};
    FTable.Insert(data, name);
    QTreeWidgetItem *node = AddNode(parent, name, data);
    if (parent)
        parent->setExpanded(true);
    return node;
}

QString TCardTree::SelectedPath() const
{
    const QTreeWidgetItem *selected = Selected();
    if (!selected)
        return {};
    return selected == FRootNode ? FRootCaption : PathOf(selected);
}

bool TCardTree::ModType(const QString &name)
{
    QTreeWidgetItem *node = Selected();
    if (!node || node == FRootNode)
        return false;
    FTable.CheckName(name, Shows(name));
    FTable.Rename(GetSelIndex(), name);
    node->setText(0, name);
    return true;
}

void TCardTree::DelType()
{
    QTreeWidgetItem *node = Selected();
    if (!node)
        throw Exception(QStringLiteral("请选择要删除的分组！"));
    const qint32 index = NodeData(node).SelfIndex;
    FTable.CheckRemove(index, node->childCount() > 0);
    if (!ShowConfirm(QStringLiteral("确定要删除 ") + node->text(0) + QStringLiteral(" 分组吗？")))
        throw EAbort();
    FTable.Remove(index, node->text(0));
    delete node;
}

int TCardTree::GetMaxIndex() const
{
    int result = 0;
    for (QTreeWidgetItemIterator it(FTreeView); *it; ++it)
        result = std::max(result, int(NodeData(*it).SelfIndex));
    return result;
}

int TCardTree::GetSelIndex() const
{
    return NodeData(Selected()).SelfIndex;
}

bool TCardTree::Shows(const QString &name) const
{
    for (QTreeWidgetItemIterator it(FTreeView); *it; ++it) {
        if ((*it)->text(0) == name)
            return true;
    }
    return false;
}

bool TCardTree::TypeExists(const QString &name) const
{
    // The table also holds names another tree over it has stored since this
    // one was loaded.
    return Shows(name) || FTable.HasName(name);
}
