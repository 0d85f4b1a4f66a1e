#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// The record each category node carries in its item data. The root's is {0, 0}.
struct TTypeNodeData
{
    qint32 SelfIndex = 0;
    qint32 ParentIndex = 0;
};

// One category table ("InType" or "OutType"): its rows, and the changes the
// category tree writes, each one step of the undo history. The checks that
// refuse a change, and what the user sees, belong to the caller.
class Categories
{
public:
    struct Row
    {
        TTypeNodeData Data;
        QString Name;
    };

    explicit Categories(const QString &tableName);

    // Every category, root excluded, in SelfIndex order.
    QList<Row> Rows() const;
    // One more than any index in use: inUse, the table's (another tree over
    // it may have added rows), and the records' of this kind (so records of a
    // deleted category never fall under a new one).
    int NextIndex(int inUse) const;
    void Insert(TTypeNodeData data, const QString &name) const;
    void Rename(qint32 index, const QString &name) const;
    // Deletes the category and the rows that name it as their parent.
    void Remove(qint32 index, const QString &name) const;
    bool HasChildren(qint32 index) const;
    // Whether a category of the table bears exactly this name.
    bool HasName(const QString &name) const;

private:
    QString FTableName;
};
