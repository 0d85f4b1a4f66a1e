#include "Report.h"

#include "ui_Report.h"

#include "data/DateFormats.h"
#include "data/UException.h"
#include "data/UntPublic.h"
#include "forms/BaseDlg.h"
#include "ledger/UntAccount.h"
#include "shell/JobRunner.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QPainter>
#include <QPieSeries>
#include <QPieSlice>
#include <QSaveFile>
#include <QScopeGuard>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QColor kIncomeColour(0x2e, 0x8b, 0x57);
const QColor kExpenseColour(0xd6, 0x45, 0x41);
const QColor kNetColour(0x2f, 0x5f, 0xb3);
const QColor kBarColour(0x9c, 0xc3, 0xe6);
// Slice colours that stay apart from one another and carry dark text.
const QColor kSliceColours[]
    = {{0x4e, 0x79, 0xa7}, {0xf2, 0x8e, 0x2b}, {0xe1, 0x57, 0x59}, {0x76, 0xb7, 0xb2},
       {0x59, 0xa1, 0x4f}, {0xed, 0xc9, 0x48}, {0xb0, 0x7a, 0xa1}, {0xff, 0x9d, 0xa7},
       {0x9c, 0x75, 0x5f}, {0x86, 0xbc, 0xb6}, {0xba, 0xb0, 0xac}};
const QString kCustomPeriod = QStringLiteral("自定义");
const QString kAllAccounts = QStringLiteral("全部账户");
const QStringList kCategoryHeader {QStringLiteral("排名"), QStringLiteral("类别"),
                                   QStringLiteral("金额"), QStringLiteral("占比"),
                                   QStringLiteral("笔数")};
const QStringList kTrendHeader {QStringLiteral("月份"), QStringLiteral("收入"),
                                QStringLiteral("支出"), QStringLiteral("收入-支出")};
const QStringList kBalanceHeader {QStringLiteral("月份"), QStringLiteral("截至日期"),
                                  QStringLiteral("余额")};
// The column of the category table that names the category.
constexpr int kNameColumn = 1;
// The role of a cell's bar: the line's share, as a fraction.
constexpr int kBarRole = Qt::UserRole + 1;

double Plot(Currency amount)
{
    return double(amount.Units()) / double(Currency::kScale);
}

} // namespace

// A report's exact figures, shown as they are in the table below its chart.
class TReportTableModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    // bars: each row's share, drawn in barColumn; opens: the rows whose
    // name is marked as one that opens to its children.
    void SetTable(const TReportTable &table, std::vector<double> bars = {}, int barColumn = -1,
                  std::vector<bool> opens = {})
    {
        beginResetModel();
        FTable = table;
        FBars = std::move(bars);
        FBarColumn = barColumn;
        FOpens = std::move(opens);
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(FTable.Rows.size());
    }
    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(FTable.Header.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid())
            return {};
        const QStringList &row = FTable.Rows[index.row()];
        switch (role) {
        case Qt::DisplayRole: {
            const QString text = index.column() < row.size()
                ? FTable.Shown(index.row(), index.column())
                : QString();
            const bool opens = index.column() == kNameColumn && size_t(index.row()) < FOpens.size()
                && FOpens[index.row()];
            return opens ? text + QStringLiteral(" ▸") : text;
        }
        case Qt::TextAlignmentRole:
            return int(Text(index.column()) ? Qt::AlignLeft | Qt::AlignVCenter
                                            : Qt::AlignRight | Qt::AlignVCenter);
        case kBarRole:
            if (index.column() == FBarColumn && size_t(index.row()) < FBars.size())
                return FBars[index.row()];
            return {};
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section >= FTable.Header.size())
            return {};
        if (role == Qt::DisplayRole)
            return FTable.Header[section];
        if (role == Qt::TextAlignmentRole)
            return int(Text(section) ? Qt::AlignLeft | Qt::AlignVCenter
                                     : Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }

private:
    bool Text(int column) const
    {
        return column < FTable.TextColumns.size() && FTable.TextColumns[column];
    }

    TReportTable FTable;
    std::vector<double> FBars;
    int FBarColumn = -1;
    std::vector<bool> FOpens;
};

