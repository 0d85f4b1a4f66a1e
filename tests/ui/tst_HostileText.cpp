// Texts a user can type, stored through the ledger objects: each comes back
// exactly as typed, or is refused with a message of the program's own, shown
// as a plain error box, with nothing written.

#include "LedgerTestSupport.h"
#include "WidgetTestSupport.h"

#include "data/ListModel.h"
#include "data/UException.h"
#include "ledger/RecordFilter.h"
#include "ledger/UntConfig.h"
#include "ledger/UntNote.h"
#include "ledger/UntTree.h"

#include <QApplication>
#include <QTest>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <functional>
#include <memory>

namespace {

// Where a text is refused: nowhere, only where it goes into statement text
// (the note is bound and keeps it), or everywhere.
enum TRefused { Nowhere, InStatements, Everywhere };

// Runs f and returns the message of the general failure it raises, or an
// empty text when it raises none. A database failure fails the test: a text
// must never reach the engine in a form it rejects.
QString Refusal(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EDBException &failure) {
        qWarning("database failure: %s", qPrintable(failure.Message()));
        return QStringLiteral("<database failure>");
    } catch (const Exception &failure) {
        return failure.Message();
    }
    return {};
}

// A refusal is a plain error box of the program's own words.
bool ShownPlainly(const QString &message)
{
    TRecordingPrompt prompt;
    GCardException->ReportException(Exception(message));
    return prompt.Boxes.size() == 1 && prompt.Boxes[0].Caption == u"错误"
        && prompt.Boxes[0].Text == message && message.contains(u"无法保存");
}

// The tree's category names, read afresh from the table.
QStringList CategoryNames()
{
    QTreeWidget view;
    TCardTree tree(&view, QStringLiteral("InType"), QStringLiteral("收入类别"));
    tree.LoadTypes();
    QStringList names;
    for (QTreeWidgetItemIterator it(&view); *it; ++it) {
        if (*it != tree.RootNode())
            names << (*it)->text(0);
    }
    return names;
}

} // namespace

class TestHostileText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void accountNameAndRemark_data() { AddRows(); }
    void accountNameAndRemark();
    void recordRemarkAndFilter_data() { AddRows(); }
    void recordRemarkAndFilter();
    void categoryName_data() { AddRows(); }
    void categoryName();
    void note_data() { AddRows(); }
    void note();
    void loginPassword_data() { AddRows(); }
    void loginPassword();

private:
    static void AddRows();
};

void TestHostileText::AddRows()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("refused");
    const QChar high(0xD83D);
    const QChar low(0xDE00);
    QTest::newRow("quotes") << QStringLiteral("O'Brien's \"x\" ''") << int(Nowhere);
    QTest::newRow("batch separator") << QStringLiteral("a@#@b'@#@'c@#@") << int(Nowhere);
    QTest::newRow("comment") << QStringLiteral("x -- y /* z */ #") << int(Nowhere);
    QTest::newRow("injection") << QStringLiteral("'); drop table BookKeep; --") << int(Nowhere);
    QTest::newRow("like wildcards") << QStringLiteral("100% a_b \\%") << int(Nowhere);
    QTest::newRow("format markers") << QStringLiteral("%s %1 %% %n") << int(Nowhere);
    QTest::newRow("control characters")
        << QStringLiteral("a\tb\r\nc\x01\x1b\x7f") + QChar(0x2028) << int(Nowhere);
    QTest::newRow("only blanks") << QStringLiteral(" \r\n\t ") << int(Nowhere);
    QTest::newRow("emoji") << QStringLiteral("记账😀👨‍👩‍👧") << int(Nowhere);
    QTest::newRow("lone high surrogate") << QStringLiteral("ab") + high << int(Everywhere);
    QTest::newRow("lone low surrogate") << QString(low) + QStringLiteral("ab") << int(Everywhere);
    QTest::newRow("surrogates reversed") << QString(low) + high << int(Everywhere);
    QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b")
                         << int(InStatements);
    QTest::newRow("100000 characters") << QString(50000, u'长') + QStringLiteral("'@#@--%_")
            + QString(49992, u'x') << int(Nowhere);
}

