#include "TestSupport.h"

#include "data/DbAccess.h"

#include <QDate>
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

QStringList TRecordingPrompt::FilesDialog(const QString &)
{
    return FileLists.isEmpty() ? QStringList() : FileLists.takeFirst();
}

void TRecordingPrompt::OpenDocument(const QString &target)
{
    OpenedDocuments.append(target);
}

TOpenBooks::TOpenBooks(const QString &dir)
    : FGlobals(dir)
{
    GDbAccess = new TDbAccess;
    GDbAccess->Connect();
    if (!GDbAccess->Connected())
        qFatal("cannot open the books in %s", qPrintable(dir));
}

TOpenBooks::~TOpenBooks()
{
    delete GDbAccess;
    GDbAccess = nullptr;
}

TTestBooks::TTestBooks()
{
    if (!QFile::copy(QStringLiteral(TEMPLATE_DB), DatabaseFile()))
        qFatal("cannot copy the template books");
    QFile::setPermissions(DatabaseFile(), QFile::ReadOwner | QFile::WriteOwner);
    FOpen.emplace(Dir());
}

QString TodayLog()
{
    return AppPath + QStringLiteral("Log") + QDate::currentDate().toString(u"yyyyMMdd")
        + QStringLiteral(".log");
}

QByteArray ReadAll(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(fileName));
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

QString DropUndoTriggers()
{
    QString sql;
    for (const char *table : {"Account", "BookKeep", "InType", "OutType", "ImportedRow"})
        for (const char *change : {"Insert", "Update", "Delete"})
            sql += QStringLiteral("drop trigger %1Undo%2;")
                       .arg(QLatin1StringView(table), QLatin1StringView(change));
    for (const char *table : {"BookKeep", "InType", "OutType"})
        sql += QStringLiteral("drop trigger %1UndoRekey;").arg(QLatin1StringView(table));
    return sql + QStringLiteral("drop trigger ImportedRowUndoReplace;");
}

QString DropVersion8()
{
    return QStringLiteral("drop table Schedule;drop table ScheduleDone;drop table Budget;"
                          "alter table SysSet drop column ScheduleChecked;"
                          "alter table SysSet drop column OffsiteUrl;"
                          "alter table SysSet drop column OffsiteUser;"
                          "alter table SysSet drop column OffsiteFolder;");
}

QString DropVersion7()
{
    return DropVersion8() + QStringLiteral("drop table ImportLink;drop table ImportRule;");
}

QString DropVersion6()
{
    return DropVersion7()
        + QStringLiteral("drop table Transfer;drop table Reconciled;drop index BookKeepAccountDate;"
                         "create index BookKeepAccountName on BookKeep (AccountName);");
}

QString DropUndoHistory()
{
    return DropVersion6() + DropUndoTriggers()
        + QStringLiteral("drop table UndoLog;drop table UndoRedo;");
}

QByteArray DumpBooks(const QString &fileName)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(fileName).constData(), &db, SQLITE_OPEN_READWRITE,
                        nullptr)
        != SQLITE_OK)
        qFatal("DumpBooks: cannot open %s", qPrintable(fileName));
    QByteArray dump;
    QList<QByteArray> queries;
    for (const char *table : {"Account", "BookKeep", "InType", "OutType", "Notepad", "SysSet",
                              "ImportedRow", "ImportSetting", "Transfer", "Reconciled",
                              "ImportLink", "ImportRule", "Schedule", "ScheduleDone", "Budget"})
        queries << QByteArray("select rowid,* from ") + table + " order by rowid";
    // The record ID counter.
    queries << "select name,seq from sqlite_sequence order by name";
    for (const QByteArray &sql : queries) {
        dump += sql + '\n';
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
            qFatal("DumpBooks: %s", sqlite3_errmsg(db));
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const int type = sqlite3_column_type(stmt, i);
                dump += char('0' + type);
                if (type == SQLITE_FLOAT) {
                    const double value = sqlite3_column_double(stmt, i);
                    dump += QByteArray(reinterpret_cast<const char *>(&value), sizeof value);
                } else {
                    const char *bytes = static_cast<const char *>(sqlite3_column_blob(stmt, i));
                    dump += QByteArray::number(sqlite3_column_bytes(stmt, i)) + ':'
                        + QByteArray(bytes, sqlite3_column_bytes(stmt, i));
                }
                dump += '|';
            }
            dump += '\n';
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return dump;
}