namespace {

// Draws a cell's share as a bar behind its text: the ranked bar list.
class TShareBarDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const QVariant share = index.data(kBarRole);
        if (share.isValid() && share.toDouble() > 0) {
            QRect bar = option.rect.adjusted(2, 3, -2, -3);
            bar.setWidth(std::max(1, int(bar.width() * std::min(1.0, share.toDouble()))));
            painter->fillRect(bar, kBarColour);
        }
        QStyledItemDelegate::paint(painter, option, index);
    }
};

// The month axis. Twelve months: a label for each ("3月") under a title
// naming the span (an axis takes each label once, so no more). Longer: a
// label for each year, centred on its months; a year of fewer than three
// months shown goes without one, which it would have no room for.
QAbstractAxis *MonthAxis(const std::vector<QDate> &months)
{
    if (months.size() <= 12) {
        auto *axis = new QBarCategoryAxis;
        QStringList labels;
        for (const QDate &month : months)
            labels << QStringLiteral("%1月").arg(month.month());
        axis->append(labels);
        if (!months.empty())
            axis->setTitleText(months.front().year() == months.back().year()
                                   ? QStringLiteral("%1年").arg(months.front().year())
                                   : QStringLiteral("%1 至 %2")
                                         .arg(MonthName(months.front()), MonthName(months.back())));
        return axis;
    }
    auto *axis = new QCategoryAxis;
    axis->setRange(-0.5, double(months.size()) - 0.5);
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    bool started = false;
    size_t first = 0;
    for (size_t i = 0; i < months.size(); ++i) {
        if (i + 1 < months.size() && months[i + 1].year() == months[i].year())
            continue;
        const double end = double(i) + 0.5;
        if (i + 1 - first >= 3) {
            if (!started)
                axis->setStartValue(double(first) - 0.5);
            started = true;
            axis->append(QStringLiteral("%1年").arg(months[i].year()), end);
        } else if (!started) {
            axis->setStartValue(end);
        }
        first = i + 1;
    }
    return axis;
}

// The money axis: round values labelled in 元, 万 or 亿.
QCategoryAxis *MoneyAxis(Currency low, Currency high)
{
    const std::vector<TAxisTick> ticks = MoneyTicks(low, high);
    auto *axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setRange(Plot(ticks.front().Value), Plot(ticks.back().Value));
    axis->setStartValue(Plot(ticks.front().Value));
    for (const TAxisTick &tick : ticks)
        axis->append(tick.Label, Plot(tick.Value));
    return axis;
}

QChart *NewChart()
{
    auto *chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 4, 4));
    return chart;
}

QString SavedName(const QString &chosen, const QString &suffix)
{
    return QFileInfo(chosen).suffix().compare(suffix, Qt::CaseInsensitive) == 0
        ? chosen
        : chosen + u'.' + suffix;
}

// A chart as saved: its title and period written above it, and kept as the
// picture's Title and Description too.
QImage TitledPicture(const QPixmap &chart, const QFont &font, const QString &title,
                     const QString &period)
{
    QFont large = font;
    large.setBold(true);
    large.setPointSizeF(font.pointSizeF() * 1.25);
    const QFontMetrics largeMetrics(large), metrics(font);
    constexpr int kMargin = 8;
    const QSize size = chart.deviceIndependentSize().toSize();
    const int top = kMargin + largeMetrics.height() + metrics.height() + kMargin;
    const int width = size.width() - 2 * kMargin;
    const qreal ratio = chart.devicePixelRatio();
    QImage picture(QSize(size.width(), top + size.height()) * ratio, QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    painter.setFont(large);
    painter.drawText(QRect(kMargin, kMargin, width, largeMetrics.height()), Qt::AlignLeft,
                     largeMetrics.elidedText(title, Qt::ElideRight, width));
    painter.setFont(font);
    painter.drawText(QRect(kMargin, kMargin + largeMetrics.height(), width, metrics.height()),
                     Qt::AlignLeft, metrics.elidedText(period, Qt::ElideRight, width));
    painter.drawPixmap(QPoint(0, top), chart);
    painter.end();
    picture.setText(QStringLiteral("Title"), title);
    picture.setText(QStringLiteral("Description"), period);
    return picture;
}

// Runs a report's statements as a job while the window waits: a long one
// shows its progress and may be cancelled. False when it was: figures that
// were done only after the cancel are dropped too, so the report keeps what
// it showed and reads nothing more.
bool ReadFigures(const std::function<void(const TWorkHooks &)> &read)
{
    return RunJob(QStringLiteral("正在统计…"), [&read](TJob &job) {
        read(Hooks(job));
        if (job.Cancelled())
            throw EAbort();
    });
}

[[noreturn]] void SaveFailed(const QString &fileName, const QString &reason)
{
    throw Exception(QStringLiteral("无法保存文件 %1：%2").arg(fileName, reason));
}

} // namespace

