#pragma once

#include "data/Outcome.h"
#include "offsite/WebDav.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>

// The sealed copies of the books on the user's WebDAV folder: named as the
// local automatic copies with ".sealed" added, thinned out by the same rule.
namespace OffsiteCopies {

// The name on the server of the local copy `copyFile`.
QString RemoteName(const QString &copyFile);
// The time a sealed copy's name gives; invalid for any other name.
QDateTime TimeOf(const QString &remoteName);

// Which step is under way and how far it is, for the progress shown.
using TProgress = std::function<void(const QString &step, qint64 done, qint64 total)>;

// Seals the local copy `copyFile` with the passphrase into `workFolder`,
// uploads it under a temporary name, moves it into place and checks it (its
// size, and its header downloaded again) before it counts; then removes the
// copies on the server that the rotation of `daily` daily copies no longer
// keeps at `now`. The sealed file in `workFolder` is removed either way.
Outcome Upload(TWebDav &dav, const QString &copyFile, const QString &passphrase,
               const QString &workFolder, const QDateTime &now, int daily,
               const TProgress &progress = {});

// The sealed copies in the folder, newest first.
Outcome List(TWebDav &dav, QList<TRemoteFile> &copies);

// Downloads the sealed copy `name` and opens it with the passphrase into
// `plainFile` (a file of the books, to go through the restore's checks). The
// download is removed either way; nothing is left at `plainFile` on failure.
Outcome Fetch(TWebDav &dav, const QString &name, const QString &passphrase,
              const QString &plainFile, const TProgress &progress = {});

} // namespace OffsiteCopies
