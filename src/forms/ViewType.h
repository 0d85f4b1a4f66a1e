#pragma once

#include "BaseDlg.h"

#include <memory>

namespace Ui {
class TFormViewType;
}

class QTreeWidget;
class TCardTree;

// The category picker: shows the income or the expense categories and returns
// the chosen one. A new category can be added from it.
class TFormViewType : public TFormBaseDlg
{
    Q_OBJECT

public:
    // kind: 0 for the income categories, any other value for the expense ones.
    explicit TFormViewType(int kind, QWidget *parent = nullptr);
    ~TFormViewType() override;

    // The SelfIndex and the text of the category chosen with OK.
    int TypeID() const { return FTypeID; }
    QString TypeName() const { return FTypeName; }

    QTreeWidget *TreeView() const;
    // The tree over the view while the dialog is shown, otherwise null.
    TCardTree *Tree() const { return FTree.get(); }

    void done(int result) override;

protected:
    void btnOKClick() override;
    void showEvent(QShowEvent *event) override;

private:
    void FormShow();
    void btn1Click();

    std::unique_ptr<Ui::TFormViewType> ui;
    std::unique_ptr<TCardTree> FTree;
    int FKind;
    int FTypeID = 0;
    QString FTypeName;
};

// Shows the picker for a record kind. Returns the modal result; on OK typeID
// is the chosen SelfIndex and typeName its text ("未分组" for the root). On any
// other result typeID is unchanged and typeName empty.
int ShowViewType(int kind, int &typeID, QString &typeName);
