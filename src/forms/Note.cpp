#include "Note.h"

#include "ui_Note.h"

#include "BaseDlg.h"

#include "data/DateFormats.h"
#include "ledger/UntNote.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QLocale>

namespace {

// The distance of "退出" from the right edge; it keeps to the right.
constexpr int kExitFromRight = 96;

// Folds a to z to upper case and leaves every other character as it is.
QString FoldLatin(QString text)
{
    for (QChar &c : text) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 'a' + 'A');
    }
    return text;
}

} // namespace

TFormCardNote::TFormCardNote(QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint
                  | Qt::WindowStaysOnTopHint)
    , ui(std::make_unique<Ui::TFormCardNote>())
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // Closing the main window ends the program even while the note is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    connect(ui->btnTime, &QPushButton::clicked, this, &TFormCardNote::btnTimeClick);
    connect(ui->btn2, &QPushButton::clicked, this, &TFormCardNote::btn2Click);
    // Closing saves the note, which can fail: queued, like every command.
    connect(ui->btn1, &QPushButton::clicked, this, &QWidget::close, Qt::QueuedConnection);
    // The note is written when the program ends with the window still open.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &QWidget::close);
}

TFormCardNote::~TFormCardNote() = default;

void TFormCardNote::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (FShown)
        return;
    FShown = true;
    CentreOnMainWindow(this);
    FormShow();
}

void TFormCardNote::FormShow()
{
    try {
        const QString stored = GNote->ReadNote();
        ui->mmoNote->setPlainText(stored);
        // The memo shows every line break as one; a changed note is written
        // back with the breaks the stored note uses.
        FLineBreak = stored.contains(QStringLiteral("\r\n")) ? QStringLiteral("\r\n")
            : stored.contains(u'\r')                         ? QStringLiteral("\r")
                                                             : QStringLiteral("\n");
        FShownText = MemoText();
    } catch (...) {
        // An empty memo must never be written over the stored note: the
        // window goes away unsaved.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        throw;
    }
    FNoteRead = true;
    ui->mmoNote->setFocus();
}

void TFormCardNote::closeEvent(QCloseEvent *event)
{
    // Should the save fail, the window stays open with its text.
    event->ignore();
    Save();
    event->accept();
}

void TFormCardNote::Save()
{
    // Opening and closing the window writes nothing.
    const QString text = MemoText();
    if (!FNoteRead || text == FShownText)
        return;
    QString stored = text;
    if (FLineBreak != u"\n")
        stored.replace(u'\n', FLineBreak);
    GNote->SaveNote(stored);
    FShownText = text;
}

void TFormCardNote::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ui->btn1->move(width() - kExitFromRight, ui->btn1->y());
}

QString TFormCardNote::MemoText() const
{
    QString text = ui->mmoNote->document()->toRawText();
    for (QChar &c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
    }
    return text;
}

void TFormCardNote::btnTimeClick()
{
    QTextCursor cursor = ui->mmoNote->textCursor();
    cursor.insertText(DateTimeText(QDateTime::currentDateTime()));
    ui->mmoNote->setTextCursor(cursor);
}

void TFormCardNote::btn2Click()
{
    // Searches what follows the selection; Latin letters match in either case.
    const QString query = FoldLatin(ui->EdtQuery->text());
    QTextCursor cursor = ui->mmoNote->textCursor();
    const int from = cursor.selectionEnd();
    const qsizetype at = query.isEmpty() ? -1 : FoldLatin(MemoText().mid(from)).indexOf(query);
    if (at < 0) {
        cursor.setPosition(0);
        ui->mmoNote->setTextCursor(cursor);
        return;
    }
    ui->mmoNote->setFocus();
    cursor.setPosition(from + int(at));
    cursor.setPosition(from + int(at + query.size()), QTextCursor::KeepAnchor);
    ui->mmoNote->setTextCursor(cursor);
}

TFormCardNote *OpenNoteWindow()
{
    return OpenWindow<TFormCardNote>();
}

void ShowNote()
{
    if (!OpenNoteWindow())
        (new TFormCardNote)->show();
}

void SaveOpenNote()
{
    if (TFormCardNote *note = OpenNoteWindow())
        note->Save();
}
