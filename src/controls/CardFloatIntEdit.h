#pragma once

#include <QClipboard>
#include <QLineEdit>

// A single-line edit for numbers. In its numeric modes it keeps every
// character that would not belong to a number out of the box while the user
// types, pastes or drops text, and it tidies the text when the focus moves to
// another control, so that the text always reads as a number afterwards.
// The caller converts the text to a value itself.
class TCardFloatIntEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(TTextType TextType READ TextType WRITE SetTextType)
    Q_PROPERTY(bool ZF READ ZF WRITE SetZF)

public:
    enum TTextType {
        FloatText, // digits, at most one point, a leading minus sign
        IntegerText, // digits and a leading minus sign
        NormalText // any text, neither filtered nor tidied
    };
    Q_ENUM(TTextType)

    explicit TCardFloatIntEdit(QWidget *parent = nullptr);

    TTextType TextType() const { return FTextType; }
    // Stores the mode only; the current text is neither checked nor changed.
    void SetTextType(TTextType value);
    // Whether a minus sign may be typed.
    bool ZF() const { return FZF; }
    void SetZF(bool value) { FZF = value; }

    // The text as the tidying on exit leaves it: a text that does not read as
    // a number of the mode becomes "0". A caller that takes the text while the
    // box still has the focus (Enter on the default button) can use it too.
    static QString Tidied(TTextType type, const QString &text);

protected:
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Whether the key filter keeps the character `ch` typed into `text` whose
    // selection starts at `selStart` and spans `selLength` characters (the
    // caret when empty). A typed character replaces the selection, so only the
    // text outside it counts when looking for an existing point or minus sign.
    static bool AcceptsChar(TTextType type, bool zf, QChar ch, const QString &text, int selStart,
                            int selLength);
    bool Filtered() const { return FTextType != NormalText && !isReadOnly(); }
    // The selection's start, or the caret when nothing is selected.
    int SelStart() const { return hasSelectedText() ? selectionStart() : cursorPosition(); }
    // The characters of `typed` that the key filter keeps when they are typed
    // in order over the selection [selStart, selStart + selLength).
    QString KeptChars(const QString &typed, int selStart, int selLength) const;
    // Whether the key filter keeps every character of `inserted`.
    bool AcceptsText(const QString &inserted, int selStart, int selLength) const;
    // Pastes the clipboard text over the selection when the filter accepts
    // every character of it (blanks around it aside); otherwise nothing.
    void PasteFiltered(QClipboard::Mode mode);
    // The text a drag would drop at the event's position, or a null string
    // when the filter refuses it.
    QString DropText(const QDropEvent *event);

    TTextType FTextType = FloatText;
    bool FZF = true;
};
