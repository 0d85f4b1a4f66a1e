#pragma once

#include "Statement.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A category learned from the import: a row of the kind whose counterparty
// or remark contains the pattern goes to the category, and to the account
// when one is named.
struct TImportRule
{
    enum TField { FieldCounterparty = 0, FieldRemark = 1 };

    int Id = 0; // 0 for a rule not stored yet
    TField Field = FieldCounterparty;
    QString Pattern; // compared without regard to letter case
    int Kind = 1; // 0 income, 1 expense
    int TypeID = 0;
    QString Account; // empty: the account the statement goes to
};

// The rules the import applies before the category hints. They are settings
// of the import, not part of the undo history.
namespace ImportRules {

// Every rule, oldest first.
QList<TImportRule> List();
// Stores a new rule and returns its Id. Refuses an empty pattern, a category
// the kind does not have, an account the books do not have, and a second rule
// of the same field, kind and pattern.
int Add(const TImportRule &rule);
// Changes the stored rule of rule.Id, with the checks of Add.
void Modify(const TImportRule &rule);
void Remove(int id);

// The rule that applies to a row, or none: among the rules of the row's kind
// whose category still exists and whose text the row's counterparty or remark
// contains, a counterparty's before a remark's, then the longest pattern,
// then the newest.
std::optional<TImportRule> Find(const TStatementRow &row);
// Find for each row of the statement, in row order, with the rules read once.
QList<std::optional<TImportRule>> Match(const TStatement &statement);
// The account a rule sends each row to, in row order; empty where no rule
// applies, it names none, or its account no longer exists.
QStringList RowAccounts(const TStatement &statement);

// Learns the user's corrections: for each row to be imported whose category
// (chosen, in row order) differs from the one proposed, the rule for its
// counterparty, else for its remark, now names the chosen category; a rule of
// that field, kind and pattern is changed, else one is added; of rows of the
// same text filed differently, the last one's choice holds. Rows without
// either text or without a chosen category learn nothing. proposed may be
// empty: nothing is learned then.
void Learn(const TStatement &statement, const QList<int> &chosen, const QList<int> &proposed);

} // namespace ImportRules
