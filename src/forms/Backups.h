#pragma once

#include "BaseDlg.h"

#include <memory>

namespace Ui {
class TFormBackups;
}

class QTreeWidget;

// The automatic backups, newest first, with their time, size, record count
// and the date of their last record; one that cannot be restored is listed
// with the reason and cannot be chosen.
class TFormBackups : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormBackups(const QString &folder, QWidget *parent = nullptr);
    ~TFormBackups() override;

    // The copy chosen with OK.
    QString FileName() const { return FFileName; }
    QTreeWidget *List() const;

protected:
    void btnOKClick() override;

private:
    std::unique_ptr<Ui::TFormBackups> ui;
    QString FFileName;
};

// Shows the list of the copies in the folder; the chosen file, or an empty
// text when the user cancelled.
QString ShowBackups(const QString &folder);
