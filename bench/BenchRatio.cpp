// The program's speed set against the raw engine doing the same work, each
// measure run alternately (raw, program, raw, program ...) in this process on
// the same books. Prints a table of medians and one "name ratio=R" line per
// measure. Run with --help for the flags; bench/README.md tells the rest.

#include "BenchBooks.h"
#include "DavServer.h"
#include "PairRunner.h"

#include "data/AutoBackup.h"
#include "data/Currency.h"
#include "data/DbAccess.h"
#include "data/DbFile.h"
#include "data/ListModel.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "data/UndoLog.h"
#include "data/UntPublic.h"
#include "exchange/Import.h"
#include "forms/AddBookKeep.h"
#include "ledger/AccountStatement.h"
#include "ledger/Budgets.h"
#include "ledger/Categories.h"
#include "ledger/Schedules.h"
#include "ledger/Transfers.h"
#include "ledger/UntAccount.h"
#include "ledger/UntBookKeep.h"
#include "ledger/UntTree.h"
#include "offsite/SealedCopy.h"
#include "offsite/WebDav.h"
#include "reports/UntReport.h"
#include "shell/Application.h"
#include "shell/ChineseLocale.h"
#include "shell/Globals.h"
#include "shell/Main.h"

#include <QAbstractButton>
#include <QCommandLineParser>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <optional>
#include <span>
#include <sqlite3.h>
#include <unistd.h>

namespace {

// Both date pickers of the main window carry this time of day.
const QTime kPickerTime(9, 15, 24);
const char *const kRamDir = "/dev/shm";
// The statements the program runs before a change's own batch, as
// src/ledger/UntBookKeep.cpp sends them.
const QString kCountAccount = QStringLiteral("select count(*) from Account where AccountName='%s'");
const QString kCountRecord = QStringLiteral("select count(*) from BookKeep where ID=%s");
// How a category tree is read, as src/ledger/UntTree.cpp sends it.
const QString kLoadTypes = QStringLiteral(
    "select SelfIndex,ParentIndex,TypeName from %s where SelfIndex <>0 order by SelfIndex asc");

// What the measured work returns ends here, so that nothing is optimised away.
volatile qint64 GSink = 0;

struct TOptions
{
    int Records = 1000000;
    int Repeats = 7;
    int ListRepeats = 21; // the listing measures', whose ratios scatter most
    int MonthRepeats = 101; // list_month's: its runs take milliseconds
    QRegularExpression Filter;
    int ChangeRecords = 0;
    int RamBatch = 200;
    int DiskBatch = 20;
    QString WorkDir;
    quint32 Seed = 2026;
    bool ShowStatements = false;
};

bool Selected(const TOptions &options, const QString &name)
{
    return options.Filter.match(name).hasMatch();
}

// Boxes the program would show end the benchmark: none is expected.
class TBenchPrompt : public TPrompt
{
public:
    bool Box(TBoxKind kind, const QString &caption, const QString &text) override
    {
        if (kind == TBoxKind::Error)
            FError = caption + QStringLiteral(": ") + text;
        return false;
    }
    QString FileDialog(TFileDialogKind, const QString &) override { return {}; }
    void OpenDocument(const QString &) override { }

    void Check(const QString &measure)
    {
        if (!FError.isEmpty())
            throw TBenchFailure(measure + QStringLiteral(": the program showed ") + FError);
    }

private:
    QString FError;
};

TBenchPrompt *GPrompt = nullptr;

QString BooksFile(const QString &dir)
{
    return dir + QStringLiteral("/bookkeep.dat");
}

// Points the program's connection at the books in `dir`.
void UseBooks(const QString &dir)
{
    AppPath = dir + u'/';
    GDbAccess->Connect();
    if (!GDbAccess->Connected())
        throw TBenchFailure(QStringLiteral("the program cannot open %1").arg(BooksFile(dir)));
}

// A connection of our own, opened as the program opens its own (without the
// engine's per-call locking, which a connection used by one thread does not
// need). SQLite's defaults, or the journal and sync modes the program sets
// (for the changes, where they decide the cost).
class TRawDb
{
public:
    TRawDb(const QString &file, bool programModes)
    {
        if (sqlite3_open_v2(QFile::encodeName(file).constData(), &FDb,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr)
            != SQLITE_OK)
            throw TBenchFailure(QStringLiteral("cannot open %1").arg(file));
        if (programModes)
            Exec("PRAGMA journal_mode=DELETE;PRAGMA synchronous=FULL");
    }
    TRawDb(const TRawDb &) = delete;
    TRawDb &operator=(const TRawDb &) = delete;
    ~TRawDb() { sqlite3_close_v2(FDb); }

    sqlite3 *Db() const { return FDb; }
    // Reads pages as the program's connection reads them now: the same memory
    // map (set for a long list, dropped by a change) and page cache, read
    // back from that connection. Sets only what differs, as the program does.
    void MatchProgram() const
    {
        for (const char *setting : kReadSettings) {
            const QByteArray pragma = QByteArray("PRAGMA ") + setting;
            const qint64 wanted
                = GDbAccess->OpenQuery(QString::fromLatin1(pragma)).Fields(0).AsInt64();
            GDbAccess->FQuery.Close();
            if (Setting(pragma) == wanted)
                continue;
            Exec((pragma + '=' + QByteArray::number(wanted)).constData());
            if (Setting(pragma) != wanted)
                throw TBenchFailure(QStringLiteral("the raw connection cannot take %1=%2")
                                        .arg(QString::fromLatin1(pragma))
                                        .arg(wanted));
        }
    }
    void Exec(const char *sql) const
    {
        if (sqlite3_exec(FDb, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            throw TBenchFailure(QStringLiteral("%1: %2").arg(
                QString::fromUtf8(sql), QString::fromUtf8(sqlite3_errmsg(FDb))));
    }
    // Runs every statement of the text, reading every column of every row
    // as text; returns the rows.
    qint64 Run(const QByteArray &sql) const
    {
        qint64 rows = 0;
        qint64 sink = 0;
        const char *at = sql.constData();
        const char *end = at + sql.size();
        while (at < end) {
            sqlite3_stmt *stmt = nullptr;
            if (sqlite3_prepare_v2(FDb, at, int(end - at), &stmt, &at) != SQLITE_OK)
                Fail(sql);
            if (!stmt)
                continue;
            const int columns = sqlite3_column_count(stmt);
            int rc;
            while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
                for (int c = 0; c < columns; ++c)
                    sink += sqlite3_column_text(stmt, c) != nullptr;
                ++rows;
            }
            sqlite3_finalize(stmt);
            if (rc != SQLITE_DONE)
                Fail(sql);
        }
        GSink = GSink + sink;
        return rows;
    }

private:
    // The connection settings that decide what reading a page costs.
    static constexpr const char *kReadSettings[] = {"mmap_size", "cache_size"};

    qint64 Setting(const QByteArray &pragma) const
    {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(FDb, pragma.constData(), int(pragma.size()), &stmt, nullptr)
                != SQLITE_OK
            || sqlite3_step(stmt) != SQLITE_ROW) {
            sqlite3_finalize(stmt);
            Fail(pragma);
        }
        const qint64 value = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        return value;
    }

    [[noreturn]] void Fail(const QByteArray &sql) const
    {
        throw TBenchFailure(QStringLiteral("%1: %2").arg(QString::fromUtf8(sql),
                                                         QString::fromUtf8(sqlite3_errmsg(FDb))));
    }

