#include "Startup.h"

#include "AppIcon.h"
#include "Application.h"
#include "ChineseLocale.h"
#include "DataFolder.h"
#include "Globals.h"
#include "InstanceLock.h"
#include "Main.h"
#include "TermSignal.h"

#include "data/DbAccess.h"
#include "data/UntPublic.h"

#include <QCommandLineParser>
#include <QDir>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTranslator>
#include <cstdio>
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

const QCommandLineOption
    kDataDir(QStringLiteral("data-dir"),
             QStringLiteral("存放 bookkeep.dat 和日志的目录（默认为程序所在目录；安装的程序为 "
                            "~/.local/share/bookkeep）。"),
             QStringLiteral("目录"));

// Names the program and reads its command line. Prints the help, the
// version, or what is wrong with the command line, and then returns false
// with the exit status. Qt's own texts (standard buttons, file dialogs, the
// help) are Chinese like the rest, through the translator.
bool ReadCommandLine(QTranslator &qtTranslator, QCommandLineParser &parser, int &status)
{
    QCoreApplication::setApplicationName(QStringLiteral("bookkeep"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BOOKKEEP_VERSION));
    if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);
    parser.setApplicationDescription(QStringLiteral("记账软件：账户、收支记录与查询。"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addOption(kDataDir);
    status = 0;
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(parser.errorText()));
        status = 1;
    } else if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qUtf8Printable(parser.helpText()), stdout);
    } else if (parser.isSet(version)) {
        std::printf("%s %s\n", qUtf8Printable(QCoreApplication::applicationName()),
                    qUtf8Printable(QCoreApplication::applicationVersion()));
    } else {
        return true;
    }
    return false;
}

// Whether the command line asks only for the help or the version, which
// must print without a display.
bool AsksForHelpOrVersion(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const QByteArrayView argument(argv[i]);
        if (argument == "--")
            break;
        if (argument == "-h" || argument == "--help" || argument == "--help-all" || argument == "-v"
            || argument == "--version")
            return true;
    }
    return false;
}

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
    if (const QString failure = PrepareDataFolder(dataFolder); !failure.isEmpty()) {
        ShowError(failure);
        return 1;
    }

    TDbAccessScope dbAccess;
    GDbAccess->Connect();
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
        status = TApplication::exec();
    }
    return status;
}
