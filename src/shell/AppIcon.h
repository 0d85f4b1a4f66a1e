#pragma once

#include <QIcon>

// The application's icon at every size it was rendered at: the windows' and
// the tray's.
QIcon AppIcon();