    sqlite3 *FDb = nullptr;
};

// Runs the pairs of a measure whose baseline reads through `raw`: before each
// raw run, untimed, the raw connection takes the settings the program's
// connection reads with at that moment, so that both sides pay the engine
// the same for a page.
TMeasureResult RunAgainstRaw(const TRawDb &raw, const QString &name, double goal, int repeats,
                             const std::function<TRun(int pair)> &rawWork,
                             const std::function<TRun(int pair)> &program)
{
    return RunPairs(
        name, goal, repeats,
        [&](int pair) {
            raw.MatchProgram();
            return rawWork(pair);
        },
        program);
}

// ---- the books ----------------------------------------------------------

// Makes books in a directory of their own under `parent`; returns the directory.
QString NewBooks(const QString &parent, const QString &name, int records, quint32 seed,
                 TRecordOrder order)
{
    const QString dir = parent + u'/' + name;
    QDir().mkpath(dir);
    QElapsedTimer timer;
    timer.start();
    QString reason = MakeBooks(QStringLiteral(TEMPLATE_DB), BooksFile(dir), records, seed, order);
    if (reason.isEmpty()) {
        // Books whose totals do not match their records would measure nothing real.
        const TRawDb check(BooksFile(dir), false);
        reason = DbFile::CheckTotals(check.Db()).Reason();
    }
    if (!reason.isEmpty())
        throw TBenchFailure(QStringLiteral("making %1: %2").arg(BooksFile(dir), reason));
    std::fprintf(stderr, "  made %s: %d records in %.1f s\n", qUtf8Printable(BooksFile(dir)),
                 records, timer.elapsed() / 1000.0);
    return dir;
}

QString CopyBooks(const QString &from, const QString &parent, const QString &name)
{
    const QString dir = parent + u'/' + name;
    QDir().mkpath(dir);
    QFile::remove(BooksFile(dir));
    if (!QFile::copy(BooksFile(from), BooksFile(dir)))
        throw TBenchFailure(QStringLiteral("cannot copy the books to %1").arg(dir));
    QFile::setPermissions(BooksFile(dir), QFile::ReadOwner | QFile::WriteOwner);
    return dir;
}

// ---- listing ------------------------------------------------------------

// The filter the main window builds for its pickers set to these days.
QString QueryFilterFor(const QDate &begin, const QDate &over)
{
    return Format(QStringLiteral("where InDate >= %s and InDate <= %s "),
                  {FormatDayNumber(DayNumber(QDateTime(begin, kPickerTime)) - 1),
                   FormatDayNumber(DayNumber(QDateTime(over, kPickerTime)))});
}

QStringList ListHeaders()
{
    return {QStringLiteral("ID"),   QStringLiteral("收入/支出"), QStringLiteral("类别"),
            QStringLiteral("金额"), QStringLiteral("对应账户"),  QStringLiteral("备注"),
            QStringLiteral("时间")};
}

qint64 ProgramList(TListModel &model, const QString &filter)
{
    GBookKeep->ListRecords(model, filter);
    const TRecordTotals totals = SumListedRecords(model);
    GSink = GSink + totals.Income.Units() - totals.Expense.Units();
    return totals.Count;
}

TMeasureResult ListMeasure(const QString &name, double goal, int repeats, const QString &books,
                           const QDate &begin, const QDate &over)
{
    UseBooks(books);
    const TRawDb raw(BooksFile(books), false);
    TListModel model(ListHeaders());
    const QString filter = QueryFilterFor(begin, over);
    ProgramList(model, filter);
    const QByteArray sql = GBookKeep->FSql.toUtf8();
    return RunAgainstRaw(
        raw, name, goal, repeats, [&](int) { return Timed([&] { return raw.Run(sql); }); },
        [&](int) { return Timed([&] { return ProgramList(model, filter); }); });
}

// ---- the window ---------------------------------------------------------

// Notes a paint of the widget it watches.
class TPaintWatch : public QObject
{
public:
    bool Painted = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            Painted = true;
        return false;
    }
};

void WaitForPaint(const TPaintWatch &watch)
{
    QElapsedTimer timer;
    timer.start();
    QTimer wake; // so that waiting for events never waits for good
    wake.start(50);
    while (!watch.Painted) {
        if (timer.elapsed() > 600000)
            throw TBenchFailure(QStringLiteral("the record list was not painted in ten minutes"));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// Handles what is pending, so that a timed run starts with nothing queued.
void Settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// The main window shown, with a watch on its record list's paints.
struct TShownWindow
{
    TShownWindow()
    {
        Form.findChild<QTreeView *>(QStringLiteral("lv1"))->viewport()->installEventFilter(&Watch);
        Form.show();
        WaitForPaint(Watch);
    }
    qint64 Query(const QDate &begin, const QDate &over)
    {
        Form.findChild<QDateEdit *>(QStringLiteral("DBBegin"))->setDate(begin);
        Form.findChild<QDateEdit *>(QStringLiteral("DBOver"))->setDate(over);
        Settle();
        Watch.Painted = false;
        Form.btnQueryClick();
        WaitForPaint(Watch);
        return Form.Records().rowCount();
    }

    TPaintWatch Watch;
    TFormMain Form;
};

TMeasureResult WindowMeasure(const TOptions &options, const QString &books, const QDate &begin,
                             const QDate &over)
{
    UseBooks(books);
    const TRawDb raw(BooksFile(books), false);
    TShownWindow window;
    window.Query(begin, over);
    if (window.Form.QueryFilter().Where() != QueryFilterFor(begin, over))
        throw TBenchFailure(
            QStringLiteral("the window's filter is no longer %1").arg(QueryFilterFor(begin, over)));
    const QByteArray sql = GBookKeep->FSql.toUtf8();
    return RunAgainstRaw(
        raw, QStringLiteral("window_all"), 0, options.ListRepeats,
        [&](int) { return Timed([&] { return raw.Run(sql); }); },
        [&](int) {
            Settle();
            window.Watch.Painted = false;
            return Timed([&] {
                window.Form.btnQueryClick();
                WaitForPaint(window.Watch);
                return qint64(window.Form.Records().rowCount());
            });
        });
}

qint64 HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

TMeasureResult MemoryMeasure(const QString &books, const QDate &begin, const QDate &over)
{
    UseBooks(books);
    TShownWindow window;
    // An empty list first, so that the window has laid out and painted once.
    const QDate none = begin.addDays(-10);
    if (window.Query(none, none) != 0)
        throw TBenchFailure(QStringLiteral("memory_per_row: records before the books' first day"));
    Settle();
    const qint64 before = HeapInUse();
    const qint64 rows = window.Query(begin, over);
    Settle();
    const qint64 after = HeapInUse();
    if (rows <= 0)
        throw TBenchFailure(QStringLiteral("memory_per_row: no rows listed"));
    std::fprintf(stderr, "  memory_per_row done\n");
    TMeasureResult result;
    result.Name = QStringLiteral("memory_per_row");
    result.Rows = rows;
    result.Ratio = double(after - before) / double(rows);
    result.Goal = 100;
    result.Memory = true;
    return result;
}

// ---- the category tree --------------------------------------------------

qint64 CountCategories(QTreeWidget &view)
{
    qint64 count = 0;
    for (QTreeWidgetItemIterator it(&view); *it; ++it)
        count += TCardTree::NodeData(*it).SelfIndex != 0;
    return count;
}

// The tree built from a raw query: the same items, texts, data and pictures
// the program's tree has.
void RawTree(const TRawDb &raw, QTreeWidget &view, const QString &table, const QString &caption)
{
    view.clear();
    auto *root = new QTreeWidgetItem(&view, {caption});
    root->setData(0, Qt::UserRole, QVariant::fromValue(TTypeNodeData {}));
    root->setIcon(0, TCardTree::RootImage());
    view.setUpdatesEnabled(false);
    QHash<qint32, QTreeWidgetItem *> nodes;
    nodes.insert(0, root);
    const QByteArray sql = Format(kLoadTypes, {table}).toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(raw.Db(), sql.constData(), int(sql.size()), &stmt, nullptr) != SQLITE_OK)
        throw TBenchFailure(QString::fromUtf8(sqlite3_errmsg(raw.Db())));
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const TTypeNodeData data {sqlite3_column_int(stmt, 0), sqlite3_column_int(stmt, 1)};
        const QString name
            = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 2)),
                                sqlite3_column_bytes(stmt, 2));
        auto *node = new QTreeWidgetItem(nodes.value(data.ParentIndex, root), {name});
        node->setData(0, Qt::UserRole, QVariant::fromValue(data));
        node->setIcon(0, TCardTree::CategoryImage());
        nodes.insert(data.SelfIndex, node);
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        throw TBenchFailure(QString::fromUtf8(sqlite3_errmsg(raw.Db())));
    view.setUpdatesEnabled(true);
    root->setExpanded(true);
}

TMeasureResult TreeMeasure(const TOptions &options, const QString &work)
{
    const QString books
        = NewBooks(work, QStringLiteral("tree"), 1000, options.Seed, TRecordOrder::ByDate);
    const QString reason = MakeLargeTrees(BooksFile(books), 1000);
    if (!reason.isEmpty())
        throw TBenchFailure(reason);
    UseBooks(books);
    const TRawDb raw(BooksFile(books), false);
    const QString in = QStringLiteral("InType"), out = QStringLiteral("OutType");
    const QString inCaption = QStringLiteral("收入类别"), outCaption = QStringLiteral("支出类别");
    QTreeWidget rawIn, rawOut, programIn, programOut;
    return RunAgainstRaw(
        raw, QStringLiteral("tree_2000"), 1.1, options.Repeats,
        [&](int) {
            TRun run = Timed([&] {
                RawTree(raw, rawIn, in, inCaption);
                RawTree(raw, rawOut, out, outCaption);
                return qint64(1);
            });
            run.Rows = CountCategories(rawIn) + CountCategories(rawOut);
            return run;
        },
        [&](int) {
            TRun run = Timed([&] {
                TCardTree inTree(&programIn, in, inCaption);
                inTree.LoadTypes();
                TCardTree outTree(&programOut, out, outCaption);
                outTree.LoadTypes();
                return qint64(1);
            });
            run.Rows = CountCategories(programIn) + CountCategories(programOut);
            return run;
        });
}

