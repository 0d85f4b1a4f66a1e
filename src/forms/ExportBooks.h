#pragma once

#include "ledger/RecordFilter.h"

#include <QDialog>

#include <memory>
#include <optional>

namespace Ui {
class TFormExport;
}

// 导出: what to write out: the records of the main window's query or of a
// period as CSV, or the whole books as an accounting journal.
class TFormExport : public QDialog
{
    Q_OBJECT

public:
    enum TChoice { ExportQuery, ExportPeriod, ExportJournal };

    explicit TFormExport(QWidget *parent = nullptr);
    ~TFormExport() override;

    TChoice Choice() const;
    // The records of the chosen period, its first and last day included.
    RecordFilter Period() const;
    // Writes what was chosen to fileName (`query`: the main window's query)
    // while the window waits, with its progress and a cancel button. How many
    // records and transfers were written; none when the user cancelled.
    std::optional<int> Write(const QString &fileName, const RecordFilter &query) const;

private:
    std::unique_ptr<Ui::TFormExport> ui;
};
