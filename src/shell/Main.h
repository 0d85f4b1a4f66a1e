#pragma once

#include "ledger/RecordFilter.h"

#include <QDate>
#include <QMainWindow>
#include <memory>

class QAction;
class QMenu;
class QSessionManager;
class QSystemTrayIcon;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class TAutoBackup;
class TOffsiteService;
class TCardTree;
class TListModel;

namespace Ui {
class TFormMain;
}

// The main window: the two category trees, the query controls, the record
// list of the chosen period and its totals.
class TFormMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TFormMain(QWidget *parent = nullptr);
    ~TFormMain() override;

    // The record query: builds the filter, fills the list, recomputes totals.
    void btnQueryClick();
    // The records the query lists: the pickers' period, the category chosen
    // in either tree, the remark pattern.
    RecordFilter QueryFilter() const;
    void CalcTotals();

    void N3Click(); // delete the selected record
    void N5Click(); // clear both tree selections and query again
    void tv1Click();
    void tv2Click();
    void NAddIETypeClick();
    void NModIeTypeClick();
    void NDelIETypeClick();
    void N12Click();
    void MenuItem4Click();
    void MenuItem5Click();
    void MenuItem6Click();
    void N14Click();

    void N1Click(); // new record
    void N2Click(); // change the selected record
    void btnSystemClick(); // the settings menu at the cursor
    void N10Click(); // account window
    void NReportClick(); // report window
    void N15Click(); // settings dialog
    void Ndfdf1Click(); // backup
    void MenuItem3Click(); // restore
    void NAutoRestoreClick(); // restore from the list of automatic backups
    void NOffsiteClick(); // the off-site copies: where they go, restore from there
    void NImportClick(); // import a statement
    void NImportRulesClick(); // the rules that file imported rows
    void NExportClick(); // export records or the whole books
    void NOpenWWW1Click(); // homepage
    void NHelpClick(); // the help window
    void N4Click(); // new record from the tray
    void N8Click(); // homepage from the tray
    void btn1Click(); // note window
    void NShowFormClick(); // bring the window back from the tray
    void NCloseClick(); // close, after the exit question
    void chk1Click(); // autostart on or off
    void NUndoClick(); // take back the last change of the books
    void NRedoClick(); // do again the last change taken back
    void NTransferClick(); // transfer between accounts
    void NSchedulesClick(); // the scheduled records
    // Looks at the scheduled records on today's date: the automatic ones due
    // are posted, the ones that ask are shown in the due window. Runs after
    // the start, when the date changes and after a restore.
    void CheckSchedules();
    // On books with neither an account nor a category, the assistant that
    // sets them up; then the window shows what it wrote.
    void OfferFirstStart();
    // Names the undo and redo items of the record list's menu after their
    // steps, and enables each only when it has a step to take.
    void UpdateUndoItems();
    // The system asks the program to end: the note is kept and the window
    // closes without the exit question.
    void EndSession();

    TListModel &Records() const { return *FRecords; }
    TCardTree &InTree() const { return *FInTree; }
    TCardTree &OutTree() const { return *FOutTree; }
    QSystemTrayIcon *TrayIcon() const { return FTrayIcon; }
    QMenu *SystemMenu() const { return FSystemMenu; }
    QMenu *TrayMenu() const { return FTrayMenu; }
    // The automatic backups; an import calls BeforeChange before it writes.
    TAutoBackup &AutoBackup() const { return *FAutoBackup; }

Q_SIGNALS:
    // The login was refused or the login setting could not be read: the
    // program must end without serving a command.
    void TerminateRequested();
    // The user confirmed the exit question: the program ends.
    void ExitConfirmed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::unique_ptr<Ui::TFormMain> ui;

    // The builders of the window, in the order the constructor calls them.
    void CreateViews();
    void CreateMenus();
    void CreateTray();
    void ConnectCommands();
    void CreateShortcuts();
    // The autostart box, the session's end and the automatic backups.
    void CreateServices();
    void FormShow();
    void RequestTermination();
    // Label editing of a category (the rename command) and its end.
    void EditType(const TCardTree &tree);
    void TypeEdited(TCardTree &tree, const QString &newText);
    void DeleteType(TCardTree &tree);
    void TreeClick(QTreeWidget *other);
    void NameTotals();
    void OpenHomepage();
    // Saves the open note and asks the exit question once; true when the
    // program may end.
    bool ConfirmExit();
    // Restores the books from a file checked first on a worker thread; false
    // when the user cancelled the check.
    bool RestoreFile(const QString &fileName);
    // The desktop session is ending: the note is saved and the user asked.
    void CommitData(QSessionManager &manager);
    // A failed automatic backup: in the tray's balloon, or in an error box
    // where there is no tray or the program is ending.
    void BackupFailed(const QString &reason);
    // A warning in the tray's balloon, or in an error box where there is no
    // tray or the program is ending.
    void ShowWarning(const QString &text);
    // Takes back (or does again) the top step, if any, and shows the result.
    void ReplayStep(bool redo);
    // A message in the tray's balloon; false where there is no tray to show it.
    bool TrayMessage(const QString &text);
    // After an undo or redo: the trees and the list show the books anew.
    void ShowChangedBooks();
    // The trees take in the categories a dialog's category picker added.
    void RefreshTrees();

    std::unique_ptr<TListModel> FRecords;
    std::unique_ptr<TCardTree> FInTree;
    std::unique_ptr<TCardTree> FOutTree;
    QSystemTrayIcon *FTrayIcon = nullptr;
    QMenu *FSystemMenu = nullptr;
    QAction *FReportAction = nullptr;
    QAction *FAutoRestoreAction = nullptr;
    QAction *FOffsiteAction = nullptr;
    QAction *FImportAction = nullptr;
    QAction *FImportRulesAction = nullptr;
    QAction *FExportAction = nullptr;
    QAction *FUndoAction = nullptr;
    QAction *FRedoAction = nullptr;
    QAction *FTransferAction = nullptr;
    QAction *FHelpAction = nullptr;
    QAction *FSchedulesAction = nullptr;
    QMenu *FTrayMenu = nullptr;
    std::unique_ptr<TAutoBackup> FAutoBackup;
    QTimer *FScheduleTimer = nullptr; // looks for a new date
    QDate FScheduleDay; // the date the schedules were last looked at
    bool FClockBackTold = false;
    std::unique_ptr<TOffsiteService> FOffsite;
    bool FShown = false;
    bool FExitConfirmed = false;
};
