#include "Backups.h"
#include "ui_Backups.h"

#include "data/AutoBackup.h"
#include "data/UntPublic.h"

#include <QDir>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>

namespace {

enum TColumn { ColTime, ColSize, ColRecords, ColLastRecord, ColState };

} // namespace

TFormBackups::TFormBackups(const QString &folder, QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormBackups>())
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    resize(ClientArea()->size());
    ui->lvBackups->setAccessibleName(QStringLiteral("自动备份"));
    ui->lblFolder->setText(QStringLiteral("备份文件夹：%1").arg(QDir::toNativeSeparators(folder)));

    const QLocale locale;
    for (const AutoBackup::TCopy &copy : AutoBackup::List(folder)) {
        auto *item = new QTreeWidgetItem(ui->lvBackups);
        item->setText(ColTime, locale.toString(copy.Time, QLocale::ShortFormat));
        item->setText(ColSize, locale.formattedDataSize(copy.Size));
        item->setData(ColTime, Qt::UserRole, copy.File);
        if (copy.Check.IsSound()) {
            item->setText(ColRecords, QString::number(copy.Records));
            item->setText(ColLastRecord,
                          copy.LastRecord.isValid()
                              ? locale.toString(copy.LastRecord, QLocale::ShortFormat)
                              : QStringLiteral("无记录"));
            item->setText(ColState, QStringLiteral("可以恢复"));
        } else {
            // Shown, so that a broken copy is noticed, but never offered.
            item->setText(ColState, QStringLiteral("已损坏，不能恢复：") + copy.Check.Reason());
            item->setToolTip(ColState, copy.Check.Reason());
            item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled));
        }
    }
    const int widths[] = {150, 80, 70, 100};
    for (int column = ColTime; column < ColState; ++column)
        ui->lvBackups->setColumnWidth(column, widths[column]);
    // The newest usable copy is the likely choice.
    for (int row = 0; row < ui->lvBackups->topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = ui->lvBackups->topLevelItem(row);
        if (item->flags() & Qt::ItemIsSelectable) {
            ui->lvBackups->setCurrentItem(item);
            break;
        }
    }
    connect(ui->lvBackups, &QTreeWidget::itemDoubleClicked, btnOK, &QPushButton::click);
    setTabOrder(ui->lvBackups, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TFormBackups::~TFormBackups() = default;

QTreeWidget *TFormBackups::List() const
{
    return ui->lvBackups;
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
