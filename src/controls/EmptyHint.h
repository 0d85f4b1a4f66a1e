#pragma once

#include <QObject>
#include <QString>

class QAbstractItemView;

// Paints a grey line of advice in a view's viewport, below its rows, while
// the view has nothing to show: no row, or with underRoot, no row under its
// first top-level row (a tree whose root caption is always there). The hint
// belongs to the view and goes with it.
class TEmptyHint : public QObject
{
public:
    static void Install(QAbstractItemView *view, const QString &text, bool underRoot = false);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TEmptyHint(QAbstractItemView *view, const QString &text, bool underRoot);
    bool Empty() const;

    QAbstractItemView *FView;
    QString FText;
    bool FUnderRoot;
};
