#include "WidgetTestSupport.h"

#include "controls/CardEdtBut.h"
#include "ui_ControlsForm.h"

#include <QApplication>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <QToolButton>
#include <memory>

using TBmpCount = TCardEdtBut::TBmpCount;

class TestCardEdtBut : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void glyphResources();
    void freshControlShowsCardDown();
    void glyphSwitching();
    void layout_data();
    void layout();
    void hidingGivesTextWholeWidth();
    void clickFocusesEditFirst();
    void clickWithoutHandlerStillFocuses();
    void keyboardOpensButton();
    void designerForm();

private:
    QImage Shown(QIcon::Mode mode) const;
    static QImage Half(TBmpCount bmp, int index);
    // The frame width the style draws around a line edit.
    static int FrameWidth(const QLineEdit *edit);

    std::unique_ptr<QWidget> FWindow;
    TCardEdtBut *FEdit = nullptr;
    QLineEdit *FSibling = nullptr;
};

void TestCardEdtBut::init()
{
    FWindow = std::make_unique<QWidget>();
    FWindow->resize(320, 120);
    FEdit = new TCardEdtBut(FWindow.get());
    FEdit->setGeometry(8, 8, 121, 21);
    FSibling = new QLineEdit(FWindow.get());
    FSibling->setGeometry(8, 80, 121, 21);
    FWindow->show();
    QApplication::setActiveWindow(FWindow.get());
    QVERIFY(QTest::qWaitForWindowActive(FWindow.get()));
}

void TestCardEdtBut::cleanup()
{
    FWindow.reset();
}

QImage TestCardEdtBut::Shown(QIcon::Mode mode) const
{
    const QToolButton *button = FEdit->Button();
    return button->icon()
        .pixmap(button->iconSize(), mode)
        .toImage()
        .convertToFormat(QImage::Format_ARGB32);
}

QImage TestCardEdtBut::Half(TBmpCount bmp, int index)
{
    const QImage &glyph = TCardEdtBut::GetButtonGlyph(bmp);
    const int w = glyph.width() / 2;
    return glyph.copy(index * w, 0, w, glyph.height()).convertToFormat(QImage::Format_ARGB32);
}

int TestCardEdtBut::FrameWidth(const QLineEdit *edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    return edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
}

void TestCardEdtBut::glyphResources()
{
    for (int i = TCardEdtBut::CardDown; i <= TCardEdtBut::CardFind; ++i) {
        const auto bmp = TBmpCount(i);
        const QImage &glyph = TCardEdtBut::GetButtonGlyph(bmp);
        QCOMPARE(glyph.size(), QSize(20, 10));
        // The normal and the disabled picture differ, and neither is blank.
        QVERIFY(Half(bmp, 0) != Half(bmp, 1));
        QVERIFY(Half(bmp, 0) != QImage(10, 10, QImage::Format_ARGB32));
        // Loaded once and shared: a second request gives the same image.
        QCOMPARE(TCardEdtBut::GetButtonGlyph(bmp).cacheKey(), glyph.cacheKey());
    }
}

void TestCardEdtBut::freshControlShowsCardDown()
{
    QCOMPARE(FEdit->ButtonBmp(), TCardEdtBut::CardDown);
    QVERIFY(FEdit->ButVisible());
    QCOMPARE(Shown(QIcon::Normal), Half(TCardEdtBut::CardDown, 0));
    QCOMPARE(Shown(QIcon::Disabled), Half(TCardEdtBut::CardDown, 1));
}

void TestCardEdtBut::glyphSwitching()
{
    TCardEdtBut other;
    for (int i = TCardEdtBut::CardFind; i >= TCardEdtBut::CardDown; --i) {
        const auto bmp = TBmpCount(i);
        FEdit->SetButtonBmp(bmp);
        other.SetButtonBmp(bmp);
        QCOMPARE(FEdit->ButtonBmp(), bmp);
        QCOMPARE(Shown(QIcon::Normal), Half(bmp, 0));
        QCOMPARE(Shown(QIcon::Disabled), Half(bmp, 1));
        QCOMPARE(
            other.Button()->icon().pixmap(10, 10).toImage().convertToFormat(QImage::Format_ARGB32),
            Half(bmp, 0));
    }
    // Setting the glyph shown does not touch the button.
    FEdit->SetButtonBmp(TCardEdtBut::CardOK);
    const qint64 key = FEdit->Button()->icon().cacheKey();
    FEdit->SetButtonBmp(TCardEdtBut::CardOK);
    QCOMPARE(FEdit->Button()->icon().cacheKey(), key);
    QVERIFY(FEdit->setProperty("ButtonBmp", QStringLiteral("CardFolder")));
    QCOMPARE(Shown(QIcon::Normal), Half(TCardEdtBut::CardFolder, 0));
}

void TestCardEdtBut::layout_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("frame");
    QTest::newRow("record dialog field") << QSize(121, 21) << true;
    QTest::newRow("wide and tall") << QSize(300, 40) << true;
    QTest::newRow("narrow") << QSize(60, 25) << true;
    QTest::newRow("without frame") << QSize(121, 21) << false;
    QTest::newRow("without frame, tall") << QSize(200, 35) << false;
}

