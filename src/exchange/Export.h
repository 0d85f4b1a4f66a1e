#pragma once

#include "data/DbAccess.h"
#include "ledger/RecordFilter.h"

#include <QString>

// Writing the books out in formats other programs read. Each export may run
// on a worker thread that holds the books' connection: the hooks hear how far
// it got (while reading, no fraction; then the fraction of the rows written)
// and may stop it, which raises EAbort. The file takes its name only when
// complete, so a failed or stopped export leaves none.
namespace BooksExport {

// One field of a CSV line, quoted where a reader needs it. A text field that
// a spreadsheet would run as a formula (it starts with =, +, -, @, a tab or a
// carriage return) gets a leading apostrophe; numbers are written as they
// are, so a negative amount stays a number.
QString CsvField(QString text, bool isText);

// The records the filter selects and the transfers of its period, ordered by
// date (on one day records first), as CSV in UTF-8 with a byte-order mark:
// 日期, 收支, 分类 (the category's path), 金额, 账户, 备注, each text field kept
// from running as a formula. A transfer is 转账 with no category, its amount,
// "<from> → <to>" as the account and its fee after the remark ("手续费 2").
// Only a filter that asks for a period alone writes transfers: one that
// names a category, a remark or an account selects records only. Returns how
// many records and transfers were written; raises when the file cannot be
// written.
int WriteRecordsCsv(const QString &fileName, const RecordFilter &filter,
                    const TWorkHooks &hooks = {});

// The whole books as a plain-text accounting journal: one account per money
// account under 资产:, one per category path under 收入: and 支出:, an opening
// transaction with each account's initial amount (its balance less its
// records and transfers), then every record and transfer in date order. A
// transfer moves its amount between the two 资产: accounts, and its fee goes
// to 支出:手续费, so the journal's 支出 is the books' expense plus the fees.
// Returns how many records and transfers were written.
int WriteJournal(const QString &fileName, const TWorkHooks &hooks = {});

} // namespace BooksExport
