#pragma once

#include "TestSupport.h"

#include "data/Currency.h"
#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "ledger/UntAccount.h"
#include "ledger/UntBookKeep.h"

#include <QTest>

// An account's three totals as the database holds them.
struct TTotals
{
    Currency Fare;
    Currency InFare;
    Currency OutFare;
    bool operator==(const TTotals &) const = default;
};

inline char *toString(const TTotals &totals)
{
    return QTest::toString(
        QStringLiteral("Fare %1, InFare %2, OutFare %3")
            .arg(totals.Fare.ToString(), totals.InFare.ToString(), totals.OutFare.ToString()));
}

inline Currency Amount(const char *text)
{
    return Currency::Parse(QString::fromLatin1(text));
}

inline TTotals Totals(const char *fare, const char *inFare, const char *outFare)
{
    return {Amount(fare), Amount(inFare), Amount(outFare)};
}

inline TTotals ReadTotals(const QString &account)
{
    TQuery &query = GDbAccess->OpenQuery(
        Format(QStringLiteral("select Fare,InFare,OutFare from Account where AccountName='%s'"),
               {SqlText(account)}));
    if (query.Eof())
        qFatal("no account %s", qPrintable(account));
    const TTotals totals {query.Fields(0).AsCurrency(), query.Fields(1).AsCurrency(),
                          query.Fields(2).AsCurrency()};
    query.Close();
    return totals;
}

inline void InsertAccount(const QString &name, Currency initial, const QString &remark = {})
{
    GAccount->FAccountName = name;
    GAccount->FRemark = remark;
    GAccount->FFare = initial;
    GAccount->InsertAccount();
}

// Adds a record through the ledger and returns its ID as text.
inline QString AddRecord(int kind, const QString &account, Currency fare, int typeId = 1,
                         const QString &remark = {}, QDate date = QDate(2024, 5, 1))
{
    GBookKeep->FInOutType = kind;
    GBookKeep->FAccountName = account;
    GBookKeep->FFare = fare;
    GBookKeep->FTypeID = typeId;
    GBookKeep->FRemark = remark;
    GBookKeep->FInDate = QDateTime(date, QTime(0, 0));
    GBookKeep->AddRecord();
    return QString::number(DbQueryInt(QStringLiteral("select max(ID) from BookKeep")));
}

inline int RowCount(const QString &table)
{
    return DbQueryInt(QStringLiteral("select count(*) from ") + table);
}

// Texts that break statements built carelessly: quotes, the batch separator,
// a comment, format markers, Chinese and a very long text.
inline void AddAwkwardTextRows()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("quote") << QStringLiteral("O'Brien's '' account'");
    QTest::newRow("batch separator") << QStringLiteral("a@#@b'@#@'c");
    QTest::newRow("comment") << QStringLiteral("x -- y /* z");
    QTest::newRow("percent") << QStringLiteral("100% %s %1 %%");
    QTest::newRow("chinese") << QStringLiteral("招商银行·储蓄卡（给妈妈的生日礼物）");
    QTest::newRow("10000 characters") << QString(9998, u'长') + QStringLiteral("'@");
}
