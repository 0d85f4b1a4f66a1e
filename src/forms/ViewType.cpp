#include "ViewType.h"
#include "ui_ViewType.h"

#include "ledger/UntTree.h"

#include <QApplication>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeWidget>

TFormViewType::TFormViewType(int kind, QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormViewType>())
    , FKind(kind)
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    resize(ClientArea()->size());

    // The new-category button sits in the bottom panel, left of OK and Cancel.
    ui->btn1->setParent(pnlBottom);
    // Adding a category writes the books and opens its name dialog: queued,
    // like OK, which a double click on a node stands for.
    connect(ui->btn1, &QPushButton::clicked, this, &TFormViewType::btn1Click, Qt::QueuedConnection);
    connect(ui->tv1, &QTreeWidget::itemDoubleClicked, btnOK, &QPushButton::click);
    setTabOrder(ui->tv1, ui->btn1);
    setTabOrder(ui->btn1, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TFormViewType::~TFormViewType() = default;

QTreeWidget *TFormViewType::TreeView() const
{
    return ui->tv1;
}

void TFormViewType::showEvent(QShowEvent *event)
{
    TFormBaseDlg::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormViewType::FormShow()
{
    FTree = std::make_unique<TCardTree>(ui->tv1, Categories::TableOf(FKind),
                                        FKind == 0 ? QStringLiteral("收入类别")
                                                   : QStringLiteral("支出类别"));
    FTree->LoadTypes();
}

void TFormViewType::done(int result)
{
    TFormBaseDlg::done(result);
    FTree.reset();
}

void TFormViewType::btnOKClick()
{
    if (!FTree || !FTree->Selected())
        return;
    FTypeID = FTree->GetSelIndex();
    FTypeName = FTree->Selected()->text(0);
    accept();
}

void TFormViewType::btn1Click()
{
    if (!FTree)
        return;
    if (!FTree->Selected()) {
        QTreeWidgetItem *top = ui->tv1->itemAt(0, 0);
        if (!top)
            top = FTree->RootNode();
        if (top)
            ui->tv1->setCurrentItem(top, 0, QItemSelectionModel::ClearAndSelect);
    }
    FTree->NewType();
}

int ShowViewType(int kind, int &typeID, QString &typeName)
{
    typeName.clear();
    TFormViewType dialog(kind, QApplication::activeWindow());
    const int result = dialog.ShowModal();
    if (result == mrOk) {
        typeID = dialog.TypeID();
        typeName = typeID != 0 ? dialog.TypeName() : QStringLiteral("未分组");
    }
    return result;
}
