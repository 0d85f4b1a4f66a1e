#pragma once

#include "exchange/Import.h"
#include "exchange/Statement.h"

#include <QAbstractTableModel>
#include <QDialog>
#include <QHash>
#include <QList>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class TFormImport;
}

class QAction;
class QMenu;
class QThread;

// The rows of the bills of an import as the import window shows them, one
// bill after another; the category and whether a row is imported can be
// changed.
class TImportRowsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum TColumn {
        ColFile,
        ColLine,
        ColDate,
        ColKind,
        ColAmount,
        ColAccount,
        ColRemark,
        ColCategory,
        ColStatus,
        ColCount
    };

    explicit TImportRowsModel(QObject *parent = nullptr);
    // labels names each bill in the file column.
    void Reset(QList<TBill> *bills, QList<QList<int>> *typeIds, const QStringList &labels);
    // The bill and row a row of the table shows; invalid for none.
    TRowRef Ref(int row) const;
    int Row(TRowRef ref) const;
    QString Label(int bill) const { return FLabels.value(bill); }
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
    QString StatusText(TRowRef ref) const;
    TStatementRow &RowOf(TRowRef ref) const { return (*FBills)[ref.Bill].Statement.Rows[ref.Row]; }

    QList<TBill> *FBills = nullptr;
    QList<QList<int>> *FTypeIds = nullptr;
    QStringList FLabels;
    QList<int> FStarts; // the table row of each bill's first row, then the row count
    QList<TImportCategory> FCategories[2];
};

// 导入账单: statement files read in the background one after another, their
// rows shown together with where each goes, then imported as one batch.
class TFormImport : public QDialog
{
    Q_OBJECT

public:
    explicit TFormImport(QWidget *parent = nullptr);
    ~TFormImport() override;

    // Adds files to the import, read in the background one after another;
    // FileLoaded is emitted as each is read.
    void OpenFile(const QString &fileName);
    void OpenFiles(const QStringList &fileNames);
    bool Loading() const { return FLoading; }
    // The files of the import as planned, in the order they were added.
    const QList<TBill> &Bills() const { return FBills; }
    // The category of each row of each bill.
    const QList<QList<int>> &TypeIds() const { return FTypeIds; }
    const TStatement &Statement(int file = 0) const;
    int Imported() const { return FImported; }

    // Runs on the window's thread before the import's job starts: what must
    // end there rather than on the job's worker (the copy made at start).
    std::function<void()> BeforeJob;
    // Runs in the import's job, on its worker with the books lent to it, just
    // before the records are written: the automatic copy of the books. The
    // import does not go on when it returns false (it reported why).
    std::function<bool()> BeforeImport;

    // Closing the window while the records are written waits for them.
    void reject() override;

Q_SIGNALS:
    void FileLoaded();

private:
    std::unique_ptr<Ui::TFormImport> ui;

    void ChooseFile();
    void RemoveFile();
    void ReadNext();
    void Read(const TColumnMapping &mapping);
    void Loaded(const TStatement &statement);
    // Asks for the password of the archive being read, saying why; true when
    // one is given and the archive is being read again with it.
    bool AskPassword(const QString &reason);
    void AddBill(const TStatement &statement);
    void ShowMapping();
    void ApplyMapping();
    // The files of the import with the account each goes to; current is the
    // one whose account the account box shows.
    void FillFiles(int current);
    void ShowFileAccount();
    void AccountChanged();
    // The funding sources the bills name with the account each goes to.
    void FillSources();
    void ShowSourceAccount();
    void SourceChanged();
    void Replan();
    void ShowRows();
    void DefaultsChanged();
    TRowRef CurrentRow() const;
    TRowRef CurrentLead() const;
    void PopupRowMenu(const QPoint &at);
    QString OverrideKey() const;
    void UpdateRowMenu();
    void Override(std::optional<BillMerge::TOverride> choice);
    // Sends the current row's person to one of the user's accounts (empty:
    // to none), so their money is a transfer.
    void SendPerson(const QString &account);
    void ShowDetail();
    bool ConfirmUnmapped();
    void RulesClick();
    // Proposes each row's category anew; a row the user filed elsewhere than
    // proposed keeps their choice.
    void Propose();
    void ImportClick();
    QString Finished() const;
    void ShowSummary();
    void SetSummary(const QString &text);
    int DefaultCategory(int kind) const;

    QString FIntro; // the summary before any file is read
    QStringList FAccounts;
    QStringList FFiles; // the files of the import, in the order added
    QList<TBill> FBills; // one for each of FFiles
    QList<QList<int>> FTypeIds; // the category of each row of each bill
    QList<QList<int>> FProposed; // the categories proposed, likewise
    QStringList FQueue; // the files still to read
    QString FFileName; // the file being read
    QHash<QString, QString> FPasswords; // of the archives among the files, once given
    QString FMappingFile; // the file whose columns are asked for
    // The counterparty a choice of the row menu was remembered for, by the
    // identity of each row it changed.
    QHash<QString, QString> FOverrideKeys;
    TImportRowsModel *FModel;
    QMenu *FRowMenu;
    QAction *FSeparateAction;
    QAction *FPlainAction;
    QAction *FAutoAction;
    QMenu *FOwnMenu; // the user's accounts a person's row may go to instead
    QThread *FThread = nullptr;
    bool FLoading = false;
    bool FImporting = false;
    int FImported = 0;
};
