#include "BenchBooks.h"

#include "data/Currency.h"
#include "data/SqlFormat.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QFile>
#include <QRandomGenerator>
#include <array>
#include <iterator>
#include <sqlite3.h>
#include <vector>

namespace {

struct TAccountSeed
{
    const char *Name;
    const char *Opening;
    const char *Remark;
};

const TAccountSeed kAccounts[] = {{"现金", "800", "钱包里的零钱"},
                                  {"工商银行储蓄卡", "25000", "工资卡"},
                                  {"建设银行信用卡", "0", "每月8日还款"},
                                  {"招商银行", "12000.5", ""},
                                  {"支付宝", "1500", ""},
                                  {"微信钱包", "300.25", ""},
                                  {"余额宝", "8000", "备用金"},
                                  {"公交卡", "50", ""},
                                  {"饭卡", "120", "公司食堂"},
                                  {"住房公积金", "30000", "只进不出"}};

// A category with its depth: 0 top, 1 child, 2 grandchild. Each one's parent
// is the nearest entry above it that sits one level higher.
struct TCategorySeed
{
    int Level;
    const char *Name;
};

const TCategorySeed kIncomeTypes[]
    = {{0, "工资收入"}, {1, "基本工资"}, {2, "岗位工资"}, {2, "绩效工资"}, {1, "加班费"},
       {1, "奖金"},     {2, "季度奖"},   {2, "年终奖"},   {1, "补贴"},     {2, "交通补贴"},
       {2, "餐费补贴"}, {2, "通讯补贴"}, {0, "投资收益"}, {1, "利息"},     {2, "定期利息"},
       {2, "活期利息"}, {1, "基金收益"}, {1, "股票收益"}, {2, "分红"},     {2, "买卖差价"},
       {1, "理财产品"}, {0, "经营收入"}, {1, "兼职收入"}, {2, "家教"},     {2, "稿费"},
       {1, "二手转让"}, {1, "房租收入"}, {0, "人情往来"}, {1, "红包"},     {2, "节日红包"},
       {2, "生日红包"}, {1, "礼金"},     {0, "其他收入"}, {1, "报销款"},   {2, "差旅报销"},
       {2, "医药报销"}, {1, "退款"},     {1, "中奖"},     {1, "意外所得"}, {1, "公积金提取"}};

const TCategorySeed kExpenseTypes[]
    = {{0, "餐饮"},     {1, "早餐"},     {1, "午餐"},     {2, "工作餐"},   {2, "外卖"},
       {1, "晚餐"},     {1, "零食饮料"}, {2, "水果"},     {2, "咖啡奶茶"}, {1, "聚餐"},
       {0, "交通"},     {1, "公交地铁"}, {1, "打车"},     {1, "加油"},     {1, "停车费"},
       {1, "火车飞机"}, {2, "火车票"},   {2, "机票"},     {0, "购物"},     {1, "日用品"},
       {2, "超市"},     {2, "洗护用品"}, {1, "服饰"},     {2, "衣服"},     {2, "鞋子"},
       {1, "数码电器"}, {1, "家居"},     {0, "居住"},     {1, "房租"},     {1, "水电燃气"},
       {2, "水费"},     {2, "电费"},     {2, "燃气费"},   {1, "物业费"},   {1, "通讯网络"},
       {2, "话费"},     {2, "宽带"},     {0, "医疗健康"}, {1, "门诊"},     {1, "药品"},
       {1, "体检"},     {1, "健身"},     {0, "学习娱乐"}, {1, "书籍"},     {1, "培训课程"},
       {1, "电影演出"}, {1, "旅游"},     {2, "门票"},     {2, "酒店"},     {1, "游戏"},
       {0, "人情"},     {1, "礼物"},     {1, "红包礼金"}, {1, "孝敬父母"}, {0, "其他支出"},
       {1, "保险"},     {1, "税费"},     {1, "手续费"},   {1, "捐赠"},     {1, "丢失"}};

static_assert(std::size(kIncomeTypes) == 40 && std::size(kExpenseTypes) == 60);

// The short remarks people type again and again.
const char *const kExpenseRemarks[]
    = {"午饭",     "早饭",     "晚饭",     "地铁",       "公交",     "打车",     "超市采购",
       "买菜",     "咖啡",     "奶茶",     "水果",       "外卖",     "加油",     "停车",
       "话费",     "电费",     "水费",     "房租",       "买药",     "看病",     "电影",
       "理发",     "快递",     "网购",     "日用品",     "零食",     "聚餐",     "请客",
       "交物业费", "加班晚饭", "早餐包子", "给孩子买书", "充公交卡", "宽带续费", "燃气费"};
const char *const kIncomeRemarks[]
    = {"工资", "奖金", "年终奖",   "利息",   "理财到期", "报销",       "红包",    "兼职",
       "退款", "稿费", "基金分红", "加班费", "季度奖",   "公积金提取", "二手转让"};
// Pieces of the longer remarks, joined with a comma up to 30 characters.
const char *const kRemarkPhrases[] = {"和同事在公司楼下吃饭",
                                      "周末带孩子去公园",
                                      "顺便买了些日用品",
                                      "给妈妈买了件衣服",
                                      "回老家路上打车",
                                      "朋友生日聚会",
                                      "大家平摊",
                                      "去医院复查",
                                      "挂号加药费",
                                      "网上下单后退货",
                                      "退货运费",
                                      "春节回家买年货",
                                      "国庆出去玩的门票两张",
                                      "家里热水器坏了换新的",
                                      "出差住宿",
                                      "报销单已交财务",
                                      "信用卡还款",
                                      "孩子的学费和书本费",
                                      "双十一囤的纸巾洗衣液",
                                      "小区门口水果店",
                                      "加班太晚打车回家",
                                      "老同学来访请吃饭",
                                      "季度绩效",
                                      "年底发的"};
constexpr int kMaxRemarkChars = 30;

struct TRecord
{
    qint64 Day;
    qint64 Cents;
    QByteArray Remark;
    int Account;
    int TypeId;
    bool Income;
};

bool Exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Books made here are books as they were kept, with no history of their
// making: the triggers that log changes for undo are dropped in the open
// transaction while the rows go in, and made again after.
bool SetHistoryAside(sqlite3 *db, QByteArrayList &triggers)
{
    sqlite3_stmt *stmt = nullptr;
    bool ok = sqlite3_prepare_v2(db,
                                 "select name,sql from sqlite_master "
                                 "where type='trigger' and name glob '*Undo*'",
                                 -1, &stmt, nullptr)
        == SQLITE_OK;
    QByteArrayList names;
    while (ok && sqlite3_step(stmt) == SQLITE_ROW) {
        names << reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
        triggers << reinterpret_cast<const char *>(sqlite3_column_text(stmt, 1));
    }
    sqlite3_finalize(stmt);
    for (const QByteArray &name : std::as_const(names))
        ok = ok && Exec(db, ("drop trigger " + name).constData());
    return ok;
}

// The history then starts from the books as made: its base row keeps the
// record ID counter they end with.
bool RestoreHistory(sqlite3 *db, const QByteArrayList &triggers)
{
    bool ok = true;
    for (const QByteArray &trigger : triggers)
        ok = ok && Exec(db, trigger.constData());
    return ok
        && Exec(db,
                "update UndoLog set V2=(select seq from sqlite_sequence where "
                "name='BookKeep') where Op=-1");
}

// Opens existing books; the reason when they do not open.
QString OpenBooks(const QString &books, sqlite3 *&db)
{
    if (sqlite3_open_v2(QFile::encodeName(books).constData(), &db, SQLITE_OPEN_READWRITE, nullptr)
        == SQLITE_OK)
        return {};
    const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return reason;
}

template<std::size_t N> const char *Pick(QRandomGenerator &random, const char *const (&words)[N])
{
    return words[random.bounded(int(N))];
}

// Mostly nothing or one of the usual short remarks; now and then a longer
// one of a few phrases, at most 30 characters.
QByteArray MakeRemark(QRandomGenerator &random, bool income)
{
    const int kind = random.bounded(100);
    if (kind < 35)
        return {};
    if (kind < 90)
        return income ? Pick(random, kIncomeRemarks) : Pick(random, kExpenseRemarks);
    QString text = QString::fromUtf8(Pick(random, kRemarkPhrases));
    for (int more = random.bounded(3); more > 0; --more) {
        const QString phrase = QString::fromUtf8(Pick(random, kRemarkPhrases));
        if (text.size() + 1 + phrase.size() > kMaxRemarkChars)
            break;
        text += u'，' + phrase;
    }
    return text.toUtf8();
}

// Expenses are mostly a few yuan to a few hundred, income mostly tens to a
// few thousand, so that the two roughly balance over the years. A quarter of
// the amounts are whole yuan, a quarter have one decimal, half have two.
qint64 MakeCents(QRandomGenerator &random, bool income)
{
    const int band = random.bounded(100);
    qint64 yuan;
    if (income)
        yuan = band < 60 ? 20 + random.bounded(480)
            : band < 90  ? 500 + random.bounded(2500)
                         : 3000 + random.bounded(12000);
    else
        yuan = band < 60 ? 1 + random.bounded(50)
            : band < 85  ? 50 + random.bounded(250)
            : band < 97  ? 300 + random.bounded(1700)
                         : 2000 + random.bounded(18000);
    const int decimals = random.bounded(4);
    const qint64 cents = decimals == 0 ? 0
        : decimals == 1                ? 10 * random.bounded(10)
                                       : random.bounded(100);
    return yuan * 100 + cents;
}

template<std::size_t N>
bool InsertTypes(sqlite3 *db, const char *table, const TCategorySeed (&types)[N])
{
    sqlite3_stmt *insert = nullptr;
    const QByteArray sql
        = QByteArray("insert into ") + table + "(SelfIndex,ParentIndex,TypeName) values (?,?,?)";
    bool ok = sqlite3_prepare_v2(db, sql.constData(), -1, &insert, nullptr) == SQLITE_OK;
    std::array<int, 3> lastAtLevel {0, 0, 0};
    for (std::size_t i = 0; ok && i < N; ++i) {
        const int self = int(i) + 1;
        const int level = types[i].Level;
        lastAtLevel[level] = self;
        sqlite3_bind_int(insert, 1, self);
        sqlite3_bind_int(insert, 2, level == 0 ? 0 : lastAtLevel[level - 1]);
        sqlite3_bind_text(insert, 3, types[i].Name, -1, SQLITE_STATIC);
        ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
    }
    sqlite3_finalize(insert);
    return ok;
}

std::vector<TRecord> MakeRecords(int count, quint32 seed, TRecordOrder order)
{
    QRandomGenerator random(seed);
    const QDate today = QDate::currentDate();
    const qint64 first = DayNumber(FirstBookDay());
    const qint64 span = DayNumber(today) - first + 1;
    std::vector<TRecord> records;
    records.reserve(count);
    for (int i = 0; i < count; ++i) {
        TRecord record;
        record.Income = random.bounded(4) == 0;
        record.Cents = MakeCents(random, record.Income);
        record.Remark = MakeRemark(random, record.Income);
        record.Account = random.bounded(int(std::size(kAccounts)));
        record.TypeId = 1 + random.bounded(BookCategories(record.Income));
        record.Day = first + qint64(i) * span / count;
        // Entered late: a record of up to a month ago.
        if (random.bounded(100) < 3)
            record.Day = std::max(first, record.Day - 1 - random.bounded(30));
        records.push_back(std::move(record));
    }
    if (order == TRecordOrder::Random) {
        QRandomGenerator shuffle(seed ^ 0x5eed5eedu);
        for (int i = count - 1; i > 0; --i)
            std::swap(records[i], records[shuffle.bounded(i + 1)]);
    }
    return records;
}

QByteArray AmountText(qint64 units)
{
    return Currency::FromUnits(units).ToString().toUtf8();
}

} // namespace

