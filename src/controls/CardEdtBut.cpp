#include "CardEdtBut.h"

#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMetaEnum>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QToolButton>
#include <array>

TCardEdtBut::TCardEdtBut(QWidget *parent)
    : QLineEdit(parent)
{
    FPanel = new QWidget(this);
    FButton = new QToolButton(FPanel);
    FButton->setCursor(Qt::ArrowCursor);
    // Like a speed button it never takes the focus; a click gives it to the edit.
    FButton->setFocusPolicy(Qt::NoFocus);
    ShowGlyph();
    connect(FButton, &QToolButton::clicked, this, &TCardEdtBut::ButtonClick);
    LayoutButton();
}

const QImage &TCardEdtBut::GetButtonGlyph(TBmpCount bmp)
{
    static std::array<QImage, CardFind + 1> store;
    QImage &glyph = store.at(bmp);
    if (glyph.isNull()) {
        const char *name = QMetaEnum::fromType<TBmpCount>().valueToKey(bmp);
        glyph.load(QStringLiteral(":/glyphs/%1.png").arg(QLatin1StringView(name)));
    }
    return glyph;
}

void TCardEdtBut::SetButtonBmp(TBmpCount value)
{
    if (value == FButtonBmp)
        return;
    FButtonBmp = value;
    ShowGlyph();
}

void TCardEdtBut::SetButVisible(bool value)
{
    if (value == FButVisible)
        return;
    FButVisible = value;
    LayoutButton();
}

void TCardEdtBut::ShowGlyph()
{
    // The button gets its own copies of the two pictures of the shared image.
    const QImage &glyph = GetButtonGlyph(FButtonBmp);
    const QSize picture(glyph.width() / 2, glyph.height());
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(glyph.copy(QRect(QPoint(0, 0), picture))), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(glyph.copy(QRect(QPoint(picture.width(), 0), picture))),
                   QIcon::Disabled);
    FButton->setIcon(icon);
    FButton->setIconSize(picture);
}

void TCardEdtBut::LayoutButton()
{
    int size = 0;
    if (FButVisible) {
        // The area inside the frame; the whole control when it has no frame.
        QStyleOptionFrame option;
        initStyleOption(&option);
        const QRect client = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
        size = client.height();
        FPanel->setGeometry(client.right() + 1 - size, client.top(), size, size);
        FButton->setGeometry(0, 0, size, size);
    } else {
        FPanel->setGeometry(0, 0, 0, 0);
        FButton->setGeometry(0, 0, 0, 0);
    }
    FPanel->setVisible(FButVisible);
    const QMargins margins = textMargins();
    setTextMargins(margins.left(), margins.top(), size, margins.bottom());
}

void TCardEdtBut::ButtonClick()
{
    setFocus(Qt::OtherFocusReason);
    Q_EMIT OnButClick(this);
}

void TCardEdtBut::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    LayoutButton();
}

void TCardEdtBut::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    // Another style may draw a frame of another width.
    if (event->type() == QEvent::StyleChange)
        LayoutButton();
}

void TCardEdtBut::keyPressEvent(QKeyEvent *event)
{
    const bool f4 = event->key() == Qt::Key_F4 && event->modifiers() == Qt::NoModifier;
    const bool altDown = event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier;
    if (FButVisible && (f4 || altDown)) {
        FButton->click();
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
