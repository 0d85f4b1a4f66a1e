#pragma once

#include "data/Outcome.h"

#include <QString>

// Where the books live.
//
// A program run from its build tree, or unpacked into a folder of its own,
// keeps its books beside itself: the executable's folder is used when it holds
// bookkeep.dat and may be written. An installed program (its folder holds no
// books and is the system's) keeps them in the user's data folder, made from
// the installed template on the first start. --data-dir wins over both.
struct TDataFolder
{
    QString Path; // with a trailing '/'
    QString Template; // the books to copy when Path holds none; empty for none
};

// option: the value of --data-dir, empty when not given; programDir: the
// executable's folder; dataHome: the user's data folder ($XDG_DATA_HOME, by
// default ~/.local/share).
TDataFolder ChooseDataFolder(const QString &option, const QString &programDir,
                             const QString &dataHome);

// Makes the folder and, when it holds no books, copies the template into it.
// A copy is written under another name and renamed, so that a failure never
// leaves half a file where the books belong.
Outcome PrepareDataFolder(const TDataFolder &folder);
