#include "LedgerTestSupport.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>
#include <array>
#include <map>
#include <vector>

namespace {

constexpr int kSteps = 2000;
constexpr int kMaxAccounts = 12;

struct TRecord
{
    int Kind; // 0 income, 1 or 2 expense
    QString Account;
    Currency Fare;
};

// What the books must hold: each account's initial amount and every record.
// The account totals follow from these alone.
struct TModel
{
    std::map<QString, Currency> Initial;
    std::map<QString, TRecord> Records;
    std::vector<QString> IdList;
    std::vector<QString> Accounts;

    std::map<QString, TTotals> Expected() const
    {
        std::map<QString, TTotals> totals;
        for (const auto &[name, initial] : Initial)
            totals[name] = {initial, {}, {}};
        for (const auto &[id, record] : Records) {
            TTotals &account = totals[record.Account];
            if (record.Kind == 0) {
                account.InFare += record.Fare;
                account.Fare += record.Fare;
            } else {
                account.OutFare += record.Fare;
                account.Fare -= record.Fare;
            }
        }
        return totals;
    }
};

class TSequence
{
public:
    TSequence()
        : FRandom(12345)
    {
    }

    Currency RecordAmount() { return Currency::FromUnits(FRandom.bounded(1, 100'000'000)); }
    Currency InitialAmount()
    {
        return Currency::FromUnits(qint64(FRandom.bounded(100'000'000)) - 60'000'000);
    }
    int Kind() { return FRandom.bounded(10) == 0 ? 2 : FRandom.bounded(2); }
    int Below(int bound) { return FRandom.bounded(bound); }
    QDate Date() { return QDate(2020, 1, 1).addDays(FRandom.bounded(2000)); }

private:
    QRandomGenerator FRandom;
};

// The case of the record change, as the account corrections see it.
int ChangeCase(const TRecord &before, const TRecord &after)
{
    const bool wasIncome = before.Kind == 0;
    const bool isIncome = after.Kind == 0;
    if (before.Account == after.Account) {
        if (wasIncome == isIncome)
            return before.Fare == after.Fare ? 1 : isIncome ? 2 : 3;
        return wasIncome ? 4 : 5;
    }
    if (wasIncome == isIncome)
        return isIncome ? 6 : 7;
    return wasIncome ? 8 : 9;
}

// Empty when the books agree with the model; otherwise what differs.
QString Mismatch(const TModel &model)
{
    const std::map<QString, TTotals> expected = model.Expected();

    std::map<QString, TTotals> stored;
    for (TQuery &query = GDbAccess->OpenQuery(
             QStringLiteral("select AccountName,Fare,InFare,OutFare from Account"));
         !query.Eof(); query.Next())
        stored[query.Fields(0).AsString()]
            = {query.Fields(1).AsCurrency(), query.Fields(2).AsCurrency(),
               query.Fields(3).AsCurrency()};
    std::map<QString, std::array<Currency, 2>> sums;
    for (TQuery &query = GDbAccess->OpenQuery(
             QStringLiteral("select AccountName,sum(iif(InOutType=0,Fare,0)),"
                            "sum(iif(InOutType=0,0,Fare)) from BookKeep group by AccountName"));
         !query.Eof(); query.Next())
        sums[query.Fields(0).AsString()]
            = {query.Fields(1).AsCurrency(), query.Fields(2).AsCurrency()};

    if (stored.size() != expected.size())
        return QStringLiteral("%1 accounts, expected %2").arg(stored.size()).arg(expected.size());
    if (DbQueryInt(QStringLiteral("select count(*) from BookKeep")) != int(model.Records.size()))
        return QStringLiteral("record count differs");
    for (const auto &[name, totals] : expected) {
        const TTotals &actual = stored[name];
        if (!(actual == totals))
            return QStringLiteral("%1: stored %2, expected %3")
                .arg(name.left(20), QString::fromLatin1(toString(actual)),
                     QString::fromLatin1(toString(totals)));
        const auto &[inSum, outSum] = sums[name];
        if (inSum != totals.InFare || outSum != totals.OutFare
            || model.Initial.at(name) + inSum - outSum != actual.Fare)
            return QStringLiteral("%1: record sums %2 and %3 disagree with %4")
                .arg(name.left(20), inSum.ToString(), outSum.ToString(),
                     QString::fromLatin1(toString(actual)));
    }
    return {};
}

} // namespace

