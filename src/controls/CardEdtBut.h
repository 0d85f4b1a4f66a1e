#pragma once

#include <QImage>
#include <QLineEdit>

class QToolButton;

// A single-line edit with a small square button set inside its right edge.
// A click on the button puts the keyboard focus on the edit and raises
// OnButClick; F4 or Alt+Down in the edit does the same, for the keyboard.
class TCardEdtBut : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(TBmpCount ButtonBmp READ ButtonBmp WRITE SetButtonBmp)
    Q_PROPERTY(bool ButVisible READ ButVisible WRITE SetButVisible)

public:
    // The glyphs the button can show, each an image ":/glyphs/<name>.png".
    enum TBmpCount : quint8 { CardDown, CardOK, CardLookup, CardFolder, CardFind };
    Q_ENUM(TBmpCount)

    explicit TCardEdtBut(QWidget *parent = nullptr);

    // The glyph image for `bmp`: two pictures side by side, the normal one on
    // the left and the disabled one on the right. Loaded on the first request
    // and shared by every control for the rest of the run.
    static const QImage &GetButtonGlyph(TBmpCount bmp);

    TBmpCount ButtonBmp() const { return FButtonBmp; }
    void SetButtonBmp(TBmpCount value);
    bool ButVisible() const { return FButVisible; }
    void SetButVisible(bool value);
    QToolButton *Button() const { return FButton; }

Q_SIGNALS:
    // Raised after a click on the button, with the focus already on the edit.
    void OnButClick(TCardEdtBut *sender);

protected:
    // Places the button at the right end of the area inside the frame, as
    // tall as that area and square, and keeps the text clear of it; with the
    // button hidden the text has the whole width.
    virtual void LayoutButton();
    virtual void ButtonClick();

    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void ShowGlyph();

    QToolButton *FButton;
    QWidget *FPanel;
    bool FButVisible = true;
    TBmpCount FButtonBmp = CardDown;
};