QDate FirstBookDay()
{
    return QDate::currentDate().addYears(-10).addDays(1);
}

QStringList BookAccounts()
{
    QStringList names;
    for (const TAccountSeed &account : kAccounts)
        names << QString::fromUtf8(account.Name);
    return names;
}

int BookCategories(bool income)
{
    return income ? int(std::size(kIncomeTypes)) : int(std::size(kExpenseTypes));
}

QString MakeBooks(const QString &templateFile, const QString &target, int records, quint32 seed,
                  TRecordOrder order)
{
    if (records < 0)
        return QStringLiteral("a negative number of records");
    QFile::remove(target);
    if (!QFile::copy(templateFile, target))
        return QStringLiteral("cannot copy %1 to %2").arg(templateFile, target);
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);

    sqlite3 *db = nullptr;
    if (sqlite3_open(QFile::encodeName(target).constData(), &db) != SQLITE_OK) {
        const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return reason;
    }
    const std::vector<TRecord> rows = MakeRecords(records, seed, order);

    // A cache large enough that the insert never spills to the file midway.
    QByteArrayList triggers;
    bool ok = Exec(db, "PRAGMA cache_size=-524288") && Exec(db, "begin")
        && SetHistoryAside(db, triggers) && InsertTypes(db, "InType", kIncomeTypes)
        && InsertTypes(db, "OutType", kExpenseTypes);
    sqlite3_stmt *insert = nullptr;
    ok = ok
        && sqlite3_prepare_v2(
               db,
               "insert into BookKeep(InOutType,TypeID,Remark,Fare,AccountName,InDate) "
               "values (?,?,?,?,?,?)",
               -1, &insert, nullptr)
            == SQLITE_OK;
    // Totals in ten-thousandths, as the program keeps them.
    std::vector<qint64> in(std::size(kAccounts)), out(std::size(kAccounts));
    for (std::size_t i = 0; ok && i < rows.size(); ++i) {
        const TRecord &row = rows[i];
        const QByteArray fare = AmountText(row.Cents * 100);
        sqlite3_bind_int(insert, 1, row.Income ? 0 : 1);
        sqlite3_bind_int(insert, 2, row.TypeId);
        sqlite3_bind_text(insert, 3, row.Remark.constData(), int(row.Remark.size()), SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, fare.constData(), int(fare.size()), SQLITE_STATIC);
        sqlite3_bind_text(insert, 5, kAccounts[row.Account].Name, -1, SQLITE_STATIC);
        sqlite3_bind_int64(insert, 6, row.Day);
        ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
        (row.Income ? in : out)[row.Account] += row.Cents * 100;
    }
    sqlite3_finalize(insert);

    sqlite3_stmt *account = nullptr;
    ok = ok
        && sqlite3_prepare_v2(db,
                              "insert into Account(AccountName,Remark,Fare,InFare,OutFare) "
                              "values (?,?,?,?,?)",
                              -1, &account, nullptr)
            == SQLITE_OK;
    for (std::size_t i = 0; ok && i < std::size(kAccounts); ++i) {
        const qint64 opening = Currency::Parse(QString::fromLatin1(kAccounts[i].Opening)).Units();
        const QByteArray fare = AmountText(opening + in[i] - out[i]);
        const QByteArray inFare = AmountText(in[i]);
        const QByteArray outFare = AmountText(out[i]);
        sqlite3_bind_text(account, 1, kAccounts[i].Name, -1, SQLITE_STATIC);
        sqlite3_bind_text(account, 2, kAccounts[i].Remark, -1, SQLITE_STATIC);
        sqlite3_bind_text(account, 3, fare.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(account, 4, inFare.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(account, 5, outFare.constData(), -1, SQLITE_STATIC);
        ok = sqlite3_step(account) == SQLITE_DONE && sqlite3_reset(account) == SQLITE_OK;
    }
    sqlite3_finalize(account);
    ok = ok && RestoreHistory(db, triggers) && Exec(db, "commit");
    const QString reason = ok ? QString() : QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return reason;
}

TGatheredAccount GatheredAccount()
{
    return {QString::fromUtf8(kAccounts[1].Name),
            Currency::Parse(QString::fromLatin1(kAccounts[1].Opening))};
}

QString GatherOnOneAccount(const QString &books, int transfers, quint32 seed)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(books).constData(), &db, SQLITE_OPEN_READWRITE, nullptr)
        != SQLITE_OK) {
        const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return reason;
    }
    const QByteArray gathered = kAccounts[1].Name;
    QByteArrayList triggers;
    // The balances keep the opening amounts while the records move.
    bool ok = Exec(db, "PRAGMA cache_size=-524288") && Exec(db, "begin")
        && SetHistoryAside(db, triggers) && Exec(db, "update Account set Fare=Fare-InFare+OutFare")
        && Exec(db,
                ("update BookKeep set AccountName='" + gathered + "' where ID % 10 <> 0")
                    .constData());
    sqlite3_stmt *insert = nullptr;
    ok = ok
        && sqlite3_prepare_v2(db,
                              "insert into Transfer(InDate,FromAccount,ToAccount,Fare,Fee,Remark) "
                              "values (?,?,?,?,?,?)",
                              -1, &insert, nullptr)
            == SQLITE_OK;
    QRandomGenerator random(seed ^ 0x7ea55u);
    const qint64 first = DayNumber(FirstBookDay());
    const qint64 span = DayNumber(QDate::currentDate()) - first + 1;
    for (int i = 0; ok && i < transfers; ++i) {
        const char *other = kAccounts[2 + i % (int(std::size(kAccounts)) - 2)].Name;
        const bool out = i % 2 == 0;
        const qint64 cents = 100 * (100 + random.bounded(4900)) + random.bounded(100);
        const QByteArray fare = AmountText(cents * 100);
        const QByteArray fee = AmountText(i % 3 == 0 ? std::max<qint64>(1, cents / 1000) * 100 : 0);
        sqlite3_bind_int64(insert, 1, first + qint64(i) * span / transfers);
        sqlite3_bind_text(insert, 2, out ? gathered.constData() : other, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, out ? other : gathered.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 4, fare.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 5, fee.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 6, out ? "转账" : "还款", -1, SQLITE_STATIC);
        ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
    }
    sqlite3_finalize(insert);
    // The totals summed from the records in ten-thousandths; the balances
    // from the openings, the records and the transfers (the schema rounds
    // each to four decimals).
    ok = ok
        && Exec(db,
                "update Account set InFare=(select coalesce(sum(cast(round(Fare*10000) as "
                "integer)),0) from BookKeep where AccountName=Account.AccountName and "
                "InOutType=0)/10000.0,OutFare=(select coalesce(sum(cast(round(Fare*10000) as "
                "integer)),0) from BookKeep where AccountName=Account.AccountName and "
                "InOutType<>0)/10000.0")
        && Exec(db,
                "update Account set Fare=Fare+InFare-OutFare+(select coalesce(sum(Fare),0) from "
                "Transfer where ToAccount=Account.AccountName)-(select coalesce(sum(Fare+Fee),0) "
                "from Transfer where FromAccount=Account.AccountName)")
        && RestoreHistory(db, triggers) && Exec(db, "commit");
    const QString reason = ok ? QString() : QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return reason;
}

