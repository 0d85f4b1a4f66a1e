#pragma once

#include <QString>

// Autostart through the desktop session: an XDG autostart entry named
// `name`.desktop in $XDG_CONFIG_HOME/autostart.
QString AutoRunFileName(const QString &name);
bool AutoRunExists(const QString &name);
// The Exec line that starts this program on the books it has open.
QString AutoRunCommand();
// Writes the entry `name` with the Exec line `command` when `present`, and
// removes it otherwise (a missing entry is no failure).
void SetAutoRun(const QString &name, const QString &command, bool present);
