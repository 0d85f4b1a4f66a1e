#include "UntConfig.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"

#include <algorithm>

TConfig *GConfig = nullptr;

namespace {

// Puts the setting's row back should it be missing, so that a save is never
// an update of nothing.
const QString kEnsureRow = QStringLiteral(
    "insert into SysSet(bPass,[PassWord]) select '0','' where not exists (select * from SysSet)");

} // namespace

void TConfig::LoadConfig()
{
    FSql = QStringLiteral("select * from SysSet");
    const TQuery &query = GDbAccess->OpenQuery(FSql);
    if (query.Eof()) {
        FbPass = false;
        FPassWord.clear();
        FAutoBackup = true;
        FBackupDays = 7;
        FOffsiteUrl.clear();
        FOffsiteUser.clear();
        FOffsiteFolder.clear();
        return;
    }
    FbPass = query.FieldByName(QStringLiteral("bPass")).AsBoolean();
    FPassWord = query.FieldByName(QStringLiteral("PassWord")).AsString();
    FAutoBackup = query.FieldByName(QStringLiteral("AutoBackup")).AsBoolean();
    FBackupDays = std::max(1, query.FieldByName(QStringLiteral("BackupDays")).AsInteger());
    FOffsiteUrl = query.FieldByName(QStringLiteral("OffsiteUrl")).AsString();
    FOffsiteUser = query.FieldByName(QStringLiteral("OffsiteUser")).AsString();
    FOffsiteFolder = query.FieldByName(QStringLiteral("OffsiteFolder")).AsString();
}

void TConfig::SaveConfig()
{
    FSql = Format(QStringLiteral("update SysSet set bPass='%s',[PassWord]='%s' "),
                  {SqlBool(FbPass), SqlText(FPassWord)});
    DbExec(kEnsureRow + kBatchSeparator + FSql);
}

void TConfig::SaveBackupConfig()
{
    FSql = Format(QStringLiteral("update SysSet set AutoBackup='%s',BackupDays=%s "),
                  {SqlBool(FAutoBackup), QString::number(FBackupDays)});
    DbExec(kEnsureRow + kBatchSeparator + FSql);
}

void TConfig::SaveOffsiteConfig()
{
    FSql = Format(
        QStringLiteral("update SysSet set OffsiteUrl='%s',OffsiteUser='%s',OffsiteFolder='%s' "),
        {SqlText(FOffsiteUrl), SqlText(FOffsiteUser), SqlText(FOffsiteFolder)});
    DbExec(kEnsureRow + kBatchSeparator + FSql);
}
