#include "Help.h"
#include "ui_Help.h"

#include "BaseDlg.h"

#include <QTextBrowser>
#include <QUrl>

namespace {

const QUrl kHelpPage(QStringLiteral("qrc:/help/help.html"));

} // namespace

TFormHelp::TFormHelp(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TFormHelp>())
{
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // The window follows the links itself, so that none leaves the page.
    ui->tbHelp->setOpenLinks(false);
    connect(ui->tbHelp, &QTextBrowser::anchorClicked, this, &TFormHelp::LinkClicked);
    connect(ui->btnClose, &QPushButton::clicked, this, &QDialog::reject);
    ui->tbHelp->setSource(kHelpPage);
    CentreOnMainWindow(this);
}

TFormHelp::~TFormHelp() = default;

QTextBrowser *TFormHelp::Browser() const
{
    return ui->tbHelp;
}

void TFormHelp::LinkClicked(const QUrl &link)
{
    if (link.hasFragment() && link.adjusted(QUrl::RemoveFragment) == kHelpPage)
        ui->tbHelp->scrollToAnchor(link.fragment());
}

void ShowHelp(QWidget *owner)
{
    if (TFormHelp *help = OpenWindow<TFormHelp>())
        BringForward(help);
    else
        (new TFormHelp(owner))->show();
}
