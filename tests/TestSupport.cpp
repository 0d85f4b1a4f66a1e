#include "TestSupport.h"

#include "data/DbAccess.h"
#include "data/UException.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <sqlite3.h>

bool AddImportSampleRows()
{
    QTest::addColumn<QString>("folder");
    const QDir samples(QStringLiteral(IMPORT_SAMPLES));
    bool any = false;
    for (const QString &name : samples.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (QFile::exists(samples.filePath(name + QStringLiteral("/expected.csv")))) {
            QTest::newRow(qPrintable(name)) << samples.filePath(name);
            any = true;
        }
    return any;
}

TRecordingPrompt::TRecordingPrompt()
    : FPrevious(SetPrompt(this))
{
}

TRecordingPrompt::~TRecordingPrompt()
{
    SetPrompt(FPrevious);
}

bool TRecordingPrompt::Box(TBoxKind kind, const QString &caption, const QString &text)
{
    Boxes.append({kind, caption, text});
    if (OnBox)
        OnBox(Boxes.last());
    return kind == TBoxKind::Confirm && !Answers.isEmpty() && Answers.takeFirst();
}

QString TRecordingPrompt::FileDialog(TFileDialogKind, const QString &)
{
    return FileNames.isEmpty() ? QString() : FileNames.takeFirst();
}

void TRecordingPrompt::OpenDocument(const QString &target)
{
    OpenedDocuments.append(target);
}

TTestBooks::TTestBooks()
{
    if (!QFile::copy(QStringLiteral(TEMPLATE_DB), DatabaseFile()))
        qFatal("cannot copy the template books");
    QFile::setPermissions(DatabaseFile(), QFile::ReadOwner | QFile::WriteOwner);
    AppPath = Dir();
    GCardException = new TCardException;
    GDbAccess = new TDbAccess;
    GDbAccess->Connect();
    if (!GDbAccess->Connected())
        qFatal("cannot open the template books");
}

TTestBooks::~TTestBooks()
{
    delete GDbAccess;
    GDbAccess = nullptr;
    delete GCardException;
    GCardException = nullptr;
    AppPath.clear();
}

QByteArray ReadAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void RawExec(const QString &fileName, const QString &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(fileName).constData(), &db);
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("RawExec: %s", error);
    sqlite3_close(db);
}
