#pragma once

#include <QString>

class TAutoBackup;

// Replaces the open books with the file `fileName`. The file is read and
// checked first; only then are the copies made that the restore never runs
// without: the safety copy (AppPath/tmpData.bat, the last restore's replaced)
// and a dated automatic copy. The restore is written to the day's log.
// Raises, with the books unchanged, when the file is refused or the safety
// copy cannot be made.
void RestoreBooks(const QString &fileName, TAutoBackup &autoBackup);
