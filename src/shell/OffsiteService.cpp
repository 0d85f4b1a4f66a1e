#include "OffsiteService.h"

#include "data/AutoBackup.h"
#include "data/UntPublic.h"
#include "ledger/UntConfig.h"
#include "offsite/OffsiteCopies.h"
#include "offsite/OffsiteJob.h"
#include "offsite/Secrets.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QProgressDialog>
#include <QTime>
#include <algorithm>
#include <utility>

TOffsiteService::TOffsiteService(TAutoBackup &autoBackup, QLabel *status, QObject *parent)
    : QObject(parent)
    , FAutoBackup(autoBackup)
    , FStatus(status)
    , FUpload(std::make_unique<TOffsiteUpload>())
{
    FStatus->hide();
    connect(&FAutoBackup, &TAutoBackup::Made, this, [this](const QString &file) {
        if (!FWanted)
            return;
        FWanted = false;
        Upload(file);
    });
    connect(FUpload.get(), &TOffsiteUpload::Progress, this, &TOffsiteService::ShowProgress);
    connect(FUpload.get(), &TOffsiteUpload::Finished, this, [this](const QString &failure) {
        Finish(failure);
        // A copy made while the last one was on its way goes next.
        if (!FPending.isEmpty())
            Upload(std::exchange(FPending, QString()));
    });
}

TOffsiteService::~TOffsiteService() = default;

void TOffsiteService::AtStart(const QString &backupFolder)
{
    if (GConfig->FOffsiteUrl.isEmpty())
        return;
    if (FAutoBackup.Busy()) {
        FWanted = true;
        return;
    }
    const QStringList names = AutoBackup::Names(backupFolder);
    const auto newest
        = std::max_element(names.begin(), names.end(), [](const QString &a, const QString &b) {
              return AutoBackup::TimeOf(a) < AutoBackup::TimeOf(b);
          });
    if (newest != names.end())
        Upload(QDir(backupFolder).filePath(*newest));
}

void TOffsiteService::BeforeExitCopy()
{
    FExiting = true;
    FWanted = !GConfig->FOffsiteUrl.isEmpty();
}

void TOffsiteService::Upload(const QString &copyFile)
{
    if (FUpload->Busy()) {
        FPending = copyFile;
        return;
    }
    TWebDavPlace place {
        QUrl(GConfig->FOffsiteUrl), GConfig->FOffsiteUser, {}, GConfig->FOffsiteFolder};
    const QString secretPlace = Secrets::PlaceOf(place);
    QString problem;
    place.Password = Secrets::Read(Secrets::WebDavPassword, secretPlace, &problem);
    const QString passphrase = Secrets::Read(Secrets::Passphrase, secretPlace, &problem);
    if (passphrase.isEmpty()) {
        Finish(problem.isEmpty()
                   ? QStringLiteral("没有加密口令，请在“异地备份”窗口中输入")
                   : problem + QStringLiteral("；请在“异地备份”窗口中输入密码和加密口令"));
        return;
    }
    ShowProgress(QStringLiteral("正在准备…"), 0);
    FUpload->Start(place, passphrase, copyFile, QFileInfo(copyFile).absolutePath(),
                   AutoBackup::TimeOf(QFileInfo(copyFile).fileName()), GConfig->FBackupDays);
}

void TOffsiteService::ShowProgress(const QString &step, int percent)
{
    FStatus->setText(QStringLiteral("异地备份：%1 %2%").arg(step).arg(percent));
    FStatus->show();
}

void TOffsiteService::Finish(const QString &failure)
{
    if (failure.isEmpty()) {
        FStatus->setText(QStringLiteral("异地备份：%1 已完成")
                             .arg(QTime::currentTime().toString(QStringLiteral("HH:mm"))));
        return;
    }
    WriteLog(QStringLiteral("异地备份失败！") + failure);
    FStatus->setText(QStringLiteral("异地备份失败：") + failure);
    FStatus->setToolTip(failure);
    FStatus->show();
    if (!FExiting)
        Q_EMIT Failed(failure);
}

void TOffsiteService::AtExit()
{
    if (!FUpload->Busy())
        return;
    // A short wait the user can end: what is not uploaded now goes next time.
    QProgressDialog progress(QStringLiteral("正在上传异地备份…"), QStringLiteral("下次再传"), 0,
                             100);
    progress.setWindowTitle(QStringLiteral("记账软件"));
    progress.setMinimumDuration(500);
    const QMetaObject::Connection step
        = connect(FUpload.get(), &TOffsiteUpload::Progress, &progress,
                  [&progress](const QString &text, int percent) {
                      progress.setLabelText(QStringLiteral("正在上传异地备份：") + text);
                      progress.setValue(percent);
                  });
    QEventLoop loop;
    connect(FUpload.get(), &TOffsiteUpload::Finished, &loop, [this, &loop] {
        if (!FUpload->Busy())
            loop.quit();
    });
    connect(&progress, &QProgressDialog::canceled, &loop, [this, &loop] {
        WriteLog(QStringLiteral("异地备份留到下次启动时上传"));
        FPending.clear();
        FUpload->Cancel();
        loop.quit();
    });
    loop.exec();
    disconnect(step);
    FUpload->Wait();
}