void TestHostileText::accountNameAndRemark()
{
    QFETCH(QString, text);
    QFETCH(int, refused);
    TTestBooks books;
    const QString refusal = Refusal([&] { InsertAccount(text, Amount("1.5"), text); });
    if (refused != Nowhere) {
        QVERIFY2(ShownPlainly(refusal), qPrintable(refusal));
        QCOMPARE(RowCount(QStringLiteral("Account")), 0);
        return;
    }
    QCOMPARE(refusal, QString());
    GAccount->ReadAccount(text);
    QCOMPARE(GAccount->FAccountName, text);
    QCOMPARE(GAccount->FRemark, text);
    QStringList names;
    GAccount->ListAccountNames(names);
    QCOMPARE(names, QStringList {text});

    // Renamed to a text of the same kind and back, the records follow.
    AddRecord(0, text, Amount("2"));
    GAccount->FAccountName = text + text;
    GAccount->FRemark = QString();
    GAccount->UpdateAccount(text);
    QCOMPARE(ReadTotals(text + text), Totals("3.5", "2", "0"));
    RecordFilter onAccount;
    onAccount.Account = text + text;
    QCOMPARE(
        DbQueryInt(Format(QStringLiteral("select count(*) from BookKeep %s"), {onAccount.Where()})),
        1);
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 1);
}

void TestHostileText::recordRemarkAndFilter()
{
    QFETCH(QString, text);
    QFETCH(int, refused);
    TTestBooks books;
    InsertAccount(QStringLiteral("A"), Amount("0"));
    AddRecord(1, QStringLiteral("A"), Amount("3"), 1, QStringLiteral("other"));
    QString id;
    const QString refusal
        = Refusal([&] { id = AddRecord(0, QStringLiteral("A"), Amount("5"), 1, text); });
    if (refused != Nowhere) {
        QVERIFY2(ShownPlainly(refusal), qPrintable(refusal));
        QCOMPARE(RowCount(QStringLiteral("BookKeep")), 1);
        QCOMPARE(ReadTotals(QStringLiteral("A")), Totals("-3", "0", "3"));
        return;
    }
    QCOMPARE(refusal, QString());
    GBookKeep->ReadRecord(id);
    QCOMPARE(GBookKeep->FRemark, text);
    QCOMPARE(ReadTotals(QStringLiteral("A")), Totals("2", "5", "3"));

    // The record list's remark filter as the main window builds it finds
    // the record by its whole remark. The engine takes LIKE patterns of up
    // to 50,000 bytes only.
    if (text.toUtf8().size() > 49000)
        return;
    TListModel list({});
    GBookKeep->ListRecords(list,
                           QStringLiteral("where 1=1 and Remark like '%") + SqlText(text)
                               + QStringLiteral("%' "));
    QCOMPARE(list.rowCount(), 1);
    QCOMPARE(list.Cell(0, 0), id);
    QCOMPARE(list.Cell(0, 5), text);
}

void TestHostileText::categoryName()
{
    QFETCH(QString, text);
    QFETCH(int, refused);
    TTestBooks books;
    QTreeWidget view;
    TCardTree tree(&view, QStringLiteral("InType"), QStringLiteral("收入类别"));
    tree.LoadTypes();
    const QString refusal = Refusal([&] { tree.InsertType(text); });
    if (refused != Nowhere) {
        QVERIFY2(ShownPlainly(refusal), qPrintable(refusal));
        QCOMPARE(view.topLevelItem(0)->childCount(), 0);
        QCOMPARE(CategoryNames(), QStringList());
        return;
    }
    QCOMPARE(refusal, QString());
    QCOMPARE(CategoryNames(), QStringList {text});

    // Renamed, the category keeps the new text exactly.
    view.setCurrentItem(view.topLevelItem(0)->child(0));
    QVERIFY(tree.ModType(text + u'2'));
    QCOMPARE(CategoryNames(), QStringList {text + u'2'});
}

void TestHostileText::note()
{
    QFETCH(QString, text);
    QFETCH(int, refused);
    TTestBooks books;
    TNote note;
    note.SaveNote(QStringLiteral("before"));
    const QString refusal = Refusal([&] { note.SaveNote(text); });
    if (refused == Everywhere) {
        QVERIFY2(ShownPlainly(refusal), qPrintable(refusal));
        QCOMPARE(note.ReadNote(), QStringLiteral("before"));
        return;
    }
    QCOMPARE(refusal, QString());
    QCOMPARE(note.ReadNote(), text);
}

void TestHostileText::loginPassword()
{
    QFETCH(QString, text);
    QFETCH(int, refused);
    TTestBooks books;
    TConfig config;
    config.FbPass = true;
    config.FPassWord = text;
    const QString refusal = Refusal([&] { config.SaveConfig(); });
    TConfig stored;
    stored.LoadConfig();
    if (refused != Nowhere) {
        QVERIFY2(ShownPlainly(refusal), qPrintable(refusal));
        QVERIFY(!stored.FbPass);
        QCOMPARE(stored.FPassWord, QString());
        return;
    }
    QCOMPARE(refusal, QString());
    QVERIFY(stored.FbPass);
    QCOMPARE(stored.FPassWord, text);
}

BOOKKEEP_TEST_MAIN(TestHostileText)
#include "tst_HostileText.moc"
