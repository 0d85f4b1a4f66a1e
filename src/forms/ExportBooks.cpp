#include "ExportBooks.h"

#include "ui_ExportBooks.h"

#include "exchange/Export.h"
#include "shell/JobRunner.h"

TFormExport::TFormExport(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFormExport>())
{
    ui->setupUi(this);
    const QDate today = QDate::currentDate();
    ui->dtBegin->setDate(QDate(today.year(), today.month(), 1));
    ui->dtEnd->setDate(today);
    const auto enablePeriod = [this] {
        ui->dtBegin->setEnabled(ui->rbPeriod->isChecked());
        ui->dtEnd->setEnabled(ui->rbPeriod->isChecked());
    };
    enablePeriod();
    connect(ui->rbPeriod, &QRadioButton::toggled, this, enablePeriod);
    connect(ui->btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TFormExport::~TFormExport() = default;

TFormExport::TChoice TFormExport::Choice() const
{
    if (ui->rbPeriod->isChecked())
        return ExportPeriod;
    return ui->rbJournal->isChecked() ? ExportJournal : ExportQuery;
}

RecordFilter TFormExport::Period() const
{
    return RecordFilter::Days(ui->dtBegin->date(), ui->dtEnd->date());
}

std::optional<int> TFormExport::Write(const QString &fileName, const RecordFilter &query) const
{
    const TChoice choice = Choice();
    const RecordFilter filter = choice == ExportPeriod ? Period() : query;
    // Set once the file has its name, even when a stop came too late.
    std::optional<int> written;
    RunJob(
        QStringLiteral("正在导出…"),
        [&](TJob &job) {
            written = choice == ExportJournal
                ? BooksExport::WriteJournal(fileName, Hooks(job))
                : BooksExport::WriteRecordsCsv(fileName, filter, Hooks(job));
        },
        {}, TJobBooks::Used);
    return written;
}
