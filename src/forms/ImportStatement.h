#pragma once

#include "exchange/Import.h"
#include "exchange/Statement.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QList>

#include <functional>
#include <memory>

namespace Ui {
class TFormImport;
}

class QThread;

// The rows of a statement as the import window shows them; the category and
// whether a row is imported can be changed.
class TImportRowsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum TColumn { ColDate, ColKind, ColAmount, ColRemark, ColCategory, ColStatus, ColCount };

    explicit TImportRowsModel(QObject *parent = nullptr);
    void Reset(TStatement *statement, QList<int> *typeIds);
    // The categories of each kind, for showing and choosing a row's category.
    const QList<TImportCategory> &Categories(int kind) const { return FCategories[kind]; }
    void SetCategories(const QList<TImportCategory> &income, const QList<TImportCategory> &expense);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString CategoryName(int kind, int typeId) const;

    TStatement *FStatement = nullptr;
    QList<int> *FTypeIds = nullptr;
    QList<TImportCategory> FCategories[2];
};

// 导入账单: a statement file read in the background, its rows shown with
// where each goes, then imported into one account as one batch.
class TFormImport : public QDialog
{
    Q_OBJECT

public:
    explicit TFormImport(QWidget *parent = nullptr);
    ~TFormImport() override;

    // Reads the file in the background; FileLoaded is emitted when it is read.
    void OpenFile(const QString &fileName);
    bool Loading() const { return FLoading; }
    const TStatement &Statement() const { return FStatement; }
    const QList<int> &TypeIds() const { return FTypeIds; }
    int Imported() const { return FImported; }

    // Runs just before the records are written: the automatic copy of the
    // books. The import does not go on when it returns false (it reported why).
    std::function<bool()> BeforeImport;

    // Closing the window while the records are written waits for them.
    void reject() override;

Q_SIGNALS:
    void FileLoaded();

private:
    std::unique_ptr<Ui::TFormImport> ui;

    void ChooseFile();
    void Read(const TColumnMapping &mapping);
    void Loaded(const TStatement &statement);
    void ApplyMapping();
    void AccountChanged();
    void DefaultsChanged();
    void RulesClick();
    // Proposes each row's category anew; a row the user filed elsewhere than
    // proposed keeps his choice.
    void Propose();
    void ImportClick();
    void ShowSummary();
    void SetSummary(const QString &text);
    int DefaultCategory(int kind) const;

    TStatement FStatement;
    QList<int> FTypeIds;
    QList<int> FProposed; // the categories proposed, in row order
    QString FFileName;
    TImportRowsModel *FModel;
    QThread *FThread = nullptr;
    bool FLoading = false;
    bool FImporting = false;
    int FImported = 0;
};
