#pragma once

#include "data/ListModel.h"

#include <QStyledItemDelegate>

#include <functional>

// The record list of the main window: expense rows in red; the hidden ID
// column and the tool tips stay silent.
class TRecordListModel : public TListModel
{
public:
    using TListModel::TListModel;
    QVariant data(const QModelIndex &index, int role) const override;
};

// Draws a selected row in the row's own text colour (red for expenses) on
// the light selection background, so it reads as clearly as the others.
class TRowDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;
};

// Ends a label edit of a category tree through the window's handler, which
// renames the category (and with it the node). The view calls this in the
// middle of its own commit, which Qt's widget code cannot unwind through, so
// a refused name is handed on as a command of its own; the node keeps its
// old text.
class TLabelDelegate : public QStyledItemDelegate
{
public:
    TLabelDelegate(QObject *parent, std::function<void(const QString &)> edited);
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;

private:
    std::function<void(const QString &)> FEdited;
};
