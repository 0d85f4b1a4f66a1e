#pragma once

#include "data/Outcome.h"

#include <QByteArray>
#include <QString>

// How much the bill in an archive may inflate to: far above any real bill,
// so that a small archive that unpacks to gigabytes is refused on the way.
constexpr qint64 kMaxUnpackedBytes = qint64(200) << 20;

// The bill unpacked from a zip archive, as the payment apps mail it.
struct TUnpackedStatement
{
    Outcome Result = Outcome::Sound();
    // The bill is encrypted and no password, or a wrong one, was given.
    bool NeedsPassword = false;
    QByteArray Bytes;
};

// Whether the bytes are a zip archive of files rather than a workbook (.xlsx,
// itself a zip). An archive that cannot be listed is left to the workbook
// reader.
bool IsBillArchive(const QByteArray &bytes);

// Unpacks the one bill (.csv, .xlsx or .xls) of a zip archive, decrypting it
// with the password (ZipCrypto or AES) where it is encrypted. Refused with the
// reason when the archive holds no bill or several, the password is missing
// or wrong, the bill inflates past kMaxUnpackedBytes, or the archive is damaged.
TUnpackedStatement UnpackStatement(const QByteArray &bytes, const QString &password);