TFormReport::TFormReport(QWidget *parent)
    : QWidget(parent, Qt::Window)
    , ui(std::make_unique<Ui::TFormReport>())
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    const QString dateFormat = LongDateFormat();
    for (QDateEdit *picker : {ui->DBBegin, ui->DBOver})
        picker->setDisplayFormat(dateFormat);
    ui->cbbPeriod->addItems({QStringLiteral("本月"), QStringLiteral("上月"), QStringLiteral("今年"),
                             QStringLiteral("去年"), QStringLiteral("近12个月"), kCustomPeriod});
    const auto [begin, end] = QuickPeriod(TQuickPeriod::ThisMonth, QDate::currentDate());
    ui->DBBegin->setDate(begin);
    ui->DBOver->setDate(end);
    ui->cbbAccount->addItem(kAllAccounts);

    QWidget *panels[] = {ui->pnlCategoryChart, ui->pnlTrendChart, ui->pnlBalanceChart};
    QTreeView *views[] = {ui->tvCategory, ui->tvTrend, ui->tvBalance};
    const QString chartNames[] = {QStringLiteral("分类图表"), QStringLiteral("收支趋势图表"),
                                  QStringLiteral("余额走势图表")};
    const QString tableNames[] = {QStringLiteral("分类统计表"), QStringLiteral("收支趋势表"),
                                  QStringLiteral("余额走势表")};
    for (int report = rpCategory; report <= rpBalance; ++report) {
        QWidget *panel = panels[report];
        auto *layout = new QVBoxLayout(panel);
        layout->setContentsMargins(0, 0, 0, 0);
        FViews[report] = new QChartView(NewChart(), panel);
        FViews[report]->setRenderHint(QPainter::Antialiasing);
        FViews[report]->setAccessibleName(chartNames[report]);
        layout->addWidget(FViews[report]);
        FEmpty[report] = new QLabel(panel);
        FEmpty[report]->setAlignment(Qt::AlignCenter);
        FEmpty[report]->setWordWrap(true);
        QPalette grey = FEmpty[report]->palette();
        grey.setColor(QPalette::WindowText, grey.color(QPalette::PlaceholderText));
        FEmpty[report]->setPalette(grey);
        FEmpty[report]->hide();
        layout->addWidget(FEmpty[report]);
        FModels[report] = new TReportTableModel(this);
        views[report]->setModel(FModels[report]);
        views[report]->setAccessibleName(tableNames[report]);
        views[report]->header()->setStretchLastSection(false);
        views[report]->header()->setMinimumSectionSize(90);
        views[report]->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    }
    // Each table shows its captions before it has any figures.
    FTables[rpCategory].Header = kCategoryHeader;
    FTables[rpTrend].Header = kTrendHeader;
    FTables[rpBalance].Header = kBalanceHeader;
    for (int report = rpCategory; report <= rpBalance; ++report)
        FModels[report]->SetTable(FTables[report]);
    // The share column is the ranked bar list's bars: room to tell them apart.
    ui->tvCategory->header()->setSectionResizeMode(3, QHeaderView::Fixed);
    ui->tvCategory->header()->resizeSection(3, 200);
    // The chart takes the larger part, room for a legend of eleven slices.
    for (QSplitter *splitter : {ui->splCategory, ui->splTrend, ui->splBalance}) {
        splitter->setStretchFactor(0, 3);
        splitter->setStretchFactor(1, 2);
        splitter->setSizes({400, 200});
    }
    ui->tvCategory->setItemDelegate(new TShareBarDelegate(ui->tvCategory));
    ui->tvCategory->setToolTip(QStringLiteral("单击有下级的类别，查看其下级类别"));
    ui->tvCategory->setAccessibleDescription(ui->tvCategory->toolTip());
    ui->pgReports->setAccessibleName(QStringLiteral("统计报表"));
    ui->btnUp->setToolTip(QStringLiteral("回到上一级类别"));

    // Commands run as events of their own (queued), so that a failure, which
    // ends the command, never unwinds through the internals of a control.
    const auto command = [this](auto *sender, auto signal, auto slot) {
        connect(sender, signal, this, slot, Qt::QueuedConnection);
    };
    command(ui->DBBegin, &QDateEdit::dateChanged, &TFormReport::PeriodEdited);
    command(ui->DBOver, &QDateEdit::dateChanged, &TFormReport::PeriodEdited);
    command(ui->cbbPeriod, &QComboBox::activated, &TFormReport::QuickChosen);
    command(ui->cbbAccount, &QComboBox::activated, &TFormReport::Invalidate);
    command(ui->btnRefresh, &QPushButton::clicked, &TFormReport::Refresh);
    command(ui->pgReports, &QTabWidget::currentChanged, &TFormReport::ShowCurrent);
    command(ui->btnUp, &QPushButton::clicked, &TFormReport::btnUpClick);
    command(ui->btnCopy, &QPushButton::clicked, &TFormReport::btnCopyClick);
    command(ui->btnSaveCsv, &QPushButton::clicked, &TFormReport::btnSaveCsvClick);
    command(ui->btnSavePng, &QPushButton::clicked, &TFormReport::btnSavePngClick);
    command(ui->btnClose, &QPushButton::clicked, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, ui->btnClose, &QPushButton::click);
    connect(
        ui->rbIncome, &QRadioButton::toggled, this, [this](bool income) { ShowKind(income); },
        Qt::QueuedConnection);
    connect(
        ui->tvCategory, &QAbstractItemView::clicked, this,
        [this](const QModelIndex &index) { LineClicked(index.row()); }, Qt::QueuedConnection);
    // Enter opens the current line's children, as a click does.
    auto *open = new QShortcut(QKeySequence(Qt::Key_Return), ui->tvCategory, nullptr, nullptr,
                               Qt::WidgetShortcut);
    connect(
        open, &QShortcut::activated, this,
        [this] { LineClicked(ui->tvCategory->currentIndex().row()); }, Qt::QueuedConnection);
}

