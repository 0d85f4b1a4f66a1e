#include "CommandLine.h"

#include <QByteArrayView>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>

const QCommandLineOption
    kDataDir(QStringLiteral("data-dir"),
             QStringLiteral("存放 bookkeep.dat 和日志的目录（默认为程序所在目录；安装的程序为 "
                            "~/.local/share/bookkeep）。"),
             QStringLiteral("目录"));

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
