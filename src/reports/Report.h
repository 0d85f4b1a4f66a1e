#pragma once

#include "UntReport.h"

#include "ledger/Budgets.h"

#include <QWidget>
#include <array>
#include <memory>

class QChartView;
class QLabel;
class QTreeView;
class TReportTableModel;

namespace Ui {
class TFormReport;
}

// The report window: where the money goes by category, income and expense
// month by month, and the balance at each month's end, each as a chart above
// a table of the exact figures. Modeless; at most one is open.
class TFormReport : public QWidget
{
    Q_OBJECT

public:
    enum TReport { rpCategory, rpTrend, rpBalance };

    explicit TFormReport(QWidget *parent = nullptr);
    ~TFormReport() override;

    // The records the reports cover: the chosen days, on the chosen account.
    RecordFilter Filter() const;
    void SetQuickPeriod(TQuickPeriod which);
    // Reads the accounts and the report on show again.
    void Refresh();
    // Expense (or income) by category, from the top of its tree.
    void ShowKind(bool income);
    // Opens a category's children; a category without any stays as it is.
    void OpenCategory(qint32 id);
    void btnUpClick();
    void btnCopyClick();
    void btnSaveCsvClick();
    void btnSavePngClick();

    TReport CurrentReport() const;
    const TReportTable &Table(TReport report) const { return FTables[report]; }
    QChartView *ChartView(TReport report) const { return FViews[report]; }
    // The text shown instead of a chart that has nothing to show, or empty.
    QString EmptyText(TReport report) const;
    qint32 CategoryNode() const { return FNode; }
    const std::vector<TCategoryLine> &CategoryLines() const { return FLines; }
    const std::vector<TSlice> &Slices() const { return FSlices; }
    const TCategoryFigures &CategoryFigures() const { return FFigures; }
    const std::vector<TMonthFigures> &Trend() const { return FTrend; }
    const std::vector<TBalancePoint> &Balance() const { return FBalance; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    std::unique_ptr<Ui::TFormReport> ui;

    void LoadAccounts();
    void PeriodEdited();
    void QuickChosen(int index);
    // Marks every report out of date and builds the one on show.
    void Invalidate();
    void ShowCurrent();
    // Each reads its figures as a job, then shows them; false when the job
    // was cancelled, the report left as it was.
    bool BuildCategory();
    void ShowCategoryLines();
    // Adds a last column with the budget of each category line that has one.
    void AddBudgetColumn(TReportTable &table) const;
    bool BuildTrend();
    bool BuildBalance();
    void LineClicked(int row);
    void SetEmpty(TReport report, const QString &text);

    std::array<QChartView *, 3> FViews {};
    std::array<QLabel *, 3> FEmpty {};
    std::array<TReportTableModel *, 3> FModels {};
    std::array<TReportTable, 3> FTables;
    std::array<bool, 3> FBuilt {};
    quint64 FGeneration = 0; // counts the invalidations
    bool FBuilding = false;
    TCategoryFigures FFigures;
    std::array<TCategoryTree, 2> FTrees; // expense, income
    QList<TBudget> FBudgets; // shown beside the expense categories they are on
    bool FIncome = false;
    qint32 FNode = 0;
    std::vector<TCategoryLine> FLines;
    std::vector<TSlice> FSlices;
    std::vector<TMonthFigures> FTrend;
    std::vector<TBalancePoint> FBalance;
    bool FShown = false;
};

// The report window that is open, or null.
TFormReport *OpenReportWindow();
// Opens the report window over `owner`, or brings the open one forward.
void ShowReport(QWidget *owner);
