#include "Remarks.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"

namespace {

// The latest 20,000 records cover years of a household's books.
const QString kCompletions = QStringLiteral(
    "select Remark, count(*) as Uses, max(ID) as Latest from "
    "(select ID, Remark from BookKeep order by ID desc limit 20000) "
    "where Remark <> '' and instr(Remark, char(10)) = 0 and instr(Remark, char(13)) = 0 "
    "group by Remark order by Uses desc, Latest desc limit 1000");
const QString kLatestUse = QStringLiteral(
    "select InOutType, TypeID, AccountName from BookKeep where Remark = '%s' order by ID desc "
    "limit 1");

} // namespace

QStringList RemarkCompletions()
{
    QStringList remarks;
    for (TQuery &query = GDbAccess->OpenQuery(kCompletions); !query.Eof(); query.Next())
        remarks << query.Fields(0).AsString();
    GDbAccess->FQuery.Close();
    return remarks;
}

std::optional<TRemarkUse> LatestUseOf(const QString &remark)
{
    TQuery &query = GDbAccess->OpenQuery(Format(kLatestUse, {SqlText(remark)}));
    std::optional<TRemarkUse> use;
    if (!query.Eof())
        use = TRemarkUse {query.Fields(0).AsInteger() == 0 ? 0 : 1, query.Fields(1).AsInteger(),
                          query.Fields(2).AsString()};
    query.Close();
    return use;
}