TFormReport::~TFormReport() = default;

void TFormReport::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    CentreOnMainWindow(this);
    QMetaObject::invokeMethod(this, &TFormReport::Refresh, Qt::QueuedConnection);
}

RecordFilter TFormReport::Filter() const
{
    RecordFilter filter = RecordFilter::Days(ui->DBBegin->date(), ui->DBOver->date());
    if (ui->cbbAccount->currentIndex() > 0)
        filter.Account = ui->cbbAccount->currentText();
    return filter;
}

void TFormReport::SetQuickPeriod(TQuickPeriod which)
{
    const auto [begin, end] = QuickPeriod(which, QDate::currentDate());
    {
        const QSignalBlocker blockBegin(ui->DBBegin);
        const QSignalBlocker blockOver(ui->DBOver);
        ui->DBBegin->setDate(begin);
        ui->DBOver->setDate(end);
    }
    ui->cbbPeriod->setCurrentIndex(int(which));
    Invalidate();
}

void TFormReport::QuickChosen(int index)
{
    if (index >= int(TQuickPeriod::ThisMonth) && index <= int(TQuickPeriod::Last12Months))
        SetQuickPeriod(TQuickPeriod(index));
}

void TFormReport::PeriodEdited()
{
    ui->cbbPeriod->setCurrentIndex(ui->cbbPeriod->findText(kCustomPeriod));
    Invalidate();
}

void TFormReport::LoadAccounts()
{
    QStringList names;
    GAccount->ListAccountNames(names);
    const QString chosen
        = ui->cbbAccount->currentIndex() > 0 ? ui->cbbAccount->currentText() : QString();
    const QSignalBlocker blocker(ui->cbbAccount);
    ui->cbbAccount->clear();
    ui->cbbAccount->addItem(kAllAccounts);
    ui->cbbAccount->addItems(names);
    // An account renamed or deleted since falls back to all accounts.
    ui->cbbAccount->setCurrentIndex(chosen.isEmpty() ? 0 : int(names.indexOf(chosen)) + 1);
}

void TFormReport::Refresh()
{
    LoadAccounts();
    Invalidate();
}

void TFormReport::Invalidate()
{
    FBuilt.fill(false);
    ++FGeneration;
    ShowCurrent();
}

