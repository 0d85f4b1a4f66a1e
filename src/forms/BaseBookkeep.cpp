#include "BaseBookkeep.h"
#include "ui_BaseBookkeep.h"

#include "ViewType.h"

#include "data/Currency.h"
#include "data/DateFormats.h"
#include "data/UntPublic.h"
#include "ledger/Categories.h"
#include "ledger/Remarks.h"
#include "ledger/UntAccount.h"
#include "ledger/UntBookKeep.h"
#include "reports/UntReport.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QKeyEvent>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTextDocument>

namespace {

const QString kNoType = QStringLiteral("选择类别");

// The first calculator program found on the search path; empty when none.
QString CalculatorProgram()
{
    static const char *const programs[]
        = {"gnome-calculator", "kcalc", "galculator", "mate-calc", "qalculate-gtk", "xcalc"};
    for (const char *program : programs) {
        const QString path = QStandardPaths::findExecutable(QLatin1StringView(program));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

} // namespace

TFormBasebookkeep::TFormBasebookkeep(QWidget *parent)
    : TFormBaseDlg(parent)
    , ui(std::make_unique<Ui::TFormBasebookkeep>())
{
    ui->setupUi(ClientArea());
    setFixedSize(ClientArea()->size());

    // The category is only chosen with the picker: the box shows its name on
    // the button face colour.
    QPalette palette = ui->cbbInOutType->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    ui->cbbInOutType->setPalette(palette);
    ui->cbbInOutType->Button()->setAccessibleName(QStringLiteral("选择类别"));

    ui->DBInDate->setDisplayFormat(LongDateFormat());
    ui->DBInDate->setDate(QDate::currentDate());

    QStringList names;
    GAccount->ListAccountNames(names);
    ui->cbbAccount->addItems(names);
    ui->cbbAccount->setCurrentIndex(names.isEmpty() ? -1 : 0);

    // Either button changing state means the kind changed.
    connect(ui->rbExpense, &QRadioButton::toggled, this, &TFormBasebookkeep::rgInOutTypeClick);
    // The picker runs as an event of its own, so that a failure in it never
    // unwinds through the button that opened it.
    connect(ui->cbbInOutType, &TCardEdtBut::OnButClick, this,
            &TFormBasebookkeep::cbbInOutTypeButClick, Qt::QueuedConnection);
    connect(ui->img1, &QToolButton::clicked, this, &TFormBasebookkeep::img1Click);
    connect(ui->cbbAccount, &QComboBox::activated, this, [this] { FAccountChosen = true; });
    connect(ui->mmoRemark, &QPlainTextEdit::textChanged, this, &TFormBasebookkeep::RemarkEdited);
    // After rgInOutTypeClick, which resets the category.
    connect(ui->rbExpense, &QRadioButton::toggled, this, &TFormBasebookkeep::ShowBudgetNote);
    connect(ui->edtFare, &QLineEdit::textChanged, this, &TFormBasebookkeep::ShowBudgetNote);
    connect(ui->DBInDate, &QDateEdit::dateChanged, this, &TFormBasebookkeep::ShowBudgetNote);
    ui->DBInDate->installEventFilter(this);

    setTabOrder(ui->mmoRemark, btnOK);
    setTabOrder(btnOK, btnCancel);
}

TFormBasebookkeep::~TFormBasebookkeep() = default;

void TFormBasebookkeep::showEvent(QShowEvent *event)
{
    TFormBaseDlg::showEvent(event);
    // The input starts at the kind, the first control in the tab order.
    if (!event->spontaneous())
        (InOutType() == 0 ? ui->rbIncome : ui->rbExpense)->setFocus();
}

bool TFormBasebookkeep::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return TFormBaseDlg::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (watched == ui->DBInDate) {
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Plus || key->key() == Qt::Key_Minus)
            && !(modifiers & (Qt::ControlModifier | Qt::AltModifier))) {
            ui->DBInDate->setDate(
                ui->DBInDate->date().addDays(key->key() == Qt::Key_Plus ? 1 : -1));
            return true;
        }
        if (key->key() == Qt::Key_T && modifiers == Qt::ControlModifier) {
            ui->DBInDate->setDate(QDate::currentDate());
            return true;
        }
    }
    // Enter and Tab in the completions take the one marked. The completer
    // would first hand them to the remark, which takes Enter as a new line.
    if (FRemarks && watched == FRemarks->popup()
        && (key->key() == Qt::Key_Enter || key->key() == Qt::Key_Return
            || key->key() == Qt::Key_Tab)) {
        const QModelIndex current = FRemarks->popup()->currentIndex();
        FRemarks->popup()->hide();
        if (current.isValid())
            RemarkChosen(current.data().toString());
        return true;
    }
    return TFormBaseDlg::eventFilter(watched, event);
}

