#include "AddType.h"
#include "ui_AddType.h"

#include "data/DateFormats.h"
#include "data/UntPublic.h"
#include "ledger/UntTree.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>

TFormAddType::TFormAddType(QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormAddType>())
{
    ui->setupUi(ClientArea());
    setWindowTitle(ClientArea()->windowTitle());
    setFixedSize(ClientArea()->size());

    QPalette palette = ui->edtPos->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    ui->edtPos->setPalette(palette);

    setTabOrder(btnOK, btnCancel);
    setTabOrder(btnCancel, ui->edtPos);
    setTabOrder(ui->edtPos, ui->edtName);
    ui->edtName->installEventFilter(this);
}

TFormAddType::~TFormAddType() = default;

void TFormAddType::SetPath(const QString &path)
{
    ui->edtPos->setText(path);
}

QString TFormAddType::Name() const
{
    return ui->edtName->text();
}

void TFormAddType::btnOKClick()
{
    const QString name = Name();
    if (IsBlankName(name)) {
        ShowInfo(QStringLiteral("名称不能为空!"));
        return;
    }
    accept();
}

void TFormAddType::showEvent(QShowEvent *event)
{
    TFormBaseDlg::showEvent(event);
    ui->edtName->setFocus();
}

bool TFormAddType::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->edtName && event->type() == QEvent::KeyPress)
        edtNameKeyDown(static_cast<const QKeyEvent *>(event));
    return TFormBaseDlg::eventFilter(watched, event);
}

void TFormAddType::edtNameKeyDown(const QKeyEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier))
        return;
    if (event->key() == Qt::Key_D)
        ui->edtName->insert(DateText(QDate::currentDate()));
    else if (event->key() == Qt::Key_T)
        ui->edtName->insert(DateTimeText(QDateTime::currentDateTime()));
}

int ShowAddType(const QString &path, QString &name)
{
    TFormAddType dialog(QApplication::activeWindow());
    dialog.SetPath(path);
    const int result = dialog.ShowModal();
    name = result == mrOk ? dialog.Name() : QString();
    return result;
}

// The tree's command that asks with this dialog; the tree itself opens none.
bool TCardTree::NewType()
{
    if (!Selected())
        return false;
    QString name;
    if (ShowAddType(SelectedPath(), name) != mrOk)
        return false;
    QTreeWidgetItem *node = InsertType(name);
    FTreeView->setCurrentItem(node, 0, QItemSelectionModel::ClearAndSelect);
    FTreeView->scrollToItem(node);
    return true;
}
