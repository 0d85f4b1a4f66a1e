#include "AddBookKeep.h"
#include "ui_BaseBookkeep.h"

#include "ledger/UntBookKeep.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>

TFormAddBookkeep::TFormAddBookkeep(QWidget *parent)
    : TFormBasebookkeep(parent)
    , chk1(new QCheckBox(QStringLiteral("保存并继续新建"), pnlBottom))
{
    setWindowTitle(QStringLiteral("新建记账"));
    chk1->setObjectName(QStringLiteral("chk1"));
    // Level with OK and Cancel, which stand 9 pixels into the panel.
    chk1->setGeometry(16, 9, 137, 25);
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
