#pragma once

#include "data/Outcome.h"

#include <QByteArray>
#include <QString>
#include <functional>

// A copy of the books sealed with the user's passphrase before it leaves the
// machine: the key is derived with Argon2id from the passphrase and a random
// salt (once a run: the copies of one run share salt and key), and the file is
// encrypted in chunks with an authenticated stream cipher, so a wrong passphrase, a flipped bit, a
// reordered or missing chunk and a cut-off end are each detected before any byte of it is trusted.
namespace SealedCopy {

// The bytes at the start of every sealed copy: magic, format, key derivation
// parameters, salt, key check and the stream's header. Uploads compare these
// with the server's copy to prove the file arrived.
constexpr int kHeaderSize = 97;

// Told the bytes done and the bytes in all; answers false to stop.
using TProgress = std::function<bool(qint64 done, qint64 total)>;

// Seals `plainFile` into `sealedFile` (written whole or not at all: under a
// temporary name, synced, then renamed). An empty passphrase is refused.
Outcome Seal(const QString &plainFile, const QString &sealedFile, const QString &passphrase,
             const TProgress &progress = {});
// Opens `sealedFile` into `plainFile` (whole or not at all). A wrong
// passphrase, a damaged or cut-off file and a file of a later format are each
// refused with their reason, and leave no `plainFile` behind.
Outcome Open(const QString &sealedFile, const QString &plainFile, const QString &passphrase,
             const TProgress &progress = {});
// Whether `header` (the first kHeaderSize bytes of a file) is a sealed copy's
// header of a format this program reads.
Outcome CheckHeader(const QByteArray &header);

// The key derivation alone, for the benchmark: the seconds it takes are part
// of every Seal and Open.
QByteArray DeriveKeyForTiming(const QString &passphrase);

} // namespace SealedCopy
