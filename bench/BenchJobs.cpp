// How long the main window's event loop goes without a turn while each long
// operation runs through the program's own command (menu item, window,
// button), and what running it that way costs against calling the same work
// directly on the window's thread, in pairs in this process on the same
// books. Prints a table and one "name gap_ms=G ratio=R" line per operation.
// Run with --help for the flags; bench/README.md tells the rest.

#include "BenchBooks.h"
#include "PairRunner.h"

#include "data/AutoBackup.h"
#include "data/DbAccess.h"
#include "data/UException.h"
#include "data/UntPublic.h"
#include "exchange/Export.h"
#include "exchange/Import.h"
#include "forms/Backups.h"
#include "forms/ExportBooks.h"
#include "forms/ImportStatement.h"
#include "reports/Report.h"
#include "reports/UntReport.h"
#include "shell/Application.h"
#include "shell/ChineseLocale.h"
#include "shell/Globals.h"
#include "shell/JobRunner.h"
#include "shell/Main.h"
#include "shell/RestoreBooks.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

// The longest the window may go without a turn of its event loop.
constexpr qint64 kLongGapNs = 100'000'000;
// How often the watch asks for a turn.
constexpr int kTickMs = 5;
// Copies in the list of automatic backups when it is opened.
constexpr int kListedCopies = 3;
// The steps a restore reports while it makes its copies, and the one after.
const QString kSafetyStep = QStringLiteral("正在保存当前数据的安全副本…");
const QString kAutoCopyStep = QStringLiteral("正在保存自动备份…");
const QString kCopyInStep = QStringLiteral("正在替换数据文件…");
const QString kBillSource = QStringLiteral("工商银行(5678)");

// What the direct calls return ends here, so that nothing is optimised away.
volatile qint64 GSink = 0;

struct TOptions
{
    int Records = 1000000;
    int ImportRows = 100000;
    int Repeats = 3;
    QString WorkDir;
    quint32 Seed = 2026;
};

qint64 NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Answers what the program asks through its prompt: confirmations with yes,
// file dialogs with the file set for the operation. Keeps the last message;
// an error box ends the run.
class TJobsPrompt : public TPrompt
{
public:
    bool Box(TBoxKind kind, const QString &caption, const QString &text) override
    {
        if (kind == TBoxKind::Error && FError.isEmpty())
            FError = caption + QStringLiteral(": ") + text;
        if (kind == TBoxKind::Info)
            LastInfo = text;
        return kind == TBoxKind::Confirm;
    }
    QString FileDialog(TFileDialogKind, const QString &) override { return File; }
    void OpenDocument(const QString &) override { }

    void Check(const QString &operation)
    {
        if (!FError.isEmpty())
            throw TBenchFailure(operation + QStringLiteral(": the program showed ") + FError);
    }

    QString File;
    QString LastInfo;

private:
    QString FError;
};

TJobsPrompt *GPrompt = nullptr;

// The gaps of one run: the longest and how many were over kLongGapNs.
struct TGaps
{
    qint64 LongestNs = 0;
    int Long = 0;
    QString Where; // what ran when the longest began

    void Note(qint64 gap, const QString &where)
    {
        if (gap > LongestNs) {
            LongestNs = gap;
            Where = where;
        }
        Long += gap > kLongGapNs;
    }
};

// What runs now: the job and its step, or the window's own thread.
QString Running()
{
    const TJob *job = TJob::Current();
    return job ? (job->Name() + u' ' + job->Progress().second).trimmed()
               : QStringLiteral("(no job)");
}

// Times the turns of the window's event loop: a timer due every kTickMs,
// which fires in whatever loop runs (a modal window's, a job's), notes the
// time since it last fired. The stretch from the last firing to Stop counts
// too. A phase, when given, is asked at each firing; the gaps that begin in
// it are noted apart, with the times it was first and last seen.
class TGapWatch
{
public:
    explicit TGapWatch(std::function<bool()> inPhase = {})
        : FInPhase(std::move(inPhase))
    {
        FTimer.setTimerType(Qt::PreciseTimer);
        FTimer.setInterval(kTickMs);
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); });
    }
    void Start()
    {
        FLast = NowNs();
        FLastRunning = Running();
        FTimer.start();
    }
    void Stop()
    {
        Tick();
        FTimer.stop();
    }

    TGaps All;
    TGaps Phase;
    qint64 PhaseBegin = -1;
    qint64 PhaseEnd = -1;

