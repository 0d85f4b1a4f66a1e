#pragma once

#include <QApplication>
#include <QDialog>

class QCheckBox;
class QFrame;
class QPushButton;

// Centres a window on the program's main window, or on its screen while no
// main window is shown.
void CentreOnMainWindow(QWidget *window);
// Lets a dialog or box about to be shown stay on top too while a window that
// stays on top (the note) is shown, so that it never opens hidden behind it.
void KeepAboveStayOnTop(QWidget *window);
// The program's open window of class T, or null.
template<typename T> T *OpenWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<T *>(widget))
            return window;
    }
    return nullptr;
}
// Shows a window again, out of its minimised state, in front of the others.
void BringForward(QWidget *window);

// The modal results the show routines return.
enum TModalResult { mrOk = 1, mrCancel = 2 };

// The base of every dialog: only a close box among the border icons, centred
// on the main window (or the screen), a line at the top and at the bottom, and
// a bottom panel with OK (the default button) and Cancel (result mrCancel).
// A derived dialog builds its own controls into ClientArea(), positioned as
// on the whole dialog, and overrides btnOKClick.
class TFormBaseDlg : public QDialog
{
    Q_OBJECT

public:
    enum TPosition { poMainFormCenter, poScreenCenter };

    explicit TFormBaseDlg(QWidget *parent = nullptr);

    // Shows the dialog modally, above the note: mrOk when it closed with OK,
    // mrCancel otherwise.
    int ShowModal();
    void SetPosition(TPosition position) { FPosition = position; }
    QWidget *ClientArea() const { return FClient; }

    QFrame *bvl1;
    QFrame *bvl2;
    QWidget *pnlBottom;
    QPushButton *btnOK;
    QPushButton *btnCancel;

protected:
    // OK pressed: closes with mrOk. Dialogs that check their input override it;
    // a failure raised here leaves the dialog open with its input.
    virtual void btnOKClick();
    // Adds the box "保存并继续新建" to the bottom panel, level with OK and
    // Cancel, for a dialog that can stay open for the next entry.
    QCheckBox *AddKeepOpenBox();
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QWidget *FClient;
    TPosition FPosition = poMainFormCenter;
};
