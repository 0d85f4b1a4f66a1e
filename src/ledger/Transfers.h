#pragma once

#include "data/Currency.h"

#include <QDate>
#include <QString>
#include <optional>

// Money moved between two of the books' accounts: Amount leaves From and
// reaches To, and Fee is charged to From too. Neither is income or expense.
struct Transfer
{
    qint64 Id = 0;
    QDate Date;
    QString From;
    QString To;
    Currency Amount;
    Currency Fee;
    QString Remark;
    bool operator==(const Transfer &) const = default;
};

// The transfers between accounts. Each change is one transaction and one undo
// step, and moves the balances (Fare) of the accounts with it; their income
// and expense totals stay as they are. A change that is refused raises
// Exception with the reason and writes nothing.
namespace Transfers {

// Adds the transfer (its Id is not used) and returns the new transfer's ID.
qint64 Add(const Transfer &transfer);
// Changes the transfer `read` to the values of `changed` (its Id is not
// used); raises kTransferGone when it is no longer in the books, and
// kTransferChanged when the books no longer hold it as it was read.
void Modify(const Transfer &read, const Transfer &changed);
// Deletes a transfer; false, changing nothing, when it is no longer in the books.
bool Remove(qint64 id);
// The transfer of this ID, if the books hold it.
std::optional<Transfer> Read(qint64 id);

} // namespace Transfers

// Told when the transfer a command was given is no longer in the books.
extern const QString kTransferGone;
// Told when the transfer a change was made on was changed meanwhile.
extern const QString kTransferChanged;