// ---- scheduled records ----------------------------------------------------

// Books with 1,000 schedules from three years before `today`, never checked
// since: a tenth daily, three tenths weekly (every one or two weeks), half
// monthly (every one to three months, some on the 31st) and a tenth yearly;
// every other one has its first year dealt with.
void AddSchedules(const QString &books, const QDate &today)
{
    const TRawDb raw(BooksFile(books), false);
    const QDate start = today.addYears(-3);
    const QString account = BookAccounts().first();
    QStringList batch {QStringLiteral("begin")};
    for (int i = 0; i < 1000; ++i) {
        TSchedule schedule;
        const int kind = i % 10;
        schedule.Unit = kind == 0 ? TSchedule::Days
            : kind < 4            ? TSchedule::Weeks
            : kind < 9            ? TSchedule::Months
                                  : TSchedule::Years;
        schedule.Every = schedule.Unit == TSchedule::Weeks ? 1 + i % 2
            : schedule.Unit == TSchedule::Months           ? 1 + i % 3
                                                           : 1;
        schedule.MonthDay = i % 7 == 0 ? 31 : 1 + i % 28;
        schedule.Start = start.addDays(i % 30);
        schedule.Ahead = i % 4;
        batch << Format(QStringLiteral("insert into Schedule(ID,InOutType,TypeID,AccountName,Fare,"
                                       "Unit,Every,MonthDay,StartDate,Auto,Ahead) values "
                                       "(%s,1,(select min(SelfIndex) from OutType),'%s',12.5,%s,"
                                       "%s,%s,%s,%s,%s)"),
                        {QString::number(i + 1), SqlText(account), QString::number(schedule.Unit),
                         QString::number(schedule.Every), QString::number(schedule.MonthDay),
                         SqlDate(schedule.Start), SqlBool(i % 2 == 0),
                         QString::number(schedule.Ahead)});
        if (i % 2 == 0)
            for (const QDate &date :
                 Schedules::Dates(schedule, schedule.Start, schedule.Start.addYears(1)))
                batch << Format(QStringLiteral("insert into ScheduleDone values (%s,%s,0)"),
                                {QString::number(i + 1), SqlDate(date)});
    }
    batch << QStringLiteral("commit");
    raw.Exec(batch.join(u';').toUtf8().constData());
}

// Finding the due occurrences after three years closed, against reading the
// two tables it reads, every column as text.
TMeasureResult ScheduleMeasure(const TOptions &options, const QString &work)
{
    const QString books
        = NewBooks(work, QStringLiteral("schedules"), 1000, options.Seed, TRecordOrder::ByDate);
    const QDate today = QDate::currentDate();
    AddSchedules(books, today);
    UseBooks(books);
    const TRawDb raw(BooksFile(books), false);
    const QByteArray tables = "select * from Schedule order by ID;"
                              "select * from ScheduleDone order by ScheduleID,Occurrence";
    const qint64 rows = raw.Run(tables);
    const qsizetype due = Schedules::Due(today).size();
    return RunAgainstRaw(
        raw, QStringLiteral("schedule_due"), 0, options.Repeats,
        [&](int) { return Timed([&] { return raw.Run(tables); }); },
        [&](int) {
            // Both sides read the same rows; the program finds the same
            // occurrences every time.
            return Timed([&] { return Schedules::Due(today).size() == due ? rows : 0; });
        });
}

// ---- reports --------------------------------------------------------------

// Each report against its aggregate statement run raw. Generated amounts are
// all positive, so every group the statement returns shows in the program's
// figures as an amount other than zero: both sides count the same groups.
qint64 ProgramCategoryReport(const RecordFilter &filter)
{
    const TCategoryFigures figures = QueryCategorySums(filter);
    TCategoryTree expenseTree, incomeTree;
    expenseTree.Load(false);
    incomeTree.Load(true);
    const std::vector<TCategoryLine> expense = Breakdown(figures.Expense, expenseTree, 0);
    const std::vector<TCategoryLine> income = Breakdown(figures.Income, incomeTree, 0);
    GSink = GSink + LinesTotal(expense).Units() - LinesTotal(income).Units()
        + qint64(PieSlices(expense).size());
    return qint64(figures.Income.size() + figures.Expense.size());
}

qint64 ProgramTrendReport(const RecordFilter &filter)
{
    qint64 groups = 0;
    for (const TMonthFigures &month : QueryTrend(filter)) {
        groups += (month.Income != Currency()) + (month.Expense != Currency());
        GSink = GSink + month.Income.Units() - month.Expense.Units();
    }
    return groups;
}

qint64 ProgramBalanceReport(const RecordFilter &filter)
{
    const std::vector<TBalancePoint> points = QueryBalance(filter);
    qint64 groups = 1; // the accounts' balances
    for (size_t i = 0; i + 1 < points.size(); ++i)
        groups += points[i + 1].Balance != points[i].Balance;
    GSink = GSink + points.back().Balance.Units();
    return groups;
}

TMeasureResult ReportMeasure(const TOptions &options, const QString &name, const QString &books,
                             const RecordFilter &filter)
{
    UseBooks(books);
    const TRawDb raw(BooksFile(books), false);
    QString sql;
    std::function<qint64()> program;
    if (name == QStringLiteral("report_category")) {
        sql = CategorySumsSql(filter);
        program = [&] { return ProgramCategoryReport(filter); };
    } else if (name == QStringLiteral("report_trend")) {
        sql = TrendSql(filter);
        program = [&] { return ProgramTrendReport(filter); };
    } else {
        sql = BalanceNetSql(filter) + u';' + AccountBalanceSql(filter.Account);
        program = [&] { return ProgramBalanceReport(filter); };
    }
    const QByteArray utf8 = sql.toUtf8();
    return RunAgainstRaw(
        raw, name, 1.2, options.Repeats, [&](int) { return Timed([&] { return raw.Run(utf8); }); },
        [&](int) { return Timed(program); });
}

// ---- budgets --------------------------------------------------------------

// Budgets as a household keeps them, on a copy of the listed books: every
// top-level expense category but the last a month's, carried over for the
// last twelve months; every second-level one under them a month's or a
// year's, in turn. The last top-level category and those below it have none.
// Returns that category.
qint32 AddBudgets()
{
    TCategoryTree tree;
    tree.Load(false);
    QList<qint32> top;
    for (const qint32 id : tree.Ids())
        if (tree.Parent(id) == 0)
            top << id;
    if (top.size() < 2)
        throw TBenchFailure(QStringLiteral("the books have too few expense categories"));
    const QDate today = QDate::currentDate();
    int second = 0;
    for (const qint32 id : tree.Ids()) {
        const qint32 parent = tree.Parent(id);
        if (id == top.last() || parent == top.last())
            continue;
        if (parent == 0)
            Budgets::Add(id, TBudget::Month, QStringLiteral("3000"), true, today.addMonths(-12));
        else if (tree.Parent(parent) == 0)
            Budgets::Add(id, second++ % 2 ? TBudget::Year : TBudget::Month, QStringLiteral("800"),
                         false, today);
    }
    return top.last();
}

// What the budget window shows for this month against its aggregate
// statements stepped raw; both sides count the budgets figured.
TMeasureResult BudgetFiguresMeasure(const TOptions &options, const QString &books)
{
    UseBooks(books);
    const TRawDb raw(BooksFile(books), false);
    const QDate today = QDate::currentDate();
    const qint64 budgets = Budgets::List().size();
    const QByteArray sql = Budgets::FiguresSql(today).join(u';').toUtf8();
    return RunAgainstRaw(
        raw, QStringLiteral("budget_figures"), 1.2, options.Repeats,
        [&](int) {
            return Timed([&] {
                GSink = GSink + raw.Run(sql);
                return budgets;
            });
        },
        [&](int) {
            return Timed([&] {
                const std::vector<TBudgetFigure> figures = Budgets::Figures(today);
                for (const TBudgetFigure &figure : figures)
                    GSink = GSink + figure.Remaining().Units() + figure.PerMille();
                return qint64(figures.size());
            });
        });
}

// The new-record dialog with an expense category chosen, as the picker
// leaves it, and a date of this month.
class TBenchRecordDialog : public TFormAddBookkeep
{
public:
    explicit TBenchRecordDialog(qint32 typeId)
    {
        findChild<QAbstractButton *>(QStringLiteral("rbExpense"))->click();
        FTypeID = typeId;
        ShowTypeName(Categories::OfKind(1).Name(typeId));
        Fare()->setText(QStringLiteral("12"));
        show();
        Settle();
    }
    QLineEdit *Fare() const { return findChild<QLineEdit *>(QStringLiteral("edtFare")); }
    // Types a digit and takes it back, one keystroke at a time, each handled
    // to its paint; returns the keystrokes.
    qint64 Type(int pairs) const
    {
        for (int i = 0; i < pairs; ++i)
            for (const auto &[key, text] : {std::pair(Qt::Key_5, QStringLiteral("5")),
                                            std::pair(Qt::Key_Backspace, QString())}) {
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
                QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
                QApplication::sendEvent(Fare(), &press);
                QApplication::sendEvent(Fare(), &release);
                QCoreApplication::processEvents();
            }
        if (Fare()->text() != QStringLiteral("12"))
            throw TBenchFailure(
                QStringLiteral("budget_note: the amount reads %1").arg(Fare()->text()));
        return qint64(pairs) * 2;
    }
};

