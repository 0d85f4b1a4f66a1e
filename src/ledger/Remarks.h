#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What the books know of remarks, for completing one as it is typed.

// The one-line remarks of the latest records, most used first (the latest
// first among equals). Only recent records are read, so that this stays
// quick in books of millions of records.
QStringList RemarkCompletions();

// The kind, category and account of the latest record with this remark.
struct TRemarkUse
{
    int Kind = 0;
    int TypeID = 0;
    QString Account;
};
std::optional<TRemarkUse> LatestUseOf(const QString &remark);
