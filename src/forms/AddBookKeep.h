#pragma once

#include "BaseBookkeep.h"

class QCheckBox;

// Enters new records. With "保存并继续新建" checked, OK saves the record and
// keeps the dialog open for the next one with the same kind, category, date
// and account.
class TFormAddBookkeep : public TFormBasebookkeep
{
    Q_OBJECT

public:
    explicit TFormAddBookkeep(QWidget *parent = nullptr);

    // How many records the dialog has saved so far.
    int Saved() const { return FSaved; }

protected:
    void btnOKClick() override;

private:
    QCheckBox *chk1;
    int FSaved = 0;
};

// Shows the new-record dialog. Returns mrOk when it closed with a save, and
// mrCancel otherwise, even after records were saved with the box checked;
// `saved`, when given, receives the number of records saved.
int ShowAddBookkeep(int *saved = nullptr);