// Keystrokes in the amount of a record whose category's budget is figured
// below it, against the same dialog on a category no budget covers.
TMeasureResult BudgetNoteMeasure(const TOptions &options, const QString &books, qint32 unbudgeted)
{
    UseBooks(books);
    TCategoryTree tree;
    tree.Load(false);
    qint32 covered = 0; // the deepest category first found under a budget
    for (const qint32 id : tree.Ids())
        if (Budgets::FigureFor(id, QDate::currentDate()) && tree.Path(id).size() == 3)
            covered = id;
    if (covered == 0)
        throw TBenchFailure(QStringLiteral("budget_note: no category under a budget"));
    const TBenchRecordDialog without(unbudgeted);
    const TBenchRecordDialog with(covered);
    if (with.findChild<QWidget *>(QStringLiteral("lblBudget"))->isHidden()
        || !without.findChild<QWidget *>(QStringLiteral("lblBudget"))->isHidden())
        throw TBenchFailure(QStringLiteral("budget_note: the note is not shown as expected"));
    constexpr int kPairs = 100;
    TMeasureResult result = RunPairs(
        QStringLiteral("budget_note"), 0, options.Repeats,
        [&](int) { return Timed([&] { return without.Type(kPairs); }); },
        [&](int) { return Timed([&] { return with.Type(kPairs); }); });
    std::fprintf(stderr, "  budget_note: %.1f µs a keystroke with the note, %.1f µs without\n",
                 result.ProgramMs * 1000 / (2 * kPairs), result.RawMs * 1000 / (2 * kPairs));
    return result;
}

// ---- the account statement ------------------------------------------------

// Steps a statement on the raw connection, handing each row to `row` and then
// reading every column as text.
template<typename TRow> void StepRaw(const TRawDb &raw, const QString &sql, TRow &&row)
{
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(raw.Db(), utf8.constData(), int(utf8.size()), &stmt, nullptr)
        != SQLITE_OK)
        throw TBenchFailure(QString::fromUtf8(sqlite3_errmsg(raw.Db())));
    const int columns = sqlite3_column_count(stmt);
    qint64 sink = 0;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        row(stmt);
        for (int c = 0; c < columns; ++c)
            sink += sqlite3_column_text(stmt, c) != nullptr;
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        throw TBenchFailure(QString::fromUtf8(sqlite3_errmsg(raw.Db())));
    GSink = GSink + sink;
}

// The program's statements of a statement stepped raw, the transfers merged
// in before the records of a later day and the balance after each line
// summed; returns the lines.
qint64 RawStatement(const TRawDb &raw, const TStatementSql &sql)
{
    struct TMove
    {
        qint64 Day;
        qint64 Units;
    };
    std::vector<TMove> transfers;
    qint64 closing = 0;
    StepRaw(raw, sql.Closing, [&](sqlite3_stmt *stmt) { closing = sqlite3_column_int64(stmt, 0); });
    StepRaw(raw, sql.Transfers, [&](sqlite3_stmt *stmt) {
        const qint64 amount = sqlite3_column_int64(stmt, 5) + sqlite3_column_int64(stmt, 6);
        transfers.push_back(
            {sqlite3_column_int64(stmt, 0), sqlite3_column_int(stmt, 2) ? -amount : amount});
    });
    qint64 balance = 0;
    qint64 sink = 0;
    qint64 lines = 0;
    std::size_t next = 0;
    const auto move = [&](qint64 units) {
        balance += units;
        sink += balance;
        ++lines;
    };
    StepRaw(raw, sql.Records, [&](sqlite3_stmt *stmt) {
        const qint64 day = sqlite3_column_int64(stmt, 0);
        for (; next < transfers.size() && transfers[next].Day < day; ++next)
            move(transfers[next].Units);
        const qint64 amount = sqlite3_column_int64(stmt, 4);
        move(sqlite3_column_int(stmt, 1) ? -amount : amount);
    });
    for (; next < transfers.size(); ++next)
        move(transfers[next].Units);
    GSink = GSink + sink + closing;
    return lines;
}

// A statement of one account reads its rows through the account's date
// indexes: no table read whole, no rows sorted in a temporary tree.
void CheckStatementPlan(const TRawDb &raw, const TStatementSql &sql)
{
    for (const QString &statement : {sql.Transfers, sql.Records, sql.Closing}) {
        StepRaw(raw, QStringLiteral("explain query plan ") + statement, [&](sqlite3_stmt *stmt) {
            const QByteArray detail(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 3)));
            if (detail.startsWith("SCAN") || detail.contains("TEMP B-TREE"))
                throw TBenchFailure(QStringLiteral("statement_account: %1 in %2")
                                        .arg(QString::fromUtf8(detail), statement));
        });
    }
}

// The whole statement of one account holding nine in ten records and a
// transfer for every hundred records.
TMeasureResult StatementMeasure(const TOptions &options, const QString &work)
{
    const QString books = NewBooks(work, QStringLiteral("statement"), options.Records, options.Seed,
                                   TRecordOrder::ByDate);
    QString reason
        = GatherOnOneAccount(BooksFile(books), std::max(1, options.Records / 100), options.Seed);
    if (reason.isEmpty())
        reason = DbFile::CheckTotals(TRawDb(BooksFile(books), false).Db()).Reason();
    if (!reason.isEmpty())
        throw TBenchFailure(QStringLiteral("gathering the records: %1").arg(reason));
    UseBooks(books);
    const TRawDb raw(BooksFile(books), false);
    const TGatheredAccount account = GatheredAccount();
    const TStatementSql sql = StatementSql(account.Name, {}, {});
    CheckStatementPlan(raw, sql);
    TStatementModel model;
    model.Load(account.Name, {}, {});
    // The lines lead from the opening amount to the balance the account keeps.
    if (model.Opening() != account.Opening)
        throw TBenchFailure(QStringLiteral("statement_account: the lines add up to an opening "
                                           "amount of %1, not %2")
                                .arg(model.Opening().ToString(), account.Opening.ToString()));
    return RunAgainstRaw(
        raw, QStringLiteral("statement_account"), 1.2, options.Repeats,
        [&](int) { return Timed([&] { return RawStatement(raw, sql); }); },
        [&](int) {
            return Timed([&] {
                model.Load(account.Name, {}, {});
                GSink = GSink + model.Closing().Units();
                return qint64(model.rowCount());
            });
        });
}

// ---- importing bills ----------------------------------------------------

// A WeChat bill of `rows` spends over the year up to today, paid from a card
// the import sends to `account`; the same seed gives the same bill.
QString WriteWechatBill(const QString &dir, int rows, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray text
        = "\xEF\xBB\xBF微信支付账单明细\n交易时间,交易类型,交易对方,商品,收/支,金额(元),"
          "支付方式,当前状态,交易单号,商户单号,备注\n";
    const QDateTime start(QDate::currentDate().addYears(-1), QTime(8, 0));
    for (int i = 0; i < rows; ++i) {
        const QDateTime when = start.addSecs(qint64(i) * 365 * 86400 / rows);
        const Currency amount = Currency::FromUnits(random.bounded(1, 50000) * 100);
        text += QStringLiteral(
                    "%1,商户消费,商户%2,商品%3,支出,¥%4,工商银行(5678),支付成功,W%5,/,/\n")
                    .arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                    .arg(random.bounded(500))
                    .arg(i)
                    .arg(amount.ToString())
                    .arg(i)
                    .toUtf8();
    }
    const QString file = dir + QStringLiteral("/wechat.csv");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        throw TBenchFailure(QStringLiteral("cannot write %1").arg(file));
    return file;
}

// A bill read, planned with the books' choices, marked against the books and
// given categories: what the import window does before it shows the rows.
qint64 PreviewBills(QList<TBill> &bills)
{
    StatementImport::PlanBills(bills);
    qint64 rows = 0;
    for (const TBill &bill : bills) {
        GSink = GSink + StatementImport::ChooseCategories(bill.Statement, 0, 0).size();
        rows += bill.Statement.Rows.size();
    }
    return rows;
}

