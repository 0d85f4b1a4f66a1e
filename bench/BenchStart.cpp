// The program's start up to its first painted record list, on large books,
// against the same start on empty books plus the raw query of that list.
// Usage: bench_start [--records N] [--repeats R] [--work-dir DIR]
// Each start is a process of its own: this program again, which runs the
// program's entry sequence and prints "PAINTED|rows|statement" once the
// record list has painted for the first time, then ends at once.

#include "BenchBooks.h"
#include "PairRunner.h"

#include "data/DbFile.h"
#include "data/UntPublic.h"
#include "ledger/UntBookKeep.h"
#include "shell/Startup.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

namespace {

// Set in the environment of the starts this program makes of itself.
constexpr char kChildMark[] = "BENCH_START_CHILD";

// The child's prompt: a box is a failure of the start, told to the parent.
class TChildPrompt : public TPrompt
{
public:
    bool Box(TBoxKind, const QString &caption, const QString &text) override
    {
        std::printf("BOX|%s|%s\n", qUtf8Printable(caption), qUtf8Printable(text));
        std::fflush(stdout);
        return false;
    }
    QString FileDialog(TFileDialogKind, const QString &) override { return {}; }
    void OpenDocument(const QString &) override { }
};

// In the child: the first paint of the record list ends the start; the line
// is printed once that paint has been handled.
class TFirstPaint : public QObject
{
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint || FSeen)
            return false;
        auto *view = qobject_cast<QTreeView *>(watched->parent());
        if (!view || view->objectName() != u"lv1" || view->viewport() != watched)
            return false;
        FSeen = true;
        QTimer::singleShot(0, view, [view] {
            std::printf("PAINTED|%d|%s\n", view->model()->rowCount(),
                        qUtf8Printable(GBookKeep->FSql));
            std::fflush(stdout);
            std::_Exit(0);
        });
        return false;
    }

private:
    bool FSeen = false;
};

void WatchFirstPaint()
{
    if (qEnvironmentVariableIsSet(kChildMark) && qobject_cast<QApplication *>(qApp))
        qApp->installEventFilter(new TFirstPaint);
}

QString BooksFile(const QString &dir)
{
    return dir + QStringLiteral("/bookkeep.dat");
}

void Exec(sqlite3 *db, const char *sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        throw TBenchFailure(QStringLiteral("%1: %2").arg(QString::fromUtf8(sql),
                                                         QString::fromUtf8(sqlite3_errmsg(db))));
}

sqlite3 *OpenRaw(const QString &file)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        sqlite3_close_v2(db);
        throw TBenchFailure(QStringLiteral("cannot open %1").arg(file));
    }
    return db;
}

qint64 CountRecords(const QString &file)
{
    if (!QFile::exists(file))
        return -1;
    sqlite3 *db = OpenRaw(file);
    sqlite3_stmt *stmt = nullptr;
    qint64 count = -1;
    if (sqlite3_prepare_v2(db, "select count(*) from BookKeep", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        count = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    return count;
}

// Books in `dir` with `records` records (kept from an earlier run when they
// have as many), without the daily copy at start: that copy is made at the
// first start of a day only, on a worker thread, and would make the starts
// of one run unlike each other.
QString PrepareBooks(const QString &dir, int records)
{
    QDir().mkpath(dir);
    const QString file = BooksFile(dir);
    if (CountRecords(file) != records) {
        QFile::remove(file);
        const QString reason = records == 0
            ? (QFile::copy(QStringLiteral(TEMPLATE_DB), file)
                   ? QString()
                   : QStringLiteral("cannot copy the template"))
            : MakeBooks(QStringLiteral(TEMPLATE_DB), file, records, 20261209);
        if (!reason.isEmpty())
            throw TBenchFailure(QStringLiteral("making %1: %2").arg(file, reason));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    }
    sqlite3 *db = OpenRaw(file);
    Exec(db, "update SysSet set AutoBackup=0");
    sqlite3_close_v2(db);
    return dir;
}

struct TStart
{
    qint64 Rows = 0;
    QByteArray Statement; // the list's statement
};

// Starts the program on the books in `dir` and waits until its record list
// has painted.
TStart StartProgram(const QString &dir)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kChildMark), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--data-dir"), dir});
    QByteArray out;
    while (!out.contains('\n')) {
        if (!process.waitForReadyRead(600000))
            break;
        out += process.readAllStandardOutput();
    }
    process.waitForFinished(60000);
    if (!out.startsWith("PAINTED|") || !out.endsWith('\n'))
        throw TBenchFailure(QStringLiteral("the start on %1 showed no list: %2%3")
                                .arg(dir, QString::fromUtf8(out),
                                     QString::fromUtf8(process.readAllStandardError())));
    const QList<QByteArray> fields = out.trimmed().split('|');
    return {fields.value(1).toLongLong(), fields.mid(2).join('|')};
}

