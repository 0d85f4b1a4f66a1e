#pragma once

#include "ledger/RecordFilter.h"

#include <QString>

// Writing the books out in formats other programs read.
namespace BooksExport {

// One field of a CSV line, quoted where a reader needs it. A text field that
// a spreadsheet would run as a formula (it starts with =, +, -, @, a tab or a
// carriage return) gets a leading apostrophe; numbers are written as they
// are, so a negative amount stays a number.
QString CsvField(QString text, bool isText);

// The records the filter selects, ordered by date, as CSV in UTF-8 with a
// byte-order mark: 日期, 收支, 分类 (the category's path), 金额, 账户, 备注,
// each text field kept from running as a formula. Returns how many records were written;
// raises when the file cannot be written.
int WriteRecordsCsv(const QString &fileName, const RecordFilter &filter);

// The whole books as a plain-text accounting journal: one account per money
// account under 资产:, one per category path under 收入: and 支出:, an opening
// transaction with each account's initial amount (its balance less its
// records), then every record. Returns how many records were written.
int WriteJournal(const QString &fileName);

} // namespace BooksExport
