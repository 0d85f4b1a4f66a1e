#include "Categories.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "data/UndoLog.h"

#include <algorithm>

namespace {

const QString kLoadSql = QStringLiteral(
    "select SelfIndex,ParentIndex,TypeName from %s where SelfIndex <>0 order by SelfIndex asc");
const QString kInsertSql
    = QStringLiteral("insert into %s(SelfIndex,ParentIndex,TypeName) values (%s,%s,'%s')");
const QString kUpdateSql = QStringLiteral("update %s set TypeName='%s' where SelfIndex=%s ");
const QString kDeleteSql = QStringLiteral("delete from %s where selfIndex=%s ");
const QString kDeleteChildrenSql = QStringLiteral("delete from %s where ParentIndex=%s ");
const QString kMaxIndexSql = QStringLiteral("select max(SelfIndex) from %s");
const QString kCountChildrenSql = QStringLiteral("select count(*) from %s where ParentIndex=%s");
const QString kCountNameSql = QStringLiteral("select count(*) from %s where TypeName='%s'");
const QString kMaxIncomeTypeIdSql
    = QStringLiteral("select max(TypeID) from BookKeep where InOutType=0");
const QString kMaxExpenseTypeIdSql
    = QStringLiteral("select max(TypeID) from BookKeep where InOutType<>0");
// clang-format off
const QString kInTypeName = QStringLiteral("select TypeName from InType where selfIndex=%s ");
const QString kOutTypeName = QStringLiteral("select TypeName from OutType where selfIndex=%s ");
// clang-format on

} // namespace

Categories::Categories(const QString &tableName)
    : FTableName(tableName)
    , FIncome(tableName.compare(u"InType", Qt::CaseInsensitive) == 0)
{
}

QString Categories::TableOf(int kind)
{
    return kind == 0 ? QStringLiteral("InType") : QStringLiteral("OutType");
}

QList<Categories::Row> Categories::Rows() const
{
    QList<Row> rows;
    TQuery &query = GDbAccess->OpenQuery(Format(kLoadSql, {FTableName}));
    const int self = query.FieldIndex(QStringLiteral("SelfIndex"));
    const int parentIndex = query.FieldIndex(QStringLiteral("ParentIndex"));
    const int typeName = query.FieldIndex(QStringLiteral("TypeName"));
    for (; !query.Eof(); query.Next())
        rows.append({{query.Fields(self).AsInteger(), query.Fields(parentIndex).AsInteger()},
                     query.Fields(typeName).AsString()});
    query.Close();
    return rows;
}

QString Categories::Name(qint32 index) const
{
    TQuery &query = GDbAccess->OpenQuery(
        Format(FIncome ? kInTypeName : kOutTypeName, {QString::number(index)}));
    const QString name = query.Eof() ? QString() : query.Fields(0).AsString();
    query.Close();
    return name;
}

int Categories::NextIndex(int inUse) const
{
    const int tableMax = DbQueryInt(Format(kMaxIndexSql, {FTableName}));
    const int recordMax = DbQueryInt(FIncome ? kMaxIncomeTypeIdSql : kMaxExpenseTypeIdSql);
    return std::max({inUse, tableMax, recordMax}) + 1;
}

void Categories::CheckName(const QString &name, bool shown) const
{
    if (shown || HasName(name))
        throw Exception(QStringLiteral("该名称已经存在，请重新输入！"));
}

void Categories::CheckRemove(qint32 index, bool childrenShown) const
{
    if (index == 0)
        throw Exception(QStringLiteral("不能删除根分组！"));
    // The table decides too: another tree over it may have added a child
    // since the caller's was read.
    if (childrenShown || HasChildren(index))
        throw Exception(QStringLiteral("还有下级分组，不能删除该分组！"));
}

void Categories::Insert(TTypeNodeData data, const QString &name) const
{
    DbExec(Format(kInsertSql,
                  {FTableName, QString::number(data.SelfIndex), QString::number(data.ParentIndex),
                   SqlText(name)}),
           QStringLiteral("新增类别 ") + UndoLog::StepText(name));
}

void Categories::Rename(qint32 index, const QString &name) const
{
    DbExec(Format(kUpdateSql, {FTableName, SqlText(name), QString::number(index)}),
           QStringLiteral("重命名类别 ") + UndoLog::StepText(name));
}

void Categories::Remove(qint32 index, const QString &name) const
{
    const QString self = QString::number(index);
    DbExec(Format(kDeleteSql, {FTableName, self}) + kBatchSeparator
               + Format(kDeleteChildrenSql, {FTableName, self}),
           QStringLiteral("删除类别 ") + UndoLog::StepText(name));
}

bool Categories::HasChildren(qint32 index) const
{
    return DbQueryInt(Format(kCountChildrenSql, {FTableName, QString::number(index)})) > 0;
}

bool Categories::HasName(const QString &name) const
{
    return DbQueryInt(Format(kCountNameSql, {FTableName, SqlText(name)})) > 0;
}

void TCategoryTree::Load(bool income)
{
    // Every load starts from nothing: a last child kept from an earlier load
    // would hang an orphan under a node of the old tree, or under itself.
    *this = TCategoryTree();
    for (const Categories::Row &row : Categories::OfKind(income ? 0 : 1).Rows())
        Add(row.Data.SelfIndex, row.Data.ParentIndex, row.Name);
}

bool TCategoryTree::Add(qint32 self, qint32 parent, const QString &name)
{
    // A node added once keeps its place, so no walk up the tree can meet a
    // node twice.
    if (FNodes.contains(self))
        return false;
    if (parent != 0 && !FNodes.contains(parent)) {
        parent = 0;
        if (!FTop.isEmpty()) {
            parent = FTop.last();
            for (auto last = FLastChild.constFind(parent); last != FLastChild.cend();
                 last = FLastChild.constFind(parent))
                parent = last.value();
        }
    }
    Q_ASSERT(parent == 0 || FNodes.contains(parent));
    FNodes.insert(self, {parent, name, 0});
    FIds.append(self);
    if (parent == 0) {
        FTop.append(self);
    } else {
        ++FNodes[parent].Children;
        FLastChild.insert(parent, self);
    }
    // Each node is listed once, in the order added.
    Q_ASSERT(FIds.size() == FNodes.size());
    return true;
}

bool TCategoryTree::HasChildren(qint32 id) const
{
    return id == 0 ? !FTop.isEmpty() : FNodes.value(id).Children > 0;
}

QStringList TCategoryTree::Path(qint32 id) const
{
    QStringList names;
    for (; id != 0 && FNodes.contains(id); id = Parent(id))
        names.prepend(Name(id));
    return names;
}

qint32 TCategoryTree::ChildToward(qint32 node, qint32 id) const
{
    if (!Exists(id))
        return -1;
    if (id == node)
        return node;
    // Parents are always added before their children, so the walk ends.
    for (qint32 current = id;; current = Parent(current)) {
        const qint32 parent = Parent(current);
        if (parent == node)
            return current;
        if (parent == 0)
            return -1;
    }
}
