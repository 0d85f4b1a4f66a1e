#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The record each category node carries in its item data. The root's is {0, 0}.
struct TTypeNodeData
{
    qint32 SelfIndex = 0;
    qint32 ParentIndex = 0;
};

// One category table ("InType" or "OutType"): the only code that reads or
// writes it. Each change is one step of the undo history. The checks raise
// the refusals with the texts the user sees, and nothing is written then.
class Categories
{
public:
    struct Row
    {
        TTypeNodeData Data;
        QString Name;
    };

    explicit Categories(const QString &tableName);
    // The table of a record kind: income for 0, expense for any other value.
    static QString TableOf(int kind);
    static Categories OfKind(int kind) { return Categories(TableOf(kind)); }

    // Every category, root excluded, in SelfIndex order.
    QList<Row> Rows() const;
    // The name of the category with this index; empty when there is none.
    QString Name(qint32 index) const;
    // One more than any index in use: inUse, the table's (another tree over
    // it may have added rows), and the records' of this kind (so records of a
    // deleted category never fall under a new one).
    int NextIndex(int inUse) const;

    // Refuses a name that a category of the table bears, or that the caller's
    // view shows (shown: its root caption, or a node read before another
    // view renamed it).
    void CheckName(const QString &name, bool shown) const;
    // Refuses to delete the root, or a category with children in the table
    // or, as childrenShown says, in the caller's view.
    void CheckRemove(qint32 index, bool childrenShown) const;

    void Insert(TTypeNodeData data, const QString &name) const;
    void Rename(qint32 index, const QString &name) const;
    // Deletes the category and the rows that name it as their parent.
    void Remove(qint32 index, const QString &name) const;
    bool HasChildren(qint32 index) const;
    // Whether a category of the table bears exactly this name.
    bool HasName(const QString &name) const;

private:
    QString FTableName;
    bool FIncome;
};

// A category table shaped as the main window's tree shows it. A category
// whose parent is not read before it (missing, or of a larger index) hangs
// under the node last in tree order (the deepest last one), or at the top
// when there is none; so paths and sums follow the tree the user sees.
class TCategoryTree
{
public:
    // Reads the income (true) or the expense categories, from nothing.
    void Load(bool income);
    // Adds a category in SelfIndex order, as the table is read. False, with
    // nothing added, when the index is in the tree already.
    bool Add(qint32 self, qint32 parent, const QString &name);

    bool Exists(qint32 id) const { return FNodes.contains(id); }
    QString Name(qint32 id) const { return FNodes.value(id).Name; }
    // The node it hangs under; 0 for the top.
    qint32 Parent(qint32 id) const { return FNodes.value(id).Parent; }
    bool HasChildren(qint32 id) const;
    // Every category, in the order added.
    const QList<qint32> &Ids() const { return FIds; }
    // The names from the top-level category down to this one.
    QStringList Path(qint32 id) const;
    // The child of `node` (0: the root) that `id` lies in, `node` itself when
    // id is node, or -1 when id is not below node.
    qint32 ChildToward(qint32 node, qint32 id) const;

private:
    struct TNode
    {
        qint32 Parent = 0;
        QString Name;
        int Children = 0;
    };
    QHash<qint32, TNode> FNodes;
    QHash<qint32, qint32> FLastChild;
    QList<qint32> FTop;
    QList<qint32> FIds;
};
