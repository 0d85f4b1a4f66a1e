#include "AddBookKeep.h"
#include "ui_BaseBookkeep.h"

#include "ledger/UntBookKeep.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>

TFormAddBookkeep::TFormAddBookkeep(QWidget *parent)
    : TFormBasebookkeep(parent)
    , chk1(AddKeepOpenBox())
{
    setWindowTitle(QStringLiteral("新建记账"));
    setTabOrder(ui->mmoRemark, chk1);
    setTabOrder(chk1, btnOK);
}

void TFormAddBookkeep::btnOKClick()
{
    if (!CheckAccount() || !CheckTypeID())
        return;
    FillBookKeep();
    GBookKeep->AddRecord();
    ++FSaved;
    if (chk1->isChecked()) {
        ui->edtFare->clear();
        ui->mmoRemark->clear();
        ui->edtFare->setFocus();
        return;
    }
    accept();
}

int ShowAddBookkeep(int *saved)
{
    TFormAddBookkeep dialog(QApplication::activeWindow());
    const int result = dialog.ShowModal();
    if (saved)
        *saved = dialog.Saved();
    return result;
}