QString MakeLargeTrees(const QString &books, int perKind)
{
    if (perKind < std::max(BookCategories(true), BookCategories(false)))
        return QStringLiteral("too few categories for the records: %1").arg(perKind);
    sqlite3 *db = nullptr;
    if (const QString reason = OpenBooks(books, db); !reason.isEmpty())
        return reason;
    // A tenth of a tenth are top categories, nine children under each, and
    // the rest grandchildren spread over the children.
    const int tops = std::max(1, perKind / 100);
    const int children = std::min(perKind - tops, tops * 9);
    QByteArrayList triggers;
    bool ok = Exec(db, "begin") && SetHistoryAside(db, triggers);
    for (const bool income : {true, false}) {
        const char *table = income ? "InType" : "OutType";
        const auto name = [income](int i) {
            const TCategorySeed &seed = income ? kIncomeTypes[i % std::size(kIncomeTypes)]
                                               : kExpenseTypes[i % std::size(kExpenseTypes)];
            return QString::fromUtf8(seed.Name) + QString::number(i + 1);
        };
        ok = ok && Exec(db, QByteArray("delete from ").append(table).constData());
        sqlite3_stmt *insert = nullptr;
        const QByteArray sql = QByteArray("insert into ") + table
            + "(SelfIndex,ParentIndex,TypeName) values (?,?,?)";
        ok = ok && sqlite3_prepare_v2(db, sql.constData(), -1, &insert, nullptr) == SQLITE_OK;
        for (int i = 0; ok && i < perKind; ++i) {
            const int self = i + 1;
            int parent = 0;
            if (i >= tops + children)
                parent = children ? tops + 1 + (i - tops - children) % children : 1;
            else if (i >= tops)
                parent = 1 + (i - tops) % tops;
            const QByteArray text = name(i).toUtf8();
            sqlite3_bind_int(insert, 1, self);
            sqlite3_bind_int(insert, 2, parent);
            sqlite3_bind_text(insert, 3, text.constData(), -1, SQLITE_TRANSIENT);
            ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
        }
        sqlite3_finalize(insert);
    }
    ok = ok && RestoreHistory(db, triggers) && Exec(db, "commit");
    const QString reason = ok ? QString() : QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return reason;
}

QString AddTransfers(const QString &books)
{
    sqlite3 *db = nullptr;
    if (const QString reason = OpenBooks(books, db); !reason.isEmpty())
        return reason;
    // The record's amount leaves its account for the next one, every tenth
    // with a fee; the balances move by what the transfers add up to.
    QByteArrayList triggers;
    const bool ok = Exec(db, "begin") && SetHistoryAside(db, triggers)
        && Exec(db,
                "insert into Transfer(ID,InDate,FromAccount,ToAccount,Fare,Fee,Remark) "
                "select ID,InDate,AccountName,coalesce((select A.AccountName from Account A "
                "where A.rowid>(select rowid from Account where AccountName=B.AccountName) "
                "order by A.rowid limit 1),(select AccountName from Account where rowid=1)),"
                "Fare,iif(ID % 10=0,1.5,0),Remark from BookKeep B")
        && Exec(db,
                "update Account set Fare=Fare-(select coalesce(sum(Fare+Fee),0) from Transfer "
                "where FromAccount=AccountName)+(select coalesce(sum(Fare),0) from Transfer "
                "where ToAccount=AccountName)")
        && RestoreHistory(db, triggers) && Exec(db, "commit");
    const QString reason = ok ? QString() : QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    return reason;
}
