#include "Startup.h"

#include "AppIcon.h"
#include "Application.h"
#include "ChineseLocale.h"
#include "CommandLine.h"
#include "DataFolder.h"
#include "Globals.h"
#include "InstanceLock.h"
#include "Main.h"
#include "TermSignal.h"

#include "data/DbAccess.h"
#include "data/UntPublic.h"

#include <QCommandLineParser>
#include <QDir>
#include <QStandardPaths>
#include <QTranslator>
#include <memory>

namespace {

const QString kAppTitle = QStringLiteral("记账软件");

// Restores the prompt that was installed before, however the run ends.
class TPromptScope
{
public:
    explicit TPromptScope(TPrompt &prompt)
        : FPrevious(SetPrompt(&prompt))
    {
    }
    TPromptScope(const TPromptScope &) = delete;
    TPromptScope &operator=(const TPromptScope &) = delete;
    ~TPromptScope() { SetPrompt(FPrevious); }

private:
    TPrompt *FPrevious;
};

// Frees the database access object, after the main window is gone.
struct TDbAccessScope
{
    TDbAccessScope() { GDbAccess = new TDbAccess; }
    TDbAccessScope(const TDbAccessScope &) = delete;
    TDbAccessScope &operator=(const TDbAccessScope &) = delete;
    ~TDbAccessScope()
    {
        delete GDbAccess;
        GDbAccess = nullptr;
    }
};

} // namespace

int RunBookkeep(int &argc, char **argv, TPrompt &prompt)
{
    if (AsksForHelpOrVersion(argc, argv)) {
        QCoreApplication app(argc, argv);
        QTranslator qtTranslator;
        QCommandLineParser parser;
        int status = 0;
        ReadCommandLine(qtTranslator, parser, status);
        return status;
    }

    TApplication app(argc, argv);
    UseChineseLocale(app);
    TApplication::setWindowIcon(AppIcon());
    // Lets a Wayland desktop match the windows with the menu entry and its icon.
    TApplication::setDesktopFileName(QStringLiteral(BOOKKEEP_APP_ID));
    QTranslator qtTranslator;
    QCommandLineParser parser;
    if (int status = 0; !ReadCommandLine(qtTranslator, parser, status))
        return status;

    TPromptScope promptScope(prompt);
    const TDataFolder dataFolder
        = ChooseDataFolder(parser.value(kDataDir), QCoreApplication::applicationDirPath(),
                           QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    TGlobalObjects globals(dataFolder.Path);

    // One instance on a set of books, whatever the environment of each start
    // (another session, sudo, a sandbox): the guard lies beside the books.
    // The folder of an installed program's books is made first, so that the
    // guard covers their first copy from the template; a failure to make it
    // is told below. A lock left by an instance that has ended is taken over;
    // without the guard the program does not start, since two instances
    // would corrupt each other's totals.
    if (!dataFolder.Template.isEmpty())
        QDir().mkpath(dataFolder.Path);
    TInstanceLock instanceLock(TInstanceLock::FileNameIn(dataFolder.Path));
    switch (instanceLock.Acquire()) {
    case TInstanceLock::TResult::Owned:
    case TInstanceLock::TResult::Unneeded:
        break;
    case TInstanceLock::TResult::Running:
        ShowInfo(QStringLiteral("记账软件已经运行!"));
        return 0;
    case TInstanceLock::TResult::Blocked:
        ShowError(instanceLock.Reason());
        return 1;
    }

    // Made only while this instance holds the guard, so two first starts never
    // race on the new books.
    if (const Outcome prepared = PrepareDataFolder(dataFolder); !prepared.IsSound()) {
        ShowError(prepared.Reason());
        return 1;
    }

    TDbAccessScope dbAccess;
    // The pass over every page of the books runs while the window shows.
    GDbAccess->Connect(TPageCheck::Afterwards);
    if (!GDbAccess->Connected())
        return 0;

    QCoreApplication::setApplicationName(kAppTitle);
    // The program ends when the main window is closed after the exit question,
    // not when the last window happens to go: with the main window in the
    // tray, closing a dialog or the note must not end it.
    TApplication::setQuitOnLastWindowClosed(false);
    int status = 0;
    {
        TFormMain mainWindow;
        QObject::connect(&mainWindow, &TFormMain::TerminateRequested, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        QObject::connect(&mainWindow, &TFormMain::ExitConfirmed, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        TTermSignal termSignal;
        QObject::connect(&termSignal, &TTermSignal::Received, &mainWindow, &TFormMain::EndSession);
        mainWindow.show();
        // After the login, over the shown window, once the books may be
        // written; the scheduled records once the first-start assistant has
        // had its turn.
        QMetaObject::invokeMethod(
            &mainWindow,
            [&mainWindow] {
                GDbAccess->AfterPageCheck(&mainWindow, [&mainWindow] {
                    mainWindow.OfferFirstStart();
                    if (mainWindow.isVisible())
                        mainWindow.CheckSchedules();
                });
            },
            Qt::QueuedConnection);
        status = TApplication::exec();
    }
    return status;
}
