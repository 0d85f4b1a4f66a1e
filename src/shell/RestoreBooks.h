#pragma once

#include <QString>

class TAutoBackup;
class TRestoreCopy;
struct TWorkHooks;

// Replaces the open books with the file `fileName`, which is read and
// checked first. Only then are the copies made that a restore never runs
// without: the safety copy AppPath/tmpData.bat (replacing the one of the
// restore before) and a dated automatic copy. The restore is written to the
// day's log. Raises, with the books unchanged, when the file is refused or
// the safety copy cannot be made.
void RestoreBooks(const QString &fileName, TAutoBackup &autoBackup);
// The same with the file's private copy already made and checked (on a
// worker thread, away from the window); hooks.Report hears how far the
// copies and the copy in got.
void RestoreBooks(TRestoreCopy &copy, TAutoBackup &autoBackup);
void RestoreBooks(TRestoreCopy &copy, TAutoBackup &autoBackup, const TWorkHooks &hooks);
