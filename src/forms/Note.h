#pragma once

#include <QWidget>
#include <memory>

class QDateTime;

namespace Ui {
class TFormCardNote;
}

// The note window: modeless and topmost, at most one at a time. It reads the
// note when it shows, writes it back when it closes, and frees itself then.
class TFormCardNote : public QWidget
{
    Q_OBJECT

public:
    explicit TFormCardNote(QWidget *parent = nullptr);
    ~TFormCardNote() override;

    // Writes the memo's text to the note (once the note has been read).
    void Save();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void FormShow();
    void btnTimeClick();
    void btn2Click();
    // The memo's text with every line break as '\n' and all else as it stands.
    QString MemoText() const;

    std::unique_ptr<Ui::TFormCardNote> ui;
    bool FShown = false;
    bool FNoteRead = false;
    QString FShownText; // the memo's text as last read or saved
    QString FLineBreak; // the line break the stored note uses
};

// The note window that is open, or null.
TFormCardNote *OpenNoteWindow();
// Opens the note window, unless one is open already.
void ShowNote();
// Saves the text of the open note window, if there is one.
void SaveOpenNote();
