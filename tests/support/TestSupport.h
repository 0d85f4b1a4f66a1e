#pragma once

#include "data/UntPublic.h"
#include "shell/Globals.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <optional>

// Adds a data column "folder" with a row for each sample statement beside the
// project that comes with its expected records; false when there are none.
bool AddImportSampleRows();

// A prompt that records every box and answers from a queue (No when empty).
class TRecordingPrompt : public TPrompt
{
public:
    struct TBox
    {
        TBoxKind Kind;
        QString Caption;
        QString Text;
    };

    TRecordingPrompt();
    ~TRecordingPrompt() override;

    bool Box(TBoxKind kind, const QString &caption, const QString &text) override;
    QString FileDialog(TFileDialogKind kind, const QString &filter) override;
    QStringList FilesDialog(const QString &filter) override;
    void OpenDocument(const QString &target) override;

    QList<TBox> Boxes;
    QList<bool> Answers; // answers to the next confirmations, in order
    QStringList FileNames; // answers to the next file dialogs, in order
    QList<QStringList> FileLists; // answers to the next dialogs for several files
    QStringList OpenedDocuments;
    // Called while a box is up, e.g. to check what the window shows then.
    std::function<void(const TBox &)> OnBox;

private:
    TPrompt *FPrevious;
};

// The program's shared objects, made as at start (shell/Globals.h) for the
// books in `dir` (ending in '/'), and GDbAccess connected to them; all freed
// in reverse order.
class TOpenBooks
{
public:
    explicit TOpenBooks(const QString &dir);
    ~TOpenBooks();
    TOpenBooks(const TOpenBooks &) = delete;
    TOpenBooks &operator=(const TOpenBooks &) = delete;

private:
    TGlobalObjects FGlobals;
};

// A fresh copy of the template books in a temporary directory, opened by the
// program's shared objects.
class TTestBooks
{
public:
    TTestBooks();
    QString Dir() const { return FDir.path() + u'/'; }
    QString DatabaseFile() const { return Dir() + QStringLiteral("bookkeep.dat"); }

private:
    QTemporaryDir FDir;
    std::optional<TOpenBooks> FOpen;
};

// The program's log file of today.
QString TodayLog();
// The raw bytes of a file.
QByteArray ReadAll(const QString &fileName);
// Writes a file with the bytes, replacing it; the test ends when it cannot.
void WriteFile(const QString &fileName, const QByteArray &bytes);
// Executes SQL on a database file directly, outside the program's connection.
void RawExec(const QString &fileName, const QString &sql);
// Statements that drop the triggers that write the undo log.
QString DropUndoTriggers();
// Statements that take books back to schema version 7: no schedules and no
// budgets. The caller sets user_version.
QString DropVersion8();
// Statements that take books back to schema version 6: no import links and
// no import rules. The caller sets user_version.
QString DropVersion7();
// Statements that take books back to schema version 5: no transfers and no
// reconciliation points. The caller sets user_version.
QString DropVersion6();
// Statements that take books back to schema version 3, as an older release
// wrote them: no undo history and no triggers writing it. The caller sets
// user_version.
QString DropUndoHistory();
// Every row of the books' tables with the exact type and bytes of each value,
// read outside the program's connection: equal dumps mean equal books.
QByteArray DumpBooks(const QString &fileName);