// The list's statement on a connection of our own, opened as the program
// opens its books and reading through the same memory map, every column of
// every row read as text.
qint64 RawList(const QString &file, const QByteArray &sql)
{
    sqlite3 *db = OpenRaw(file);
    Exec(db, "PRAGMA mmap_size=1073741824");
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        throw TBenchFailure(QStringLiteral("the raw list: %1").arg(QString::fromUtf8(sql)));
    }
    qint64 rows = 0;
    const int columns = sqlite3_column_count(stmt);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c)
            sqlite3_column_text(stmt, c);
        ++rows;
    }
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    return rows;
}

int RunParent(QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times the start up to the first painted list on large books against the "
                       "start on empty books plus the raw list query."));
    parser.addHelpOption();
    const QCommandLineOption records({QStringLiteral("n"), QStringLiteral("records")},
                                     QStringLiteral("Records in the large books (default "
                                                    "1000000)."),
                                     QStringLiteral("N"), QStringLiteral("1000000"));
    const QCommandLineOption repeats({QStringLiteral("r"), QStringLiteral("repeats")},
                                     QStringLiteral("Counted pairs (default 15)."),
                                     QStringLiteral("R"), QStringLiteral("15"));
    const QCommandLineOption workDir(
        QStringLiteral("work-dir"),
        QStringLiteral("Where the books are made, on a real disk (default %1).")
            .arg(QStringLiteral(BENCH_WORK_DIR)),
        QStringLiteral("DIR"), QStringLiteral(BENCH_WORK_DIR));
    parser.addOptions({records, repeats, workDir});
    parser.process(app);
    const int count = parser.value(records).toInt();
    const int pairs = parser.value(repeats).toInt();
    if (count < 1 || pairs < 1)
        throw TBenchFailure(QStringLiteral("--records and --repeats want numbers of at least 1"));

    PrintMachine();
    const QString work = parser.value(workDir);
    const QString large = PrepareBooks(work + QStringLiteral("/start-%1").arg(count), count);
    const QString empty = PrepareBooks(work + QStringLiteral("/start-empty"), 0);
    // The statement the start lists with, from one start not counted.
    const QByteArray sql = StartProgram(large).Statement;
    std::printf("Records: %d; %d counted pairs after one to warm up\n", count, pairs);
    std::fflush(stdout);
    const TMeasureResult result = RunPairs(
        QStringLiteral("start_list"), 1.3, pairs,
        [&](int) {
            return Timed([&] {
                if (StartProgram(empty).Rows != 0)
                    throw TBenchFailure(QStringLiteral("the empty books listed records"));
                return RawList(BooksFile(large), sql);
            });
        },
        [&](int) { return Timed([&] { return StartProgram(large).Rows; }); });
    PrintResults({result});
    return 0;
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(WatchFirstPaint)

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsSet(kChildMark)) {
        TChildPrompt prompt;
        return RunBookkeep(argc, argv, prompt);
    }
    QCoreApplication app(argc, argv);
    try {
        return RunParent(app);
    } catch (const TBenchFailure &failure) {
        std::fprintf(stderr, "bench_start: %s\n", failure.what());
        return 1;
    }
}