TFormReport::TReport TFormReport::CurrentReport() const
{
    return TReport(std::clamp(ui->pgReports->currentIndex(), int(rpCategory), int(rpBalance)));
}

void TFormReport::ShowCurrent()
{
    // Commands queued before the statements began arrive while they run:
    // they leave the building to the one under way, which looks again when
    // its statements are done.
    if (FBuilding)
        return;
    FBuilding = true;
    const auto done = qScopeGuard([this] { FBuilding = false; });
    for (TReport report = CurrentReport(); !FBuilt[report]; report = CurrentReport()) {
        const quint64 generation = FGeneration;
        bool built = false;
        switch (report) {
        case rpCategory:
            built = BuildCategory();
            break;
        case rpTrend:
            built = BuildTrend();
            break;
        case rpBalance:
            built = BuildBalance();
            break;
        }
        // Cancelled: the report stays as it was, and is read again when next shown.
        if (!built)
            return;
        // Figures of a filter changed meanwhile are read again at once.
        FBuilt[report] = generation == FGeneration;
    }
}

QString TFormReport::EmptyText(TReport report) const
{
    return FEmpty[report]->isHidden() ? QString() : FEmpty[report]->text();
}

void TFormReport::SetEmpty(TReport report, const QString &text)
{
    FEmpty[report]->setText(text);
    FEmpty[report]->setVisible(!text.isEmpty());
    FViews[report]->setVisible(text.isEmpty());
    FViews[report]->setAccessibleDescription(text);
}

// ---- by category -------------------------------------------------------------

bool TFormReport::BuildCategory()
{
    const RecordFilter filter = Filter();
    TCategoryFigures figures;
    if (!ReadFigures([&](const TWorkHooks &hooks) { figures = QueryCategorySums(filter, hooks); }))
        return false;
    FFigures = std::move(figures);
    FTrees[0].Load(false);
    FTrees[1].Load(true);
    FBudgets = Budgets::List();
    if (FNode != 0 && !FTrees[FIncome].Exists(FNode))
        FNode = 0;
    const Currency net = FFigures.IncomeTotal - FFigures.ExpenseTotal;
    ui->lblCategoryTotals->setText(
        QStringLiteral("记录数：%1    收入合计：%2    支出合计：%3    收入-支出：%4")
            .arg(FFigures.Count)
            .arg(YuanText(FFigures.IncomeTotal), YuanText(FFigures.ExpenseTotal), YuanText(net)));
    ShowCategoryLines();
    return true;
}

void TFormReport::ShowKind(bool income)
{
    if (ui->rbIncome->isChecked() != income) {
        const QSignalBlocker blocker(ui->rbIncome);
        (income ? ui->rbIncome : ui->rbExpense)->setChecked(true);
    }
    FIncome = income;
    FNode = 0;
    if (FBuilt[rpCategory])
        ShowCategoryLines();
    else if (CurrentReport() == rpCategory)
        ShowCurrent();
}

void TFormReport::OpenCategory(qint32 id)
{
    if (!FTrees[FIncome].Exists(id) || !FTrees[FIncome].HasChildren(id))
        return;
    FNode = id;
    ShowCategoryLines();
}

void TFormReport::btnUpClick()
{
    if (FNode == 0)
        return;
    FNode = FTrees[FIncome].Parent(FNode);
    ShowCategoryLines();
}

void TFormReport::LineClicked(int row)
{
    if (row >= 0 && size_t(row) < FLines.size()
        && FLines[row].Kind == TCategoryLine::TKind::Category)
        OpenCategory(FLines[row].Id);
}

