#include "Transfers.h"

#include "UntAccount.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "data/UndoLog.h"

#include <map>

const QString kTransferGone = QStringLiteral("该转账已经不存在，可能已被删除！");
const QString kTransferChanged = QStringLiteral("该转账已被修改，请重新打开后再改！");

namespace {

// The statements, "%s" marking each value.
// clang-format off
const QString kInsertTransfer = QStringLiteral("insert into Transfer(InDate,FromAccount,ToAccount,Fare,Fee,Remark) values ('%s','%s','%s',%s,%s,'%s')");
const QString kUpdateTransfer = QStringLiteral("update Transfer set InDate='%s',FromAccount='%s',ToAccount='%s',Fare=%s,Fee=%s,Remark='%s' where ID=%s");
const QString kDeleteTransfer = QStringLiteral("delete from Transfer where ID=%s");
const QString kSelectTransfer = QStringLiteral("select InDate,FromAccount,ToAccount,Fare,Fee,Remark from Transfer where ID=%s");
const QString kNewTransferId = QStringLiteral("select last_insert_rowid()");
// An account's balance moved by a signed amount.
const QString kMoveBalance = QStringLiteral("update Account set Fare=Fare+%s where AccountName='%s'");
// clang-format on

// What a change does to each account's balance, summed per account.
using TBalanceChanges = std::map<QString, Currency>;

// Adds the transfer's effect on the balances to the changes, or takes it off.
void AddEffect(TBalanceChanges &changes, const Transfer &transfer, bool takeBack)
{
    const Currency paid = transfer.Amount + transfer.Fee;
    changes[transfer.From] += takeBack ? paid : -paid;
    changes[transfer.To] += takeBack ? -transfer.Amount : transfer.Amount;
}

// The batch of a statement and the balance updates of the changes, one per
// account that moves: a change of date or remark alone moves none, and no
// balance passes through a value beyond the limits on its way.
QString WithBalances(const QString &statement, const TBalanceChanges &changes)
{
    QStringList batch {statement};
    for (const auto &[account, change] : changes) {
        if (change != Currency())
            batch << Format(kMoveBalance, {SqlAmount(change), SqlText(account)});
    }
    return batch.join(kBatchSeparator);
}

// The undo step of a change of a transfer: the command, the accounts, the amount.
QString TransferStep(const QString &command, const Transfer &transfer)
{
    return command + u' ' + UndoLog::StepText(transfer.From) + u'→' + UndoLog::StepText(transfer.To)
        + u' ' + transfer.Amount.ToString();
}

// Refuses a transfer the books cannot hold as it is.
void Validate(const Transfer &transfer)
{
    if (transfer.From == transfer.To)
        throw Exception(QStringLiteral("转出账户和转入账户不能相同！"));
    if (transfer.Amount <= Currency())
        throw Exception(QStringLiteral("转账金额必须大于零！"));
    if (transfer.Fee < Currency())
        throw Exception(QStringLiteral("手续费不能为负数！"));
    transfer.Amount.RequireInRange();
    transfer.Fee.RequireInRange();
    (transfer.Amount + transfer.Fee).RequireInRange();
    if (!transfer.Date.isValid())
        throw Exception(QStringLiteral("转账日期无效！"));
    // An account deleted or renamed meanwhile would leave the amount in no
    // account's balance.
    for (const QString &account : {transfer.From, transfer.To}) {
        if (!GAccount->AccountExists(account))
            throw Exception(QStringLiteral("账户“%1”不存在，转账未保存！").arg(account));
    }
}

} // namespace

namespace Transfers {

qint64 Add(const Transfer &transfer)
{
    qint64 id = 0;
    GDbAccess->InTransaction([&] {
        GDbAccess->NameStep(TransferStep(QStringLiteral("新增转账"), transfer));
        Validate(transfer);
        TBalanceChanges changes;
        AddEffect(changes, transfer, false);
        DbExec(WithBalances(
            Format(kInsertTransfer,
                   {SqlDate(transfer.Date), SqlText(transfer.From), SqlText(transfer.To),
                    SqlAmount(transfer.Amount), SqlAmount(transfer.Fee), SqlText(transfer.Remark)}),
            changes));
        TQuery &query = GDbAccess->OpenQuery(kNewTransferId);
        id = query.Fields(0).AsInt64();
        query.Close();
    });
    return id;
}

void Modify(const Transfer &read, const Transfer &changed)
{
    GDbAccess->InTransaction([&] {
        GDbAccess->NameStep(TransferStep(QStringLiteral("修改转账"), changed));
        // Changed or deleted in another window since it was read (its ID may
        // even hold a new transfer): the change was made on values that are
        // no longer there.
        const std::optional<Transfer> now = Read(read.Id);
        if (!now)
            throw Exception(kTransferGone);
        if (*now != read)
            throw Exception(kTransferChanged);
        Validate(changed);
        TBalanceChanges changes;
        AddEffect(changes, read, true);
        AddEffect(changes, changed, false);
        DbExec(
            WithBalances(Format(kUpdateTransfer,
                                {SqlDate(changed.Date), SqlText(changed.From), SqlText(changed.To),
                                 SqlAmount(changed.Amount), SqlAmount(changed.Fee),
                                 SqlText(changed.Remark), QString::number(read.Id)}),
                         changes));
    });
}

bool Remove(qint64 id)
{
    bool found = false;
    GDbAccess->InTransaction([&] {
        const std::optional<Transfer> old = Read(id);
        if (!old)
            return;
        found = true;
        GDbAccess->NameStep(TransferStep(QStringLiteral("删除转账"), *old));
        TBalanceChanges changes;
        AddEffect(changes, *old, true);
        DbExec(WithBalances(Format(kDeleteTransfer, {QString::number(id)}), changes));
    });
    return found;
}

std::optional<Transfer> Read(qint64 id)
{
    TQuery &query = GDbAccess->OpenQuery(Format(kSelectTransfer, {QString::number(id)}));
    std::optional<Transfer> transfer;
    if (!query.Eof())
        transfer = Transfer {id,
                             query.Fields(0).AsDateTime().date(),
                             query.Fields(1).AsString(),
                             query.Fields(2).AsString(),
                             query.Fields(3).AsCurrency(),
                             query.Fields(4).AsCurrency(),
                             query.Fields(5).AsString()};
    query.Close();
    return transfer;
}

} // namespace Transfers
