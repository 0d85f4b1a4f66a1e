#include "AddType.h"
#include "ui_AddType.h"

#include "data/UntPublic.h"
#include "ledger/UntTree.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>

namespace {

// The system's long time format without its time zone, which the date and
// time text does not carry.
QString LongTimeFormat()
{
    const QString format = QLocale().timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (quoted || c != u't')
            result += c;
    }
    return result.simplified();
}

} // namespace

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

QString TFormAddType::DateText(const QDate &date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString TFormAddType::DateTimeText(const QDateTime &dateTime)
{
    const QString date = DateText(dateTime.date());
    if (dateTime.time() == QTime(0, 0))
        return date;
    return date + u' ' + QLocale().toString(dateTime.time(), LongTimeFormat());
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
