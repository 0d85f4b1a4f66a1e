#pragma once

#include "data/Currency.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QString>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

// The statements an account's lines from begin to end are read with (a null
// date: no bound on that side): its transfers both ways and its records, each
// in date order through the account's date indexes, and its balance at the
// end of the last day.
struct TStatementSql
{
    QString Transfers;
    QString Records;
    QString Closing;
};
TStatementSql StatementSql(const QString &account, const QDate &begin, const QDate &end);

enum class TLineKind : quint8 { Income, Expense, TransferIn, TransferOut };

// One line of an account statement.
struct TStatementLine
{
    QDate Date;
    TLineKind Kind = TLineKind::Income;
    QString Name; // the record's category, or the other account of a transfer
    QString Remark;
    Currency In;
    Currency Out; // a transfer out with its fee
    Currency Balance; // after the line
    qint64 TransferId = 0; // the transfer of a transfer's line; 0 on a record's
};

// An account statement (账户明细): the account's records and transfers over a
// period in date order (on one day records before transfers, each by ID),
// each line with the balance after it. Each line keeps its values by kind:
// the day, the amounts in ten-thousandths, the texts once each in a shared
// buffer; a cell's text is made when it is read.
class TStatementModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum TColumn {
        ColDate,
        ColKind,
        ColName,
        ColRemark,
        ColIn,
        ColOut,
        ColBalance,
        ColAgreed,
        kColumnCount
    };

    explicit TStatementModel(QObject *parent = nullptr);
    ~TStatementModel() override;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Reads the lines from begin to end (a null date: no bound on that side).
    // A failure leaves the lines as they were.
    void Load(const QString &account, const QDate &begin, const QDate &end);
    // Marks the lines up to the end of this day as agreed with the bank (a
    // null date: none).
    void MarkAgreedThrough(const QDate &day);

    TStatementLine Line(int row) const;
    // The line of the transfer, or -1 when it is not among the lines.
    int RowOfTransfer(qint64 id) const;
    // The balance before the first line, and at the end of the period.
    Currency Opening() const { return FOpening; }
    Currency Closing() const { return FClosing; }
    Currency TotalIn() const { return FTotalIn; }
    Currency TotalOut() const { return FTotalOut; }

private:
    struct TRow;
    class TTexts;

    QString Text(const TRow &row, int column) const;

    std::vector<TRow> FRows;
    // The transfers' lines and IDs, by line: kept apart, as the transfers are
    // few and the records' lines need no ID here.
    std::vector<std::pair<int, qint64>> FTransfers;
    std::unique_ptr<TTexts> FTexts;
    Currency FOpening;
    Currency FClosing;
    Currency FTotalIn;
    Currency FTotalOut;
    qint64 FAgreedDay; // lines up to this day are agreed
};

// Reconciliation points: an account's balance at the end of a day as the bank
// or app shows it, agreed with the books.
namespace Reconciliation {

// The books' balance of the account at the end of the day.
Currency BalanceAt(const QString &account, const QDate &day);

struct TResult
{
    Currency Books; // the books' balance at the end of the day
    Currency Difference; // the bank's less the books'; zero when they agree
};
// Compares the bank's balance with the books' at the end of the day; when they
// agree, stores the point (replacing one of the same day) as one undo step,
// otherwise stores nothing.
TResult Reconcile(const QString &account, const QDate &day, Currency bank);

struct TPoint
{
    QDate Day;
    Currency Agreed; // the balance stored when it was agreed
    Currency Now; // the books' balance at that day now
    // False when a later change altered a line on or before the day.
    bool Holds() const { return Agreed == Now; }
};
// The account's latest agreed point, if it has one.
std::optional<TPoint> Latest(const QString &account);

} // namespace Reconciliation
