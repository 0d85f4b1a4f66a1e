// Where the books live: --data-dir, the program's own folder, or the user's
// data folder for an installed program; and the books made there on the
// first start from the installed template.

#include "shell/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <unistd.h>

namespace {

void WriteFile(const QString &name, const QByteArray &content)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(name));
}

QByteArray ReadFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestDataFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void choice_data();
    void choice();
    void unwritableProgramFolderIsNotUsed();
    void firstStartCopiesTemplate();
    void booksAreNeverReplaced();
    void failedCopyLeavesNoBooks_data();
    void failedCopyLeavesNoBooks();

private:
    std::unique_ptr<QTemporaryDir> FRoot;
    QString Path(const QString &relative) const { return FRoot->filePath(relative); }
};

void TestDataFolder::init()
{
    // An installed tree: bin/ holds no books, share/bookkeep/ the template;
    // beside it a portable copy with its books in its own folder.
    FRoot = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(Path(QStringLiteral("usr/bin"))));
    QVERIFY(QDir().mkpath(Path(QStringLiteral("usr/share/bookkeep"))));
    QVERIFY(QFile::copy(QStringLiteral(TEMPLATE_DB),
                        Path(QStringLiteral("usr/share/bookkeep/bookkeep.dat"))));
    QVERIFY(QDir().mkpath(Path(QStringLiteral("portable"))));
    WriteFile(Path(QStringLiteral("portable/bookkeep.dat")), "books");
}

void TestDataFolder::choice_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("templateBooks");

    QTest::newRow("installed") << QString() << QStringLiteral("usr/bin")
                               << QStringLiteral("home/data/bookkeep/")
                               << QStringLiteral("usr/share/bookkeep/bookkeep.dat");
    QTest::newRow("portable") << QString() << QStringLiteral("portable")
                              << QStringLiteral("portable/") << QString();
    QTest::newRow("option, installed") << QStringLiteral("mine") << QStringLiteral("usr/bin")
                                       << QStringLiteral("mine/") << QString();
    QTest::newRow("option, portable") << QStringLiteral("mine/") << QStringLiteral("portable")
                                      << QStringLiteral("mine/") << QString();
}

void TestDataFolder::choice()
{
    QFETCH(QString, option);
    QFETCH(QString, programDir);
    QFETCH(QString, path);
    QFETCH(QString, templateBooks);

    // A relative --data-dir is taken from the current folder.
    const QString current = QDir::currentPath();
    QVERIFY(QDir::setCurrent(FRoot->path()));
    const TDataFolder folder
        = ChooseDataFolder(option, Path(programDir), Path(QStringLiteral("home/data")));
    QDir::setCurrent(current);

    QCOMPARE(folder.Path, QDir::cleanPath(Path(path)) + u'/');
    QCOMPARE(folder.Template, templateBooks.isEmpty() ? QString() : Path(templateBooks));
}

void TestDataFolder::unwritableProgramFolderIsNotUsed()
{
    if (::geteuid() == 0)
        QSKIP("every folder is writable for root");
    QFile::setPermissions(Path(QStringLiteral("portable")), QFile::ReadOwner | QFile::ExeOwner);
    const TDataFolder folder
        = ChooseDataFolder({}, Path(QStringLiteral("portable")), Path(QStringLiteral("home/data")));
    QFile::setPermissions(Path(QStringLiteral("portable")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(folder.Path, Path(QStringLiteral("home/data/bookkeep/")));
}

void TestDataFolder::firstStartCopiesTemplate()
{
    const TDataFolder folder
        = ChooseDataFolder({}, Path(QStringLiteral("usr/bin")), Path(QStringLiteral("home/data")));
    QCOMPARE(PrepareDataFolder(folder), QString());
    QCOMPARE(QDir(folder.Path).entryList(QDir::Files),
             QStringList {QStringLiteral("bookkeep.dat")});
    QCOMPARE(ReadFile(folder.Path + QStringLiteral("bookkeep.dat")),
             ReadFile(QStringLiteral(TEMPLATE_DB)));
}

void TestDataFolder::booksAreNeverReplaced()
{
    // The user's books on a second start.
    const TDataFolder folder
        = ChooseDataFolder({}, Path(QStringLiteral("usr/bin")), Path(QStringLiteral("home/data")));
    QVERIFY(QDir().mkpath(folder.Path));
    WriteFile(folder.Path + QStringLiteral("bookkeep.dat"), "my books");
    QCOMPARE(PrepareDataFolder(folder), QString());
    QCOMPARE(ReadFile(folder.Path + QStringLiteral("bookkeep.dat")), QByteArray("my books"));

    // Books on a disk that is not mounted: the link stays, and opening it
    // reports the missing file.
    QVERIFY(QFile::remove(folder.Path + QStringLiteral("bookkeep.dat")));
    QVERIFY(QFile::link(Path(QStringLiteral("unmounted/bookkeep.dat")),
                        folder.Path + QStringLiteral("bookkeep.dat")));
    QCOMPARE(PrepareDataFolder(folder), QString());
    QCOMPARE(QFileInfo(folder.Path + QStringLiteral("bookkeep.dat")).symLinkTarget(),
             Path(QStringLiteral("unmounted/bookkeep.dat")));

    // --data-dir and the program's own folder name books that exist already;
    // nothing is made there.
    for (const QString &option : {Path(QStringLiteral("empty")), QString()}) {
        const TDataFolder given = ChooseDataFolder(option, Path(QStringLiteral("portable")), {});
        QCOMPARE(PrepareDataFolder(given), QString());
    }
    QVERIFY(!QFileInfo::exists(Path(QStringLiteral("empty"))));
    QCOMPARE(ReadFile(Path(QStringLiteral("portable/bookkeep.dat"))), QByteArray("books"));
}

void TestDataFolder::failedCopyLeavesNoBooks_data()
{
    QTest::addColumn<QString>("templateBooks");
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("message");

    QTest::newRow("no template") << QStringLiteral("usr/share/bookkeep/missing.dat")
                                 << QStringLiteral("home/data")
                                 << QStringLiteral(
                                        "找不到账簿模板 %1/usr/share/bookkeep/missing.dat");
    QTest::newRow("empty template")
        << QStringLiteral("usr/share/bookkeep/empty.dat") << QStringLiteral("home/data")
        << QStringLiteral("账簿模板 %1/usr/share/bookkeep/empty.dat 无法读取或是空文件");
    QTest::newRow("a file where the folder goes")
        << QStringLiteral("usr/share/bookkeep/bookkeep.dat")
        << QStringLiteral("portable/bookkeep.dat")
        << QStringLiteral("无法创建存放账簿的目录 %1/portable/bookkeep.dat/bookkeep/");
}

void TestDataFolder::failedCopyLeavesNoBooks()
{
    QFETCH(QString, templateBooks);
    QFETCH(QString, dataHome);
    QFETCH(QString, message);

    WriteFile(Path(QStringLiteral("usr/share/bookkeep/empty.dat")), {});
    const TDataFolder folder = {Path(dataHome) + QStringLiteral("/bookkeep/"), Path(templateBooks)};
    const QString failure = PrepareDataFolder(folder);
    QVERIFY2(failure.startsWith(message.arg(FRoot->path())), qPrintable(failure));
    QVERIFY(failure.endsWith(u'。'));
    // Nothing where the books belong, not even a partial copy.
    QVERIFY(QDir(folder.Path).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

QTEST_GUILESS_MAIN(TestDataFolder)
#include "tst_DataFolder.moc"
