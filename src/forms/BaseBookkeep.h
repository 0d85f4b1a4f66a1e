#pragma once

#include "BaseDlg.h"

#include <memory>

class QCompleter;

namespace Ui {
class TFormBasebookkeep;
}

// What the new-record and the change-record dialogs share: the kind, the
// category chosen with the picker, the date, the amount, the account and the
// remark, and the calculator picture. The derived dialogs save on OK.
class TFormBasebookkeep : public TFormBaseDlg
{
    Q_OBJECT

public:
    explicit TFormBasebookkeep(QWidget *parent = nullptr);
    ~TFormBasebookkeep() override;

    // The SelfIndex of the chosen category; 0 while none is chosen.
    int TypeID() const { return FTypeID; }

    // The kind changed: the labels follow it and the category must be chosen
    // again, from the tree of the new kind.
    void rgInOutTypeClick();
    // Lets the user choose the category of the current kind with the picker.
    void cbbInOutTypeButClick();
    // Starts the calculator, when the system has one.
    void img1Click();

protected:
    void showEvent(QShowEvent *event) override;
    // Keys of the date picker (+ and - move a day, Ctrl+T today) and of the
    // remark's completions.
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The radio group's index: 0 income, 1 expense.
    int InOutType() const;
    void SetInOutType(int kind);
    // Shows a category name from its start, also when it is too long to fit.
    void ShowTypeName(const QString &name);
    // Whether an account is selected; tells the user when none is.
    bool CheckAccount() const;
    // Whether a category is chosen; tells the user which kind needs one.
    bool CheckTypeID() const;
    // Puts the controls' values into GBookKeep's fields. The amount is
    // converted first, so a text that is no amount changes nothing.
    void FillBookKeep() const;

    std::unique_ptr<Ui::TFormBasebookkeep> ui;
    int FTypeID = 0;
    // Whether the account shown is one the user or the record chose, rather
    // than the first one, which a completed remark may replace.
    bool FAccountChosen = false;

private:
    // The remark as typed: offers the remarks of the books that hold it.
    void RemarkEdited();
    // A completed remark: also takes the category and account of the latest
    // record with it, where they fit the dialog.
    void RemarkChosen(const QString &remark);
    QCompleter *RemarkCompleter();

    QCompleter *FRemarks = nullptr;
    bool FCompleting = false;
};