class TestLedgerInvariant : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void totalsFollowRecords();
};

void TestLedgerInvariant::totalsFollowRecords()
{
    TTestBooks books;
    TSequence random;
    TModel model;
    std::array<int, 10> cases {};

    const auto insertAccount = [&](const QString &name) {
        const Currency initial = random.InitialAmount();
        InsertAccount(name, initial, name);
        model.Initial[name] = initial;
        model.Accounts.push_back(name);
    };
    for (const QString &name : {QStringLiteral("现金"), QStringLiteral("O'Brien"),
                                QStringLiteral("a@#@b"), QStringLiteral("-- 银行")})
        insertAccount(name);

    QElapsedTimer timer;
    timer.start();
    for (int step = 0; step < kSteps; ++step) {
        const int choice = random.Below(100);
        QString action;
        if (choice < 1 && model.Accounts.size() < kMaxAccounts) {
            action = QStringLiteral("insert account");
            insertAccount(QStringLiteral("账户%1").arg(step));
        } else if (choice < 45 || model.IdList.empty()) {
            action = QStringLiteral("add");
            const TRecord record {random.Kind(),
                                  model.Accounts[random.Below(int(model.Accounts.size()))],
                                  random.RecordAmount()};
            const QString id = AddRecord(record.Kind, record.Account, record.Fare, random.Below(5),
                                         QString(), random.Date());
            model.Records[id] = record;
            model.IdList.push_back(id);
        } else if (choice < 85) {
            const QString id = model.IdList[random.Below(int(model.IdList.size()))];
            TRecord &record = model.Records[id];
            GBookKeep->ReadRecord(id);
            QCOMPARE(GBookKeep->FAccountName, record.Account);
            QCOMPARE(GBookKeep->FInOutType, record.Kind);
            QCOMPARE(GBookKeep->FFare, record.Fare);

            TRecord after = record;
            if (random.Below(2) == 0)
                after.Account = model.Accounts[random.Below(int(model.Accounts.size()))];
            after.Kind = random.Kind();
            if (random.Below(4) != 0)
                after.Fare = random.RecordAmount();
            const int change = ChangeCase(record, after);
            action = QStringLiteral("modify, case %1").arg(change);
            ++cases[change];

            GBookKeep->FInOutType = after.Kind;
            GBookKeep->FAccountName = after.Account;
            GBookKeep->FFare = after.Fare;
            GBookKeep->FRemark = QStringLiteral("第%1步").arg(step);
            GBookKeep->ModifyRecord(record.Kind, record.Account, record.Fare);
            record = after;
        } else {
            action = QStringLiteral("delete");
            const int at = random.Below(int(model.IdList.size()));
            GBookKeep->DeleteRecord(model.IdList[at]);
            model.Records.erase(model.IdList[at]);
            model.IdList[at] = model.IdList.back();
            model.IdList.pop_back();
        }
        const QString mismatch = Mismatch(model);
        QVERIFY2(mismatch.isEmpty(),
                 qPrintable(QStringLiteral("step %1 (%2): %3").arg(step).arg(action, mismatch)));
    }
    qInfo("%d steps in %lld ms", kSteps, timer.elapsed());

    for (int change = 1; change <= 9; ++change)
        QVERIFY2(cases[change] > 0, qPrintable(QStringLiteral("case %1 never ran").arg(change)));
    QVERIFY(model.Accounts.size() > 4);
}

QTEST_GUILESS_MAIN(TestLedgerInvariant)
#include "tst_LedgerInvariant.moc"