void TFormReport::ShowCategoryLines()
{
    const TCategoryTree &tree = FTrees[FIncome];
    const std::vector<TCategorySum> &sums = FIncome ? FFigures.Income : FFigures.Expense;
    FLines = Breakdown(sums, tree, FNode);
    FSlices = PieSlices(FLines);
    const Currency total = LinesTotal(FLines);
    const Currency positive = PositiveTotal(FLines);
    const QString kind = FIncome ? QStringLiteral("收入") : QStringLiteral("支出");

    QStringList path = tree.Path(FNode);
    path.prepend(QStringLiteral("全部") + kind);
    ui->lblPath->setText(path.join(QStringLiteral(" › ")));
    ui->btnUp->setEnabled(FNode != 0);

    TReportTable table;
    table.Header = kCategoryHeader;
    table.TextColumns = {false, true, false, false, false};
    table.MoneyColumns = {false, false, true, false, false};
    std::vector<double> bars;
    std::vector<bool> opens;
    qint64 count = 0;
    for (size_t i = 0; i < FLines.size(); ++i) {
        const TCategoryLine &line = FLines[i];
        opens.push_back(line.HasChildren);
        table.Rows.append({QString::number(i + 1), line.Name, line.Amount.ToString(),
                           ShareText(line.Amount, positive), QString::number(line.Count)});
        bars.push_back(std::max(0.0, Share(line.Amount, positive)));
        count += line.Count;
    }
    // Lines below zero take away from the total, which is then no longer the
    // whole the shares are of.
    if (!FLines.empty())
        table.Rows.append({QString(), QStringLiteral("合计"), total.ToString(),
                           total == positive ? ShareText(total, total) : QString(),
                           QString::number(count)});
    if (!FIncome && !FBudgets.isEmpty())
        AddBudgetColumn(table);
    FTables[rpCategory] = table;
    FModels[rpCategory]->SetTable(table, std::move(bars), 3, std::move(opens));

    QChart *chart = FViews[rpCategory]->chart();
    chart->removeAllSeries();
    if (FSlices.empty()) {
        QString text = QStringLiteral("所选期间没有%1记录。").arg(kind);
        if (!Filter().HasDays())
            text = QStringLiteral("开始日期晚于结束日期，没有可统计的记录。");
        else if (!FLines.empty())
            text = QStringLiteral("所选期间没有金额为正的%1，没有可画的占比。").arg(kind);
        SetEmpty(rpCategory, text);
        return;
    }
    SetEmpty(rpCategory, {});
    auto *series = new QPieSeries;
    series->setHoleSize(0.38);
    series->setPieSize(0.82);
    Currency shown;
    for (const TSlice &slice : FSlices)
        shown += slice.Amount;
    int colour = 0;
    for (const TSlice &piece : FSlices) {
        auto *slice = series->append(
            QStringLiteral("%1 %2").arg(piece.Name, ShareText(piece.Amount, shown)),
            Plot(piece.Amount));
        slice->setColor(piece.Line < 0 ? QColor(0xbd, 0xbd, 0xbd)
                                       : kSliceColours[colour++ % std::size(kSliceColours)]);
        slice->setBorderColor(Qt::white);
        slice->setLabelVisible(false);
        connect(slice, &QPieSlice::hovered, slice, [slice](bool on) {
            slice->setExploded(on);
            slice->setLabelVisible(on);
        });
        // The category is named when the slice is made, so a click that
        // arrives after the chart changed opens what was clicked, or nothing.
        const qint32 id
            = piece.Line >= 0 && FLines[piece.Line].Kind == TCategoryLine::TKind::Category
            ? FLines[piece.Line].Id
            : -1;
        connect(
            slice, &QPieSlice::clicked, this, [this, id] { OpenCategory(id); },
            Qt::QueuedConnection);
    }
    chart->addSeries(series);
    chart->legend()->setAlignment(Qt::AlignRight);
    FViews[rpCategory]->setAccessibleDescription(ui->lblPath->text());
}

void TFormReport::AddBudgetColumn(TReportTable &table) const
{
    table.Header << QStringLiteral("预算");
    table.TextColumns << true;
    table.MoneyColumns << false;
    for (qsizetype row = 0; row < table.Rows.size(); ++row) {
        QString budget;
        if (size_t(row) < FLines.size() && FLines[row].Kind == TCategoryLine::TKind::Category)
            for (const TBudget &stored : FBudgets)
                if (stored.TypeID == FLines[row].Id)
                    budget = (stored.Period == TBudget::Month ? QStringLiteral("每月 ")
                                                              : QStringLiteral("每年 "))
                        + MoneyText(stored.Fare);
        table.Rows[row] << budget;
    }
}

// ---- by month ----------------------------------------------------------------

