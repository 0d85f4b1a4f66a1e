#pragma once

#include "BaseDlg.h"

#include <memory>

namespace Ui {
class TFormBackups;
}

namespace AutoBackup {
struct TCopy;
}

class QTreeWidget;
class TJob;

// The automatic backups, newest first, with their time and size at once;
// each copy's record count, the date of its last record and whether it can
// be restored fill in as a worker thread checks it. A copy not yet checked,
// or one that cannot be restored (listed with the reason), cannot be chosen.
// Closing the window cancels the checks not yet done.
class TFormBackups : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormBackups(const QString &folder, QWidget *parent = nullptr);
    ~TFormBackups() override;

    // The copy chosen with OK.
    QString FileName() const { return FFileName; }
    QTreeWidget *List() const;
    // Whether every copy has been checked.
    bool Checked() const { return FUnchecked == 0; }

protected:
    void btnOKClick() override;

private:
    void ShowCopy(int row, const AutoBackup::TCopy &copy);

    std::unique_ptr<Ui::TFormBackups> ui;
    std::unique_ptr<TJob> FCheck;
    int FUnchecked = 0;
    QString FFileName;
};

// Shows the list of the copies in the folder; the chosen file, or an empty
// text when the user cancelled.
QString ShowBackups(const QString &folder);
