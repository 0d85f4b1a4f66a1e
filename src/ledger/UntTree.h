#pragma once

#include "Categories.h"

#include <QString>

class QIcon;
class QTreeWidget;
class QTreeWidgetItem;

// Binds one tree view to one category table ("InType" or "OutType"): builds the
// tree from the table and adds, renames and deletes categories, writing each
// change to the table before the view shows it. The selected node is the tree
// view's selected item (single selection); the view is not owned. The table
// itself is read and written by Categories.
class TCardTree
{
public:
    // Clears the view and adds the root node {0, 0} captioned rootCaption
    // (none when the caption is empty). The table is read by LoadTypes.
    TCardTree(QTreeWidget *treeView, const QString &tableName, const QString &rootCaption);
    TCardTree(const TCardTree &) = delete;
    TCardTree &operator=(const TCardTree &) = delete;

    // Rebuilds every node below the root from the table.
    void LoadTypes();
    // Rebuilds the tree when the table holds categories another window added
    // (the record dialog's picker), keeping the selected node and the open
    // ones; otherwise leaves it as it is.
    void Refresh();
    // Asks for a name with the name dialog and adds it under the selected node,
    // which then becomes the new node. False when nothing was added. Defined
    // beside the dialog, in forms/AddType.cpp.
    bool NewType();
    // Adds a category under the selected node (the root when none) and returns its node.
    QTreeWidgetItem *InsertType(const QString &name);
    // Renames the selected category. False, with nothing written, when no
    // category is selected.
    bool ModType(const QString &name);
    // Deletes the selected category after the user confirms.
    void DelType();
    // The largest SelfIndex among all nodes, root included; never below 0.
    int GetMaxIndex() const;
    // The SelfIndex of the selected node; 0 when none is selected.
    int GetSelIndex() const;
    // True when any node, root included, or any category of the table bears
    // exactly this text.
    bool TypeExists(const QString &name) const;

    QTreeWidgetItem *RootNode() const { return FRootNode; }
    QTreeWidgetItem *Selected() const;
    // Where a new category goes, as the name dialog shows it: the root
    // caption, or the texts from the root down to the selected node joined
    // by "->"; empty when none is selected.
    QString SelectedPath() const;

    static TTypeNodeData NodeData(const QTreeWidgetItem *node);
    // The shared pictures: the root's, and a category's (its selected look
    // being the third picture).
    static const QIcon &RootImage();
    static const QIcon &CategoryImage();

private:
    // Whether any node, root included, bears exactly this text.
    bool Shows(const QString &name) const;
    QTreeWidgetItem *AddNode(QTreeWidgetItem *parent, const QString &text, TTypeNodeData data);
    static QTreeWidgetItem *NewNode(const QString &text, TTypeNodeData data);

    Categories FTable;
    QString FRootCaption;
    QTreeWidget *FTreeView;
    QTreeWidgetItem *FRootNode = nullptr;
};
