#pragma once

#include <QDialog>
#include <QList>
#include <memory>

class QCheckBox;
class QLineEdit;
class QTreeWidgetItem;
class TCardFloatIntEdit;

namespace Ui {
class TFormFirstStart;
}

// The assistant of a first start: the user ticks the usual accounts with
// their opening balances and a household set of categories, and gets books
// to record in at once. Everything ticked is written as one undo step.
class TFormFirstStart : public QDialog
{
    Q_OBJECT

public:
    explicit TFormFirstStart(QWidget *parent = nullptr);
    ~TFormFirstStart() override;

    // Whether the books hold neither an account nor a category: only then is
    // the assistant offered.
    static bool BooksEmpty();
    // Whether the user asked to import bills after the books were set up.
    bool ImportChosen() const { return FImport; }
    // Whether the user chose to fetch the books from an off-site copy instead
    // (a household moving to a new computer); nothing was written then.
    bool OffsiteChosen() const { return FOffsite; }

    void btnStartClick();
    void btnImportClick();

private:
    struct TAccountRow
    {
        QCheckBox *Ticked;
        QLineEdit *Name; // null where the kind is the name
        TCardFloatIntEdit *Fare;
    };

    void CreateAccounts();
    void CreateTypes();
    // Keeps the ticks of the tree sound: a parent unticked takes its children
    // with it, a child ticked brings its parent.
    void TypeChanged(QTreeWidgetItem *item);
    // Checks every name and amount, then writes what is ticked as one step;
    // bad input raises with nothing written.
    void WriteBooks();

    std::unique_ptr<Ui::TFormFirstStart> ui;
    QList<TAccountRow> FAccounts;
    bool FImport = false;
    bool FOffsite = false;
};
