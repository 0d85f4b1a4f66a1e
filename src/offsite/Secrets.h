#pragma once

#include "data/Outcome.h"
#include "offsite/WebDav.h"

#include <QString>

// The WebDAV password and the passphrase of the off-site copies: kept in the
// desktop's keyring, never in the books or a plain file. Where no keyring
// answers, a secret is held for this run only and asked for again next time.
// Called on the user-interface thread.
namespace Secrets {

enum TSecret { WebDavPassword, Passphrase };

// The name a server's secrets are kept under: its user and address.
QString PlaceOf(const TWebDavPlace &place);

// The secret stored for `place` (the server's address and user); empty when
// none is. `problem` tells why the keyring could not be read, if it could not.
QString Read(TSecret which, const QString &place, QString *problem = nullptr);
// Stores the secret in the keyring and for this run; the keyring's failure
// comes back as a fault (the secret is still held for this run).
Outcome Write(TSecret which, const QString &place, const QString &value);

} // namespace Secrets
