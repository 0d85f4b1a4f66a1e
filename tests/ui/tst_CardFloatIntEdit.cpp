#include "WidgetTestSupport.h"

#include "controls/CardFloatIntEdit.h"
#include "ui_ControlsForm.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;
using TTextType = TCardFloatIntEdit::TTextType;

class TestCardFloatIntEdit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void startsAsAmountBox();
    void typing_data();
    void typing();
    void controlKeysKeepTheirMeaning();
    void escapeStillCancelsDialog();
    void tidyOnExit_data();
    void tidyOnExit();
    void noTidyWhileAnotherWindowIsActive();
    void paste_data();
    void paste();
    void drop_data();
    void drop();
    void numericModesRefuseInputMethod();
    void designerForm();

private:
    void Setup(TTextType type, bool zf, const QString &text, int selStart, int selLength);
    // Sends one key press carrying `text`, as a keyboard layout or a compose
    // sequence does for characters that have no key of their own.
    void TypeText(const QString &text);
    // Moves the focus to the sibling, which makes the edit tidy its text.
    void Leave();

    std::unique_ptr<QWidget> FWindow;
    TCardFloatIntEdit *FEdit = nullptr;
    QLineEdit *FSibling = nullptr;
};

void TestCardFloatIntEdit::init()
{
    FWindow = std::make_unique<QWidget>();
    FWindow->resize(240, 80);
    FEdit = new TCardFloatIntEdit(FWindow.get());
    FEdit->setGeometry(8, 8, 121, 21);
    FSibling = new QLineEdit(FWindow.get());
    FSibling->setGeometry(8, 40, 121, 21);
    FWindow->show();
    QApplication::setActiveWindow(FWindow.get());
    QVERIFY(QTest::qWaitForWindowActive(FWindow.get()));
    FEdit->setFocus();
    QTRY_VERIFY(FEdit->hasFocus());
}

void TestCardFloatIntEdit::cleanup()
{
    FWindow.reset();
    QGuiApplication::clipboard()->clear();
}

void TestCardFloatIntEdit::Setup(TTextType type, bool zf, const QString &text, int selStart,
                                 int selLength)
{
    FEdit->SetTextType(type);
    FEdit->SetZF(zf);
    FEdit->setText(text);
    if (selLength > 0)
        FEdit->setSelection(selStart, selLength);
    else
        FEdit->setCursorPosition(selStart < 0 ? text.size() : selStart);
}

