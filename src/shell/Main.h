#pragma once

#include <QMainWindow>
#include <memory>

class QTreeWidget;
class QTreeWidgetItem;
class TCardTree;
class TListModel;

namespace Ui {
class TFormMain;
}

// The main window: the two category trees, the query controls, the record
// list of the chosen period and its totals.
class TFormMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TFormMain(QWidget *parent = nullptr);
    ~TFormMain() override;

    // The record query: builds the filter, fills the list, recomputes totals.
    void btnQueryClick();
    // The filter the query passes to the record list.
    QString QueryFilter() const;
    void CalcTotals();

    void N3Click(); // delete the selected record
    void N5Click(); // clear both tree selections and query again
    void tv1Click();
    void tv2Click();
    void NAddIETypeClick();
    void NModIeTypeClick();
    void NDelIETypeClick();
    void N12Click();
    void MenuItem4Click();
    void MenuItem5Click();
    void MenuItem6Click();
    void N14Click();

    TListModel &Records() const { return *FRecords; }
    TCardTree &InTree() const { return *FInTree; }
    TCardTree &OutTree() const { return *FOutTree; }

    std::unique_ptr<Ui::TFormMain> ui;

Q_SIGNALS:
    // The login was refused or the login setting could not be read: the
    // program must end without serving a command.
    void TerminateRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormShow();
    void RequestTermination();
    // Label editing of a category (the rename command) and its end.
    void EditType(const TCardTree &tree);
    void TypeEdited(TCardTree &tree, const QString &newText);
    void DeleteType(TCardTree &tree);
    void TreeClick(QTreeWidget *other);

    std::unique_ptr<TListModel> FRecords;
    std::unique_ptr<TCardTree> FInTree;
    std::unique_ptr<TCardTree> FOutTree;
    bool FShown = false;
};
