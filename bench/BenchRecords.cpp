// Speed of the record query, the list fill with totals, and adding a record,
// each against the raw engine doing the same work in the same run. The
// counter vs_raw is the program's time divided by the raw engine's.
// Books: BENCH_RECORDS records (default 1,000,000).

#include "BenchBooks.h"

#include "data/DbAccess.h"
#include "data/ListModel.h"
#include "data/UException.h"
#include "data/UntPublic.h"
#include "ledger/UntBookKeep.h"
#include "ledger/UntConfig.h"
#include "shell/Application.h"
#include "shell/Main.h"
#include "ui_Main.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>
#include <map>
#include <sqlite3.h>

namespace {

const QString kListSelect = QStringLiteral(
    "select ID,iif(InOutType=0,'收入','支出'),  iif(InOutType=0,(select TypeName from InType where "
    "SelfIndex=TypeID),(select TypeName from OutType where SelfIndex=TypeID)), "
    "Fare,AccountName,Remark,InDate from BookKeep ");
const QString kAllDays = QStringLiteral("where InDate >= 0 and InDate <= 2958465 ");

std::map<std::string, double> GRawSeconds;

// Times the loop itself, so that a program's benchmark can be set against
// the raw engine's that ran before it.
template<typename F> double TimedLoop(benchmark::State &state, F body)
{
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        body();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    return total / double(state.iterations());
}

void Raw(benchmark::State &state, const std::string &name, double seconds)
{
    GRawSeconds[name] = seconds;
    state.counters["vs_raw"] = 1.0;
}

void Versus(benchmark::State &state, const std::string &name, double seconds)
{
    const auto raw = GRawSeconds.find(name);
    state.counters["vs_raw"] = raw == GRawSeconds.end() ? 0.0 : seconds / raw->second;
}

sqlite3 *RawConnection()
{
    static sqlite3 *db = [] {
        sqlite3 *open = nullptr;
        sqlite3_open(QFile::encodeName(TDbAccess::DatabaseFile()).constData(), &open);
        sqlite3_exec(open, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
        return open;
    }();
    return db;
}

void BM_RawListQuery(benchmark::State &state)
{
    const QByteArray sql = (kListSelect + kAllDays + QStringLiteral("order by InDate")).toUtf8();
    qint64 rows = 0;
    const double seconds = TimedLoop(state, [&] {
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(RawConnection(), sql.constData(), -1, &stmt, nullptr);
        rows = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < 7; ++c)
                benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
            ++rows;
        }
        sqlite3_finalize(stmt);
    });
    state.counters["rows"] = double(rows);
    Raw(state, "list", seconds);
}

void BM_ListRecords(benchmark::State &state)
{
    TListModel list({QStringLiteral("ID"), QStringLiteral("收入/支出"), QStringLiteral("类别"),
                     QStringLiteral("金额"), QStringLiteral("对应账户"), QStringLiteral("备注"),
                     QStringLiteral("时间")});
    const double seconds = TimedLoop(state, [&] { GBookKeep->ListRecords(list, kAllDays); });
    state.counters["rows"] = list.rowCount();
    Versus(state, "list", seconds);
}

void BM_MainWindowQuery(benchmark::State &state)
{
    TFormMain form;
    form.ui->DBBegin->setDate(QDate(1900, 1, 1));
    form.ui->DBOver->setDate(QDate(9999, 12, 31));
    const double seconds = TimedLoop(state, [&] { form.btnQueryClick(); });
    state.counters["rows"] = form.Records().rowCount();
    Versus(state, "list", seconds);
}

void BM_RawAddRecord(benchmark::State &state)
{
    sqlite3 *db = RawConnection();
    const double seconds = TimedLoop(state, [&] {
        sqlite3_exec(
            db,
            "begin immediate;"
            "insert into BookKeep(InOutType,TypeID,Remark,Fare,AccountName,InDate) "
            "values ('1',1,'bench',12.5,'现金','46363');"
            "update Account set Fare=Fare-12.5,OutFare=OutFare+12.5 where AccountName='现金';"
            "commit",
            nullptr, nullptr, nullptr);
    });
    Raw(state, "add", seconds);
}

void BM_AddRecord(benchmark::State &state)
{
    GBookKeep->FInOutType = 1;
    GBookKeep->FTypeID = 1;
    GBookKeep->FRemark = QStringLiteral("bench");
    GBookKeep->FFare = Currency::Parse(QStringLiteral("12.5"));
    GBookKeep->FAccountName = QStringLiteral("现金");
    GBookKeep->FInDate = QDateTime(QDate(2026, 12, 7), QTime());
    const double seconds = TimedLoop(state, [&] { GBookKeep->AddRecord(); });
    Versus(state, "add", seconds);
}

BENCHMARK(BM_RawListQuery)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ListRecords)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_MainWindowQuery)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RawAddRecord)->Unit(benchmark::kMillisecond)->Iterations(50);
BENCHMARK(BM_AddRecord)->Unit(benchmark::kMillisecond)->Iterations(50);

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    QTemporaryDir dir;
    const int records = qEnvironmentVariableIsSet("BENCH_RECORDS")
        ? qEnvironmentVariableIntValue("BENCH_RECORDS")
        : 1000000;
    const QString reason = MakeBooks(QStringLiteral(TEMPLATE_DB),
                                     dir.filePath(QStringLiteral("bookkeep.dat")), records, 2026);
    if (!reason.isEmpty())
        qFatal("%s", qUtf8Printable(reason));
    AppPath = dir.path() + u'/';
    GCardException = new TCardException;
    GDbAccess = new TDbAccess;
    GDbAccess->Connect();
    GConfig = new TConfig;
    GBookKeep = new TBookKeep;

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    delete GBookKeep;
    delete GConfig;
    delete GDbAccess;
    delete GCardException;
    return 0;
}
