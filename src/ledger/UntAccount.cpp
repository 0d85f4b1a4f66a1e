#include "UntAccount.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "data/UndoLog.h"
#include "data/UntPublic.h"

TAccount *GAccount = nullptr;

namespace {

const QString kAccountExists = QStringLiteral("该账户已经存在！");
const QString kAccountInUse = QStringLiteral("该账户已经使用，不能删除！");

// The statements, exactly as they are sent, "%s" marking each value.
// clang-format off
const QString kCountAccount = QStringLiteral("select Count(AccountName) from Account where AccountName= '%s' ");
const QString kInsertAccount = QStringLiteral("insert into Account(AccountName,Remark,Fare) values ('%s','%s',%s) ");
const QString kListAccounts = QStringLiteral("select AccountName,Fare,InFare,OutFare,Remark from Account ");
const QString kListAccountNames = QStringLiteral("select AccountName from Account ");
const QString kCountRecords = QStringLiteral("select Count(AccountName) from BookKeep where AccountName='%s' ");
const QString kDeleteAccount = QStringLiteral("delete from Account where AccountName='%s' ");
const QString kSelectAccount = QStringLiteral("select * from Account where AccountName='%s'  ");
const QString kUpdateAccount = QStringLiteral("update Account set AccountName='%s',Remark='%s' where AccountName='%s' ");
const QString kRenameInRecords = QStringLiteral("update BookKeep set AccountName='%s' where AccountName='%s' ");
// Transfers and reconciliation points name accounts too.
const QString kCountTransfers = QStringLiteral("select count(*) from Transfer where FromAccount='%s' or ToAccount='%s'");
const QString kDeleteReconciled = QStringLiteral("delete from Reconciled where AccountName='%s'");
const QString kRenameInTransfersFrom = QStringLiteral("update Transfer set FromAccount='%s' where FromAccount='%s'");
const QString kRenameInTransfersTo = QStringLiteral("update Transfer set ToAccount='%s' where ToAccount='%s'");
const QString kRenameInReconciled = QStringLiteral("update Reconciled set AccountName='%s' where AccountName='%s'");
// The import's remembered accounts (per format and per funding source) and rules.
const QString kRenameInImportChoices = QStringLiteral("update ImportSetting set Value='%s' where Value='%s' and (Name like 'account:%%' or Name like 'source:%%')");
const QString kRenameInImportRules = QStringLiteral("update ImportRule set AccountName='%s' where AccountName='%s'");
// clang-format on

} // namespace

bool TAccount::AccountExists(const QString &name)
{
    FSql = Format(kCountAccount, {SqlText(name)});
    return DbQueryInt(FSql) > 0;
}

void TAccount::InsertAccount()
{
    if (AccountExists(FAccountName))
        throw Exception(kAccountExists);
    FSql = Format(kInsertAccount, {SqlText(FAccountName), SqlText(FRemark), SqlAmount(FFare)});
    DbExec(FSql, QStringLiteral("新增账户 ") + UndoLog::StepText(FAccountName));
}

void TAccount::ListAccounts(TListModel &list)
{
    FSql = kListAccounts;
    FillListView(FSql, list);
}

void TAccount::ListAccountNames(QStringList &names)
{
    names.clear();
    FSql = kListAccountNames;
    for (TQuery &query = GDbAccess->OpenQuery(FSql); !query.Eof(); query.Next())
        names.append(query.Fields(0).AsString());
}

void TAccount::DeleteAccount(const QString &name)
{
    GDbAccess->InTransaction([&] {
        FSql = Format(kCountRecords, {SqlText(name)});
        if (DbQueryInt(FSql) > 0)
            throw Exception(kAccountInUse);
        FSql = Format(kCountTransfers, {SqlText(name), SqlText(name)});
        if (DbQueryInt(FSql) > 0)
            throw Exception(kAccountInUse);
        // Its reconciliation points go with it.
        FSql = Format(kDeleteAccount, {SqlText(name)}) + kBatchSeparator
            + Format(kDeleteReconciled, {SqlText(name)});
        DbExec(FSql, QStringLiteral("删除账户 ") + UndoLog::StepText(name));
    });
}

void TAccount::ReadAccount(const QString &name)
{
    FSql = Format(kSelectAccount, {SqlText(name)});
    TQuery &query = GDbAccess->OpenQuery(FSql);
    if (query.Eof()) {
        FAccountName.clear();
        FRemark.clear();
        FFare = FInFare = FOutFare = Currency();
        return;
    }
    FAccountName = query.FieldByName(QStringLiteral("AccountName")).AsString();
    FRemark = query.FieldByName(QStringLiteral("Remark")).AsString();
    FFare = query.FieldByName(QStringLiteral("Fare")).AsCurrency();
    FInFare = query.FieldByName(QStringLiteral("InFare")).AsCurrency();
    FOutFare = query.FieldByName(QStringLiteral("OutFare")).AsCurrency();
    query.Close();
}

void TAccount::UpdateAccount(const QString &oldName)
{
    // A name another account bears is refused, and the records, transfers,
    // reconciliation points and the import's choices follow the account to its
    // new name, so its totals and the delete check stay right. A change of the remark alone leaves
    // them as they are.
    const bool renamed = FAccountName != oldName;
    if (renamed && AccountExists(FAccountName))
        throw Exception(kAccountExists);
    FSql = Format(kUpdateAccount, {SqlText(FAccountName), SqlText(FRemark), SqlText(oldName)});
    if (renamed) {
        for (const QString &rename :
             {kRenameInRecords, kRenameInTransfersFrom, kRenameInTransfersTo, kRenameInReconciled,
              kRenameInImportChoices, kRenameInImportRules})
            FSql += kBatchSeparator + Format(rename, {SqlText(FAccountName), SqlText(oldName)});
    }
    DbExec(FSql, QStringLiteral("修改账户 ") + UndoLog::StepText(FAccountName));
}