private:
    void Tick()
    {
        const qint64 now = NowNs();
        All.Note(now - FLast, FLastRunning);
        if (FWasInPhase)
            Phase.Note(now - FLast, FLastRunning);
        FLast = now;
        FLastRunning = Running();
        if (!FInPhase)
            return;
        const bool in = FInPhase();
        if (in && PhaseBegin < 0)
            PhaseBegin = now;
        if (!in && FWasInPhase && PhaseEnd < 0)
            PhaseEnd = now;
        FWasInPhase = in;
    }

    QTimer FTimer;
    std::function<bool()> FInPhase;
    qint64 FLast = 0;
    QString FLastRunning;
    bool FWasInPhase = false;
};

// Drives the modal windows a command opens, as a user would: each new modal
// window gets the next step, asked again on every turn until it answers that
// it is done with that window. The job runner's progress dialogs are left
// to run; any other modal window is rejected and ends the run.
class TDriver : public QObject
{
public:
    using TStep = std::function<bool(QWidget *)>;

    TDriver()
    {
        connect(&TJobDialogs::Instance(), &TJobDialogs::Shown, this,
                [this](QWidget *dialog, TJob *) { FLeftAlone.append(dialog); });
        QTimer::singleShot(0, this, &TDriver::Poll);
    }
    void Then(TStep step) { FSteps.append(std::move(step)); }
    void Check(const QString &operation) const
    {
        if (!FUnexpected.isEmpty())
            throw TBenchFailure(QStringLiteral("%1: an unexpected window came up: %2")
                                    .arg(operation, FUnexpected.join(QStringLiteral(", "))));
        if (!FSteps.isEmpty())
            throw TBenchFailure(
                QStringLiteral("%1: the command ended before its windows came up").arg(operation));
    }

private:
    void Poll()
    {
        // Re-armed first, so that polling goes on in a loop a step starts.
        QTimer::singleShot(kTickMs, this, &TDriver::Poll);
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || FLeftAlone.contains(modal))
            return;
        if (FSteps.isEmpty()) {
            FUnexpected << modal->windowTitle();
            FLeftAlone.append(modal);
            Dismiss(modal);
            return;
        }
        const TStep step = FSteps.first();
        try {
            if (!step(modal))
                return;
        } catch (const std::exception &failure) {
            // Not what the step expected: the window goes, the run ends after.
            FUnexpected << QString::fromUtf8(failure.what());
            Dismiss(modal);
        }
        FSteps.removeFirst();
        FLeftAlone.append(modal);
    }

    static void Dismiss(QWidget *modal)
    {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
        else
            QMetaObject::invokeMethod(modal, &QWidget::close, Qt::QueuedConnection);
    }

    QList<TStep> FSteps;
    QList<QPointer<QWidget>> FLeftAlone;
    QStringList FUnexpected;
};

