#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

class QWidget;
struct TWorkHooks;

// Whether a job's work reads or writes the books through their connection
// (GDbAccess). The connection is then lent to the work while it runs: a use
// of it from the window's thread meanwhile raises "another operation is
// under way". Work that leaves the books alone opens its own connections.
enum class TJobBooks { Untouched, Used };

// A piece of long work run on a worker thread of its own, so that the window
// stays responsive while it runs. Two jobs never run at once. Lives on the
// user-interface thread; its signals arrive there.
class TJob : public QObject
{
    Q_OBJECT

public:
    using TWork = std::function<void(TJob &)>;

    // A job the user may stop has an empty `noCancelReason`; one that cannot
    // be stopped names why, in the user's words.
    explicit TJob(QString name, QString noCancelReason = {}, TJobBooks books = TJobBooks::Untouched,
                  QObject *parent = nullptr);
    // Cancels a job that may be cancelled, and waits for the worker.
    ~TJob() override;

    const QString &Name() const { return FName; }
    bool CanCancel() const { return FNoCancelReason.isEmpty(); }
    const QString &NoCancelReason() const { return FNoCancelReason; }

    // Starts the work on the worker thread; raises when another job runs.
    void Start(TWork work);
    // Asks the work of a job that may be cancelled to stop; it stops at its
    // next look at Cancelled.
    void Cancel();
    // Whether the worker is still at its work.
    bool Running() const { return FRunning.load(); }
    // Waits for the worker without running events, then raises on this
    // thread what the work raised.
    void Wait();

    // Called by the work, on the worker: how far it got (0 to 1, below 0 when
    // that cannot be told) and what it does now.
    void Report(double fraction, const QString &step = {});
    bool Cancelled() const { return FCancelled.load(); }
    // The last progress reported.
    std::pair<double, QString> Progress() const;

    // The job running now, or null.
    static TJob *Current();

Q_SIGNALS:
    void Progressed(double fraction, const QString &step);
    // The work ended (ran out, was cancelled or failed); Wait raises its failure.
    void Finished();

private:
    void Join();

    QString FName;
    QString FNoCancelReason;
    TJobBooks FBooks;
    std::thread FWorker;
    std::atomic<bool> FRunning {false};
    std::atomic<bool> FCancelled {false};
    std::exception_ptr FFailure; // written by the worker, read after it is joined
    mutable std::mutex FProgressLock;
    double FFraction = 0;
    QString FStep;
};

// Runs work as a job while the window waits for it, running its events:
// input to the windows is held back, and once the dialog delay has passed a
// modal dialog shows the job's name, its progress and either a cancel button
// or why it cannot be cancelled. True when the work ran to its end and no
// cancel was asked; false when a cancel was asked, even one that came too
// late to stop the work: work with lasting effects tells for itself whether
// it got to them. What the work raised is raised here, as if it had failed on
// this thread; when another job runs, raises before starting.
bool RunJob(const QString &name, const TJob::TWork &work, const QString &noCancelReason = {},
            TJobBooks books = TJobBooks::Untouched);

// Runs `then` at once when no job runs, else once the running job has ended
// (on this thread, while `context` lives). A window's command queued before
// a job started is run through it: it waits for the job instead of meeting
// the books lent to it.
void WhenNoJob(QObject *context, std::function<void()> then);

// The hooks through which core work reports to its job and learns it should stop.
TWorkHooks Hooks(TJob &job);

// Where the dialogs of RunJob are announced, and how long they wait before
// showing: a job done sooner shows none.
class TJobDialogs : public QObject
{
    Q_OBJECT

public:
    static TJobDialogs &Instance();
    int Delay() const { return FDelay; }
    void SetDelay(int milliseconds) { FDelay = milliseconds; }

Q_SIGNALS:
    void Shown(QWidget *dialog, TJob *job);

private:
    int FDelay = 300;
};