bool TFormReport::BuildTrend()
{
    const RecordFilter filter = Filter();
    std::vector<TMonthFigures> trend;
    if (!ReadFigures([&](const TWorkHooks &hooks) { trend = QueryTrend(filter, hooks); }))
        return false;
    FTrend = std::move(trend);
    std::vector<QDate> months;
    Currency income, expense;
    TReportTable table;
    table.Header = kTrendHeader;
    table.TextColumns = {true, false, false, false};
    table.MoneyColumns = {false, true, true, true};
    for (const TMonthFigures &month : FTrend) {
        months.push_back(month.Month);
        income += month.Income;
        expense += month.Expense;
        table.Rows.append({MonthName(month.Month), month.Income.ToString(),
                           month.Expense.ToString(), (month.Income - month.Expense).ToString()});
    }
    if (!FTrend.empty())
        table.Rows.append({QStringLiteral("合计"), income.ToString(), expense.ToString(),
                           (income - expense).ToString()});
    FTables[rpTrend] = table;
    FModels[rpTrend]->SetTable(table);

    QString note;
    if (!months.empty()) {
        note = QStringLiteral("%1至%2，共%3个月：收入合计：%4    支出合计：%5    收入-支出：%6")
                   .arg(MonthName(months.front()), MonthName(months.back()))
                   .arg(months.size())
                   .arg(YuanText(income), YuanText(expense), YuanText(income - expense));
        if (months.front() < QDate(filter.Begin.year(), filter.Begin.month(), 1))
            note += QStringLiteral("\n所选期间不足12个月，图表向前补足12个整月。");
    }
    ui->lblTrendTotals->setText(note);

    QChart *chart = FViews[rpTrend]->chart();
    chart->removeAllSeries();
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    const bool any = std::any_of(FTrend.cbegin(), FTrend.cend(), [](const TMonthFigures &month) {
        return month.Income != Currency() || month.Expense != Currency();
    });
    if (!any) {
        SetEmpty(rpTrend,
                 !filter.HasDays() ? QStringLiteral("开始日期晚于结束日期，没有可统计的记录。")
                                   : QStringLiteral("所选期间没有收支记录。"));
        return true;
    }
    SetEmpty(rpTrend, {});
    auto *incomeSet = new QBarSet(QStringLiteral("收入"));
    auto *expenseSet = new QBarSet(QStringLiteral("支出"));
    incomeSet->setColor(kIncomeColour);
    expenseSet->setColor(kExpenseColour);
    auto *netLine = new QLineSeries;
    netLine->setName(QStringLiteral("收入-支出"));
    netLine->setColor(kNetColour);
    netLine->setPointsVisible(true);
    Currency low, high;
    for (size_t i = 0; i < FTrend.size(); ++i) {
        const Currency in = FTrend[i].Income, out = FTrend[i].Expense, net = in - out;
        *incomeSet << Plot(in);
        *expenseSet << Plot(out);
        netLine->append(double(i), Plot(net));
        low = std::min({low, in, out, net});
        high = std::max({high, in, out, net});
    }
    auto *bars = new QBarSeries;
    bars->append({incomeSet, expenseSet});
    chart->addSeries(bars);
    chart->addSeries(netLine);
    QAbstractAxis *axisX = MonthAxis(months);
    chart->addAxis(axisX, Qt::AlignBottom);
    QCategoryAxis *axisY = MoneyAxis(low, high);
    chart->addAxis(axisY, Qt::AlignLeft);
    for (QAbstractSeries *series :
         {static_cast<QAbstractSeries *>(bars), static_cast<QAbstractSeries *>(netLine)}) {
        series->attachAxis(axisX);
        series->attachAxis(axisY);
    }
    chart->legend()->setAlignment(Qt::AlignBottom);
    return true;
}

// ---- balance -------------------------------------------------------------------