QCompleter *TFormBasebookkeep::RemarkCompleter()
{
    if (!FRemarks) {
        FRemarks = new QCompleter(RemarkCompletions(), this);
        FRemarks->setWidget(ui->mmoRemark);
        FRemarks->setCompletionMode(QCompleter::PopupCompletion);
        FRemarks->setFilterMode(Qt::MatchContains);
        FRemarks->setCaseSensitivity(Qt::CaseInsensitive);
        FRemarks->popup()->setAccessibleName(QStringLiteral("备注提示"));
        connect(FRemarks, qOverload<const QString &>(&QCompleter::activated), this,
                &TFormBasebookkeep::RemarkChosen);
        // After the completer's own filter, so that this one sees keys first.
        FRemarks->popup()->installEventFilter(this);
    }
    return FRemarks;
}

void TFormBasebookkeep::RemarkEdited()
{
    if (FCompleting || !ui->mmoRemark->hasFocus())
        return;
    const QString text = ui->mmoRemark->toPlainText();
    QCompleter *completer = RemarkCompleter();
    if (text.isEmpty() || text.contains(u'\n')) {
        completer->popup()->hide();
        return;
    }
    completer->setCompletionPrefix(text);
    if (completer->completionCount() == 0
        || (completer->completionCount() == 1 && completer->currentCompletion() == text)) {
        completer->popup()->hide();
        return;
    }
    completer->popup()->setCurrentIndex(completer->completionModel()->index(0, 0));
    // Under the line being typed, as wide as the box.
    QRect line = ui->mmoRemark->cursorRect();
    line.setLeft(0);
    line.setWidth(ui->mmoRemark->width());
    completer->complete(line);
}

void TFormBasebookkeep::RemarkChosen(const QString &remark)
{
    FCompleting = true;
    ui->mmoRemark->setPlainText(remark);
    ui->mmoRemark->moveCursor(QTextCursor::End);
    FCompleting = false;
    const std::optional<TRemarkUse> use = LatestUseOf(remark);
    if (!use)
        return;
    if (use->Kind == InOutType() && use->TypeID != 0) {
        const QString name = Categories::OfKind(use->Kind).Name(use->TypeID);
        if (!name.isEmpty()) {
            FTypeID = use->TypeID;
            ShowTypeName(name);
            ShowBudgetNote();
        }
    }
    const int account = ui->cbbAccount->findText(use->Account);
    if (!FAccountChosen && account >= 0)
        ui->cbbAccount->setCurrentIndex(account);
}

int TFormBasebookkeep::InOutType() const
{
    return ui->rbExpense->isChecked() ? 1 : 0;
}

void TFormBasebookkeep::SetInOutType(int kind)
{
    (kind == 0 ? ui->rbIncome : ui->rbExpense)->setChecked(true);
}

void TFormBasebookkeep::ShowTypeName(const QString &name)
{
    ui->cbbInOutType->setText(name);
    ui->cbbInOutType->setCursorPosition(0);
}

