#pragma once

#include "data/Currency.h"

#include <QString>
#include <QStringList>

class TListModel;

// The money accounts: their names, remarks and running totals. The fields are
// the working record: callers fill them before InsertAccount or UpdateAccount,
// and ReadAccount leaves its result in them. The totals are kept by the record
// logic; this class writes Fare only when it inserts an account.
class TAccount
{
public:
    bool AccountExists(const QString &name);
    // Inserts FAccountName with FRemark and the initial amount FFare; refuses
    // a name that an account already bears.
    void InsertAccount();
    // Fills the list with name, balance, income, expense and remark.
    void ListAccounts(TListModel &list);
    void ListAccountNames(QStringList &names);
    // Deletes an account that no record and no transfer names, with its
    // reconciliation points.
    void DeleteAccount(const QString &name);
    // Loads an account into the fields; empty texts and zeros when none.
    void ReadAccount(const QString &name);
    // Renames the account oldName to FAccountName, its records, transfers and
    // reconciliation points too when the name changes, and sets its remark to
    // FRemark; refuses a name that another account bears.
    void UpdateAccount(const QString &oldName);

    QString FAccountName;
    QString FRemark;
    Currency FFare;
    Currency FInFare;
    Currency FOutFare;
    QString FSql;
};

extern TAccount *GAccount;
