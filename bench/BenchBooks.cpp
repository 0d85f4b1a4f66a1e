#include "BenchBooks.h"

#include "data/Currency.h"
#include "data/SqlFormat.h"

#include <QDate>
#include <QFile>
#include <QRandomGenerator>
#include <QStringList>
#include <sqlite3.h>
#include <vector>

namespace {

struct TAccountSeed
{
    const char *Name;
    const char *Initial;
};

const TAccountSeed kAccounts[]
    = {{"现金", "500"}, {"工商银行", "10000"}, {"支付宝", "0"}, {"微信钱包", "200.5"}};
const char *kInTypes = "(1,0,'工资'),(2,1,'奖金'),(3,0,'理财收益'),(4,0,'其他收入')";
const char *kOutTypes = "(1,0,'餐饮'),(2,1,'早餐'),(3,1,'午餐'),(4,0,'交通'),(5,0,'购物'),"
                        "(6,0,'房租水电'),(7,0,'医疗')";
const char *kRemarks[]
    = {"",     "超市采购", "地铁",   "午饭",     "十二月工资", "水电费", "给妈妈的礼物",
       "打车", "看病",     "年终奖", "理财到期", "咖啡"};

bool Exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace

QString MakeBooks(const QString &templateFile, const QString &target, int records, quint32 seed)
{
    QFile::remove(target);
    if (!QFile::copy(templateFile, target))
        return QStringLiteral("cannot copy %1 to %2").arg(templateFile, target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);

    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(target).constData(), &db) != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(db));
    QRandomGenerator random(seed);
    const qint64 today = DayNumber(QDate::currentDate());
    const int span = qBound(31, records / 10, 3650);

    bool ok = Exec(db, "begin");
    for (const TAccountSeed &account : kAccounts) {
        const QByteArray sql
            = QStringLiteral("insert into Account(AccountName,Remark,Fare) values ('%1','',%2)")
                  .arg(QString::fromUtf8(account.Name), QString::fromLatin1(account.Initial))
                  .toUtf8();
        ok = ok && Exec(db, sql.constData());
    }
    ok = ok && Exec(db, QByteArray("insert into InType values ").append(kInTypes).constData());
    ok = ok && Exec(db, QByteArray("insert into OutType values ").append(kOutTypes).constData());

    sqlite3_stmt *insert = nullptr;
    ok = ok
        && sqlite3_prepare_v2(
               db,
               "insert into BookKeep(InOutType,TypeID,Remark,Fare,AccountName,InDate) "
               "values (?,?,?,?,?,?)",
               -1, &insert, nullptr)
            == SQLITE_OK;
    for (int i = 0; ok && i < records; ++i) {
        const bool income = random.bounded(4) == 0;
        const qint64 cents = income ? 10000 + random.bounded(2000000) : 100 + random.bounded(50000);
        const QByteArray fare = Currency::FromUnits(cents * 100).ToString().toUtf8();
        const QByteArray account = kAccounts[random.bounded(4)].Name;
        const QByteArray remark = kRemarks[random.bounded(int(std::size(kRemarks)))];
        sqlite3_bind_int(insert, 1, income ? 0 : 1);
        sqlite3_bind_int(insert, 2, income ? 1 + random.bounded(4) : 1 + random.bounded(7));
        sqlite3_bind_text(insert, 3, remark.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, fare.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 5, account.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(insert, 6, today - random.bounded(span));
        ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
    }
    sqlite3_finalize(insert);
    // The totals follow from the records; summed as integers of ten-thousandths.
    ok = ok
        && Exec(db,
                "update Account set "
                "InFare=coalesce((select sum(cast(round(Fare*10000) as integer)) from BookKeep b "
                "where b.AccountName=Account.AccountName and InOutType=0),0)/10000.0,"
                "OutFare=coalesce((select sum(cast(round(Fare*10000) as integer)) from BookKeep b "
                "where b.AccountName=Account.AccountName and InOutType<>0),0)/10000.0")
        && Exec(db, "update Account set Fare=Fare+InFare-OutFare") && Exec(db, "commit");
    const QString reason = ok ? QString() : QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return reason;
}