// A bill of a hundredth as many rows as the books have records (1,000 to
// 10,000) brought to the preview on books whose first account holds up to
// 100,000 card lines an earlier import booked and that await the app's rows,
// against reading the bill's rows alone.
TMeasureResult ImportPreviewMeasure(const TOptions &options, const QString &work)
{
    const int records = std::min(options.Records, 100000);
    const QString books
        = NewBooks(work, QStringLiteral("import"), records, options.Seed, TRecordOrder::ByDate);
    const QString account = BookAccounts().first();
    {
        const TRawDb raw(BooksFile(books), false);
        const QByteArray sql
            = "begin;insert into ImportedRow(SourceId,RecordID) select 'bank:'||ID,ID from "
              "BookKeep;"
              "insert into ImportLink(SourceId,RecordID,App,Awaits) select 'bank:'||ID,ID,'微信',0 "
              "from BookKeep;insert into ImportSetting values ('source:工商银行(5678)','"
            + account.toUtf8() + "');commit";
        if (sqlite3_exec(raw.Db(), sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw TBenchFailure(QStringLiteral("import_preview: %1")
                                    .arg(QString::fromUtf8(sqlite3_errmsg(raw.Db()))));
    }
    UseBooks(books);
    const QString file
        = WriteWechatBill(books, std::clamp(options.Records / 100, 1000, 10000), options.Seed);
    return RunPairs(
        QStringLiteral("import_preview"), 3, options.Repeats,
        [&](int) { return Timed([&] { return qint64(ReadStatement(file).Rows.size()); }); },
        [&](int) {
            return Timed([&] {
                QList<TBill> bills {TBill(ReadStatement(file), account)};
                return PreviewBills(bills);
            });
        });
}

// Copies a file as the sealed copies are written: in 1 MiB blocks, synced.
void CopySynced(const QString &from, const QString &to)
{
    QFile in(from);
    QFile out(to);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        throw TBenchFailure(QStringLiteral("cannot copy %1 to %2").arg(from, to));
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 read; (read = in.read(block.data(), block.size())) > 0;)
        out.write(block.constData(), read);
    if (!out.flush() || ::fsync(out.handle()) != 0)
        throw TBenchFailure(QStringLiteral("cannot sync %1").arg(to));
}

// The off-site copy of the books: sealed and opened again against copying
// the file there and back; the key derivation alone against one copy; and the
// sealed file uploaded to a local WebDAV server against rclone's own upload.
void OffsiteMeasures(const TOptions &options, const QString &books, const QString &work,
                     std::vector<TMeasureResult> &results)
{
    const QString file = BooksFile(books);
    const QString there = work + QStringLiteral("/offsite-there");
    const QString back = work + QStringLiteral("/offsite-back");
    const QString passphrase = QStringLiteral("测量用的口令");
    const auto check = [](const Outcome &done) {
        if (!done.IsSound())
            throw TBenchFailure(QStringLiteral("offsite: %1").arg(done.Reason()));
    };
    const qint64 size = QFileInfo(file).size();
    results.push_back(RunPairs(
        QStringLiteral("offsite_seal"), 1.5, options.Repeats,
        [&](int) {
            return Timed([&] {
                QFile::remove(there);
                QFile::remove(back);
                CopySynced(file, there);
                CopySynced(there, back);
                return size;
            });
        },
        [&](int) {
            return Timed([&] {
                check(SealedCopy::Seal(file, there, passphrase));
                check(SealedCopy::Open(there, back, passphrase));
                return QFileInfo(back).size();
            });
        }));
    results.push_back(RunPairs(
        QStringLiteral("offsite_key"), 0, options.Repeats,
        [&](int) {
            return Timed([&] {
                QFile::remove(back);
                CopySynced(file, back);
                return qint64(1);
            });
        },
        [&](int) {
            return Timed(
                [&] { return qint64(SealedCopy::DeriveKeyForTiming(passphrase).size() > 0); });
        }));

    const TDavServer server;
    if (server.Port() == 0)
        throw TBenchFailure(QStringLiteral("offsite_upload: rclone serve webdav did not start"));
    check(SealedCopy::Seal(file, there, passphrase));
    QProcess obscure;
    obscure.start(QStringLiteral("rclone"), {QStringLiteral("obscure"), TDavServer::kPassword});
    obscure.waitForFinished();
    const QString remote
        = QStringLiteral(":webdav,url='http://127.0.0.1:%1/',user=%2,pass=%3:books/rclone")
              .arg(server.Port())
              .arg(TDavServer::kUser, QString::fromLatin1(obscure.readAll().trimmed()));
    TWebDav dav({QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(server.Port())), TDavServer::kUser,
                 TDavServer::kPassword, QStringLiteral("books")});
    const qint64 sealedSize = QFileInfo(there).size();
    results.push_back(RunPairs(
        QStringLiteral("offsite_upload"), 1.2, options.Repeats,
        [&](int) {
            return Timed([&] {
                QProcess rclone;
                rclone.start(QStringLiteral("rclone"),
                             {QStringLiteral("--config"), QStringLiteral("/dev/null"),
                              QStringLiteral("--ignore-times"), QStringLiteral("copyto"), there,
                              remote});
                if (!rclone.waitForFinished(-1) || rclone.exitCode() != 0)
                    throw TBenchFailure(QStringLiteral("offsite_upload: rclone copyto failed: %1")
                                            .arg(QString::fromUtf8(rclone.readAllStandardError())));
                return QFileInfo(server.File(QStringLiteral("rclone"))).size();
            });
        },
        [&](int) {
            return Timed([&] {
                check(dav.Put(there, QStringLiteral("program")));
                return QFileInfo(server.File(QStringLiteral("program"))).size();
            });
        }));
    if (results.back().Rows != sealedSize)
        throw TBenchFailure(
            QStringLiteral("offsite_upload: the server holds a file of another size"));
    QFile::remove(there);
    QFile::remove(back);
}

// The four bills of one month imported as one batch with the automatic copy
// made before it, against making that copy alone; each import is undone,
// untimed, before the next.
TMeasureResult ImportMonthMeasure(const TOptions &options, const QString &books,
                                  const QString &work)
{
    UseBooks(books);
    const QStringList names {QStringLiteral("alipay"), QStringLiteral("wechat"),
                             QStringLiteral("cmb"), QStringLiteral("icbc")};
    const QStringList accounts {QStringLiteral("支付宝余额"), QStringLiteral("微信零钱"),
                                QStringLiteral("招商银行储蓄卡(1234)"),
                                QStringLiteral("工商银行(5678)")};
    for (const QString &name :
         accounts + QStringList {QStringLiteral("余额宝"), QStringLiteral("信用卡(9012)")}) {
        if (!TAccount().AccountExists(name))
            DbExec(Format(QStringLiteral("insert into Account(AccountName) values ('%s')"),
                          {SqlText(name)}));
        if (!accounts.sliced(0, 2).contains(name))
            StatementImport::RememberSourceAccount(name, name);
    }
    int copies = 0;
    const auto backup = [&] {
        AutoBackup::TMade made;
        const QString folder = work + QStringLiteral("/month-copies-%1").arg(++copies);
        if (const Outcome done
            = AutoBackup::Make(BooksFile(books), folder, QDateTime::currentDateTime(), made);
            !done.IsSound())
            throw TBenchFailure(QStringLiteral("import_month: %1").arg(done.Reason()));
        QDir(folder).removeRecursively();
    };
    return RunPairs(
        QStringLiteral("import_month"), 0, options.Repeats,
        [&](int) {
            return Timed([&] {
                backup();
                return qint64(names.size());
            });
        },
        [&](int) {
            const TRun run = Timed([&] {
                backup();
                QList<TBill> bills;
                for (qsizetype i = 0; i < names.size(); ++i)
                    bills << TBill(ReadStatement(QStringLiteral(MONTH_BILLS "/") + names[i]
                                                 + QStringLiteral(".csv")),
                                   accounts[i]);
                PreviewBills(bills);
                QList<QList<int>> types;
                for (const TBill &bill : bills)
                    types << StatementImport::ChooseCategories(bill.Statement, 0, 0);
                GSink = GSink + StatementImport::ImportBills(bills, types, 0, 0);
                return qint64(bills.size());
            });
            GDbAccess->Undo();
            return run;
        });
}

// ---- changing records ---------------------------------------------------

enum class TChange {
    Add,
    Amount,
    Kind,
    Account,
    Other,
    Delete,
    AddTransfer,
    ModifyTransfer,
    DeleteTransfer
};

struct TChangeMeasure
{
    const char *Name;
    TChange Change;
};

const TChangeMeasure kChangeMeasures[] = {{"add", TChange::Add},
                                          {"modify_amount", TChange::Amount},
                                          {"modify_kind", TChange::Kind},
                                          {"modify_account", TChange::Account},
                                          {"modify_other", TChange::Other},
                                          {"delete", TChange::Delete}};

// The same changes with the undo log the program keeps, against the program's
// statements on books without it: what the history costs a change.
const TChangeMeasure kUndoLogMeasures[] = {{"undo_log_add", TChange::Add},
                                           {"undo_log_modify", TChange::Amount},
                                           {"undo_log_delete", TChange::Delete}};

