#pragma once

#include "data/Currency.h"
#include "data/Outcome.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>

// What becomes of a row of a statement when it is imported.
enum class TRowStatus {
    New, // imported
    Skipped, // moved no money of the user's, or only between their own pockets
    Duplicate, // matches a record already in the books; not imported unless ticked
    Unreadable, // its date or amount cannot be read, or its cells cannot be trusted
    Merged, // the same money as another row or a record: booked once, with that one
    Transfer, // moves money between two of the books' accounts
    Refund, // money given back for a purchase: booked as a negative expense
};

// One row of a statement as the books would take it.
struct TStatementRow
{
    int Line = 0; // the line (text) or row (spreadsheet) in the file, from 1
    QDate Date;
    QTime Time; // null when the format has no time of day
    int Kind = 1; // 0 income, 1 expense
    Currency Amount; // positive
    QString Remark;
    QString CategoryHint;
    // Where the money came from or went, as the bill names it ("余额宝",
    // "招商银行储蓄卡(1234)"); empty when the format names none.
    QString Source;
    // Who the money went to or came from, where the format has a column for
    // it (交易对方, 对方户名); else empty.
    QString Counterparty;
    // The payment app the money went through: the app of an app's bill, or
    // the one a card's line names (支付宝-…, 财付通-…); else empty.
    QString App;
    // Money moved between two of the user's own pockets (a top-up, a
    // withdrawal, 余额宝 in or out, a card repaid): the other pocket as the
    // bills name it ("余额宝", "零钱", "信用卡(9012)"). The money left Source
    // for it (kind 1) or came from it (kind 0). Empty for any other row.
    QString Pocket;
    Currency Fee; // charged to Source beside Amount (a withdrawal's 服务费)
    QString FeeRemark;
    bool Refund = false; // money given back for a purchase
    bool Personal = false; // sent to or received from a person, not a merchant
    // What tells this row apart in later imports: the order number where the
    // format has one, else a digest of the row's cells.
    QString SourceId;
    TRowStatus Status = TRowStatus::New;
    QString Reason; // why a row is skipped or unreadable, or what it is booked with

    bool operator==(const TStatementRow &) const = default;
};

// The kind of category a row is filed under: a refund, also one merged with
// what it is booked with, is a negative expense.
inline int CategoryKind(const TStatementRow &row)
{
    const bool refund
        = row.Status == TRowStatus::Refund || (row.Status == TRowStatus::Merged && row.Refund);
    return refund || row.Kind != 0 ? 1 : 0;
}

// Whether a funding source is the balance of the payment app itself
// (支付宝 账户余额, 微信 零钱): the account of the app's bill.
bool IsAppBalance(const QString &app, const QString &source);

// Which columns of a table of no known format hold what, by header name.
// Either Amount (signed: negative is an expense) or Income and Expense.
struct TColumnMapping
{
    QString Date;
    QString Time; // optional; Date may hold the time as well
    QString Amount;
    QString Income;
    QString Expense;
    QStringList Remark; // the first of these that is neither empty nor "/"
    QString Hint; // optional: the category hint

    bool IsValid() const;
    // One line of text and back, to store a mapping the user made.
    QString ToText() const;
    static TColumnMapping FromText(const QString &text);
};

// A statement file read and parsed.
struct TStatement
{
    QString FormatId; // "alipay", "alipay-web", "wechat", "icbc", "cmb", "ccb", "bank", "mapped"
    QString FormatName; // as the user knows it
    bool IsBank = false; // a bank's dates may lag a day behind the purchase
    QStringList Header; // the header row, padding and empty trailing cells removed
    QList<TStatementRow> Rows;
    // Whether the file can be imported, or why not; Rows is empty when not.
    Outcome Readable = Outcome::Sound();
    // A table of no known format: it needs a column mapping for Header.
    bool NeedsMapping = false;
    // An archive whose bill is encrypted, read without its password or with a
    // wrong one; Readable says which.
    bool NeedsPassword = false;

    int Count(TRowStatus status) const;
    // The first and last date of the readable rows; null dates when none.
    QDate FirstDate() const;
    QDate LastDate() const;
};

// Reads a statement file, recognising its kind by its content: a zip archive
// of files is unpacked (with the password, when its bill is encrypted) and
// its bill read, any other zip archive is read as .xlsx, an OLE2 compound
// file as .xls, anything else as text in UTF-8 or GB18030. The mapping is
// used when the table is of no known format.
TStatement ReadStatement(const QString &fileName, const TColumnMapping &mapping = {},
                         const QString &password = {});

// Parses the rows of a table already read; lines holds each row's line in the
// file (empty: the row numbers). Spreadsheet rows may be shorter than the
// header and may hold dates as day serials.
TStatement ParseStatementTable(const QList<QStringList> &rows, const QList<int> &lines,
                               bool spreadsheet, const TColumnMapping &mapping = {});

// An amount as the exports write it: "¥1,234.50", "+12,800.00", "-35.50",
// padded; false for text that is no amount. Empty, "-" and "/" are no amount
// either, and leave present false.
bool ParseStatementAmount(const QString &text, Currency &amount, bool &present);
