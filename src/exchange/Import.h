#pragma once

#include "BillMerge.h"
#include "Statement.h"

#include "data/DbAccess.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A category of one kind as the import offers it.
struct TImportCategory
{
    int TypeID = 0;
    QString Name;
};

// Reading a statement into the books: what is already there, where each row
// goes, and the choices the import remembers for next time.
namespace StatementImport {

// The categories of a kind (0 income, 1 expense), in tree order by index.
QList<TImportCategory> Categories(int kind);

// The account last used for statements of this format; empty when none.
QString RememberedAccount(const QString &formatId);
// Sends the rows of a funding source to account from now on; an empty
// account sends them to the account chosen for the file again.
void RememberSourceAccount(const QString &source, const QString &account);
// The mapping last given for tables with this header; invalid when none.
TColumnMapping RememberedMapping(const QStringList &header);
void RememberMapping(const QStringList &header, const TColumnMapping &mapping);
// The default category of a kind the user last picked; -1 when none.
int RememberedDefault(int kind);

// The category each row of the statement goes to: the category of the rule
// that applies to it (ImportRules::Find), else the category named like its
// hint, else the one the user chose for that hint before, else the default of
// its kind; a refund's purchase booked before gives its own.
QList<int> ChooseCategories(const TStatement &statement, int defaultIncome, int defaultExpense);

// The account each funding source or pocket is sent to (see
// RememberSourceAccount), existing accounts only.
BillMerge::TPockets RememberedPockets();
// The choices made against the plan, by counterparty.
BillMerge::TOverrides RememberedOverrides();
// Remembers a choice for a counterparty's rows; none forgets it.
void RememberOverride(const QString &counterparty, std::optional<BillMerge::TOverride> choice);

// Plans the bills with the choices remembered (the accounts of funding
// sources, the overrides, the accounts rules send rows to) and marks them
// against the books.
void PlanBills(QList<TBill> &bills);

// Marks the planned rows of the bills (see BillMerge::Plan) against the
// books: a row imported before is skipped, and so is its partner's side when
// that was imported before (the other joins what it booked); a row whose
// other side an earlier import booked alone (a card's line naming a payment
// app, or an app's row paid by card) is Merged with that record or transfer,
// which then takes the app's date, remark and category; a record's row whose
// kind and amount equal a stored record's of its account on the same day (a
// bank's within a day either way) is a possible duplicate. Each stored record
// answers for one row. Rows whose counterparty is to be booked separately
// join nothing booked before.
void MarkKnownRows(QList<TBill> &bills, const BillMerge::TOverrides &overrides = {});

// Imports the bills' rows as planned and marked, each record into the
// category typeIds gives its row (per bill, in row order; a fee goes to the
// expense category named like its hint, else the default), as one batch:
// records, refunds and transfers, each row remembered so it is never booked
// again, and merged rows linked to what they are booked with. Remembers each
// bill's account for its format, the defaults and the categories chosen for
// hints no category is named like. Returns how many records and transfers
// were added. Raises when there is nothing to import; the books are then as
// they were. hooks.Report hears the share of the records and transfers
// written after each batch; when hooks.Cancelled answers true between batches
// the import raises EAbort and the books are as they were. proposed, when
// given, holds per bill the categories ChooseCategories proposed: each row
// filed elsewhere teaches a rule (ImportRules::Learn) in the same transaction.
int ImportBills(const QList<TBill> &bills, const QList<QList<int>> &typeIds, int defaultIncome,
                int defaultExpense, const TWorkHooks &hooks = {},
                const QList<QList<int>> &proposed = {});

} // namespace StatementImport