void TestCardEdtBut::layout()
{
    QFETCH(QSize, size);
    QFETCH(bool, frame);

    FEdit->setFrame(frame);
    // Resize from another size, so that every row is a real resize.
    FEdit->resize(size + QSize(7, 3));
    FEdit->resize(size);
    const int border = frame ? FrameWidth(FEdit) : 0;
    const int s = size.height() - 2 * border;
    const QWidget *panel = FEdit->Button()->parentWidget();
    QCOMPARE(panel->parentWidget(), FEdit);
    // Square, as tall as the area inside the frame, at its right end.
    QCOMPARE(panel->geometry(), QRect(size.width() - border - s, border, s, s));
    QCOMPARE(FEdit->Button()->geometry(), QRect(0, 0, s, s));
    QCOMPARE(FEdit->textMargins().right(), s);
    QVERIFY(FEdit->Button()->isVisible());

    // A text longer than the box ends before the button.
    FEdit->setText(QString(60, u'8'));
    FEdit->end(false);
    FEdit->repaint();
    const QRect caret = FEdit->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    QVERIFY(caret.center().x() < panel->x());
}

void TestCardEdtBut::hidingGivesTextWholeWidth()
{
    const QRect shown = FEdit->Button()->parentWidget()->geometry();
    const int margin = FEdit->textMargins().right();
    QVERIFY(margin > 0);

    FEdit->SetButVisible(false);
    QCOMPARE(FEdit->Button()->parentWidget()->geometry(), QRect());
    QCOMPARE(FEdit->Button()->geometry(), QRect());
    QVERIFY(!FEdit->Button()->isVisible());
    QCOMPARE(FEdit->textMargins().right(), 0);
    // Resizing keeps it hidden.
    FEdit->resize(150, 30);
    QCOMPARE(FEdit->Button()->parentWidget()->geometry(), QRect());
    QCOMPARE(FEdit->textMargins().right(), 0);

    FEdit->resize(121, 21);
    FEdit->SetButVisible(true);
    QCOMPARE(FEdit->Button()->parentWidget()->geometry(), shown);
    QCOMPARE(FEdit->textMargins().right(), margin);
    QVERIFY(FEdit->Button()->isVisible());
}

void TestCardEdtBut::clickFocusesEditFirst()
{
    QSignalSpy clicks(FEdit, &TCardEdtBut::OnButClick);
    bool focusedWhenRaised = false;
    connect(FEdit, &TCardEdtBut::OnButClick, this,
            [&](TCardEdtBut *) { focusedWhenRaised = FEdit->hasFocus(); });

    FSibling->setFocus();
    QVERIFY(FSibling->hasFocus());
    QTest::mouseClick(FEdit->Button(), Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(clicks.at(0).at(0).value<TCardEdtBut *>(), FEdit);
    QVERIFY(focusedWhenRaised);
    QVERIFY(FEdit->hasFocus());

    // Pressed without the mouse, as assistive technology does, and on a
    // read-only edit, as the category field is.
    FEdit->setReadOnly(true);
    FSibling->setFocus();
    focusedWhenRaised = false;
    FEdit->Button()->click();
    QCOMPARE(clicks.count(), 2);
    QVERIFY(focusedWhenRaised);
}

void TestCardEdtBut::clickWithoutHandlerStillFocuses()
{
    FSibling->setFocus();
    FEdit->Button()->click();
    QVERIFY(FEdit->hasFocus());
}

void TestCardEdtBut::keyboardOpensButton()
{
    QSignalSpy clicks(FEdit, &TCardEdtBut::OnButClick);
    FEdit->setFocus();
    QTest::keyClick(FEdit, Qt::Key_F4);
    QTest::keyClick(FEdit, Qt::Key_Down, Qt::AltModifier);
    QCOMPARE(clicks.count(), 2);
    QTest::keyClick(FEdit, Qt::Key_Down);
    QCOMPARE(clicks.count(), 2);
    FEdit->SetButVisible(false);
    QTest::keyClick(FEdit, Qt::Key_F4);
    QCOMPARE(clicks.count(), 2);
}

void TestCardEdtBut::designerForm()
{
    QWidget form;
    Ui::ControlsForm ui;
    ui.setupUi(&form);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    TCardEdtBut *edit = ui.cbbInOutType;
    QCOMPARE(edit->ButtonBmp(), TCardEdtBut::CardFind);
    QVERIFY(edit->ButVisible());
    QCOMPARE(edit->text(), QStringLiteral("选择类别"));
    // The "no" cursor over the text only; the button keeps the arrow.
    QCOMPARE(edit->cursor().shape(), Qt::ForbiddenCursor);
    QCOMPARE(edit->Button()->cursor().shape(), Qt::ArrowCursor);
    // Laid out for the size the form gives it.
    const int border = FrameWidth(edit);
    const int s = 21 - 2 * border;
    QCOMPARE(edit->Button()->parentWidget()->geometry(), QRect(121 - border - s, border, s, s));
}

BOOKKEEP_TEST_MAIN(TestCardEdtBut)
#include "tst_CardEdtBut.moc"
