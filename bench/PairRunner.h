#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <vector>

// A benchmark that cannot give an honest figure: missing books, a baseline
// that did nothing, the two sides disagreeing on what they handled.
class TBenchFailure : public std::runtime_error
{
public:
    explicit TBenchFailure(const QString &reason)
        : std::runtime_error(reason.toStdString())
    {
    }
};

// One timed run of one side: what it handled (rows listed, items built,
// changes made) and how long it took.
struct TRun
{
    qint64 Rows = 0;
    qint64 Nanoseconds = 0;
};

// Times `work`, which returns what it handled.
template<typename F> TRun Timed(F &&work)
{
    const auto start = std::chrono::steady_clock::now();
    const qint64 rows = work();
    const auto end = std::chrono::steady_clock::now();
    return {rows, std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count()};
}

struct TMeasureResult
{
    QString Name;
    qint64 Rows = 0;
    double RawMs = 0; // medians of the counted runs
    double ProgramMs = 0;
    double Ratio = 0; // median of the per-pair ratios program / raw
    // The spread of the per-pair ratios: their quartiles, least and greatest.
    double RatioQ1 = 0;
    double RatioQ3 = 0;
    double RatioMin = 0;
    double RatioMax = 0;
    int Pairs = 0; // counted pairs
    double Goal = 0; // 0: none
    bool Memory = false; // Ratio holds bytes per row, Goal the bytes allowed
};

// Runs the raw baseline and the program alternately, raw first, on the same
// books: one pair to warm up, not counted, then `repeats` pairs. Each side
// gets the pair's number (0 for the warm-up). Fails when the raw side handled
// nothing or took no time, or when the two sides handled different counts.
TMeasureResult RunPairs(const QString &name, double goal, int repeats,
                        const std::function<TRun(int pair)> &raw,
                        const std::function<TRun(int pair)> &program);

// The q-quantile (0..1) of the values, interpolated between the two nearest
// when it falls between them.
double Quantile(std::vector<double> values, double q);
double Median(std::vector<double> values);

// The table of all results, the spread of each ratio over its pairs beside
// it, then one line per measure for scripts: "name ratio=R", or
// "memory_per_row bytes=B".
void PrintResults(const std::vector<TMeasureResult> &results);

// CPU, cores, memory, kernel, SQLite and Qt versions and the load, one per line.
void PrintMachine();
