#include "ExportBooks.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TFormExport::TFormExport(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormExport"));
    setWindowTitle(QStringLiteral("导出"));
    auto *layout = new QVBoxLayout(this);
    rbQuery = new QRadioButton(QStringLiteral("主窗口当前查询到的记录（CSV 表格）"), this);
    rbQuery->setAccessibleName(QStringLiteral("导出当前查询的记录"));
    rbQuery->setChecked(true);
    rbPeriod = new QRadioButton(QStringLiteral("指定期间的记录（CSV 表格）"), this);
    rbPeriod->setAccessibleName(QStringLiteral("导出指定期间的记录"));
    rbJournal = new QRadioButton(
        QStringLiteral("全部账目（纯文本复式记账格式，hledger、ledger 等软件可以读取）"), this);
    rbJournal->setAccessibleName(QStringLiteral("导出全部账目"));
    layout->addWidget(rbQuery);
    layout->addWidget(rbPeriod);

    auto *period = new QHBoxLayout;
    const QDate today = QDate::currentDate();
    dtBegin = new QDateEdit(QDate(today.year(), today.month(), 1), this);
    dtBegin->setAccessibleName(QStringLiteral("起始日期"));
    dtBegin->setCalendarPopup(true);
    dtEnd = new QDateEdit(today, this);
    dtEnd->setAccessibleName(QStringLiteral("终止日期"));
    dtEnd->setCalendarPopup(true);
    auto *from = new QLabel(QStringLiteral("从(&B)"), this);
    from->setBuddy(dtBegin);
    auto *to = new QLabel(QStringLiteral("到(&E)"), this);
    to->setBuddy(dtEnd);
    period->addSpacing(24);
    period->addWidget(from);
    period->addWidget(dtBegin);
    period->addWidget(to);
    period->addWidget(dtEnd);
    period->addStretch(1);
    layout->addLayout(period);
    layout->addWidget(rbJournal);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnOK = new QPushButton(QStringLiteral("确定"), this);
    btnOK->setAccessibleName(QStringLiteral("确定"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("取消"), this);
    btnCancel->setAccessibleName(QStringLiteral("取消"));
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    const auto enablePeriod = [this] {
        dtBegin->setEnabled(rbPeriod->isChecked());
        dtEnd->setEnabled(rbPeriod->isChecked());
    };
    enablePeriod();
    connect(rbPeriod, &QRadioButton::toggled, this, enablePeriod);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TFormExport::TChoice TFormExport::Choice() const
{
    if (rbPeriod->isChecked())
        return ExportPeriod;
    return rbJournal->isChecked() ? ExportJournal : ExportQuery;
}

QDate TFormExport::Begin() const
{
    return dtBegin->date();
}

QDate TFormExport::End() const
{
    return dtEnd->date();
}
