#include "ListViews.h"

#include "ledger/UntBookKeep.h"

#include <QColor>
#include <QLineEdit>

QVariant TRecordListModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::ForegroundRole && index.isValid()) {
        static const QByteArray expense = QStringLiteral("支出").toUtf8();
        return CellIs(index.row(), ColKind, expense) ? QVariant(QColor(255, 0, 0)) : QVariant();
    }
    // The list's own hint shows over the rows, not the cell's text; the
    // hidden ID is for the commands (Cell), not for the eye or the ear.
    if (role == Qt::ToolTipRole || (index.column() == ColID && role == Qt::DisplayRole))
        return {};
    return TListModel::data(index, role);
}

void TRowDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    const QVariant colour = index.data(Qt::ForegroundRole);
    option->palette.setBrush(QPalette::HighlightedText,
                             colour.isValid() ? colour.value<QColor>()
                                              : option->palette.color(QPalette::Text));
}

TLabelDelegate::TLabelDelegate(QObject *parent, std::function<void(const QString &)> edited)
    : QStyledItemDelegate(parent)
    , FEdited(std::move(edited))
{
}

void TLabelDelegate::setModelData(QWidget *editor, QAbstractItemModel *,
                                  const QModelIndex &index) const
{
    const QString text = static_cast<QLineEdit *>(editor)->text();
    if (text == index.data().toString())
        return;
    try {
        FEdited(text);
    } catch (...) {
        QMetaObject::invokeMethod(
            parent(), [failure = std::current_exception()] { std::rethrow_exception(failure); },
            Qt::QueuedConnection);
    }
}
