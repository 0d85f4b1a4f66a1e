#include "Backups.h"
#include "ui_Backups.h"

#include "data/AutoBackup.h"
#include "data/UntPublic.h"
#include "shell/JobRunner.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>

namespace {

enum TColumn { ColTime, ColSize, ColRecords, ColLastRecord, ColState };

} // namespace

TFormBackups::TFormBackups(const QString &folder, QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormBackups>())
    , FCheck(std::make_unique<TJob>(QStringLiteral("正在检查备份…")))
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    resize(ClientArea()->size());
    ui->lvBackups->setAccessibleName(QStringLiteral("自动备份"));
    ui->lblFolder->setText(QStringLiteral("备份文件夹：%1").arg(QDir::toNativeSeparators(folder)));

    // Newest first; the name gives the time, the file its size, at once.
    QStringList files;
    const QDir dir(folder);
    for (const QString &name : AutoBackup::Names(folder))
        files << dir.filePath(name);
    std::sort(files.begin(), files.end(), [](const QString &a, const QString &b) {
        return AutoBackup::TimeOf(a) > AutoBackup::TimeOf(b);
    });
    const QLocale locale;
    for (const QString &file : std::as_const(files)) {
        auto *item = new QTreeWidgetItem(ui->lvBackups);
        item->setText(ColTime, locale.toString(AutoBackup::TimeOf(file), QLocale::ShortFormat));
        item->setText(ColSize, locale.formattedDataSize(QFileInfo(file).size()));
        item->setData(ColTime, Qt::UserRole, file);
        item->setText(ColState, QStringLiteral("正在检查…"));
        // Chosen only once its check has shown that it can be restored.
        item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
    }
    FUnchecked = int(files.size());
    const int widths[] = {150, 80, 70, 100};
    for (int column = ColTime; column < ColState; ++column)
        ui->lvBackups->setColumnWidth(column, widths[column]);
    connect(ui->lvBackups, &QTreeWidget::itemDoubleClicked, btnOK, &QPushButton::click);
    setTabOrder(ui->lvBackups, btnOK);
    setTabOrder(btnOK, btnCancel);

    // Each copy takes a while to read on large books: the results come back
    // one by one, to this window's thread. Pending ones go with the window.
    FCheck->Start([this, files](TJob &job) {
        for (int row = 0; row < files.size() && !job.Cancelled(); ++row) {
            const AutoBackup::TCopy copy
                = AutoBackup::Inspect(files[row], [&job] { return job.Cancelled(); });
            if (job.Cancelled())
                return;
            QMetaObject::invokeMethod(
                this, [this, row, copy] { ShowCopy(row, copy); }, Qt::QueuedConnection);
        }
    });
}

TFormBackups::~TFormBackups() = default;

QTreeWidget *TFormBackups::List() const
{
    return ui->lvBackups;
}

void TFormBackups::ShowCopy(int row, const AutoBackup::TCopy &copy)
{
    --FUnchecked;
    QTreeWidgetItem *item = ui->lvBackups->topLevelItem(row);
    if (!copy.Check.IsSound()) {
        // Shown, so that a broken copy is noticed, but never offered.
        item->setText(ColState, QStringLiteral("已损坏，不能恢复：") + copy.Check.Reason());
        item->setToolTip(ColState, copy.Check.Reason());
        return;
    }
    const QLocale locale;
    item->setText(ColRecords, QString::number(copy.Records));
    item->setText(ColLastRecord,
                  copy.LastRecord.isValid() ? locale.toString(copy.LastRecord, QLocale::ShortFormat)
                                            : QStringLiteral("无记录"));
    item->setText(ColState, QStringLiteral("可以恢复"));
    item->setFlags(item->flags() | Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    // The copies are checked newest first: the first usable one is the
    // likely choice, unless the user has chosen already.
    if (ui->lvBackups->selectedItems().isEmpty())
        ui->lvBackups->setCurrentItem(item);
}

void TFormBackups::btnOKClick()
{
    const QList<QTreeWidgetItem *> selected = ui->lvBackups->selectedItems();
    if (selected.isEmpty()) {
        ShowInfo(QStringLiteral("请选择要恢复的备份。"));
        return;
    }
    FFileName = selected.first()->data(ColTime, Qt::UserRole).toString();
    accept();
}

QString ShowBackups(const QString &folder)
{
    TFormBackups form(folder);
    return form.ShowModal() == mrOk ? form.FileName() : QString();
}
