#include "Offsite.h"
#include "ui_Offsite.h"

#include "data/AutoBackup.h"
#include "data/UException.h"
#include "data/UntPublic.h"
#include "ledger/UntConfig.h"
#include "offsite/OffsiteCopies.h"
#include "offsite/Secrets.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace {

enum TColumn { ColTime, ColSize };

// A wait cursor and a disabled window while a request runs.
class TBusy
{
public:
    explicit TBusy(QWidget *window)
        : FWindow(window)
    {
        FWindow->setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TBusy()
    {
        QApplication::restoreOverrideCursor();
        FWindow->setEnabled(true);
    }
    TBusy(const TBusy &) = delete;
    TBusy &operator=(const TBusy &) = delete;

private:
    QWidget *FWindow;
};

} // namespace

TFormOffsite::TFormOffsite(std::function<bool(const QString &file)> restore, QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormOffsite>())
    , FRestore(std::move(restore))
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    resize(ClientArea()->size());
    ui->lvCopies->setAccessibleName(QStringLiteral("服务器上的备份"));
    ui->lvCopies->setColumnWidth(ColTime, 200);
    ui->lblState->setAccessibleName(QStringLiteral("状态"));

    ui->edtUrl->setText(GConfig->FOffsiteUrl);
    ui->edtUser->setText(GConfig->FOffsiteUser);
    ui->edtFolder->setText(GConfig->FOffsiteFolder);
    TWebDavPlace place;
    if (Place(place).IsSound()) {
        QString problem;
        ui->edtPassword->setText(
            Secrets::Read(Secrets::WebDavPassword, Secrets::PlaceOf(place), &problem));
        const QString passphrase
            = Secrets::Read(Secrets::Passphrase, Secrets::PlaceOf(place), &problem);
        ui->edtPassphrase->setText(passphrase);
        ui->edtRePassphrase->setText(passphrase);
        ui->lblState->setText(problem);
    }
    connect(ui->btnTest, &QPushButton::clicked, this, &TFormOffsite::btnTestClick);
    connect(ui->btnList, &QPushButton::clicked, this, &TFormOffsite::ListCopies);
    connect(ui->btnRestore, &QPushButton::clicked, this, &TFormOffsite::btnRestoreClick);
    connect(ui->lvCopies, &QTreeWidget::itemDoubleClicked, ui->btnRestore, &QPushButton::click);
    setTabOrder(ui->edtRePassphrase, ui->btnTest);
    setTabOrder(ui->btnTest, ui->btnList);
    setTabOrder(ui->btnList, ui->lvCopies);
    setTabOrder(ui->lvCopies, ui->btnRestore);
    setTabOrder(ui->btnRestore, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TFormOffsite::~TFormOffsite() = default;

QTreeWidget *TFormOffsite::Copies() const
{
    return ui->lvCopies;
}

Outcome TFormOffsite::Place(TWebDavPlace &place) const
{
    place.Address = QUrl(ui->edtUrl->text().trimmed(), QUrl::StrictMode);
    place.User = ui->edtUser->text().trimmed();
    place.Password = ui->edtPassword->text();
    place.Folder = ui->edtFolder->text().trimmed();
    QString warning;
    const Outcome address = CheckAddress(place.Address, &warning);
    ui->lblState->setText(warning);
    return address;
}

void TFormOffsite::btnTestClick()
{
    TWebDavPlace place;
    Outcome done = Place(place);
    if (done.IsSound()) {
        const TBusy busy(this);
        TWebDav dav(place);
        done = dav.Check();
    }
    if (done.IsSound())
        ShowInfo(QStringLiteral("连接成功：服务器上的文件夹可以写入。"));
    else
        ShowError(done.Reason());
}

bool TFormOffsite::ListCopies()
{
    ui->lvCopies->clear();
    TWebDavPlace place;
    QList<TRemoteFile> copies;
    Outcome done = Place(place);
    if (done.IsSound()) {
        const TBusy busy(this);
        TWebDav dav(place);
        done = OffsiteCopies::List(dav, copies);
    }
    if (!done.IsSound()) {
        ShowError(done.Reason());
        return false;
    }
    const QLocale locale;
    for (const TRemoteFile &copy : std::as_const(copies)) {
        auto *item = new QTreeWidgetItem(ui->lvCopies);
        item->setText(ColTime,
                      locale.toString(OffsiteCopies::TimeOf(copy.Name), QLocale::ShortFormat));
        item->setText(ColSize, locale.formattedDataSize(copy.Size));
        item->setData(ColTime, Qt::UserRole, copy.Name);
    }
    if (copies.isEmpty())
        ui->lblState->setText(
            (ui->lblState->text() + u'\n' + QStringLiteral("服务器的这个文件夹里还没有异地备份。"))
                .trimmed());
    else
        ui->lvCopies->setCurrentItem(ui->lvCopies->topLevelItem(0));
    return true;
}

void TFormOffsite::btnRestoreClick()
{
    const QList<QTreeWidgetItem *> selected = ui->lvCopies->selectedItems();
    if (selected.isEmpty()) {
        ShowInfo(QStringLiteral("请先列出服务器上的备份，再选择要恢复的一份。"));
        return;
    }
    if (ui->edtPassphrase->text().isEmpty()) {
        ShowInfo(QStringLiteral("请输入加密口令：备份是用它加密的。"));
        ui->edtPassphrase->setFocus();
        return;
    }
    TWebDavPlace place;
    if (const Outcome usable = Place(place); !usable.IsSound()) {
        ShowError(usable.Reason());
        return;
    }
    FetchAndRestore(place, selected.first()->data(ColTime, Qt::UserRole).toString(),
                    ui->edtPassphrase->text());
}

void TFormOffsite::FetchAndRestore(const TWebDavPlace &place, const QString &name,
                                   const QString &passphrase)
{
    // The fetched books wait beside the automatic copies until the restore
    // has taken them in; they are removed either way.
    const QTemporaryDir work(AutoBackup::Folder(AppPath) + QStringLiteral("offsite-XXXXXX"));
    if (!QDir().mkpath(AutoBackup::Folder(AppPath)) || !work.isValid()) {
        ShowError(QStringLiteral("无法在 %1 中建立临时文件夹").arg(AutoBackup::Folder(AppPath)));
        return;
    }
    const QString file = work.filePath(QStringLiteral("bookkeep.dat"));
    std::atomic<bool> cancel = false;
    Outcome done = Outcome::Sound();
    {
        QProgressDialog progress(QStringLiteral("正在下载备份…"), QStringLiteral("取消"), 0, 100,
                                 this);
        progress.setWindowTitle(QStringLiteral("从异地备份恢复"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        connect(&progress, &QProgressDialog::canceled, this, [&cancel] { cancel = true; });
        TWebDav dav(place);
        dav.SetCancel(&cancel);
        done = OffsiteCopies::Fetch(dav, name, passphrase, file,
                                    [&](const QString &step, qint64 part, qint64 total) {
                                        progress.setLabelText(step);
                                        progress.setValue(total > 0 ? int(part * 100 / total) : 0);
                                    });
    }
    if (!done.IsSound()) {
        ShowError(QStringLiteral("没有恢复：%1").arg(done.Reason()));
        return;
    }
    if (!FRestore(file))
        return;
    // The server and the passphrase proved right: kept for the copies to come.
    (void)Secrets::Write(Secrets::WebDavPassword, Secrets::PlaceOf(place), place.Password);
    (void)Secrets::Write(Secrets::Passphrase, Secrets::PlaceOf(place), passphrase);
    reject();
}

void TFormOffsite::btnOKClick()
{
    TWebDavPlace place;
    if (ui->edtUrl->text().trimmed().isEmpty()) {
        // No server: the copies stay on this computer.
        GConfig->FOffsiteUrl.clear();
        GConfig->FOffsiteUser.clear();
        GConfig->FOffsiteFolder.clear();
        GConfig->SaveOffsiteConfig();
        accept();
        return;
    }
    if (const Outcome usable = Place(place); !usable.IsSound())
        throw Exception(usable.Reason());
    if (ui->edtPassphrase->text().isEmpty())
        throw Exception(QStringLiteral("请设置加密口令：没有它，备份不会离开本机。"));
    if (ui->edtPassphrase->text() != ui->edtRePassphrase->text())
        throw Exception(QStringLiteral("两次输入的加密口令不一致。"));
    GConfig->FOffsiteUrl = place.Address.toString();
    GConfig->FOffsiteUser = place.User;
    GConfig->FOffsiteFolder = place.Folder;
    GConfig->SaveOffsiteConfig();
    // Both are held for the run even where the keyring fails the first.
    const Outcome password
        = Secrets::Write(Secrets::WebDavPassword, Secrets::PlaceOf(place), place.Password);
    const Outcome kept
        = Secrets::Write(Secrets::Passphrase, Secrets::PlaceOf(place), ui->edtPassphrase->text());
    if (!password.IsSound() || !kept.IsSound())
        ShowInfo(password.IsSound() ? kept.Reason() : password.Reason());
    accept();
}

void ShowOffsite(const std::function<bool(const QString &file)> &restore)
{
    TFormOffsite form(restore);
    form.ShowModal();
}
