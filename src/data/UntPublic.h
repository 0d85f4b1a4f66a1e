#pragma once

#include <QString>
#include <QStringList>

class TListModel;

// The program's directory (or the --data-dir given), with a trailing '/'.
// The database, the logs and the safety copy of a restore all live there.
extern QString AppPath;

enum class TBoxKind { Info, Confirm, Error };
enum class TFileDialogKind { Open, Save };

// Every message box, file dialog and shell request goes through the one
// installed prompt object, so that tests can answer and record them.
class TPrompt
{
public:
    virtual ~TPrompt() = default;
    // Shows a box; the result is the answer of a confirmation (true for Yes).
    virtual bool Box(TBoxKind kind, const QString &caption, const QString &text) = 0;
    // The chosen file name, or empty when cancelled.
    virtual QString FileDialog(TFileDialogKind kind, const QString &filter) = 0;
    // The existing files chosen, or none when cancelled. A prompt that offers
    // one file at a time answers with the file FileDialog opens.
    virtual QStringList FilesDialog(const QString &filter)
    {
        const QString fileName = FileDialog(TFileDialogKind::Open, filter);
        return fileName.isEmpty() ? QStringList() : QStringList {fileName};
    }
    // Opens a document or web address with the program the system associates.
    virtual void OpenDocument(const QString &target) = 0;
};

// Installs a prompt object (not owned) and returns the one before it. Without
// one, boxes go to the standard error stream and confirmations answer No.
TPrompt *SetPrompt(TPrompt *prompt);
TPrompt &Prompt();

void ShowInfo(const QString &text);
bool ShowConfirm(const QString &text);
void ShowError(const QString &text);
// The error box with the headline and the details; a failed statement
// (a non-empty statement text) is also written to the day's log.
void ShowErrorDetail(const QString &title, const QString &message, const QString &sqlText);
// Appends a time-stamped entry to AppPath/LogYYYYMMDD.log; never raises.
void WriteLog(const QString &text);
void OpenDocument(const QString &target);
// Whether a name is empty to the eye: nothing but blanks and control
// characters. Such names are refused, since no one could tell them apart.
bool IsBlankName(const QString &name);
// Replaces the rows of the list with the rows of the query.
void FillListView(const QString &sql, TListModel &list);