// Transfers as their dialog and the delete command make them, on books with a
// transfer for every record.
const TChangeMeasure kTransferMeasures[] = {{"add_transfer", TChange::AddTransfer},
                                            {"modify_transfer", TChange::ModifyTransfer},
                                            {"delete_transfer", TChange::DeleteTransfer}};

// Transfers keep no statement text as the records' FSql does: what they send
// is taken from the engine's trace of the program's connection while
// GRecorded is set. Trigger programs, the transaction's begin and end, and
// the undo history's own statements (the closing of the step, which the raw
// side does itself; all but one take parameters) are left out.
QStringList *GRecorded = nullptr;

int RecordStatement(unsigned, void *, void *statement, void *text)
{
    const char *sql = static_cast<const char *>(text);
    static const QByteArrayList kOwn = {"begin", "commit", UndoLog::kSealRead};
    if (GRecorded && qstrncmp(sql, "--", 2) != 0 && !kOwn.contains(sql)
        && sqlite3_bind_parameter_count(static_cast<sqlite3_stmt *>(statement)) == 0)
        *GRecorded << QString::fromUtf8(sql);
    return 0;
}

// Set as an automatic extension while the program opens the books it records on.
int TraceConnection(sqlite3 *db, char **, const sqlite3_api_routines *)
{
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, RecordStatement, nullptr);
    return SQLITE_OK;
}

// Takes the undo log out of books: the triggers that write it.
void DropUndoLog(const TRawDb &raw)
{
    QByteArrayList names;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(raw.Db(),
                           "select name from sqlite_master where type='trigger' and name glob "
                           "'*Undo*'",
                           -1, &stmt, nullptr)
        != SQLITE_OK)
        throw TBenchFailure(QString::fromUtf8(sqlite3_errmsg(raw.Db())));
    while (sqlite3_step(stmt) == SQLITE_ROW)
        names << reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
    sqlite3_finalize(stmt);
    if (names.isEmpty())
        throw TBenchFailure(QStringLiteral("the books have no undo log to take out"));
    for (const QByteArray &name : std::as_const(names))
        raw.Exec(("drop trigger " + name).constData());
}

const char *const kEditedRemarks[] = {"已报销", "和同事聚餐", "记错了，改一下", "", "网购退货"};

// One change as the program's dialogs make it: the fields of a new record,
// or a record read (when its dialog opens) and then edited.
struct TPendingChange
{
    TChange Change;
    QString Key;
    TBookKeep Fields;
    int OldKind = 0;
    QString OldAccount;
    Currency OldFare;
    Transfer Read; // a transfer as its dialog opened with it
    Transfer Moved; // a transfer's new values
};

TPendingChange PrepareChange(TChange change, qint64 id, int serial)
{
    static const QStringList accounts = BookAccounts();
    TPendingChange pending {change, QString::number(id), {}, 0, {}, {}, {}, {}};
    TBookKeep &books = pending.Fields;
    Transfer &moved = pending.Moved;
    if (change == TChange::AddTransfer) {
        moved = {0,
                 QDate::currentDate(),
                 accounts[serial % accounts.size()],
                 accounts[(serial + 1) % accounts.size()],
                 Currency::FromUnits(10000 * (100 + serial % 5000)),
                 Currency::FromUnits(serial % 10 == 0 ? 20000 : 0),
                 QStringLiteral("还信用卡")};
        return pending;
    }
    if (change == TChange::ModifyTransfer) {
        pending.Read = moved = *Transfers::Read(id);
        moved.Amount += Currency::FromUnits(100 * (1 + serial % 500));
        moved.To = accounts[(accounts.indexOf(moved.To) + 1) % accounts.size()];
        if (moved.To == moved.From)
            moved.To = accounts[(accounts.indexOf(moved.To) + 1) % accounts.size()];
        return pending;
    }
    if (change == TChange::Add) {
        books.FInOutType = serial % 4 == 0 ? 0 : 1;
        books.FTypeID = 1 + serial % BookCategories(books.FInOutType == 0);
        books.FRemark = serial % 3 ? QStringLiteral("午饭") : QString();
        books.FFare = Currency::FromUnits(100 * (150 + serial % 5000));
        books.FAccountName = accounts[serial % accounts.size()];
        books.FInDate = QDateTime(QDate::currentDate(), QTime());
        return pending;
    }
    if (change == TChange::Delete || change == TChange::DeleteTransfer)
        return pending;
    books.ReadRecord(pending.Key);
    pending.OldKind = books.FInOutType;
    pending.OldAccount = books.FAccountName;
    pending.OldFare = books.FFare;
    switch (change) {
    case TChange::Amount:
        books.FFare = pending.OldFare + Currency::FromUnits(100 * (1 + serial % 500));
        break;
    case TChange::Kind:
        books.FInOutType = pending.OldKind == 0 ? 1 : 0;
        books.FTypeID = 1 + serial % BookCategories(books.FInOutType == 0);
        break;
    case TChange::Account:
        books.FAccountName = accounts[(accounts.indexOf(pending.OldAccount) + 1) % accounts.size()];
        break;
    default:
        books.FInDate = books.FInDate.addDays(-1);
        books.FRemark = QString::fromUtf8(kEditedRemarks[serial % std::size(kEditedRemarks)]);
        books.FTypeID = 1 + books.FTypeID % BookCategories(pending.OldKind == 0);
        break;
    }
    return pending;
}

// The change itself, as the dialog's OK or the delete command makes it. With
// `sent`, the statements the program sends for it are added there, its
// checks included.
void ApplyChange(const TPendingChange &pending, QStringList *sent = nullptr)
{
    if (pending.Change >= TChange::AddTransfer) {
        GRecorded = sent;
        if (pending.Change == TChange::AddTransfer)
            Transfers::Add(pending.Moved);
        else if (pending.Change == TChange::ModifyTransfer)
            Transfers::Modify(pending.Read, pending.Moved);
        else
            Transfers::Remove(pending.Key.toLongLong());
        GRecorded = nullptr;
        return;
    }
    TBookKeep &books = *GBookKeep;
    books = pending.Fields;
    switch (pending.Change) {
    case TChange::Add:
        if (sent)
            *sent << Format(kCountAccount, {SqlText(books.FAccountName)});
        books.AddRecord();
        break;
    case TChange::Delete:
        if (sent) {
            books.ReadRecord(pending.Key);
            *sent << books.FSql;
        }
        books.DeleteRecord(pending.Key);
        break;
    default:
        if (sent)
            *sent << Format(kCountRecord, {pending.Key})
                  << Format(kCountAccount, {SqlText(books.FAccountName)});
        books.ModifyRecord(pending.OldKind, pending.OldAccount, pending.OldFare);
        break;
    }
    if (sent) {
        for (const QString &piece : SplitStr(books.FSql, kBatchSeparator))
            if (!piece.trimmed().isEmpty())
                *sent << piece;
    }
}

// What one side does in one pair: the records it changes (none for
// additions, only a count).
using TBatchPlan = std::vector<std::vector<qint64>>; // [pair][change]

struct TChangePlan
{
    QString Name;
    TChange Change;
    TBatchPlan Raw;
    TBatchPlan Program;
    std::vector<std::vector<QByteArrayList>> RawStatements; // [pair][change][statement]
    std::vector<std::vector<QByteArray>> RawSteps; // [pair][change]: the undo step's name
};

// How the program closes each change as an undo step, on the raw side: the
// same two statements, kept prepared as the program keeps them.
class TRawSeal
{
public:
    explicit TRawSeal(sqlite3 *db)
        : FDb(db)
    {
        if (sqlite3_prepare_v3(db, UndoLog::kSealRead, -1, SQLITE_PREPARE_PERSISTENT, &FRead,
                               nullptr)
                != SQLITE_OK
            || sqlite3_prepare_v3(db, UndoLog::kSealMarker, -1, SQLITE_PREPARE_PERSISTENT, &FMarker,
                                  nullptr)
                != SQLITE_OK)
            Fail();
    }
    TRawSeal(const TRawSeal &) = delete;
    TRawSeal &operator=(const TRawSeal &) = delete;
    ~TRawSeal()
    {
        sqlite3_finalize(FRead);
        sqlite3_finalize(FMarker);
    }

    void Run(const QByteArray &step) const
    {
        const int read = sqlite3_step(FRead);
        sqlite3_reset(FRead);
        sqlite3_bind_text(FMarker, 1, step.constData(), int(step.size()), SQLITE_STATIC);
        const int marker = sqlite3_step(FMarker);
        sqlite3_reset(FMarker);
        if (read != SQLITE_ROW || marker != SQLITE_DONE)
            Fail();
    }

private:
    [[noreturn]] void Fail() const
    {
        throw TBenchFailure(
            QStringLiteral("closing the step: %1").arg(QString::fromUtf8(sqlite3_errmsg(FDb))));
    }

