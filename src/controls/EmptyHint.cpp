#include "EmptyHint.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QPainter>

void TEmptyHint::Install(QAbstractItemView *view, const QString &text, bool underRoot)
{
    view->viewport()->installEventFilter(new TEmptyHint(view, text, underRoot));
}

TEmptyHint::TEmptyHint(QAbstractItemView *view, const QString &text, bool underRoot)
    : QObject(view)
    , FView(view)
    , FText(text)
    , FUnderRoot(underRoot)
{
}

bool TEmptyHint::Empty() const
{
    const QAbstractItemModel *model = FView->model();
    if (!model)
        return false;
    if (!FUnderRoot)
        return model->rowCount() == 0;
    return model->rowCount() == 0 || model->rowCount(model->index(0, 0)) == 0;
}

bool TEmptyHint::eventFilter(QObject *watched, QEvent *event)
{
    // Painted before the view's own rows, in the free space below them.
    if (event->type() == QEvent::Paint && Empty()) {
        const QAbstractItemModel *model = FView->model();
        QRect free = FView->viewport()->rect().adjusted(8, 8, -8, -8);
        if (model->rowCount() > 0)
            free.setTop(FView->visualRect(model->index(0, 0)).bottom() + 8);
        QPainter painter(FView->viewport());
        painter.setPen(FView->palette().color(QPalette::Disabled, QPalette::Text));
        painter.drawText(free, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, FText);
    }
    return QObject::eventFilter(watched, event);
}
