#pragma once

#include <QString>

// The login-password setting, held in memory for the whole run and kept in
// the one row of the table SysSet. The password is plain text.
class TConfig
{
public:
    // Reads the setting from the first row of SysSet.
    void LoadConfig();
    // Writes the fields into SysSet.
    void SaveConfig();

    bool FbPass = false; // ask for the password at start
    QString FPassWord; // the login password; empty when none is set
    QString FSql; // the statement built last
};

extern TConfig *GConfig;