    sqlite3 *FDb;
    sqlite3_stmt *FRead = nullptr;
    sqlite3_stmt *FMarker = nullptr;
};

// The changes of the selected measures on one copy of the books, the raw
// side's statements recorded first on a scratch copy, then each measure run.
// The raw side runs on the same books, or, `withoutLog`, on a copy of them
// without the undo log.
void ChangeMeasures(const TOptions &options, const QString &suffix, const QString &master,
                    const QString &dir, const QString &scratchParent, int batch, double goal,
                    std::span<const TChangeMeasure> measures, bool withoutLog,
                    std::vector<TMeasureResult> &results)
{
    const QString label = QString::fromLatin1(measures.front().Name);
    std::vector<TChangePlan> plans;
    for (const TChangeMeasure &measure : measures) {
        const QString name = QString::fromLatin1(measure.Name) + suffix;
        if (Selected(options, name))
            plans.push_back({name, measure.Change, {}, {}, {}, {}});
    }
    if (plans.empty())
        return;

    // Every change has a record of its own, none touched twice, so that the
    // recorded statements stay what the program would send in the measure.
    const int records = options.ChangeRecords;
    std::vector<qint64> pool(records);
    for (int i = 0; i < records; ++i)
        pool[i] = i + 1;
    QRandomGenerator random(options.Seed);
    for (int i = records - 1; i > 0; --i)
        std::swap(pool[i], pool[random.bounded(i + 1)]);
    std::size_t next = 0;
    const auto take = [&](TChange change) {
        std::vector<qint64> ids(batch, 0);
        if (change == TChange::Add || change == TChange::AddTransfer)
            return ids;
        if (next + batch > pool.size())
            throw TBenchFailure(QStringLiteral("%1 records are too few for these changes: raise "
                                               "--change-records or lower --repeats")
                                    .arg(records));
        std::copy_n(pool.begin() + next, batch, ids.begin());
        next += batch;
        return ids;
    };
    for (TChangePlan &plan : plans) {
        for (int pair = 0; pair <= options.Repeats; ++pair) {
            plan.Raw.push_back(take(plan.Change));
            plan.Program.push_back(take(plan.Change));
        }
    }

    const QString books = CopyBooks(master, dir, label + suffix);
    const QString scratch
        = CopyBooks(master, scratchParent, label + QStringLiteral("_scratch") + suffix);
    const auto trace = reinterpret_cast<void (*)()>(TraceConnection);
    sqlite3_auto_extension(trace);
    UseBooks(scratch);
    sqlite3_cancel_auto_extension(trace);
    int serial = 0;
    for (TChangePlan &plan : plans) {
        for (const std::vector<qint64> &ids : plan.Raw) {
            std::vector<QByteArrayList> changes;
            std::vector<QByteArray> steps;
            for (const qint64 id : ids) {
                QStringList sent;
                ApplyChange(PrepareChange(plan.Change, id, serial++), &sent);
                QByteArrayList statements;
                for (const QString &statement : std::as_const(sent))
                    statements << statement.toUtf8();
                changes.push_back(statements);
                steps.push_back(GDbAccess->UndoName().toUtf8());
            }
            plan.RawStatements.push_back(std::move(changes));
            plan.RawSteps.push_back(std::move(steps));
        }
        if (options.ShowStatements) {
            std::printf("%s, the raw side's first change:\n", qUtf8Printable(plan.Name));
            for (const QByteArray &statement : plan.RawStatements.front().front())
                std::printf("  %s\n", statement.constData());
        }
    }

    UseBooks(books);
    const QString rawBooks
        = withoutLog ? CopyBooks(master, dir, label + QStringLiteral("_raw") + suffix) : books;
    const TRawDb raw(BooksFile(rawBooks), true);
    // With the log, the raw side closes each change as the program's step
    // too: those are statements the program sends, and the history's whole
    // cost is what the undo_log measures show.
    std::optional<TRawSeal> seal;
    if (withoutLog)
        DropUndoLog(raw);
    else
        seal.emplace(raw.Db());
    for (const TChangePlan &plan : plans) {
        results.push_back(RunAgainstRaw(
            raw, plan.Name, goal, options.Repeats,
            [&](int pair) {
                return Timed([&] {
                    for (std::size_t i = 0; i < plan.RawStatements[pair].size(); ++i) {
                        raw.Exec("begin immediate");
                        for (const QByteArray &statement : plan.RawStatements[pair][i])
                            raw.Run(statement);
                        if (seal)
                            seal->Run(plan.RawSteps[pair][i]);
                        raw.Exec("commit");
                    }
                    return qint64(plan.RawStatements[pair].size());
                });
            },
            [&](int pair) {
                // The dialogs' reads come before the changes and are not timed.
                std::vector<TPendingChange> changes;
                for (const qint64 id : plan.Program[pair])
                    changes.push_back(PrepareChange(plan.Change, id, serial++));
                return Timed([&] {
                    for (const TPendingChange &change : changes)
                        ApplyChange(change);
                    return qint64(changes.size());
                });
            }));
        GPrompt->Check(plan.Name);
    }
    // The raw side replayed what the program would have sent, so the books
    // still add up; if not, the replay was not the program's work.
    Outcome totals = DbFile::CheckTotals(raw.Db());
    if (withoutLog)
        totals = totals.Then(
            [&] { return DbFile::CheckTotals(TRawDb(BooksFile(books), false).Db()); });
    if (!totals.IsSound())
        throw TBenchFailure(QStringLiteral("after the changes%1: %2").arg(suffix, totals.Reason()));
}

// ---- the run ------------------------------------------------------------

TOptions ParseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The program's work against the raw engine's, measure by measure."));
    parser.addHelpOption();
    const QCommandLineOption records({QStringLiteral("n"), QStringLiteral("records")},
                                     QStringLiteral("Records in the listed books (BENCH_RECORDS; "
                                                    "default 1000000)."),
                                     QStringLiteral("N"));
    const QCommandLineOption repeats({QStringLiteral("r"), QStringLiteral("repeats")},
                                     QStringLiteral("Counted pairs per measure (BENCH_REPEATS; "
                                                    "default 7)."),
                                     QStringLiteral("R"));
    const QCommandLineOption listRepeats(
        QStringLiteral("list-repeats"),
        QStringLiteral("Counted pairs per listing measure (list_*, window_all; default R when "
                       "--repeats is given, else 21, and 101 for list_month)."),
        QStringLiteral("R"));
    const QCommandLineOption filter(
        {QStringLiteral("f"), QStringLiteral("filter")},
        QStringLiteral("Only the measures whose names match this pattern (BENCH_FILTER)."),
        QStringLiteral("REGEX"));
    const QCommandLineOption changeRecords(
        QStringLiteral("change-records"),
        QStringLiteral("Records in the books that are changed (default N, within 20000-100000)."),
        QStringLiteral("N"));
    const QCommandLineOption ramBatch(QStringLiteral("ram-batch"),
                                      QStringLiteral("Changes per run in RAM (default 200)."),
                                      QStringLiteral("N"));
    const QCommandLineOption diskBatch(QStringLiteral("disk-batch"),
                                       QStringLiteral("Changes per run on disk (default 20)."),
                                       QStringLiteral("N"));
    const QCommandLineOption workDir(
        QStringLiteral("work-dir"),
        QStringLiteral("Where the books are made, on a real disk (default %1).")
            .arg(QStringLiteral(BENCH_WORK_DIR)),
        QStringLiteral("DIR"));
    const QCommandLineOption showStatements(
        QStringLiteral("show-statements"),
        QStringLiteral("Print the statements of the raw side's first change of each kind."));
    parser.addOptions({records, repeats, listRepeats, filter, changeRecords, ramBatch, diskBatch,
                       workDir, showStatements});
    parser.process(app);

    const auto number = [&](const QCommandLineOption &option, const char *variable, int fallback,
                            int least) {
        QString text = parser.value(option);
        if (text.isEmpty() && variable)
            text = qEnvironmentVariable(variable);
        if (text.isEmpty())
            return fallback;
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < least)
            throw TBenchFailure(QStringLiteral("--%1 wants a number of at least %2, not \"%3\"")
                                    .arg(option.names().constLast())
                                    .arg(least)
                                    .arg(text));
        return value;
    };
    TOptions options;
    options.Records = number(records, "BENCH_RECORDS", options.Records, 1);
    // Repeats asked for hold for every measure unless the lists get their own.
    const int asked = number(repeats, "BENCH_REPEATS", 0, 1); // 0: none asked for
    options.Repeats = asked ? asked : options.Repeats;
    options.ListRepeats = number(listRepeats, nullptr, asked ? asked : options.ListRepeats, 1);
    if (asked || parser.isSet(listRepeats))
        options.MonthRepeats = options.ListRepeats;
    options.ChangeRecords
        = number(changeRecords, nullptr, std::clamp(options.Records, 20000, 100000), 1);
    options.RamBatch = number(ramBatch, nullptr, options.RamBatch, 1);
    options.DiskBatch = number(diskBatch, nullptr, options.DiskBatch, 1);
    QString pattern = parser.value(filter);
    if (pattern.isEmpty())
        pattern = qEnvironmentVariable("BENCH_FILTER");
    options.Filter = QRegularExpression(pattern);
    if (!options.Filter.isValid())
        throw TBenchFailure(QStringLiteral("not a pattern: %1").arg(pattern));
    options.ShowStatements = parser.isSet(showStatements);
    options.WorkDir = parser.value(workDir);
    if (options.WorkDir.isEmpty())
        options.WorkDir = QStringLiteral(BENCH_WORK_DIR);
    return options;
}

