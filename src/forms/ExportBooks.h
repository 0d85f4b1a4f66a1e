#pragma once

#include <QDate>
#include <QDialog>

class QDateEdit;
class QRadioButton;
class QPushButton;

// 导出: what to write out: the records of the main window's query or of a
// period as CSV, or the whole books as an accounting journal.
class TFormExport : public QDialog
{
    Q_OBJECT

public:
    enum TChoice { ExportQuery, ExportPeriod, ExportJournal };

    explicit TFormExport(QWidget *parent = nullptr);

    TChoice Choice() const;
    QDate Begin() const;
    QDate End() const;

    QRadioButton *rbQuery;
    QRadioButton *rbPeriod;
    QRadioButton *rbJournal;
    QDateEdit *dtBegin;
    QDateEdit *dtEnd;
    QPushButton *btnOK;
    QPushButton *btnCancel;
};
