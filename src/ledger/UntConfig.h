#pragma once

#include <QString>

// The settings, held in memory for the whole run and kept in the one row of
// the table SysSet: the login password (plain text) and the automatic backups.
class TConfig
{
public:
    // Reads the setting from the first row of SysSet.
    void LoadConfig();
    // Writes the password fields into SysSet.
    void SaveConfig();
    // Writes the backup fields into SysSet.
    void SaveBackupConfig();

    bool FbPass = false; // ask for the password at start
    QString FPassWord; // the login password; empty when none is set
    bool FAutoBackup = true; // backups are made without the user asking
    int FBackupDays = 7; // how many daily copies are kept
    QString FSql; // the statement built last
};

extern TConfig *GConfig;
