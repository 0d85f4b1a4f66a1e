// What checking the books costs when they open (at start with the pass over
// every page left for afterwards) and before a restore.
// Usage: bench_open BOOKS [RUNS]   (make BOOKS with makebooks first)
// Prints the median of RUNS (default 5) for each step, the file in the
// system's cache (one run first to warm it).

#include "data/DbFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace {

sqlite3 *OpenBooks(const QByteArray &fileName)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(fileName.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "cannot open %s\n", fileName.constData());
        std::exit(1);
    }
    return db;
}

// What every open did before the page check: the marks and the password.
void OpenOnly(sqlite3 *db)
{
    sqlite3_exec(db,
                 "PRAGMA application_id;PRAGMA user_version;select Salt,Verifier from DbKey;"
                 "PRAGMA journal_mode=DELETE;PRAGMA synchronous=FULL",
                 nullptr, nullptr, nullptr);
}

double Median(const QByteArray &fileName, int runs, const std::function<void(sqlite3 *)> &step)
{
    std::vector<double> times;
    for (int i = 0; i <= runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        sqlite3 *db = OpenBooks(fileName);
        step(db);
        sqlite3_close(db);
        if (i > 0)
            times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Expect(const Outcome &check)
{
    if (!check.IsSound()) {
        std::fprintf(stderr, "check failed: %s\n", qUtf8Printable(check.Reason()));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s BOOKS [RUNS]\n", argv[0]);
        return 2;
    }
    const QByteArray fileName(argv[1]);
    const int runs = argc > 2 ? std::max(1, QByteArray(argv[2]).toInt()) : 5;
    const double open = Median(fileName, runs, OpenOnly);
    const double connect = Median(fileName, runs, [](sqlite3 *db) {
        Expect(DbFile::Check(db, DbFile::TCheckDepth::Open));
        OpenOnly(db);
    });
    const double start = Median(fileName, runs, [](sqlite3 *db) {
        Expect(DbFile::Check(db, DbFile::TCheckDepth::Start));
        OpenOnly(db);
    });
    const double totals = Median(fileName, runs, [](sqlite3 *db) {
        OpenOnly(db);
        Expect(DbFile::CheckTotals(db));
    });
    const double restore = Median(fileName, runs, [](sqlite3 *db) {
        Expect(DbFile::Check(db, DbFile::TCheckDepth::Restore));
        OpenOnly(db);
    });
    std::printf("file: %s, %lld bytes, median of %d runs\n", fileName.constData(),
                qlonglong(QFile(QString::fromLocal8Bit(fileName)).size()), runs);
    std::printf("open without the check     %9.1f ms\n", open);
    std::printf("open with the check        %9.1f ms  (+%.1f ms)\n", connect, connect - open);
    std::printf("open at start (pages after) %8.1f ms  (+%.1f ms)\n", start, start - open);
    std::printf("account totals alone       %9.1f ms\n", totals - open);
    std::printf("restore check (integrity + totals) %9.1f ms\n", restore);
    return 0;
}
