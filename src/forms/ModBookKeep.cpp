#include "ModBookKeep.h"
#include "ui_BaseBookkeep.h"

#include "ledger/Categories.h"
#include "ledger/UntBookKeep.h"

#include <QApplication>

TFormModBookKeep::TFormModBookKeep(QWidget *parent)
    : TFormBasebookkeep(parent)
{
    setWindowTitle(QStringLiteral("修改记账"));
}

void TFormModBookKeep::LoadRecord(const QString &id)
{
    GBookKeep->ReadRecord(id);
    FID = id;
    const int storedKind = GBookKeep->FInOutType;
    const int kind = storedKind == 0 ? 0 : 1;
    const int typeID = GBookKeep->FTypeID;
    const QString accountName = GBookKeep->FAccountName;
    const Currency fare = GBookKeep->FFare;
    const QString remark = GBookKeep->FRemark;

    // Changing the kind resets the category, so the record's comes after it.
    SetInOutType(kind);
    ui->DBInDate->setDate(GBookKeep->FInDate.date());
    ShowTypeName(GetTypeName(kind, typeID));
    FTypeID = typeID;
    ui->cbbAccount->setCurrentIndex(ui->cbbAccount->findText(accountName));
    FAccountChosen = true;
    ui->edtFare->setText(fare.ToString());
    ui->mmoRemark->setPlainText(remark);

    FOldFare = fare;
    FOldInOutType = storedKind;
    FOldAccountName = accountName;
    ChangesRecord(id);
}

void TFormModBookKeep::btnOKClick()
{
    // A record whose account is gone needs another account: saving it with no
    // account would book its amount nowhere.
    if (!CheckAccount() || !CheckTypeID())
        return;
    FillBookKeep();
    GBookKeep->FID = FID;
    GBookKeep->ModifyRecord(FOldInOutType, FOldAccountName, FOldFare);
    accept();
}

int ShowModBookKeep(const QString &id)
{
    TFormModBookKeep dialog(QApplication::activeWindow());
    dialog.LoadRecord(id);
    return dialog.ShowModal();
}

QString GetTypeName(int kind, int typeId)
{
    return Categories::OfKind(kind).Name(typeId);
}