std::vector<TMeasureResult> RunAll(const TOptions &options)
{
    const auto any = [&](std::initializer_list<const char *> names) {
        for (const char *name : names)
            if (Selected(options, QString::fromLatin1(name)))
                return true;
        return false;
    };
    QDir().mkpath(options.WorkDir);
    QTemporaryDir work(options.WorkDir + QStringLiteral("/run-XXXXXX"));
    if (!work.isValid())
        throw TBenchFailure(QStringLiteral("cannot make a directory in %1").arg(options.WorkDir));
    const QDate first = FirstBookDay();
    const QDate today = QDate::currentDate();
    const QDate monthStart = QDate(today.year(), today.month(), 1).addMonths(-1);
    const QDate monthEnd = monthStart.addMonths(1).addDays(-1);
    std::vector<TMeasureResult> results;

    QString datedBooks;
    const auto dated = [&] {
        if (datedBooks.isEmpty())
            datedBooks = NewBooks(work.path(), QStringLiteral("dated"), options.Records,
                                  options.Seed, TRecordOrder::ByDate);
        return datedBooks;
    };
    if (any({"list_all_dated", "list_month", "window_all", "memory_per_row"})) {
        if (any({"list_all_dated"}))
            results.push_back(ListMeasure(QStringLiteral("list_all_dated"), 1.2,
                                          options.ListRepeats, dated(), first, today));
        if (any({"list_month"}))
            results.push_back(ListMeasure(QStringLiteral("list_month"), 1.2, options.MonthRepeats,
                                          dated(), monthStart, monthEnd));
        if (any({"window_all"}))
            results.push_back(WindowMeasure(options, dated(), first, today));
        if (any({"memory_per_row"}))
            results.push_back(MemoryMeasure(dated(), first, today));
        GPrompt->Check(QStringLiteral("listing"));
    }
    if (any({"list_all_random"})) {
        const QString random = NewBooks(work.path(), QStringLiteral("random"), options.Records,
                                        options.Seed, TRecordOrder::Random);
        results.push_back(ListMeasure(QStringLiteral("list_all_random"), 1.15, options.ListRepeats,
                                      random, first, today));
        GPrompt->Check(QStringLiteral("list_all_random"));
    }
    for (const char *report : {"report_category", "report_trend", "report_balance"}) {
        if (any({report})) {
            const QString name = QString::fromLatin1(report);
            results.push_back(
                ReportMeasure(options, name, dated(), RecordFilter::Days(first, today)));
            GPrompt->Check(name);
        }
    }
    if (any({"budget_figures", "budget_note"})) {
        const QString books = CopyBooks(dated(), work.path(), QStringLiteral("budgets"));
        UseBooks(books);
        const qint32 unbudgeted = AddBudgets();
        if (any({"budget_figures"}))
            results.push_back(BudgetFiguresMeasure(options, books));
        if (any({"budget_note"}))
            results.push_back(BudgetNoteMeasure(options, books, unbudgeted));
        GPrompt->Check(QStringLiteral("budgets"));
    }
    if (any({"statement_account"})) {
        results.push_back(StatementMeasure(options, work.path()));
        GPrompt->Check(QStringLiteral("statement_account"));
    }
    if (any({"import_preview"})) {
        results.push_back(ImportPreviewMeasure(options, work.path()));
        GPrompt->Check(QStringLiteral("import_preview"));
    }
    if (any({"import_month"})) {
        results.push_back(ImportMonthMeasure(options, dated(), work.path()));
        GPrompt->Check(QStringLiteral("import_month"));
    }
    if (any({"offsite_seal", "offsite_key", "offsite_upload"}))
        OffsiteMeasures(options, dated(), work.path(), results);
    if (any({"tree_2000"})) {
        results.push_back(TreeMeasure(options, work.path()));
        GPrompt->Check(QStringLiteral("tree_2000"));
    }
    if (any({"schedule_due"})) {
        results.push_back(ScheduleMeasure(options, work.path()));
        GPrompt->Check(QStringLiteral("schedule_due"));
    }

    const QStringList changeNames = [] {
        QStringList names;
        for (const TChangeMeasure &measure : kChangeMeasures)
            names << QString::fromLatin1(measure.Name) + QStringLiteral("_ram")
                  << QString::fromLatin1(measure.Name) + QStringLiteral("_disk");
        for (const TChangeMeasure &measure : kUndoLogMeasures)
            names << QString::fromLatin1(measure.Name) + QStringLiteral("_ram");
        for (const TChangeMeasure &measure : kTransferMeasures)
            names << QString::fromLatin1(measure.Name) + QStringLiteral("_ram");
        return names;
    }();
    bool ram = false, disk = false;
    for (const QString &name : changeNames) {
        if (Selected(options, name))
            (name.endsWith(QStringLiteral("_ram")) ? ram : disk) = true;
    }
    if (ram || disk) {
        const QFileInfo ramDir(QString::fromLatin1(kRamDir));
        const bool haveRam = ramDir.isDir() && ramDir.isWritable();
        if (ram && !haveRam)
            throw TBenchFailure(QStringLiteral("the *_ram measures need a RAM-backed directory "
                                               "%1, which is missing or not writable")
                                    .arg(QString::fromLatin1(kRamDir)));
        std::optional<QTemporaryDir> inRam;
        if (haveRam) {
            inRam.emplace(QString::fromLatin1(kRamDir) + QStringLiteral("/bookkeep-bench-XXXXXX"));
            if (!inRam->isValid())
                throw TBenchFailure(QStringLiteral("cannot make a directory in %1")
                                        .arg(QString::fromLatin1(kRamDir)));
        }
        const QString scratch = inRam ? inRam->path() : work.path();
        const QString master = NewBooks(work.path(), QStringLiteral("changes"),
                                        options.ChangeRecords, options.Seed, TRecordOrder::ByDate);
        if (const QString reason = AddTransfers(BooksFile(master)); !reason.isEmpty())
            throw TBenchFailure(QStringLiteral("adding transfers: %1").arg(reason));
        if (ram) {
            ChangeMeasures(options, QStringLiteral("_ram"), master, inRam->path(), scratch,
                           options.RamBatch, 1.05, kChangeMeasures, false, results);
            ChangeMeasures(options, QStringLiteral("_ram"), master, inRam->path(), scratch,
                           options.RamBatch, 1.3, kUndoLogMeasures, true, results);
            ChangeMeasures(options, QStringLiteral("_ram"), master, inRam->path(), scratch,
                           options.RamBatch, 1.3, kTransferMeasures, false, results);
        }
        if (disk)
            ChangeMeasures(options, QStringLiteral("_disk"), master, work.path(), scratch,
                           options.DiskBatch, 0, kChangeMeasures, false, results);
    }
    if (results.empty())
        throw TBenchFailure(QStringLiteral("no measure matches the filter"));
    AppPath.clear();
    GDbAccess->Close();
    return results;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    UseChineseLocale(app);
    TBenchPrompt prompt;
    GPrompt = &prompt;
    SetPrompt(&prompt);
    const TGlobalObjects globals({});
    GDbAccess = new TDbAccess;
    int status = 0;
    try {
        const TOptions options = ParseOptions(app);
        PrintMachine();
        std::printf("Records: %d listed, %d in the changed books; %d counted pairs per measure "
                    "(%d for the lists) after one to warm up; %d changes per run in RAM, %d on "
                    "disk\n",
                    options.Records, options.ChangeRecords, options.Repeats, options.ListRepeats,
                    options.RamBatch, options.DiskBatch);
        std::fflush(stdout);
        PrintResults(RunAll(options));
    } catch (const TBenchFailure &failure) {
        std::fprintf(stderr, "bench_ratio: %s\n", failure.what());
        status = 1;
    } catch (const Exception &failure) {
        std::fprintf(stderr, "bench_ratio: the program failed: %s\n",
                     qUtf8Printable(failure.Message()));
        status = 1;
    }
    delete GDbAccess;
    SetPrompt(nullptr);
    return status;
}
