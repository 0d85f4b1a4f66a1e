#include "ExportBooks.h"

#include "ui_ExportBooks.h"

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
