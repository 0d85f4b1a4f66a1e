#include "ModalDriver.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"

#include "data/DateFormats.h"
#include "data/DbAccess.h"
#include "data/UException.h"
#include "forms/BaseDlg.h"
#include "forms/Note.h"
#include "ledger/UntNote.h"
#include "shell/WidgetPrompt.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>
#include <sqlite3.h>

namespace {

const QString kNoRow = QStringLiteral("<no row>");

// The note as the file holds it, read outside the program's connection.
QString RawNote(const QString &fileName)
{
    GDbAccess->FQuery.Close();
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(fileName).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "select Remark from Notepad where ID=1", -1, &stmt, nullptr);
    QString value = kNoRow;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        value = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)),
                                  sqlite3_column_bytes(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return value;
}

QList<TFormCardNote *> NoteWindows()
{
    QList<TFormCardNote *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *note = qobject_cast<TFormCardNote *>(widget))
            found += note;
    }
    return found;
}

TFormCardNote *OpenNote()
{
    ShowNote();
    const auto windows = NoteWindows();
    return windows.size() == 1 ? windows.first() : nullptr;
}

QPlainTextEdit *Memo(QWidget *note)
{
    return note->findChild<QPlainTextEdit *>(QStringLiteral("mmoNote"));
}

QPushButton *Button(QWidget *note, const QString &name)
{
    return note->findChild<QPushButton *>(name);
}

void Click(QWidget *note, const QString &name)
{
    QTest::mouseClick(Button(note, name), Qt::LeftButton);
}

void Select(QPlainTextEdit *memo, int start, int end)
{
    QTextCursor cursor = memo->textCursor();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    memo->setTextCursor(cursor);
}

// The selection as (start, end); the caret alone gives start == end.
QPair<int, int> Selection(QPlainTextEdit *memo)
{
    const QTextCursor cursor = memo->textCursor();
    return {cursor.selectionStart(), cursor.selectionEnd()};
}

void ForbidWrites(const QString &fileName)
{
    GDbAccess->FQuery.Close();
    RawExec(fileName,
            QStringLiteral("create trigger NoUpdate before update on Notepad "
                           "begin select raise(abort, 'written'); end;"
                           "create trigger NoInsert before insert on Notepad "
                           "begin select raise(abort, 'written'); end;"));
}

void AllowWrites(const QString &fileName)
{
    GDbAccess->FQuery.Close();
    RawExec(fileName, QStringLiteral("drop trigger NoUpdate; drop trigger NoInsert;"));
}

} // namespace

class TstNote : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void storedUnchanged_data();
    void storedUnchanged();
    void sameTextWritesNothing();
    void lineBreaksKept();
    void missingRowCreated();

    void windowLooksRight();
    void oneWindowOnly();
    void closeSavesAndFrees();
    void failedSaveKeepsWindow();
    void unreadableNoteNotOverwritten();

    void search_data();
    void search();
    void searchGoesRound();
    void insertTime();

    void endSavesOpenNote();

private:
    std::unique_ptr<TTestBooks> FBooks;
    std::unique_ptr<TRecordingPrompt> FPrompt;
};

void TstNote::init()
{
    FBooks = std::make_unique<TTestBooks>();
    FPrompt = std::make_unique<TRecordingPrompt>();
}

void TstNote::cleanup()
{
    // A window a failed test left open goes without saving.
    qDeleteAll(NoteWindows());
    FPrompt.reset();
    FBooks.reset();
}

void TstNote::storedUnchanged_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("quotes") << QStringLiteral("it's \"quoted\" ''");
    QTest::newRow("separator") << QStringLiteral("one@#@two");
    QTest::newRow("comment") << QStringLiteral("a -- b; drop table Notepad");
    QTest::newRow("placeholders") << QStringLiteral("100% %s ?");
    QTest::newRow("Chinese") << QStringLiteral("记账：今天买菜花了十二元。");
    QTest::newRow("line breaks") << QStringLiteral("first\nsecond\n\n\tfourth\n");
    QTest::newRow("10000") << QString(2500, u'记') + QString(2500, u'\'')
            + QStringLiteral("@#@-").repeated(1250);
}