// Runs events until the condition holds.
void WaitUntil(const std::function<bool()> &done, const QString &what)
{
    const qint64 deadline = NowNs() + 600'000'000'000;
    QTimer wake; // so that waiting for events never waits for good
    wake.start(kTickMs);
    while (!done()) {
        if (NowNs() > deadline)
            throw TBenchFailure(QStringLiteral("%1 did not happen in ten minutes").arg(what));
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

template<class T> T *Child(QObject *parent, const char *name)
{
    T *child = parent->findChild<T *>(QString::fromLatin1(name));
    if (!child)
        throw TBenchFailure(
            QStringLiteral("no %1 in %2").arg(QString::fromLatin1(name), parent->objectName()));
    return child;
}

qint64 RecordCount()
{
    return DbQueryInt(QStringLiteral("select count(*) from BookKeep"));
}

QString BooksFile(const QString &dir)
{
    return dir + QStringLiteral("/bookkeep.dat");
}

// ---- one operation's pairs ----------------------------------------------

// One run of the program's side: what it handled, the time compared with
// the direct call, the whole command's time and its gaps.
struct TProgramRun
{
    qint64 Rows = 0;
    qint64 Ns = 0;
    qint64 CommandNs = 0;
    qint64 Started = 0; // when the command was called
    TGaps Gaps;
};

struct TResult
{
    QString Name;
    qint64 Rows = 0;
    double DirectMs = 0; // medians of the counted runs
    double ProgramMs = 0;
    double CommandMs = 0;
    double Ratio = 0; // median of the per-pair ratios program / direct
    double RatioMin = 0;
    double RatioMax = 0;
    double LongestGapMs = 0; // over every run, the warm-up's included
    QString LongestWhere;
    int LongGaps = 0; // the most in one run
};

// The runs of one measure, pair by pair.
struct TSamples
{
    QString Name;
    std::vector<TRun> Direct;
    std::vector<TProgramRun> Program;

    void Add(const TRun &direct, const TProgramRun &program)
    {
        if (direct.Rows <= 0 || direct.Nanoseconds <= 0)
            throw TBenchFailure(QStringLiteral("%1: the direct call handled %2 rows in %3 ns")
                                    .arg(Name)
                                    .arg(direct.Rows)
                                    .arg(direct.Nanoseconds));
        if (program.Rows != direct.Rows)
            throw TBenchFailure(
                QStringLiteral("%1: the direct call handled %2 rows, the command %3")
                    .arg(Name)
                    .arg(direct.Rows)
                    .arg(program.Rows));
        Direct.push_back(direct);
        Program.push_back(program);
    }

    // The first pair warms the caches: its times are not counted, its gaps are.
    TResult Result() const
    {
        TResult result;
        result.Name = Name;
        result.Rows = Direct.front().Rows;
        std::vector<double> direct, program, command, ratios;
        for (size_t pair = 0; pair < Direct.size(); ++pair) {
            if (Program[pair].Gaps.LongestNs / 1e6 > result.LongestGapMs) {
                result.LongestGapMs = Program[pair].Gaps.LongestNs / 1e6;
                result.LongestWhere = Program[pair].Gaps.Where;
            }
            result.LongGaps = std::max(result.LongGaps, Program[pair].Gaps.Long);
            if (pair == 0)
                continue;
            direct.push_back(Direct[pair].Nanoseconds / 1e6);
            program.push_back(Program[pair].Ns / 1e6);
            command.push_back(Program[pair].CommandNs / 1e6);
            ratios.push_back(double(Program[pair].Ns) / double(Direct[pair].Nanoseconds));
        }
        result.DirectMs = Median(direct);
        result.ProgramMs = Median(program);
        result.CommandMs = Median(command);
        result.Ratio = Median(ratios);
        result.RatioMin = *std::min_element(ratios.begin(), ratios.end());
        result.RatioMax = *std::max_element(ratios.begin(), ratios.end());
        std::fprintf(stderr, "  %s done\n", qUtf8Printable(Name));
        return result;
    }
};

// Runs a command with the gaps watched; the program's time is the command's.
template<typename F> TProgramRun Watched(TGapWatch &watch, F &&command)
{
    TProgramRun run;
    watch.Start();
    run.Started = NowNs();
    command();
    run.CommandNs = NowNs() - run.Started;
    watch.Stop();
    run.Ns = run.CommandNs;
    run.Gaps = watch.All;
    return run;
}

// Removes the automatic copies, so that every run makes its own.
void RemoveCopies()
{
    const QString folder = AutoBackup::Folder(AppPath);
    for (const QString &name : AutoBackup::Names(folder))
        QFile::remove(folder + u'/' + name);
}

// ---- the operations -----------------------------------------------------

struct TContext
{
    const TOptions &Options;
    TFormMain &Window;
    QString Work; // the run's directory
    std::vector<TResult> &Results;
};

// The list of automatic copies opened from its menu item until every copy is
// checked, then cancelled; against checking the same copies in turn.
void RestoreListMeasure(TContext &context)
{
    RemoveCopies();
    const QString folder = AutoBackup::Folder(AppPath);
    QDir().mkpath(folder);
    const QDateTime now = QDateTime::currentDateTime();
    QStringList files;
    for (int i = 0; i < kListedCopies; ++i) {
        files << folder + u'/' + AutoBackup::FileName(now.addSecs(-3600 * (i + 1)));
        if (!QFile::copy(TDbAccess::DatabaseFile(), files.last()))
            throw TBenchFailure(QStringLiteral("cannot copy the books to %1").arg(files.last()));
    }
    TSamples samples {QStringLiteral("restore_list"), {}, {}};
    for (int pair = 0; pair <= context.Options.Repeats; ++pair) {
        const TRun direct = Timed([&] {
            qint64 sound = 0;
            for (const QString &file : std::as_const(files))
                sound += AutoBackup::Inspect(file).Check.IsSound();
            return sound;
        });
        Settle();
        TDriver driver;
        qint64 checked = -1;
        qint64 restorable = 0;
        driver.Then([&](QWidget *modal) {
            auto *form = qobject_cast<TFormBackups *>(modal);
            if (!form)
                throw TBenchFailure(QStringLiteral("restore_list: not the list of copies"));
            if (!form->Checked())
                return false;
            checked = NowNs();
            for (int row = 0; row < form->List()->topLevelItemCount(); ++row)
                restorable += (form->List()->topLevelItem(row)->flags() & Qt::ItemIsEnabled) != 0;
            QMetaObject::invokeMethod(form, &QDialog::reject, Qt::QueuedConnection);
            return true;
        });
        TGapWatch watch;
        TProgramRun program = Watched(watch, [&] { context.Window.NAutoRestoreClick(); });
        driver.Check(samples.Name);
        program.Ns = checked - program.Started;
        program.Rows = restorable;
        samples.Add(direct, program);
    }
    RemoveCopies();
    context.Results.push_back(samples.Result());
}

// A restore from its menu item, the question answered and the file chosen,
// against the restore called directly; and apart, the copies it makes of the
// books before it copies the file in (the safety copy and the automatic one),
// timed from the step that starts them to the step after.
void RestoreMeasure(TContext &context)
{
    const QString source = context.Work + QStringLiteral("/restore-source.bat");
    QFile::remove(source);
    if (!QFile::copy(TDbAccess::DatabaseFile(), source))
        throw TBenchFailure(QStringLiteral("cannot copy the books to %1").arg(source));
    TSamples restore {QStringLiteral("restore"), {}, {}};
    TSamples copies {QStringLiteral("restore_copy"), {}, {}};
    const auto inCopies = [] {
        const TJob *job = TJob::Current();
        if (!job)
            return false;
        const QString step = job->Progress().second;
        return step == kSafetyStep || step == kAutoCopyStep;
    };
    for (int pair = 0; pair <= context.Options.Repeats; ++pair) {
        qint64 copyBegin = -1;
        qint64 copyEnd = -1;
        const TRun direct = Timed([&] {
            TRestoreCopy copy(source);
            TWorkHooks hooks;
            hooks.Report = [&](double, const QString &step) {
                if (step == kSafetyStep && copyBegin < 0)
                    copyBegin = NowNs();
                if (step == kCopyInStep && copyEnd < 0)
                    copyEnd = NowNs();
            };
            RestoreBooks(copy, context.Window.AutoBackup(), hooks);
            return qint64(1);
        });
        if (copyBegin < 0 || copyEnd < 0)
            throw TBenchFailure(QStringLiteral("restore_copy: the restore reported no copies"));
        RemoveCopies();
        Settle();
        GPrompt->File = source;
        TDriver driver;
        TGapWatch watch(inCopies);
        TProgramRun program = Watched(watch, [&] { context.Window.MenuItem3Click(); });
        driver.Check(restore.Name);
        GPrompt->Check(restore.Name);
        program.Rows = 1;
        restore.Add(direct, program);
        if (watch.PhaseBegin < 0 || watch.PhaseEnd < 0)
            throw TBenchFailure(
                QStringLiteral("restore_copy: the restore's job never showed its copies' steps"));
        copies.Add({1, copyEnd - copyBegin},
                   {1, watch.PhaseEnd - watch.PhaseBegin, program.CommandNs, program.Started,
                    watch.Phase});
        RemoveCopies();
    }
    QFile::remove(source);
    context.Results.push_back(restore.Result());
    context.Results.push_back(copies.Result());
}

// A WeChat bill of `rows` spends over the year up to today, paid from a card;
// the same seed gives the same bill.
QString WriteWechatBill(const QString &dir, int rows, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray text
        = "\xEF\xBB\xBF微信支付账单明细\n交易时间,交易类型,交易对方,商品,收/支,金额(元),"
          "支付方式,当前状态,交易单号,商户单号,备注\n";
    const QDateTime start(QDate::currentDate().addYears(-1), QTime(8, 0));
    for (int i = 0; i < rows; ++i) {
        const QDateTime when = start.addSecs(qint64(i) * 365 * 86400 / rows);
        text
            += QStringLiteral("%1,商户消费,商户%2,商品%3,支出,¥%4,%5,支付成功,W%6,/,/\n")
                   .arg(when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                   .arg(random.bounded(500))
                   .arg(i)
                   .arg(Currency::FromUnits(random.bounded(1, 50000) * 100).ToString(), kBillSource)
                   .arg(i)
                   .toUtf8();
    }
    const QString file = dir + QStringLiteral("/wechat.csv");
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        throw TBenchFailure(QStringLiteral("cannot write %1").arg(file));
    return file;
}

// A bill read, planned and given its categories, as the import window has it
// when its import button is pressed.
struct TPreparedImport
{
    QList<TBill> Bills;
    QList<QList<int>> Types;
};

TPreparedImport PrepareImport(const QString &bill)
{
    TPreparedImport prepared;
    prepared.Bills << TBill(ReadStatement(bill), BookAccounts().first());
    StatementImport::PlanBills(prepared.Bills);
    for (const TBill &each : std::as_const(prepared.Bills))
        prepared.Types << StatementImport::ChooseCategories(each.Statement, 0, 0);
    return prepared;
}

// The import's own work: the automatic copy before it, then the batch written.
void ImportPrepared(const TPreparedImport &prepared, TFormMain &window)
{
    window.AutoBackup().BeforeChange();
    StatementImport::ImportBills(prepared.Bills, prepared.Types, 0, 0);
}

// The bill imported through the import window: opened from its menu item,
// the file chosen with its button, the import button pressed once the rows
// show. The time compared runs from the press to the window's close, against
// the automatic copy and ImportBills called directly; the gaps are the whole
// command's, the reading of the file and its preview included. Each import
// is undone, untimed, before the next.
void ImportMeasure(TContext &context, const QString &bill)
{
    TSamples samples {QStringLiteral("import"), {}, {}};
    for (int pair = 0; pair <= context.Options.Repeats; ++pair) {
        const TPreparedImport prepared = PrepareImport(bill);
        const qint64 before = RecordCount();
        TRun direct = Timed([&] {
            ImportPrepared(prepared, context.Window);
            return qint64(1);
        });
        direct.Rows = RecordCount() - before;
        GDbAccess->Undo();
        RemoveCopies();
        Settle();
        GPrompt->File = bill;
        TDriver driver;
        qint64 pressed = -1;
        bool chosen = false;
        driver.Then([&](QWidget *modal) {
            auto *form = qobject_cast<TFormImport *>(modal);
            if (!form)
                throw TBenchFailure(QStringLiteral("import: not the import window"));
            if (!chosen) {
                Child<QPushButton>(form, "btnFile")->click();
                chosen = true;
                return false;
            }
            auto *import = Child<QPushButton>(form, "btnImport");
            if (form->Loading() || !import->isEnabled())
                return false;
            pressed = NowNs();
            import->click();
            return true;
        });
        TGapWatch watch;
        TProgramRun program = Watched(watch, [&] { context.Window.NImportClick(); });
        driver.Check(samples.Name);
        GPrompt->Check(samples.Name);
        program.Ns = program.Started + program.CommandNs - pressed;
        program.Rows = RecordCount() - before;
        samples.Add(direct, program);
        GDbAccess->Undo();
        RemoveCopies();
    }
    context.Results.push_back(samples.Result());
}

// The import of the bill taken back from the undo command, against Undo called
// directly; the bill is imported again, untimed, before each.
void UndoMeasure(TContext &context, const QString &bill)
{
    TSamples samples {QStringLiteral("undo_import"), {}, {}};
    const auto imported = [&] {
        const TPreparedImport prepared = PrepareImport(bill);
        StatementImport::ImportBills(prepared.Bills, prepared.Types, 0, 0);
        return RecordCount();
    };
    for (int pair = 0; pair <= context.Options.Repeats; ++pair) {
        qint64 before = imported();
        TRun direct = Timed([] {
            GDbAccess->Undo();
            return qint64(1);
        });
        direct.Rows = before - RecordCount();
        before = imported();
        Settle();
        TDriver driver;
        TGapWatch watch;
        TProgramRun program = Watched(watch, [&] { context.Window.NUndoClick(); });
        driver.Check(samples.Name);
        GPrompt->Check(samples.Name);
        program.Rows = before - RecordCount();
        samples.Add(direct, program);
    }
    context.Results.push_back(samples.Result());
}

// The report window opened from its command on this month, then its period
// widened to the books' first day and its other two reports shown, each
// awaited until its figures are there; against the report's queries called
// directly: the categories of this month and of the whole period, the months
// and the month-end balances.
void ReportMeasure(TContext &context)
{
    const auto [monthBegin, monthEnd] = QuickPeriod(TQuickPeriod::ThisMonth, QDate::currentDate());
    const RecordFilter month = RecordFilter::Days(monthBegin, monthEnd);
    const RecordFilter all = RecordFilter::Days(FirstBookDay(), monthEnd);
    const qint64 monthCount = QueryCategorySums(month).Count;
    const size_t months = QueryTrend(all).size();
    const size_t points = QueryBalance(all).size();
    TSamples samples {QStringLiteral("report"), {}, {}};
    for (int pair = 0; pair <= context.Options.Repeats; ++pair) {
        const TRun direct = Timed([&] {
            const qint64 count = QueryCategorySums(all).Count;
            GSink = GSink
                + qint64(QueryCategorySums(month).Income.size() + QueryTrend(all).size()
                         + QueryBalance(all).size());
            return count;
        });
        Settle();
        TDriver driver;
        TGapWatch watch;
        qint64 rows = 0;
        TProgramRun program = Watched(watch, [&] {
            context.Window.NReportClick();
            TFormReport *report = nullptr;
            WaitUntil(
                [&] {
                    report = OpenReportWindow();
                    return report && report->CategoryFigures().Count == monthCount;
                },
                QStringLiteral("report: this month's figures"));
            Child<QDateEdit>(report, "DBBegin")->setDate(FirstBookDay());
            WaitUntil([&] { return report->CategoryFigures().Count == direct.Rows; },
                      QStringLiteral("report: the whole period's figures"));
            rows = report->CategoryFigures().Count;
            auto *pages = Child<QTabWidget>(report, "pgReports");
            pages->setCurrentIndex(TFormReport::rpTrend);
            WaitUntil([&] { return report->Trend().size() == months; },
                      QStringLiteral("report: the months"));
            pages->setCurrentIndex(TFormReport::rpBalance);
            WaitUntil([&] { return report->Balance().size() == points; },
                      QStringLiteral("report: the balances"));
        });
        if (TFormReport *report = OpenReportWindow())
            report->close();
        Settle();
        driver.Check(samples.Name);
        GPrompt->Check(samples.Name);
        program.Rows = rows;
        samples.Add(direct, program);
    }
    context.Results.push_back(samples.Result());
}

// The records of the whole books exported as CSV from the export command, the
// period chosen in its window, against WriteRecordsCsv called directly.
void ExportMeasure(TContext &context)
{
    const QDate first = FirstBookDay();
    const QDate today = QDate::currentDate();
    const QString file = context.Work + QStringLiteral("/export.csv");
    static const QRegularExpression written(QStringLiteral("已导出 (\\d+) 条"));
    TSamples samples {QStringLiteral("export"), {}, {}};
    for (int pair = 0; pair <= context.Options.Repeats; ++pair) {
        const TRun direct = Timed([&] {
            return qint64(BooksExport::WriteRecordsCsv(file, RecordFilter::Days(first, today)));
        });
        QFile::remove(file);
        Settle();
        GPrompt->File = file;
        GPrompt->LastInfo.clear();
        TDriver driver;
        driver.Then([&](QWidget *modal) {
            auto *form = qobject_cast<TFormExport *>(modal);
            if (!form)
                throw TBenchFailure(QStringLiteral("export: not the export window"));
            Child<QRadioButton>(form, "rbPeriod")->setChecked(true);
            Child<QDateEdit>(form, "dtBegin")->setDate(first);
            Child<QDateEdit>(form, "dtEnd")->setDate(today);
            Child<QPushButton>(form, "btnOK")->click();
            return true;
        });
        TGapWatch watch;
        TProgramRun program = Watched(watch, [&] { context.Window.NExportClick(); });
        driver.Check(samples.Name);
        GPrompt->Check(samples.Name);
        const QRegularExpressionMatch told = written.match(GPrompt->LastInfo);
        if (!told.hasMatch())
            throw TBenchFailure(
                QStringLiteral("export: the command told no count: %1").arg(GPrompt->LastInfo));
        program.Rows = told.captured(1).toLongLong();
        QFile::remove(file);
        samples.Add(direct, program);
    }
    context.Results.push_back(samples.Result());
}

// ---- the run ------------------------------------------------------------

TOptions ParseOptions(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The window's longest wait for its event loop during each long "
                       "operation run through its command, and the command's time against the "
                       "same work called directly."));
    parser.addHelpOption();
    const QCommandLineOption records({QStringLiteral("n"), QStringLiteral("records")},
                                     QStringLiteral("Records in the books (default 1000000)."),
                                     QStringLiteral("N"));
    const QCommandLineOption importRows(
        QStringLiteral("import-rows"),
        QStringLiteral("Rows of the imported bill, undone by the undo measure (default 100000)."),
        QStringLiteral("N"));
    const QCommandLineOption repeats({QStringLiteral("r"), QStringLiteral("repeats")},
                                     QStringLiteral("Counted pairs per operation (default 3)."),
                                     QStringLiteral("R"));
    const QCommandLineOption workDir(
        QStringLiteral("work-dir"),
        QStringLiteral("Where the books are made, on a real disk (default %1).")
            .arg(QStringLiteral(BENCH_WORK_DIR)),
        QStringLiteral("DIR"));
    parser.addOptions({records, importRows, repeats, workDir});
    parser.process(app);

    const auto number = [&](const QCommandLineOption &option, int fallback) {
        const QString text = parser.value(option);
        if (text.isEmpty())
            return fallback;
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < 1)
            throw TBenchFailure(QStringLiteral("--%1 wants a number of at least 1, not \"%2\"")
                                    .arg(option.names().constLast(), text));
        return value;
    };
    TOptions options;
    options.Records = number(records, options.Records);
    options.ImportRows = number(importRows, options.ImportRows);
    options.Repeats = number(repeats, options.Repeats);
    options.WorkDir = parser.value(workDir);
    if (options.WorkDir.isEmpty())
        options.WorkDir = QStringLiteral(BENCH_WORK_DIR);
    return options;
}

