#include "RestoreBooks.h"

#include "data/AutoBackup.h"
#include "data/DbAccess.h"
#include "data/UException.h"
#include "data/UntPublic.h"

#include <QDir>

void RestoreBooks(const QString &fileName, TAutoBackup &autoBackup)
{
    TRestoreCopy copy(fileName);
    RestoreBooks(copy, autoBackup);
}

void RestoreBooks(TRestoreCopy &copy, TAutoBackup &autoBackup)
{
    RestoreBooks(copy, autoBackup, {});
}

void RestoreBooks(TRestoreCopy &copy, TAutoBackup &autoBackup, const TWorkHooks &hooks)
{
    const auto step = [&hooks](const QString &text) {
        if (hooks.Report)
            hooks.Report(0, text);
    };
    // The copies are made once the chosen file has been read and checked, so
    // that choosing the safety copy, or a dated copy the rotation removes,
    // restores it.
    const QString safetyCopy = AppPath + QStringLiteral("tmpData.bat");
    GDbAccess->RestoreFrom(
        copy,
        [&] {
            step(QStringLiteral("正在保存当前数据的安全副本…"));
            try {
                GDbAccess->BackupTo(safetyCopy, {hooks.Report, {}});
            } catch (const Exception &failure) {
                throw EDBException(
                    QStringLiteral("无法保存当前数据的安全副本 %1：%2，数据未恢复。")
                        .arg(QDir::toNativeSeparators(safetyCopy), failure.Message()),
                    QStringLiteral("数据库恢复失败！"), {});
            }
            // A failure of the dated copy is reported, and the safety copy
            // still guards the restore.
            step(QStringLiteral("正在保存自动备份…"));
            autoBackup.BeforeChange();
            step(QStringLiteral("正在替换数据文件…"));
        },
        hooks);
    WriteLog(QStringLiteral("数据恢复！"));
}