bool TFormReport::BuildBalance()
{
    const RecordFilter filter = Filter();
    std::vector<TBalancePoint> balance;
    if (!ReadFigures([&](const TWorkHooks &hooks) { balance = QueryBalance(filter, hooks); }))
        return false;
    FBalance = std::move(balance);
    TReportTable table;
    table.Header = kBalanceHeader;
    table.TextColumns = {true, true, false};
    table.MoneyColumns = {false, false, true};
    std::vector<QDate> months;
    const QLocale locale;
    for (const TBalancePoint &point : FBalance) {
        const QDate month(point.Day.year(), point.Day.month(), 1);
        months.push_back(month);
        table.Rows.append({MonthName(month), locale.toString(point.Day, QLocale::ShortFormat),
                           point.Balance.ToString()});
    }
    FTables[rpBalance] = table;
    FModels[rpBalance]->SetTable(table);
    const QString who = filter.Account.isEmpty() ? kAllAccounts : filter.Account;
    ui->lblBalanceNote->setText(
        FBalance.empty()
            ? QString()
            : QStringLiteral(
                  "%1在每月末的余额：由账户信息中的当前余额减去其后记入的收支和转账倒推。")
                  .arg(who));

    QChart *chart = FViews[rpBalance]->chart();
    chart->removeAllSeries();
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    if (FBalance.empty()) {
        SetEmpty(rpBalance, QStringLiteral("开始日期晚于结束日期，没有可统计的记录。"));
        return true;
    }
    if (std::all_of(FBalance.cbegin(), FBalance.cend(),
                    [](const TBalancePoint &point) { return point.Balance == Currency(); })) {
        SetEmpty(rpBalance, QStringLiteral("所选期间%1的余额都是零。").arg(who));
        return true;
    }
    SetEmpty(rpBalance, {});
    auto *line = new QLineSeries;
    line->setName(QStringLiteral("月末余额"));
    line->setColor(kNetColour);
    line->setPointsVisible(true);
    Currency low, high;
    for (size_t i = 0; i < FBalance.size(); ++i) {
        line->append(double(i), Plot(FBalance[i].Balance));
        low = std::min(low, FBalance[i].Balance);
        high = std::max(high, FBalance[i].Balance);
    }
    chart->addSeries(line);
    QAbstractAxis *axisX = MonthAxis(months);
    chart->addAxis(axisX, Qt::AlignBottom);
    QCategoryAxis *axisY = MoneyAxis(low, high);
    chart->addAxis(axisY, Qt::AlignLeft);
    line->attachAxis(axisX);
    line->attachAxis(axisY);
    return true;
}

// ---- copying and saving --------------------------------------------------------

void TFormReport::btnCopyClick()
{
    QApplication::clipboard()->setText(TableText(FTables[CurrentReport()]));
}

void TFormReport::btnSaveCsvClick()
{
    const QString chosen
        = Prompt().FileDialog(TFileDialogKind::Save, QStringLiteral("CSV 文件 (*.csv)"));
    if (chosen.isEmpty())
        return;
    const QString fileName = SavedName(chosen, QStringLiteral("csv"));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        SaveFailed(fileName, file.errorString());
    file.write(TableCsv(FTables[CurrentReport()]));
    if (!file.commit())
        SaveFailed(fileName, file.errorString());
}

void TFormReport::btnSavePngClick()
{
    const QString chosen
        = Prompt().FileDialog(TFileDialogKind::Save, QStringLiteral("PNG 图片 (*.png)"));
    if (chosen.isEmpty())
        return;
    const QString fileName = SavedName(chosen, QStringLiteral("png"));
    const TReport report = CurrentReport();
    // What the chart's place shows: the chart, or the note that it is empty.
    QWidget *shown
        = FViews[report]->isHidden() ? static_cast<QWidget *>(FEmpty[report]) : FViews[report];
    // The category report covers the period's days; the months of the others
    // can reach back before it.
    const RecordFilter filter = Filter();
    QString title = ui->pgReports->tabText(report);
    QStringList span;
    if (report == rpCategory) {
        title += QStringLiteral("：") + ui->lblPath->text();
        const QLocale locale;
        span << QStringLiteral("%1 至 %2")
                    .arg(locale.toString(filter.Begin, LongDateFormat()),
                         locale.toString(filter.End, LongDateFormat()));
    } else if (const std::vector<QDate> months = ReportMonths(filter); !months.empty()) {
        span << QStringLiteral("%1 至 %2").arg(MonthName(months.front()), MonthName(months.back()));
    }
    span << (filter.Account.isEmpty() ? kAllAccounts : filter.Account);
    const QImage picture
        = TitledPicture(shown->grab(), font(), title, span.join(QStringLiteral("，")));
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        SaveFailed(fileName, file.errorString());
    if (!picture.save(&file, "PNG"))
        SaveFailed(fileName, QStringLiteral("无法写入图片"));
    if (!file.commit())
        SaveFailed(fileName, file.errorString());
}

TFormReport *OpenReportWindow()
{
    return OpenWindow<TFormReport>();
}

void ShowReport(QWidget *owner)
{
    if (TFormReport *report = OpenReportWindow())
        BringForward(report);
    else
        (new TFormReport(owner))->show();
}
