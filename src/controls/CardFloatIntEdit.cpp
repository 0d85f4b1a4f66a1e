#include "CardFloatIntEdit.h"

#include <QAction>
#include <QApplication>
#include <QFocusEvent>
#include <QInputMethod>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>

namespace {

bool IsDigit(QChar ch)
{
    return ch >= u'0' && ch <= u'9';
}

// A whole number: blanks around, an optional sign and digits, within 64 bits.
bool ReadsAsInteger(const QString &text)
{
    bool ok = false;
    text.toLongLong(&ok);
    return ok;
}

// A decimal number with the point as decimal point and an optional exponent,
// blanks around it allowed, within the range of a double.
bool ReadsAsFloat(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?\s*$)"));
    if (!pattern.match(text).hasMatch())
        return false;
    bool ok = false;
    text.toDouble(&ok);
    return ok;
}

} // namespace

TCardFloatIntEdit::TCardFloatIntEdit(QWidget *parent)
    : QLineEdit(parent)
{
    setText(QStringLiteral("0"));
}

void TCardFloatIntEdit::SetTextType(TTextType value)
{
    FTextType = value;
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImEnabled);
}

QVariant TCardFloatIntEdit::inputMethodQuery(Qt::InputMethodQuery query) const
{
    // An input method would commit its text past the key filter, so the
    // numeric modes take plain key presses only.
    if (query == Qt::ImEnabled && FTextType != NormalText)
        return false;
    return QLineEdit::inputMethodQuery(query);
}

bool TCardFloatIntEdit::AcceptsChar(TTextType type, bool zf, QChar ch, const QString &text,
                                    int selStart, int selLength)
{
    if (type == NormalText)
        return true;
    if (IsDigit(ch))
        return true;
    const QString rest = text.left(selStart) + text.mid(selStart + selLength);
    if (ch == u'-')
        return zf && selStart == 0 && rest.indexOf(u'-') < 1;
    if (ch == u'.')
        return type == FloatText && !rest.contains(u'.');
    return false;
}

QString TCardFloatIntEdit::Tidied(TTextType type, const QString &text)
{
    switch (type) {
    case FloatText: {
        QString result = text;
        if (result.startsWith(u'.'))
            result.prepend(u'0');
        // A trailing point gains a zero; so does the empty text, which holds
        // no point (index -1 + 1 == length 0).
        if (result.indexOf(u'.') + 1 == result.size())
            result.append(u'0');
        return ReadsAsFloat(result) ? result : QStringLiteral("0");
    }
    case IntegerText:
        return ReadsAsInteger(text) ? text : QStringLiteral("0");
    case NormalText:
        break;
    }
    return text;
}

QString TCardFloatIntEdit::KeptChars(const QString &typed, int selStart, int selLength) const
{
    QString text = this->text();
    QString kept;
    for (QChar ch : typed) {
        if (!AcceptsChar(FTextType, FZF, ch, text, selStart, selLength))
            continue;
        kept += ch;
        text.replace(selStart, selLength, ch);
        ++selStart;
        selLength = 0;
    }
    return kept;
}

bool TCardFloatIntEdit::AcceptsText(const QString &inserted, int selStart, int selLength) const
{
    return KeptChars(inserted, selStart, selLength).size() == inserted.size();
}

void TCardFloatIntEdit::keyPressEvent(QKeyEvent *event)
{
    if (!Filtered()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        PasteFiltered(QClipboard::Clipboard);
        event->accept();
        return;
    }
    // Keys without a printable character (Backspace, Enter, Escape, Delete,
    // the arrows, the editing shortcuts) never insert text: they keep their
    // usual meaning.
    const QString typed = event->text();
    if (typed.isEmpty() || !typed.at(0).isPrint()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    // The standard handling runs with the characters the filter kept, so a
    // shortcut still works when its character is discarded.
    const QString kept = KeptChars(typed, SelStart(), selectionLength());
    QKeyEvent filtered(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                       event->nativeVirtualKey(), event->nativeModifiers(), kept,
                       event->isAutoRepeat(), event->count(), event->device());
    QLineEdit::keyPressEvent(&filtered);
    // A discarded character is consumed here rather than passed on.
    event->setAccepted(filtered.isAccepted() || kept.size() < typed.size());
}

void TCardFloatIntEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    // A context menu or another window taking the focus leaves the box in
    // mid-edit; only a move to another control ends the input.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason)
        return;
    const QString tidied = Tidied(FTextType, text());
    if (tidied != text())
        setText(tidied);
}

void TCardFloatIntEdit::PasteFiltered(QClipboard::Mode mode)
{
    const QString pasted = QGuiApplication::clipboard()->text(mode).trimmed();
    if (!pasted.isEmpty() && AcceptsText(pasted, SelStart(), selectionLength()))
        insert(pasted);
    else
        QApplication::beep();
}

void TCardFloatIntEdit::contextMenuEvent(QContextMenuEvent *event)
{
    if (!Filtered()) {
        QLineEdit::contextMenuEvent(event);
        return;
    }
    QMenu *menu = createStandardContextMenu();
    // The standard menu's Paste goes straight into the text; reroute it
    // through the filter.
    const QString pasteText = QLineEdit::tr("&Paste");
    for (QAction *action : menu->actions()) {
        if (!action->text().startsWith(pasteText))
            continue;
        disconnect(action, nullptr, this, nullptr);
        connect(action, &QAction::triggered, this,
                [this] { PasteFiltered(QClipboard::Clipboard); });
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void TCardFloatIntEdit::mouseReleaseEvent(QMouseEvent *event)
{
    // The middle button pastes the selection on systems that have one.
    if (Filtered() && event->button() == Qt::MiddleButton
        && QGuiApplication::clipboard()->supportsSelection()) {
        deselect();
        PasteFiltered(QClipboard::Selection);
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}

QString TCardFloatIntEdit::DropText(const QDropEvent *event)
{
    // Text dragged inside the box itself could move a minus sign or a point
    // out of place, so only text from elsewhere is taken.
    if (event->source() == this || !event->mimeData()->hasText())
        return {};
    const QString text = event->mimeData()->text().trimmed();
    const int pos = cursorPositionAt(event->position().toPoint());
    if (text.isEmpty() || !AcceptsText(text, pos, 0))
        return {};
    return text;
}

void TCardFloatIntEdit::dragEnterEvent(QDragEnterEvent *event)
{
    QLineEdit::dragEnterEvent(event);
    if (Filtered() && DropText(event).isNull())
        event->ignore();
}

void TCardFloatIntEdit::dragMoveEvent(QDragMoveEvent *event)
{
    QLineEdit::dragMoveEvent(event);
    if (Filtered() && DropText(event).isNull())
        event->ignore();
}

void TCardFloatIntEdit::dropEvent(QDropEvent *event)
{
    if (!Filtered()) {
        QLineEdit::dropEvent(event);
        return;
    }
    const QString text = DropText(event);
    if (text.isNull()) {
        event->ignore();
        return;
    }
    setCursorPosition(cursorPositionAt(event->position().toPoint()));
    insert(text);
    event->acceptProposedAction();
}
