#include "MonthBills.h"

#include "LedgerTestSupport.h"

#include "exchange/Import.h"

#include <QSet>
#include <QtTest>

using namespace Qt::StringLiterals;

const QString kMonth = QStringLiteral(TEST_DATA "/month-2026-05/");
const QStringList kMonthBills = {u"alipay"_s, u"wechat"_s, u"cmb"_s, u"icbc"_s};
const QStringList kMonthAccounts
    = {u"支付宝余额"_s, u"微信零钱"_s, u"招商银行储蓄卡(1234)"_s, u"工商银行(5678)"_s};
const QStringList kMonthPockets = {u"余额宝"_s, u"信用卡(9012)"_s};

TBill MonthBill(const QString &name)
{
    return TBill(ReadStatement(kMonth + name + u".csv"_s),
                 kMonthAccounts[kMonthBills.indexOf(name)]);
}

QList<QStringList> ExpectedMonth()
{
    QList<QStringList> lines;
    for (const QString &line :
         QString::fromUtf8(ReadAll(kMonth + u"expected.csv"_s)).split(u'\n', Qt::SkipEmptyParts))
        lines << line.split(u',');
    return lines.mid(1);
}

void AddMonthOrders()
{
    QTest::addColumn<QStringList>("order");
    QTest::newRow("apps first") << kMonthBills;
    QTest::newRow("cards first") << QStringList {u"icbc"_s, u"cmb"_s, u"wechat"_s, u"alipay"_s};
    QTest::newRow("mixed") << QStringList {u"cmb"_s, u"alipay"_s, u"icbc"_s, u"wechat"_s};
}

TMonthBooks::TMonthBooks()
{
    for (const QString &account : kMonthAccounts + kMonthPockets)
        InsertAccount(account, Currency());
    QSet<QString> made;
    for (const QStringList &line : ExpectedMonth()) {
        const QString table = line[1] == u"收入" ? u"InType"_s : u"OutType"_s;
        if (line[5].isEmpty() || made.contains(table + line[5]))
            continue;
        made.insert(table + line[5]);
        DbExec(u"insert into %1(SelfIndex,ParentIndex,TypeName) values (%2,0,'%3')"_s.arg(
            table, QString::number(made.size()), line[5]));
    }
}

void TMonthBooks::RememberSources()
{
    for (const QString &pocket : kMonthPockets + kMonthAccounts.mid(2))
        StatementImport::RememberSourceAccount(pocket, pocket);
    StatementImport::RememberSourceAccount(u"账户余额"_s, kMonthAccounts[0]);
    StatementImport::RememberSourceAccount(u"零钱"_s, kMonthAccounts[1]);
}
