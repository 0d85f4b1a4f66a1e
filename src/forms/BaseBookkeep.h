#pragma once

#include "BaseDlg.h"

#include "ledger/Budgets.h"

#include <memory>
#include <optional>

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
    // The dialog changes the stored record with this ID: the budget note
    // leaves its stored amount out, since the amount typed stands for it.
    void ChangesRecord(const QString &id);
    // Puts the controls' values into GBookKeep's fields. The amount is
    // converted first, so a text that is no amount changes nothing. The save
    // that follows changes what is spent: the budget note reads its figure
    // again when next shown.
    void FillBookKeep();

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
    // The note under the amount: what the expense's budget has left, the
    // amount typed counted, or by how much it is exceeded; hidden for an
    // income and where no budget covers the category. The budget's figure is
    // read when the category, the kind or the date's period changes, never
    // for a keystroke.
    void ShowBudgetNote();

    QCompleter *FRemarks = nullptr;
    bool FCompleting = false;
    qint64 FRecordID = 0;
    // The budget figure read for the category FBudgetType, none when it has
    // no budget; FBudgetType -1 while nothing is read.
    std::optional<TBudgetFigure> FBudget;
    int FBudgetType = -1;
};
