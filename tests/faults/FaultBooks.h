#pragma once

#include "LedgerStream.h"
#include "TestSupport.h"

#include <QDir>
#include <QString>
#include <QTemporaryDir>

// A copy of a prepared books file in a directory of its own, opened by the
// program's shared objects (TOpenBooks). The directory also holds TMPDIR
// ("tmp"), so that private copies a restore leaves behind can be seen.
class TBooksCopy
{
public:
    // The directory is made in `parent`, or in the temporary directory.
    explicit TBooksCopy(const QString &from, const QString &parent = {});
    ~TBooksCopy();
    TBooksCopy(const TBooksCopy &) = delete;
    TBooksCopy &operator=(const TBooksCopy &) = delete;

    QString Dir() const { return FDir.path() + u'/'; }
    QString File() const { return Dir() + QStringLiteral("bookkeep.dat"); }
    QString TempDir() const { return Dir() + QStringLiteral("tmp"); }
    // The names in a directory, but "." and "..".
    static QStringList Entries(const QString &dir);

private:
    QTemporaryDir FDir;
    QByteArray FOldTmpDir;
    std::optional<TOpenBooks> FOpen;
};

// The seed of the prepared books' accounts.
constexpr quint32 kBooksSeed = 0;

// Prepares, from the template, books with the seed's accounts and a few
// records of each kind (the model says which) at fileName.
TLedgerModel PrepareBooks(const QString &fileName);
// Runs the operations on a copy of the books at `from` and saves the result
// at `to`; the model follows.
void DeriveBooks(const QString &from, const QString &to, TLedgerModel &model,
                 const QList<TLedgerOp> &ops);
