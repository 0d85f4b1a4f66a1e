#include "FaultBooks.h"

#include "data/DbAccess.h"

#include <QFile>

TBooksCopy::TBooksCopy(const QString &from, const QString &parent)
    : FDir(parent.isEmpty() ? QDir::tempPath() + QStringLiteral("/books-XXXXXX")
                            : parent + QStringLiteral("/books-XXXXXX"))
    , FOldTmpDir(qgetenv("TMPDIR"))
{
    if (!QFile::copy(from, File()))
        qFatal("cannot copy %s", qPrintable(from));
    QFile::setPermissions(File(), QFile::ReadOwner | QFile::WriteOwner);
    QDir(Dir()).mkdir(QStringLiteral("tmp"));
    qputenv("TMPDIR", QFile::encodeName(TempDir()));
    FOpen.emplace(Dir());
}

TBooksCopy::~TBooksCopy()
{
    FOpen.reset();
    if (FOldTmpDir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", FOldTmpDir);
}

QStringList TBooksCopy::Entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

TLedgerModel PrepareBooks(const QString &fileName)
{
    TLedgerModel model = SeedModel(kBooksSeed);
    QList<TLedgerOp> ops;
    int kind = 0;
    for (const auto &[name, initial] : model.Initial) {
        for (int i = 0; i < 2; ++i) {
            TLedgerOp op;
            op.Record = {kind++ % 3, name, Currency::FromUnits(1'000'000 + 12'345 * kind),
                         kind % 4 + 1, QStringLiteral("第%1笔").arg(kind)};
            ops << op;
        }
    }
    {
        TBooksCopy books(QStringLiteral(TEMPLATE_DB));
        InsertSeedAccounts(model);
        GDbAccess->Close();
        QFile::copy(books.File(), fileName);
    }
    DeriveBooks(fileName, fileName, model, ops);
    return model;
}

void DeriveBooks(const QString &from, const QString &to, TLedgerModel &model,
                 const QList<TLedgerOp> &ops)
{
    TBooksCopy books(from);
    for (const TLedgerOp &op : ops) {
        RunOp(op);
        ApplyOp(model, op);
    }
    GDbAccess->Close();
    QFile::remove(to);
    if (!QFile::copy(books.File(), to))
        qFatal("cannot save %s", qPrintable(to));
}
