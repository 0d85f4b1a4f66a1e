#include "PairRunner.h"

#include <QFile>
#include <QtGlobal>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <sys/utsname.h>
#include <thread>

double Quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double at = q * double(values.size() - 1);
    const std::size_t below = std::size_t(at);
    if (below + 1 >= values.size())
        return values.back();
    return values[below] + (at - double(below)) * (values[below + 1] - values[below]);
}

double Median(std::vector<double> values)
{
    return Quantile(std::move(values), 0.5);
}

TMeasureResult RunPairs(const QString &name, double goal, int repeats,
                        const std::function<TRun(int pair)> &raw,
                        const std::function<TRun(int pair)> &program)
{
    std::vector<double> rawMs, programMs, ratios;
    qint64 rows = 0;
    for (int pair = 0; pair <= repeats; ++pair) {
        const TRun base = raw(pair);
        const TRun ours = program(pair);
        if (base.Rows <= 0 || base.Nanoseconds <= 0)
            throw TBenchFailure(QStringLiteral("%1: the raw baseline handled %2 rows in %3 ns")
                                    .arg(name)
                                    .arg(base.Rows)
                                    .arg(base.Nanoseconds));
        if (ours.Rows != base.Rows)
            throw TBenchFailure(QStringLiteral("%1: the raw baseline handled %2 rows, the "
                                               "program %3")
                                    .arg(name)
                                    .arg(base.Rows)
                                    .arg(ours.Rows));
        rows = base.Rows;
        if (pair == 0)
            continue;
        rawMs.push_back(base.Nanoseconds / 1e6);
        programMs.push_back(ours.Nanoseconds / 1e6);
        ratios.push_back(double(ours.Nanoseconds) / double(base.Nanoseconds));
    }
    std::fprintf(stderr, "  %s done\n", qUtf8Printable(name));
    TMeasureResult result;
    result.Name = name;
    result.Rows = rows;
    result.RawMs = Median(rawMs);
    result.ProgramMs = Median(programMs);
    result.Ratio = Median(ratios);
    result.RatioQ1 = Quantile(ratios, 0.25);
    result.RatioQ3 = Quantile(ratios, 0.75);
    result.RatioMin = *std::min_element(ratios.begin(), ratios.end());
    result.RatioMax = *std::max_element(ratios.begin(), ratios.end());
    result.Pairs = int(ratios.size());
    result.Goal = goal;
    return result;
}

void PrintResults(const std::vector<TMeasureResult> &results)
{
    // The ratio's quartiles (IQR) and its least and greatest value over the
    // pairs tell how far one run's median can be trusted.
    std::printf("\n%-24s %9s %11s %11s %10s %5s %13s %13s  %s\n", "measure", "rows", "raw ms",
                "program ms", "ratio", "pairs", "IQR", "min-max", "goal");
    for (const TMeasureResult &result : results) {
        if (result.Memory) {
            std::printf("%-24s %9lld %11s %11s %6.0f B/row %5s %13s %13s  <= %.0f B/row\n",
                        qUtf8Printable(result.Name), result.Rows, "-", "-", result.Ratio, "-", "-",
                        "-", result.Goal);
            continue;
        }
        const QByteArray goal
            = result.Goal > 0 ? QByteArray("<= ") + QByteArray::number(result.Goal, 'f', 2) : "-";
        const QByteArray quartiles = QByteArray::number(result.RatioQ1, 'f', 2) + '-'
            + QByteArray::number(result.RatioQ3, 'f', 2);
        const QByteArray range = QByteArray::number(result.RatioMin, 'f', 2) + '-'
            + QByteArray::number(result.RatioMax, 'f', 2);
        std::printf("%-24s %9lld %11.2f %11.2f %10.2f %5d %13s %13s  %s\n",
                    qUtf8Printable(result.Name), result.Rows, result.RawMs, result.ProgramMs,
                    result.Ratio, result.Pairs, quartiles.constData(), range.constData(),
                    goal.constData());
    }
    std::printf("\n");
    for (const TMeasureResult &result : results) {
        if (result.Memory)
            std::printf("%s bytes=%.0f\n", qUtf8Printable(result.Name), result.Ratio);
        else
            std::printf("%s ratio=%.2f\n", qUtf8Printable(result.Name), result.Ratio);
    }
    std::fflush(stdout);
}

namespace {

// The value of the first "key : value" line of a /proc file starting with key.
QString ProcValue(const char *file, const QString &key)
{
    QFile proc(QString::fromLatin1(file));
    if (!proc.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    for (const QByteArray &line : proc.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (text.startsWith(key))
            return text.section(u':', 1).trimmed();
    }
    return {};
}

} // namespace

void PrintMachine()
{
    QString cpu = ProcValue("/proc/cpuinfo", QStringLiteral("model name"));
    if (cpu.isEmpty())
        cpu = QStringLiteral("unknown");
    const QString memory = ProcValue("/proc/meminfo", QStringLiteral("MemTotal"));
    const double memoryGiB
        = memory.section(u' ', 0, 0).toDouble() / (1024.0 * 1024.0); // the file gives kB
    utsname system {};
    uname(&system);
    std::printf("CPU:     %s\n", qUtf8Printable(cpu));
    std::printf("Cores:   %u\n", std::thread::hardware_concurrency());
    std::printf("RAM:     %.1f GiB\n", memoryGiB);
    std::printf("Kernel:  %s %s\n", system.sysname, system.release);
    std::printf("SQLite:  %s\n", sqlite3_libversion());
    std::printf("Qt:      %s (built with %s)\n", qVersion(), QT_VERSION_STR);
    // Every figure is a time: a busy machine shows here.
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly))
        std::printf("Load:    %s (1, 5, 15 min) at the start\n",
                    load.readAll().split(' ').mid(0, 3).join(' ').constData());
    std::fflush(stdout);
}
