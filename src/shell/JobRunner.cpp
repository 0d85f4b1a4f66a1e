#include "JobRunner.h"

#include "data/DbAccess.h"
#include "data/UException.h"
#include "forms/BaseDlg.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

namespace {

TJob *GCurrentJob = nullptr;

constexpr int kSteps = 1000;

QString Busy(const QString &jobName)
{
    return QStringLiteral("另一项操作尚未完成（%1），请等它完成后再试。").arg(jobName);
}

// The window a waiting job shows: its name, how far it got, and a cancel
// button or why there is none. It closes only with its job.
class TJobDialog : public QDialog
{
public:
    explicit TJobDialog(TJob &job)
        : FJob(job)
    {
        setObjectName(QStringLiteral("JobDialog"));
        setWindowTitle(job.Name());
        setAccessibleName(job.Name());
        setWindowModality(Qt::ApplicationModal);
        setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        auto *layout = new QVBoxLayout(this);
        // The labels are read out by their text.
        AddLabel(layout, QStringLiteral("lblJobName"), job.Name());
        FBar = new QProgressBar(this);
        FBar->setObjectName(QStringLiteral("pbJob"));
        FBar->setAccessibleName(QStringLiteral("进度"));
        FBar->setRange(0, kSteps);
        FBar->setValue(0);
        FBar->setMinimumWidth(320);
        layout->addWidget(FBar);
        FStep = AddLabel(layout, QStringLiteral("lblJobStep"), {});
        if (job.CanCancel()) {
            FCancel = new QPushButton(QStringLiteral("取消"), this);
            FCancel->setObjectName(QStringLiteral("btnJobCancel"));
            FCancel->setAccessibleName(QStringLiteral("取消"));
            layout->addWidget(FCancel, 0, Qt::AlignRight);
            connect(FCancel, &QPushButton::clicked, this, &TJobDialog::reject);
        } else {
            QLabel *why = AddLabel(layout, QStringLiteral("lblNoCancel"),
                                   QStringLiteral("此操作不能取消：") + job.NoCancelReason());
            why->setWordWrap(true);
        }
        // Connected first, then shown as reported so far: no report is missed.
        connect(&job, &TJob::Progressed, this, &TJobDialog::Show);
        const auto [fraction, step] = job.Progress();
        Show(fraction, step);
        CentreOnMainWindow(this);
        KeepAboveStayOnTop(this);
    }

    // Escape, the cancel button: asks the job to stop, and waits for it.
    void reject() override
    {
        if (!FJob.CanCancel() || FJob.Cancelled())
            return;
        FJob.Cancel();
        FCancel->setEnabled(false);
        FStep->setText(QStringLiteral("正在取消…"));
    }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        event->ignore();
        reject();
    }

private:
    void Show(double fraction, const QString &step)
    {
        // A part of unknown length shows a bar that moves without a figure.
        FBar->setMaximum(fraction < 0 ? 0 : kSteps);
        FBar->setValue(fraction < 0 ? 0 : qBound(0, qRound(fraction * kSteps), kSteps));
        if (!step.isEmpty() && !FJob.Cancelled())
            FStep->setText(step);
    }

    QLabel *AddLabel(QVBoxLayout *layout, const QString &objectName, const QString &text)
    {
        auto *label = new QLabel(text, this);
        label->setObjectName(objectName);
        layout->addWidget(label);
        return label;
    }

    TJob &FJob;
    QProgressBar *FBar = nullptr;
    QLabel *FStep = nullptr;
    QPushButton *FCancel = nullptr;
};

} // namespace

TJob::TJob(QString name, QString noCancelReason, TJobBooks books, QObject *parent)
    : QObject(parent)
    , FName(std::move(name))
    , FNoCancelReason(std::move(noCancelReason))
    , FBooks(books)
{
}

TJob::~TJob()
{
    Cancel();
    Join();
}

TJob *TJob::Current()
{
    return GCurrentJob;
}

void TJob::Start(TWork work)
{
    if (GCurrentJob)
        throw Exception(Busy(GCurrentJob->Name()));
    Q_ASSERT(!FWorker.joinable());
    const bool books = FBooks == TJobBooks::Used;
    if (books)
        GDbAccess->Lend(Busy(FName));
    GCurrentJob = this;
    FRunning = true;
    FFailure = nullptr;
    FWorker = std::thread([this, books, work = std::move(work)] {
        if (books)
            GDbAccess->Borrow();
        try {
            work(*this);
        } catch (...) {
            FFailure = std::current_exception();
        }
        if (books)
            GDbAccess->Return();
        FRunning = false;
        // Dropped with the job when it goes first: its destructor has joined.
        QMetaObject::invokeMethod(
            this,
            [this] {
                Join();
                Q_EMIT Finished();
            },
            Qt::QueuedConnection);
    });
}

void TJob::Cancel()
{
    if (CanCancel())
        FCancelled = true;
}

void TJob::Join()
{
    if (!FWorker.joinable())
        return;
    FWorker.join();
    if (GCurrentJob == this)
        GCurrentJob = nullptr;
}

void TJob::Wait()
{
    Join();
    if (const std::exception_ptr failure = std::exchange(FFailure, nullptr))
        std::rethrow_exception(failure);
}

void TJob::Report(double fraction, const QString &step)
{
    {
        const std::lock_guard lock(FProgressLock);
        FFraction = fraction;
        if (!step.isEmpty())
            FStep = step;
    }
    Q_EMIT Progressed(fraction, step);
}

std::pair<double, QString> TJob::Progress() const
{
    const std::lock_guard lock(FProgressLock);
    return {FFraction, FStep};
}

bool RunJob(const QString &name, const TJob::TWork &work, const QString &noCancelReason,
            TJobBooks books)
{
    TJob job(name, noCancelReason, books);
    QEventLoop loop;
    bool finished = false;
    bool due = false;
    QObject::connect(&job, &TJob::Finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer delay;
    delay.setSingleShot(true);
    QObject::connect(&delay, &QTimer::timeout, &loop, [&] {
        due = true;
        loop.quit();
    });
    job.Start(work);
    delay.start(TJobDialogs::Instance().Delay());
    // Until the dialog shows, input waits in the queue: nothing else starts.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    std::unique_ptr<TJobDialog> dialog;
    if (!finished && due) {
        dialog = std::make_unique<TJobDialog>(job);
        dialog->show();
        Q_EMIT TJobDialogs::Instance().Shown(dialog.get(), &job);
        if (!finished)
            loop.exec();
    }
    dialog.reset();
    // The loop also ends when the application quits: the work still ends
    // before this returns.
    try {
        job.Wait();
    } catch (...) {
        // What a cancelled job raised on its way out is of no concern.
        if (!job.Cancelled())
            throw;
    }
    return !job.Cancelled();
}

void WhenNoJob(QObject *context, std::function<void()> then)
{
    TJob *job = TJob::Current();
    if (!job) {
        then();
        return;
    }
    QObject::connect(
        job, &TJob::Finished, context,
        [context, then = std::move(then)] { WhenNoJob(context, then); },
        Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
}

TWorkHooks Hooks(TJob &job)
{
    return {[&job](double fraction, const QString &step) { job.Report(fraction, step); },
            [&job] { return job.Cancelled(); }};
}

TJobDialogs &TJobDialogs::Instance()
{
    static TJobDialogs instance;
    return instance;
}
