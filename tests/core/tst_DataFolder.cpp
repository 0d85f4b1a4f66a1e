// Where the books live: --data-dir, the program's own folder, or the user's
// data folder for an installed program, with the books made there on the
// first start from the installed template.

#include "TestSupport.h"

#include "shell/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {

} // namespace

class TestDataFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void choice_data();
    void choice();
    void firstStartCopiesOnce();
    void failureLeavesNoBooks_data();
    void failureLeavesNoBooks();

private:
    QString Path(const QString &relative) const { return FRoot->filePath(relative); }
    std::unique_ptr<QTemporaryDir> FRoot;
};

void TestDataFolder::init()
{
    // An installed tree (bin/ without books, the template in share/) and a
    // program unpacked into a folder with its books.
    FRoot = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(Path(QStringLiteral("usr/bin"))));
    QVERIFY(QDir().mkpath(Path(QStringLiteral("usr/share/bookkeep"))));
    QVERIFY(QFile::copy(QStringLiteral(TEMPLATE_DB),
                        Path(QStringLiteral("usr/share/bookkeep/bookkeep.dat"))));
    WriteFile(Path(QStringLiteral("usr/share/bookkeep/empty.dat")), {});
    QVERIFY(QDir().mkpath(Path(QStringLiteral("portable"))));
    WriteFile(Path(QStringLiteral("portable/bookkeep.dat")), "books");
}

void TestDataFolder::choice_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("programDir");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("templateBooks");
    QTest::addColumn<bool>("books"); // whether books are there once prepared

    QTest::newRow("installed") << QString() << QStringLiteral("usr/bin")
                               << QStringLiteral("home/bookkeep/")
                               << QStringLiteral("usr/share/bookkeep/bookkeep.dat") << true;
    QTest::newRow("own folder") << QString() << QStringLiteral("portable")
                                << QStringLiteral("portable/") << QString() << true;
    // Books are made only in the user's data folder, never in a folder named.
    QTest::newRow("relative option") << QStringLiteral("mine") << QStringLiteral("portable")
                                     << QStringLiteral("mine/") << QString() << false;
}

void TestDataFolder::choice()
{
    QFETCH(QString, option);
    QFETCH(QString, programDir);
    QFETCH(QString, path);
    QFETCH(QString, templateBooks);
    QFETCH(bool, books);

    const QString current = QDir::currentPath();
    QVERIFY(QDir::setCurrent(FRoot->path()));
    const TDataFolder folder
        = ChooseDataFolder(option, Path(programDir), Path(QStringLiteral("home")));
    QDir::setCurrent(current);
    QCOMPARE(folder.Path, Path(path));
    QCOMPARE(folder.Template, templateBooks.isEmpty() ? QString() : Path(templateBooks));
    QCOMPARE(PrepareDataFolder(folder).Reason(), QString());
    QCOMPARE(QFileInfo::exists(folder.Path + QStringLiteral("bookkeep.dat")), books);
}

void TestDataFolder::firstStartCopiesOnce()
{
    const TDataFolder folder = {Path(QStringLiteral("home/a/bookkeep/")),
                                Path(QStringLiteral("usr/share/bookkeep/bookkeep.dat"))};
    const QString books = folder.Path + QStringLiteral("bookkeep.dat");
    QCOMPARE(PrepareDataFolder(folder).Reason(), QString());
    QCOMPARE(QDir(folder.Path).entryList(QDir::Files | QDir::Hidden),
             QStringList {QStringLiteral("bookkeep.dat")});
    QCOMPARE(ReadAll(books), ReadAll(QStringLiteral(TEMPLATE_DB)));

    // The user's books are never replaced, nor a link to books on a disk
    // that is not mounted now (opening it reports the missing file).
    WriteFile(books, "my books");
    QCOMPARE(PrepareDataFolder(folder).Reason(), QString());
    QCOMPARE(ReadAll(books), QByteArray("my books"));
    QVERIFY(QFile::remove(books));
    QVERIFY(QFile::link(Path(QStringLiteral("unmounted/bookkeep.dat")), books));
    QCOMPARE(PrepareDataFolder(folder).Reason(), QString());
    QVERIFY(QFileInfo(books).isSymLink());
    QVERIFY(!QFileInfo::exists(Path(QStringLiteral("unmounted"))));
}

void TestDataFolder::failureLeavesNoBooks_data()
{
    QTest::addColumn<QString>("templateBooks");
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("message");

    QTest::newRow("no template") << QStringLiteral("usr/share/bookkeep/missing.dat")
                                 << QStringLiteral("home")
                                 << QStringLiteral(
                                        "找不到账簿模板 %1/usr/share/bookkeep/missing.dat");
    QTest::newRow("empty template")
        << QStringLiteral("usr/share/bookkeep/empty.dat") << QStringLiteral("home")
        << QStringLiteral("账簿模板 %1/usr/share/bookkeep/empty.dat 无法读取");
    QTest::newRow("a file where the folder goes")
        << QStringLiteral("usr/share/bookkeep/bookkeep.dat")
        << QStringLiteral("portable/bookkeep.dat")
        << QStringLiteral("无法创建存放账簿的目录 %1/portable/bookkeep.dat/bookkeep/。");
}

void TestDataFolder::failureLeavesNoBooks()
{
    QFETCH(QString, templateBooks);
    QFETCH(QString, dataHome);
    QFETCH(QString, message);

    const TDataFolder folder = {Path(dataHome) + QStringLiteral("/bookkeep/"), Path(templateBooks)};
    const QString failure = PrepareDataFolder(folder).Reason();
    QVERIFY2(failure.startsWith(message.arg(FRoot->path())), qPrintable(failure));
    // Nothing where the books belong, not even a partial copy.
    QVERIFY(QDir(folder.Path).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

QTEST_GUILESS_MAIN(TestDataFolder)
#include "tst_DataFolder.moc"
