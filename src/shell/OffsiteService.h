#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLabel;
class TAutoBackup;
class TOffsiteUpload;

// The off-site copies while the program runs: the automatic copy made at
// start (or, when none was due, the newest one the server lacks) and the one
// made at the end go to the user's WebDAV folder, with the progress in the
// main window's status area. Lives on the user-interface thread.
class TOffsiteService : public QObject
{
    Q_OBJECT

public:
    // `status` shows what the upload is doing; it is hidden while there is
    // nothing to say.
    TOffsiteService(TAutoBackup &autoBackup, QLabel *status, QObject *parent = nullptr);
    ~TOffsiteService() override;

    // After the automatic backup's start: its copy goes off-site when made;
    // when none is being made, the newest copy goes unless the server has it.
    void AtStart(const QString &backupFolder);
    // Before the automatic backup's copy at the end.
    void BeforeExitCopy();
    // At the end: waits for the upload under way, with its progress and the
    // choice to finish it next time instead.
    void AtExit();

Q_SIGNALS:
    // An upload failed while the program runs; the reason in the user's words.
    void Failed(const QString &reason);

private:
    void Upload(const QString &copyFile);
    void ShowProgress(const QString &step, int percent);
    void Finish(const QString &failure);

    TAutoBackup &FAutoBackup;
    QLabel *FStatus;
    std::unique_ptr<TOffsiteUpload> FUpload;
    bool FWanted = false; // the next copy made goes off-site
    QString FPending; // a copy to upload when the one under way is done
    bool FExiting = false;
};
