#pragma once

#include <QString>

// The settings, held in memory for the whole run and kept in the one row of
// the table SysSet: the login password (plain text), the automatic backups
// and where their off-site copies go.
class TConfig
{
public:
    // Reads the setting from the first row of SysSet.
    void LoadConfig();
    // Writes the password fields into SysSet.
    void SaveConfig();
    // Writes the backup fields into SysSet.
    void SaveBackupConfig();
    // Writes where the off-site copies go into SysSet.
    void SaveOffsiteConfig();

    bool FbPass = false; // ask for the password at start
    QString FPassWord; // the login password; empty when none is set
    bool FAutoBackup = true; // backups are made without the user asking
    int FBackupDays = 7; // how many daily copies are kept
    // The WebDAV server, user and folder of the off-site copies; none when
    // the address is empty.
    QString FOffsiteUrl;
    QString FOffsiteUser;
    QString FOffsiteFolder;
    QString FSql; // the statement built last
};

extern TConfig *GConfig;