// Through the window: typed in, closed, stored as it stands, shown again.
void TstNote::storedUnchanged()
{
    QFETCH(QString, text);
    QPointer<TFormCardNote> note = OpenNote();
    QVERIFY(note);
    Memo(note)->setPlainText(text);
    Click(note, QStringLiteral("btn1"));
    QTRY_VERIFY(!note || !note->isVisible());
    QCOMPARE(RawNote(FBooks->DatabaseFile()), text);
    QCOMPARE(GNote->ReadNote(), text);

    note = OpenNote();
    QCOMPARE(Memo(note)->toPlainText(), text);
    QVERIFY(FPrompt->Boxes.isEmpty());
}

void TstNote::sameTextWritesNothing()
{
    GNote->SaveNote(QStringLiteral("kept"));
    ForbidWrites(FBooks->DatabaseFile());
    GNote->SaveNote(QStringLiteral("kept"));

    QPointer<TFormCardNote> note = OpenNote();
    note->close();
    QVERIFY(!note || !note->isVisible());
    QVERIFY(FPrompt->Boxes.isEmpty());

    // A change is written, and a refused write is reported.
    QVERIFY_THROWS_EXCEPTION(EDBException, GNote->SaveNote(QStringLiteral("changed")));
    AllowWrites(FBooks->DatabaseFile());
    GNote->SaveNote(QStringLiteral("changed"));
    QCOMPARE(RawNote(FBooks->DatabaseFile()), QStringLiteral("changed"));
}

void TstNote::lineBreaksKept()
{
    // Opened and closed: nothing is written, whatever the line breaks.
    const QString stored = QStringLiteral("a\r\nb\rc") + QChar(QChar::LineSeparator) + u'd';
    GNote->SaveNote(stored);
    ForbidWrites(FBooks->DatabaseFile());
    QPointer<TFormCardNote> note = OpenNote();
    note->close();
    QVERIFY(!note || !note->isVisible());
    QVERIFY(FPrompt->Boxes.isEmpty());
    AllowWrites(FBooks->DatabaseFile());
    QCOMPARE(RawNote(FBooks->DatabaseFile()), stored);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // Changed: written with the breaks the note uses.
    GNote->SaveNote(QStringLiteral("x\r\ny"));
    note = OpenNote();
    QTextCursor cursor = Memo(note)->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("\nz"));
    note->close();
    QCOMPARE(RawNote(FBooks->DatabaseFile()), QStringLiteral("x\r\ny\r\nz"));
}

void TstNote::missingRowCreated()
{
    RawExec(FBooks->DatabaseFile(), QStringLiteral("delete from Notepad"));
    QCOMPARE(GNote->ReadNote(), QString());
    GNote->SaveNote(QStringLiteral("new note"));
    QCOMPARE(RawNote(FBooks->DatabaseFile()), QStringLiteral("new note"));
    GNote->SaveNote(QStringLiteral("newer note"));
    QCOMPARE(RawNote(FBooks->DatabaseFile()), QStringLiteral("newer note"));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from Notepad")), 1);
}

void TstNote::windowLooksRight()
{
    GNote->SaveNote(QStringLiteral("hello"));
    QMainWindow main;
    main.setGeometry(100, 80, 900, 700);
    main.show();

    TFormCardNote *note = OpenNote();
    QVERIFY(note);
    QCOMPARE(note->windowTitle(), QStringLiteral("便签"));
    QCOMPARE(note->size(), QSize(600, 480));
    QVERIFY((note->frameGeometry().center() - main.frameGeometry().center()).manhattanLength()
            <= 2);
    const Qt::WindowFlags flags = note->windowFlags();
    QVERIFY(flags & Qt::WindowStaysOnTopHint);
    QVERIFY(flags & Qt::WindowMaximizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!note->isModal());
    // Dialogs and file dialogs opened meanwhile show above it, as boxes do.
    TModalDriver driver;
    for (int i = 0; i < 2; ++i)
        driver.Then([](QWidget *modal) {
            QMetaObject::invokeMethod(modal, &QWidget::close, Qt::QueuedConnection);
            QVERIFY(modal->windowFlags() & Qt::WindowStaysOnTopHint);
        });
    TFormBaseDlg().ShowModal();
    TWidgetPrompt().FileDialog(TFileDialogKind::Save, QStringLiteral("数据文件 (*.bat)"));

    QCOMPARE(Memo(note)->toPlainText(), QStringLiteral("hello"));
    QCOMPARE(note->focusWidget(), Memo(note));
    QCOMPARE(Button(note, QStringLiteral("btnTime"))->text(), QStringLiteral("插入时间"));
    QCOMPARE(Button(note, QStringLiteral("btn2"))->text(), QStringLiteral("查找"));
    QCOMPARE(Button(note, QStringLiteral("btn1"))->text(), QStringLiteral("退出"));
    QCOMPARE(Button(note, QStringLiteral("btn1"))->geometry(), QRect(504, 15, 75, 25));
    QCOMPARE(note->findChild<QWidget *>(QStringLiteral("pnl1"))->height(), 56);
    QCOMPARE(Memo(note)->geometry().top(), 56);

    // "退出" keeps to the right edge when the window grows.
    note->resize(800, 480);
    QCOMPARE(Button(note, QStringLiteral("btn1"))->x(), 704);
}

