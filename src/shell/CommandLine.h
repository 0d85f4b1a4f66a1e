#pragma once

#include <QCommandLineOption>

class QCommandLineParser;
class QTranslator;

// The program's command line, read before any window exists.

// --data-dir DIR: where the books and the logs live.
extern const QCommandLineOption kDataDir;

// Names the program and reads its command line. Prints the help, the
// version, or what is wrong with the command line, and then returns false
// with the exit status. Qt's own texts (standard buttons, file dialogs, the
// help) are Chinese like the rest, through the translator.
bool ReadCommandLine(QTranslator &qtTranslator, QCommandLineParser &parser, int &status);

// Whether the command line asks only for the help or the version, which
// must print without a display.
bool AsksForHelpOrVersion(int argc, char **argv);
