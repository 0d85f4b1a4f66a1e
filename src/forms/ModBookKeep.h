#pragma once

#include "BaseBookkeep.h"

#include "data/Currency.h"

// Changes a stored record. The amount, kind and account it had when loaded
// tell the save which account corrections the change calls for.
class TFormModBookKeep : public TFormBasebookkeep
{
    Q_OBJECT

public:
    explicit TFormModBookKeep(QWidget *parent = nullptr);

    // Reads the record and shows it, its category standing chosen.
    void LoadRecord(const QString &id);

protected:
    void btnOKClick() override;

private:
    QString FID;
    Currency FOldFare;
    int FOldInOutType = 0;
    QString FOldAccountName;
};

// Shows the record with the ID for change. Returns the modal result.
int ShowModBookKeep(const QString &id);

// The name of the category typeId among the income (kind 0) or the expense
// categories; empty when there is none.
QString GetTypeName(int kind, int typeId);