void PrintResults(const std::vector<TResult> &results)
{
    std::printf("\n%-14s %9s %11s %11s %7s %13s %11s %11s %9s\n", "operation", "rows", "direct ms",
                "program ms", "ratio", "min-max", "command ms", "max gap ms", "gaps>100");
    for (const TResult &result : results)
        std::printf("%-14s %9lld %11.1f %11.1f %7.3f %6.3f-%-6.3f %11.1f %11.1f %9d\n",
                    qUtf8Printable(result.Name), result.Rows, result.DirectMs, result.ProgramMs,
                    result.Ratio, result.RatioMin, result.RatioMax, result.CommandMs,
                    result.LongestGapMs, result.LongGaps);
    std::printf("\nWhat ran when each longest gap began:\n");
    for (const TResult &result : results)
        std::printf("  %-14s %s\n", qUtf8Printable(result.Name),
                    qUtf8Printable(result.LongestWhere));
    std::printf("\n");
    for (const TResult &result : results)
        std::printf("%s gap_ms=%.1f ratio=%.3f\n", qUtf8Printable(result.Name), result.LongestGapMs,
                    result.Ratio);
}

std::vector<TResult> RunAll(const TOptions &options)
{
    QDir().mkpath(options.WorkDir);
    QTemporaryDir work(options.WorkDir + QStringLiteral("/jobs-XXXXXX"));
    if (!work.isValid())
        throw TBenchFailure(QStringLiteral("cannot make a directory in %1").arg(options.WorkDir));
    const QString books = work.path() + QStringLiteral("/books");
    QDir().mkpath(books);
    const qint64 made = NowNs();
    if (const QString reason = MakeBooks(QStringLiteral(TEMPLATE_DB), BooksFile(books),
                                         options.Records, options.Seed, TRecordOrder::ByDate);
        !reason.isEmpty())
        throw TBenchFailure(QStringLiteral("making %1: %2").arg(BooksFile(books), reason));
    std::fprintf(stderr, "  made %s: %d records in %.1f s\n", qUtf8Printable(BooksFile(books)),
                 options.Records, (NowNs() - made) / 1e9);
    const QString bill = WriteWechatBill(work.path(), options.ImportRows, options.Seed);

    AppPath = books + u'/';
    GDbAccess->Connect();
    if (!GDbAccess->Connected())
        throw TBenchFailure(QStringLiteral("the program cannot open %1").arg(BooksFile(books)));
    // The card the bill is paid from goes to the first account, so the
    // import asks nothing about it.
    StatementImport::RememberSourceAccount(kBillSource, BookAccounts().first());
    std::vector<TResult> results;
    {
        TFormMain window;
        window.show();
        // The copy made at start runs on its own thread: done before any timing.
        window.AutoBackup().Wait();
        RemoveCopies();
        Settle();
        TContext context {options, window, work.path(), results};
        RestoreListMeasure(context);
        RestoreMeasure(context);
        ImportMeasure(context, bill);
        UndoMeasure(context, bill);
        ReportMeasure(context);
        ExportMeasure(context);
        GPrompt->Check(QStringLiteral("the run"));
        window.hide();
        Settle();
    }
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
    TJobsPrompt prompt;
    GPrompt = &prompt;
    SetPrompt(&prompt);
    const TGlobalObjects globals({});
    GDbAccess = new TDbAccess;
    int status = 0;
    try {
        const TOptions options = ParseOptions(app);
        PrintMachine();
        std::printf("Records: %d; bill of %d rows; %d counted pairs per operation after one to "
                    "warm up; a gap is the time between two turns of the window's event loop\n",
                    options.Records, options.ImportRows, options.Repeats);
        std::fflush(stdout);
        PrintResults(RunAll(options));
    } catch (const TBenchFailure &failure) {
        std::fprintf(stderr, "bench_jobs: %s\n", failure.what());
        status = 1;
    } catch (const Exception &failure) {
        std::fprintf(stderr, "bench_jobs: the program failed: %s\n",
                     qUtf8Printable(failure.Message()));
        status = 1;
    }
    delete GDbAccess;
    SetPrompt(nullptr);
    return status;
}