void TstNote::oneWindowOnly()
{
    TFormCardNote *note = OpenNote();
    QVERIFY(note);
    Memo(note)->setPlainText(QStringLiteral("unsaved"));
    ShowNote();
    QCOMPARE(NoteWindows().size(), 1);
    QCOMPARE(Memo(note)->toPlainText(), QStringLiteral("unsaved"));
}

void TstNote::closeSavesAndFrees()
{
    QPointer<TFormCardNote> note = OpenNote();
    QTest::keyClicks(Memo(note), QStringLiteral("typed text"));
    note->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(note.isNull());
    QCOMPARE(RawNote(FBooks->DatabaseFile()), QStringLiteral("typed text"));

    // The next note window is a new one.
    note = OpenNote();
    QVERIFY(note);
}

void TstNote::failedSaveKeepsWindow()
{
    QPointer<TFormCardNote> note = OpenNote();
    Memo(note)->setPlainText(QStringLiteral("precious"));
    ForbidWrites(FBooks->DatabaseFile());
    Click(note, QStringLiteral("btn1"));
    QTRY_COMPARE(FPrompt->Boxes.size(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(note && note->isVisible());
    QCOMPARE(Memo(note)->toPlainText(), QStringLiteral("precious"));
    QCOMPARE(FPrompt->Boxes.size(), 1);
    QVERIFY(FPrompt->Boxes[0].Text.startsWith(QStringLiteral("数据库操作失败！")));

    AllowWrites(FBooks->DatabaseFile());
    note->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(note.isNull());
    QCOMPARE(RawNote(FBooks->DatabaseFile()), QStringLiteral("precious"));
}

// A note that could not be read is never written over by the empty memo.
void TstNote::unreadableNoteNotOverwritten()
{
    RawExec(FBooks->DatabaseFile(), QStringLiteral("drop table Notepad"));
    QPointer<TFormCardNote> note = OpenNote();
    QCOMPARE(FPrompt->Boxes.size(), 1);
    QVERIFY(FPrompt->Boxes[0].Text.startsWith(QStringLiteral("数据库查询错误，请检查！")));

    // The books become readable before the window goes.
    RawExec(FBooks->DatabaseFile(),
            QStringLiteral("create table Notepad (ID integer primary key, Remark text);"
                           "insert into Notepad values (1, 'kept');"));
    QTRY_VERIFY(note.isNull());
    QCOMPARE(RawNote(FBooks->DatabaseFile()), QStringLiteral("kept"));
    QCOMPARE(FPrompt->Boxes.size(), 1);
}

void TstNote::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selEnd");
    QTest::addColumn<int>("foundStart"); // -1: not found
    QTest::addColumn<int>("foundEnd");

    QTest::newRow("lower finds upper")
        << QStringLiteral("xx ABC") << QStringLiteral("abc") << 0 << 0 << 3 << 6;
    QTest::newRow("upper finds mixed")
        << QStringLiteral("xx aBc") << QStringLiteral("ABC") << 0 << 0 << 3 << 6;
    QTest::newRow("after the selection")
        << QStringLiteral("abc abc") << QStringLiteral("abc") << 0 << 3 << 4 << 7;
    QTest::newRow("inside the selection is skipped")
        << QStringLiteral("abc abc") << QStringLiteral("abc") << 0 << 5 << -1 << -1;
    QTest::newRow("from the caret")
        << QStringLiteral("abc abc") << QStringLiteral("abc") << 2 << 2 << 4 << 7;
    QTest::newRow("other letters exact")
        << QStringLiteral("ÄÖ straße") << QStringLiteral("äö") << 0 << 0 << -1 << -1;
    QTest::newRow("no folding to SS")
        << QStringLiteral("STRASSE") << QStringLiteral("straße") << 0 << 0 << -1 << -1;
    QTest::newRow("Chinese") << QStringLiteral("今天记账，明天记账") << QStringLiteral("记账") << 4
                             << 4 << 7 << 9;
    QTest::newRow("across lines") << QStringLiteral("one\ntwo") << QStringLiteral("E\nT") << 0 << 0
                                  << 2 << 5;
    QTest::newRow("empty query") << QStringLiteral("abc abc") << QString() << 4 << 7 << -1 << -1;
}

void TstNote::search()
{
    QFETCH(QString, text);
    QFETCH(QString, query);
    QFETCH(int, selStart);
    QFETCH(int, selEnd);
    QFETCH(int, foundStart);
    QFETCH(int, foundEnd);

    TFormCardNote *note = OpenNote();
    QPlainTextEdit *memo = Memo(note);
    memo->setPlainText(text);
    Select(memo, selStart, selEnd);
    note->findChild<QLineEdit *>(QStringLiteral("EdtQuery"))->setText(query);
    Click(note, QStringLiteral("btn2"));
    if (foundStart < 0) {
        QCOMPARE(Selection(memo), qMakePair(0, 0));
    } else {
        QCOMPARE(Selection(memo), qMakePair(foundStart, foundEnd));
        QCOMPARE(note->focusWidget(), memo);
    }
    QVERIFY(FPrompt->Boxes.isEmpty());
}

void TstNote::searchGoesRound()
{
    TFormCardNote *note = OpenNote();
    QPlainTextEdit *memo = Memo(note);
    memo->setPlainText(QStringLiteral("abc ABC aBc xyz"));
    note->findChild<QLineEdit *>(QStringLiteral("EdtQuery"))->setText(QStringLiteral("abc"));
    const QList<QPair<int, int>> expected {{0, 3}, {4, 7}, {8, 11}, {0, 0}, {0, 3}};
    for (const auto &selection : expected) {
        Click(note, QStringLiteral("btn2"));
        QCOMPARE(Selection(memo), selection);
    }
}

void TstNote::insertTime()
{
    TFormCardNote *note = OpenNote();
    QPlainTextEdit *memo = Memo(note);
    memo->setPlainText(QStringLiteral("abXYcd"));
    Select(memo, 2, 4);
    const QString before = DateTimeText(QDateTime::currentDateTime());
    Click(note, QStringLiteral("btnTime"));
    const QString after = DateTimeText(QDateTime::currentDateTime());
    const QString text = memo->toPlainText();
    QVERIFY2(text == QStringLiteral("ab") + before + QStringLiteral("cd")
                 || text == QStringLiteral("ab") + after + QStringLiteral("cd"),
             qPrintable(text));
    QCOMPARE(Selection(memo).first, text.size() - 2);
    QCOMPARE(note->focusWidget(), Button(note, QStringLiteral("btnTime")));
}

// Closing the main window ends the program with the note window open, and
// the note is written on the way out.
void TstNote::endSavesOpenNote()
{
    QMainWindow main;
    main.show();
    QPointer<TFormCardNote> note = OpenNote();
    Memo(note)->setPlainText(QStringLiteral("written at the end"));

    bool ended = false;
    QTimer::singleShot(0, &main, [&main] { main.close(); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [&ended] { ended = true; });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(ended);
    QVERIFY(note.isNull());
    QCOMPARE(RawNote(FBooks->DatabaseFile()), QStringLiteral("written at the end"));
}

BOOKKEEP_TEST_MAIN(TstNote)

#include "tst_Note.moc"