void TestCardFloatIntEdit::TypeText(const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(FEdit, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(FEdit, &release);
}

void TestCardFloatIntEdit::Leave()
{
    FSibling->setFocus(Qt::TabFocusReason);
    QVERIFY(FSibling->hasFocus());
}

void TestCardFloatIntEdit::startsAsAmountBox()
{
    TCardFloatIntEdit edit;
    QCOMPARE(edit.text(), u"0"_s);
    QCOMPARE(edit.TextType(), TCardFloatIntEdit::FloatText);
    QVERIFY(edit.ZF());
    // Setting the properties, also by name as forms do, leaves the text alone.
    edit.setText(u"-1.5x"_s);
    edit.SetZF(false);
    QVERIFY(edit.setProperty("TextType", u"IntegerText"_s));
    QCOMPARE(edit.TextType(), TCardFloatIntEdit::IntegerText);
    QCOMPARE(edit.text(), u"-1.5x"_s);
}

void TestCardFloatIntEdit::typing_data()
{
    QTest::addColumn<TTextType>("type");
    QTest::addColumn<bool>("zf");
    QTest::addColumn<QString>("initial");
    QTest::addColumn<int>("selStart"); // -1: the caret at the end
    QTest::addColumn<int>("selLength");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");

    const auto f = TCardFloatIntEdit::FloatText;
    const auto i = TCardFloatIntEdit::IntegerText;
    const auto n = TCardFloatIntEdit::NormalText;
    const QString empty;
    auto row
        = [](const QByteArray &name) -> QTestData & { return QTest::newRow(name.constData()); };

    row("negative decimal") << f << true << empty << -1 << 0 << u"-12.5"_s << u"-12.5"_s;
    row("second point discarded") << f << true << empty << -1 << 0 << u"1.2.3"_s << u"1.23"_s;
    row("minus after a digit discarded") << f << true << empty << -1 << 0 << u"1-2"_s << u"12"_s;
    row("float without ZF: no minus") << f << false << empty << -1 << 0 << u"-5-"_s << u"5"_s;
    row("integer without ZF: no minus") << i << false << empty << -1 << 0 << u"-5"_s << u"5"_s;
    row("integer discards the point") << i << true << empty << -1 << 0 << u"12.5"_s << u"125"_s;
    row("integer negative") << i << true << empty << -1 << 0 << u"-42"_s << u"-42"_s;
    row("letters and blanks discarded")
        << f << true << u"7"_s << -1 << 0 << u"a1 b2x"_s << u"712"_s;
    row("integer discards letters") << i << true << empty << -1 << 0 << u"x9 y"_s << u"9"_s;
    row("normal takes anything") << n << false << empty << -1 << 0 << u"a-1.2.-3 x"_s
                                 << u"a-1.2.-3 x"_s;
    row("minus at the start") << f << true << u"5"_s << 0 << 0 << u"-"_s << u"-5"_s;
    row("minus with the caret inside") << f << true << u"5"_s << 1 << 0 << u"-"_s << u"5"_s;
    row("leading minus does not block another")
        << f << true << u"-5"_s << 0 << 0 << u"-"_s << u"--5"_s;
    row("later minus blocks one at the start")
        << f << true << u"5-"_s << 0 << 0 << u"-"_s << u"5-"_s;
    row("minus replaces a selection from the start")
        << f << true << u"12"_s << 0 << 2 << u"-"_s << u"-"_s;
    row("minus over a selection inside") << f << true << u"12"_s << 1 << 1 << u"-"_s << u"12"_s;
    row("integer minus replaces all") << i << true << u"-7"_s << 0 << 2 << u"-3"_s << u"-3"_s;
    // A typed character replaces the selection, so a selected point does not
    // block the new one: retyping "12.5" as ".75" must not give "75".
    row("point replaces a selected point")
        << f << true << u"12.5"_s << 0 << 4 << u".75"_s << u".75"_s;
    row("point outside the selection blocks")
        << f << true << u"1.25"_s << 2 << 2 << u"."_s << u"1.25"_s;
}

void TestCardFloatIntEdit::typing()
{
    QFETCH(TTextType, type);
    QFETCH(bool, zf);
    QFETCH(QString, initial);
    QFETCH(int, selStart);
    QFETCH(int, selLength);
    QFETCH(QString, keys);
    QFETCH(QString, expected);

    Setup(type, zf, initial, selStart, selLength);
    QTest::keyClicks(FEdit, keys);
    QCOMPARE(FEdit->text(), expected);

    // Characters without a key of their own: other scripts' digits, a
    // full-width point, a currency sign, several characters in one press.
    FEdit->setText(initial);
    FEdit->setCursorPosition(initial.size());
    for (const QString &text :
         {QStringLiteral("１"), QStringLiteral("٣"), QStringLiteral("．"), QStringLiteral("元")}) {
        TypeText(text);
        QCOMPARE(FEdit->text(), type == TCardFloatIntEdit::NormalText ? initial + text : initial);
        FEdit->setText(initial);
    }
    TypeText(QStringLiteral("4x5"));
    QCOMPARE(FEdit->text(),
             initial
                 + (type == TCardFloatIntEdit::NormalText ? QStringLiteral("4x5")
                                                          : QStringLiteral("45")));
}

void TestCardFloatIntEdit::controlKeysKeepTheirMeaning()
{
    QSignalSpy returns(FEdit, &QLineEdit::returnPressed);
    Setup(TCardFloatIntEdit::FloatText, true, QStringLiteral("125"), -1, 0);
    QTest::keyClick(FEdit, Qt::Key_Backspace);
    QCOMPARE(FEdit->text(), QStringLiteral("12"));
    QTest::keyClick(FEdit, Qt::Key_Home);
    QTest::keyClick(FEdit, Qt::Key_Minus);
    QCOMPARE(FEdit->text(), QStringLiteral("-12"));
    QTest::keyClick(FEdit, Qt::Key_Left);
    QTest::keyClick(FEdit, Qt::Key_Delete);
    QCOMPARE(FEdit->text(), QStringLiteral("12"));
    QTest::keyClick(FEdit, Qt::Key_Right);
    QTest::keyClick(FEdit, Qt::Key_Period);
    QCOMPARE(FEdit->text(), QStringLiteral("1.2"));
    // Select all with the keyboard, then type over it.
    QTest::keyClick(FEdit, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(FEdit->selectedText(), QStringLiteral("1.2"));
    QTest::keyClicks(FEdit, QStringLiteral("7"));
    QCOMPARE(FEdit->text(), QStringLiteral("7"));
    QTest::keyClick(FEdit, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(FEdit->text(), QStringLiteral("1.2"));
    QTest::keyClick(FEdit, Qt::Key_Return);
    QCOMPARE(returns.count(), 1);
}

void TestCardFloatIntEdit::escapeStillCancelsDialog()
{
    QDialog dialog;
    auto *edit = new TCardFloatIntEdit(&dialog);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("x1"));
    QVERIFY(dialog.isVisible());
    QTest::keyClick(edit, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void TestCardFloatIntEdit::tidyOnExit_data()
{
    QTest::addColumn<TTextType>("type");
    QTest::addColumn<bool>("typed"); // typed with the keys, or put in by the program
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    const auto f = TCardFloatIntEdit::FloatText;
    const auto i = TCardFloatIntEdit::IntegerText;
    const auto n = TCardFloatIntEdit::NormalText;
    auto row
        = [](const QByteArray &name) -> QTestData & { return QTest::newRow(name.constData()); };

    row("float empty") << f << true << u""_s << u"0"_s;
    row("float leading point") << f << true << u".5"_s << u"0.5"_s;
    row("float trailing point") << f << true << u"7."_s << u"7.0"_s;
    row("float point alone") << f << true << u"."_s << u"0.0"_s;
    row("float minus alone") << f << true << u"-"_s << u"0"_s;
    row("float minus and point") << f << true << u"-."_s << u"-.0"_s;
    row("float negative fraction kept") << f << true << u"-.5"_s << u"-.5"_s;
    row("float valid kept") << f << true << u"-12.5"_s << u"-12.5"_s;
    row("float digits not cut") << f << true << u"12.345678"_s << u"12.345678"_s;
    row("float leading zeros kept") << f << true << u"007"_s << u"007"_s;
    row("float double minus") << f << false << u"--5"_s << u"0"_s;
    row("float letters") << f << false << u"abc"_s << u"0"_s;
    row("float grouping") << f << false << u"1,234.5"_s << u"0"_s;
    row("float exponent") << f << false << u"1e3"_s << u"1e3"_s;
    row("float infinity") << f << false << u"inf"_s << u"0"_s;
    row("float overflow") << f << false << u"1e400"_s << u"0"_s;
    row("float other scripts' digits") << f << false << u"١٢"_s << u"0"_s;
    row("float with a currency sign") << f << false << u"12.5元"_s << u"0"_s;
    row("integer empty") << i << true << u""_s << u"0"_s;
    row("integer minus alone") << i << true << u"-"_s << u"0"_s;
    row("integer valid kept") << i << true << u"-42"_s << u"-42"_s;
    row("integer leading zeros kept") << i << true << u"007"_s << u"007"_s;
    row("integer double minus") << i << false << u"--5"_s << u"0"_s;
    row("integer decimal") << i << false << u"12.5"_s << u"0"_s;
    row("integer largest") << i << false << u"9223372036854775807"_s << u"9223372036854775807"_s;
    row("integer too large") << i << false << u"9223372036854775808"_s << u"0"_s;
    row("normal empty") << n << true << u""_s << u""_s;
    row("normal point") << n << true << u"."_s << u"."_s;
    row("normal text") << n << true << u"abc -"_s << u"abc -"_s;
}

void TestCardFloatIntEdit::tidyOnExit()
{
    QFETCH(TTextType, type);
    QFETCH(bool, typed);
    QFETCH(QString, text);
    QFETCH(QString, expected);

    FEdit->SetTextType(type);
    if (typed) {
        FEdit->clear();
        QTest::keyClicks(FEdit, text);
    } else {
        FEdit->setText(text);
    }
    QCOMPARE(FEdit->text(), text);
    Leave();
    QCOMPARE(FEdit->text(), expected);
}

void TestCardFloatIntEdit::noTidyWhileAnotherWindowIsActive()
{
    FEdit->clear();
    QTest::keyClicks(FEdit, QStringLiteral("-"));
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    QVERIFY(QTest::qWaitForWindowActive(&other));
    QCOMPARE(FEdit->text(), QStringLiteral("-"));

    QApplication::setActiveWindow(FWindow.get());
    QVERIFY(QTest::qWaitForWindowActive(FWindow.get()));
    QTRY_VERIFY(FEdit->hasFocus());
    QTest::keyClicks(FEdit, QStringLiteral("3"));
    QCOMPARE(FEdit->text(), QStringLiteral("-3"));
    Leave();
    QCOMPARE(FEdit->text(), QStringLiteral("-3"));
}

void TestCardFloatIntEdit::paste_data()
{
    QTest::addColumn<bool>("viaMenu");
    QTest::addColumn<TTextType>("type");
    QTest::addColumn<bool>("zf");
    QTest::addColumn<QString>("initial");
    QTest::addColumn<int>("selStart");
    QTest::addColumn<int>("selLength");
    QTest::addColumn<QString>("clip");
    QTest::addColumn<QString>("expected");

    const auto f = TCardFloatIntEdit::FloatText;
    const auto i = TCardFloatIntEdit::IntegerText;
    const auto n = TCardFloatIntEdit::NormalText;
    const QString empty;
    auto row
        = [](const QByteArray &name) -> QTestData & { return QTest::newRow(name.constData()); };

    for (const bool menu : {false, true}) {
        const QByteArray how = menu ? "menu: " : "keys: ";
        row(how + "amount into empty")
            << menu << f << true << empty << 0 << 0 << u"-12.5"_s << u"-12.5"_s;
        row(how + "blanks around ignored")
            << menu << f << true << empty << 0 << 0 << u" 3.25\n"_s << u"3.25"_s;
        row(how + "replaces the selection")
            << menu << f << true << u"12.5"_s << 0 << 4 << u"7.25"_s << u"7.25"_s;
        row(how + "inserted at the caret")
            << menu << f << true << u"15"_s << 1 << 0 << u"2.7"_s << u"12.75"_s;
        row(how + "grouping refused")
            << menu << f << true << empty << 0 << 0 << u"1,234.50"_s << empty;
        row(how + "letters refused")
            << menu << f << true << u"5"_s << -1 << 0 << u"abc"_s << u"5"_s;
        row(how + "second point refused")
            << menu << f << true << u"2.5"_s << -1 << 0 << u"1.5"_s << u"2.5"_s;
        row(how + "minus inside refused")
            << menu << f << true << u"3"_s << -1 << 0 << u"-5"_s << u"3"_s;
        row(how + "minus without ZF refused")
            << menu << f << false << empty << 0 << 0 << u"-5"_s << empty;
        row(how + "integer refuses a point")
            << menu << i << true << empty << 0 << 0 << u"1.5"_s << empty;
        row(how + "normal takes anything")
            << menu << n << true << u"x"_s << -1 << 0 << u"a-1.2.3"_s << u"xa-1.2.3"_s;
    }
}

void TestCardFloatIntEdit::paste()
{
    QFETCH(bool, viaMenu);
    QFETCH(TTextType, type);
    QFETCH(bool, zf);
    QFETCH(QString, initial);
    QFETCH(int, selStart);
    QFETCH(int, selLength);
    QFETCH(QString, clip);
    QFETCH(QString, expected);

    QGuiApplication::clipboard()->setText(clip);
    Setup(type, zf, initial, selStart, selLength);
    if (!viaMenu) {
        QTest::keyClick(FEdit, Qt::Key_V, Qt::ControlModifier);
    } else {
        const QPoint pos(4, 4);
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, FEdit->mapToGlobal(pos));
        QApplication::sendEvent(FEdit, &event);
        auto *menu = FEdit->findChild<QMenu *>();
        QVERIFY(menu);
        QAction *pasteAction = nullptr;
        for (QAction *action : menu->actions()) {
            if (action->text().startsWith(QLineEdit::tr("&Paste")))
                pasteAction = action;
        }
        QVERIFY(pasteAction);
        pasteAction->trigger();
        menu->close();
    }
    QCOMPARE(FEdit->text(), expected);
}

void TestCardFloatIntEdit::drop_data()
{
    QTest::addColumn<TTextType>("type");
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("dropped");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("expected");

    const auto f = TCardFloatIntEdit::FloatText;
    QTest::newRow("amount") << f << u""_s << u"-2.5"_s << true << u"-2.5"_s;
    QTest::newRow("minus before the digits") << f << u"3"_s << u"-"_s << true << u"-3"_s;
    QTest::newRow("letters") << f << u""_s << u"abc"_s << false << u""_s;
    QTest::newRow("digits then minus") << f << u"3"_s << u"5-"_s << false << u"3"_s;
    QTest::newRow("normal text") << TCardFloatIntEdit::NormalText << u""_s << u"abc"_s << true
                                 << u"abc"_s;
}

void TestCardFloatIntEdit::drop()
{
    QFETCH(TTextType, type);
    QFETCH(QString, initial);
    QFETCH(QString, dropped);
    QFETCH(bool, accepted);
    QFETCH(QString, expected);

    Setup(type, true, initial, -1, 0);
    QMimeData mime;
    mime.setText(dropped);
    // At the left edge: the drop goes before the text.
    const QPoint pos(1, FEdit->height() / 2);
    QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FEdit, &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    QDropEvent drop(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FEdit, &drop);
    QCOMPARE(drop.isAccepted(), accepted);
    QCOMPARE(FEdit->text(), expected);
}

void TestCardFloatIntEdit::numericModesRefuseInputMethod()
{
    // An input method commits text without key presses, past the filter.
    auto imEnabled = [this] {
        QInputMethodQueryEvent query(Qt::ImEnabled);
        QApplication::sendEvent(FEdit, &query);
        return query.value(Qt::ImEnabled).toBool();
    };
    QVERIFY(!imEnabled());
    FEdit->setReadOnly(true);
    FEdit->setReadOnly(false);
    QVERIFY(!imEnabled());
    FEdit->SetTextType(TCardFloatIntEdit::IntegerText);
    QVERIFY(!imEnabled());
    FEdit->SetTextType(TCardFloatIntEdit::NormalText);
    QVERIFY(imEnabled());
}

void TestCardFloatIntEdit::designerForm()
{
    QWidget form;
    Ui::ControlsForm ui;
    ui.setupUi(&form);
    QCOMPARE(ui.edtFare->TextType(), TCardFloatIntEdit::IntegerText);
    QVERIFY(!ui.edtFare->ZF());
    QCOMPARE(ui.edtFare->text(), QStringLiteral("0"));
}

BOOKKEEP_TEST_MAIN(TestCardFloatIntEdit)
#include "tst_CardFloatIntEdit.moc"
