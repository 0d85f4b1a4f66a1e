#pragma once

#include "Statement.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

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
// The account the rows of a funding source go to; empty when none is chosen.
QString RememberedSourceAccount(const QString &source);
// Sends the rows of a funding source to account from now on; an empty
// account sends them to the account chosen for the file again.
void RememberSourceAccount(const QString &source, const QString &account);
// The account each row of the statement goes to (in row order): the one its
// funding source is sent to, else account. A source sent to an account that
// no longer exists counts as sent nowhere.
QStringList RowAccounts(const TStatement &statement, const QString &account);
// The mapping last given for tables with this header; invalid when none.
TColumnMapping RememberedMapping(const QStringList &header);
void RememberMapping(const QStringList &header, const TColumnMapping &mapping);
// The default category of a kind the user last picked; -1 when none.
int RememberedDefault(int kind);

// Marks the rows of a statement against the books for an import into
// account (each row into its account, see RowAccounts): a row imported before
// is skipped; a row whose kind and amount equal a stored record's of its
// account on the same day (a bank's within a day
// either way) is a possible duplicate. Each stored record answers for one row.
// Rows marked so earlier become new again first.
void MarkKnownRows(TStatement &statement, const QString &account);

// The category each row of the statement goes to: the category of the rule
// that applies to it (ImportRules::Find), else the category named like its
// hint, else the one the user chose for that hint before, else the default of
// its kind.
QList<int> ChooseCategories(const TStatement &statement, int defaultIncome, int defaultExpense);

// Imports the rows marked new, each into its category (typeIds in row order)
// and its account (see RowAccounts), as one batch, and remembers the account for the
// format, the defaults and the categories chosen for hints no category is
// named like. Returns how many records were added. Raises when nothing could
// be imported; the books are then as they were. progress, when given, is told
// the number of records to add before anything is written, and then the number
// written after each batch of them. proposed, when given, holds the categories
// ChooseCategories proposed: each row filed elsewhere teaches a rule
// (ImportRules::Learn) in the same transaction.
int ImportRows(const TStatement &statement, const QList<int> &typeIds, const QString &account,
               int defaultIncome, int defaultExpense,
               const std::function<void(qsizetype total, qsizetype written)> &progress = {},
               const QList<int> &proposed = {});

} // namespace StatementImport