void TFormBasebookkeep::rgInOutTypeClick()
{
    const bool income = InOutType() == 0;
    ui->LabInOutType->setText(income ? QStringLiteral("收入类别：") : QStringLiteral("支出类别："));
    ui->LabFare->setText(income ? QStringLiteral("收入金额：") : QStringLiteral("支出金额："));
    ShowTypeName(kNoType);
    FTypeID = 0;
}

void TFormBasebookkeep::cbbInOutTypeButClick()
{
    int typeID = FTypeID;
    QString typeName;
    if (ShowViewType(InOutType(), typeID, typeName) != mrOk)
        return;
    FTypeID = typeID;
    ShowTypeName(typeName);
    ShowBudgetNote();
}

void TFormBasebookkeep::img1Click()
{
    const QString program = CalculatorProgram();
    if (!program.isEmpty())
        QProcess::startDetached(program, {});
}

void TFormBasebookkeep::ChangesRecord(const QString &id)
{
    FRecordID = id.toLongLong();
    FBudgetType = -1;
    ShowBudgetNote();
}

void TFormBasebookkeep::ShowBudgetNote()
{
    if (InOutType() != 1 || FTypeID == 0) {
        ui->lblBudget->hide();
        return;
    }
    const QDate day = ui->DBInDate->date();
    if (FBudgetType != FTypeID || (FBudget && (day < FBudget->Begin || day > FBudget->End))) {
        FBudget = Budgets::FigureFor(FTypeID, day, FRecordID);
        FBudgetType = FTypeID;
    }
    if (!FBudget) {
        ui->lblBudget->hide();
        return;
    }
    Currency typed;
    if (!Currency::TryParse(ui->edtFare->text(), typed))
        typed = Currency();
    const Currency left = FBudget->Remaining() - typed;
    const QString period = FBudget->Budget.Period == TBudget::Month ? QStringLiteral("本月")
                                                                    : QStringLiteral("本年");
    ui->lblBudget->setText(
        left >= Currency()
            ? QStringLiteral("%1 %2预算剩余 %3").arg(FBudget->Name, period, MoneyText(left))
            : QStringLiteral("%1 %2已超出 %3").arg(FBudget->Name, period, MoneyText(-left)));
    // Restyled only when it turns, since a style sheet is costly to apply.
    const QString style = left >= Currency() ? QString() : QStringLiteral("color: rgb(200, 0, 0);");
    if (ui->lblBudget->styleSheet() != style)
        ui->lblBudget->setStyleSheet(style);
    ui->lblBudget->show();
}

bool TFormBasebookkeep::CheckAccount() const
{
    if (ui->cbbAccount->currentIndex() >= 0)
        return true;
    ShowInfo(QStringLiteral("请先建立账户信息！"));
    return false;
}

bool TFormBasebookkeep::CheckTypeID() const
{
    if (FTypeID != 0)
        return true;
    ShowInfo(InOutType() == 0 ? QStringLiteral("请先选择收入类别！")
                              : QStringLiteral("请先选择支出类别！"));
    return false;
}

void TFormBasebookkeep::FillBookKeep()
{
    // The text as it stands: an empty box is no amount. A trailing point, as
    // typed before Enter while the box still has the focus, converts as the
    // number before it.
    const Currency fare = Currency::Parse(ui->edtFare->text());
    // Line breaks of every sort are stored as '\n'; all else as typed.
    QString remark = ui->mmoRemark->document()->toRawText();
    for (QChar &c : remark) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            c = u'\n';
    }

    GBookKeep->FInOutType = InOutType();
    GBookKeep->FInDate = QDateTime(ui->DBInDate->date(), QTime(0, 0));
    GBookKeep->FTypeID = FTypeID;
    GBookKeep->FAccountName = ui->cbbAccount->currentText();
    GBookKeep->FFare = fare;
    GBookKeep->FRemark = remark;
    FBudgetType = -1;
}
