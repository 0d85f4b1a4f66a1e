#include "Categories.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
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

} // namespace

Categories::Categories(const QString &tableName)
    : FTableName(tableName)
{
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

int Categories::NextIndex(int inUse) const
{
    const bool income = FTableName.compare(u"InType", Qt::CaseInsensitive) == 0;
    const int tableMax = DbQueryInt(Format(kMaxIndexSql, {FTableName}));
    const int recordMax = DbQueryInt(income ? kMaxIncomeTypeIdSql : kMaxExpenseTypeIdSql);
    return std::max({inUse, tableMax, recordMax}) + 1;
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
