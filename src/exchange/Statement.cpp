#include "Statement.h"

#include "CsvReader.h"
#include "SheetReader.h"
#include "StatementArchive.h"
#include "TextDecode.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>

namespace {

// How far down a file its header row may be.
constexpr int kHeaderSearchRows = 80;

const QString kReturnedTransfer = QStringLiteral("转账已被对方退还，文件中没有对应的退款");

// An amount's text without currency signs, thousands separators, padding and
// a leading plus.
QString PlainAmount(const QString &text)
{
    QString plain;
    plain.reserve(text.size());
    for (const QChar c : text)
        if (c != u',' && c != QChar(0x00A5) && c != QChar(0xFFE5) && c != u' ' && c != u'\t'
            && c != QChar(0x3000))
            plain += c;
    if (plain.startsWith(u'+'))
        plain.remove(0, 1);
    return plain;
}

bool IsDecimal(const QString &plain)
{
    static const QRegularExpression pattern(QStringLiteral("^-?\\d+(\\.\\d+)?$"));
    return pattern.match(plain).hasMatch();
}

// The cells of one data row, looked up by header name.
class TRowCells
{
public:
    TRowCells(const QStringList &cells, const QHash<QString, int> &index, bool spreadsheet)
        : FCells(cells)
        , FIndex(index)
        , FSpreadsheet(spreadsheet)
    {
    }

    bool Has(const QString &name) const { return FIndex.contains(name); }
    QString operator[](const QString &name) const
    {
        const int i = FIndex.value(name, -1);
        return i >= 0 && i < FCells.size() ? FCells[i] : QString();
    }
    bool Spreadsheet() const { return FSpreadsheet; }

private:
    const QStringList &FCells;
    const QHash<QString, int> &FIndex;
    bool FSpreadsheet;
};

QString FirstOf(std::initializer_list<QString> values)
{
    for (const QString &v : values)
        if (!v.isEmpty() && v != u"/")
            return v;
    return QString();
}

void MarkUnreadable(TStatementRow &row, const QString &reason)
{
    row.Status = TRowStatus::Unreadable;
    row.Reason = reason;
}

void MarkSkipped(TStatementRow &row, const QString &reason)
{
    if (row.Status == TRowStatus::New) {
        row.Status = TRowStatus::Skipped;
        row.Reason = reason;
    }
}

// A spreadsheet's day serial (days since 1899-12-30, the fraction the time),
// exact to the second: the fraction is rounded to the nearest second, so a
// time of 23:59:59 stays on its day.
bool FromSerial(const QString &text, QDate *date, QTime *time)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]{1,7})(\\.[0-9]*)?$"));
    const auto m = pattern.match(text);
    if (!m.hasMatch())
        return false;
    const qint64 seconds
        = m.captured(1).toLongLong() * 86400 + std::llround(m.captured(2).toDouble() * 86400);
    if (date) {
        if (seconds < 86400)
            return false;
        *date = QDate(1899, 12, 30).addDays(seconds / 86400);
    }
    if (time)
        *time = QTime(0, 0).addSecs(static_cast<int>(seconds % 86400));
    return true;
}

bool ParseTime(const QString &text, QTime &time, bool spreadsheet)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2}):(\\d{2})(?::(\\d{2}))?$"));
    const auto m = pattern.match(text);
    if (m.hasMatch()) {
        time = QTime(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        return time.isValid();
    }
    return spreadsheet && FromSerial(text, nullptr, &time);
}

// A date, with an optional time after it: 2026-03-28, 2026/3/28, 20260328,
// 2026-03-28 19:42:10; in a spreadsheet also a day serial.
bool ParseDate(const QString &text, QDate &date, QTime &time, bool spreadsheet)
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(\\d{4})(?:[-/.年](\\d{1,2})[-/.月](\\d{1,2})日?|(\\d{2})(\\d{2}))(?:[ T]+(.+))?$"));
    const auto m = pattern.match(text);
    if (!m.hasMatch())
        return spreadsheet && FromSerial(text, &date, &time) && date.isValid();
    const bool compact = m.capturedLength(4) > 0;
    date = QDate(m.captured(1).toInt(), m.captured(compact ? 4 : 2).toInt(),
                 m.captured(compact ? 5 : 3).toInt());
    if (!date.isValid())
        return false;
    time = QTime();
    return !m.hasCaptured(6) || ParseTime(m.captured(6), time, false);
}

// Reads the date (and time) of a row into out; marks it unreadable when they
// cannot be read.
bool ReadWhen(const TRowCells &r, const QString &dateColumn, const QString &timeColumn,
              TStatementRow &out)
{
    const QString dateText = r[dateColumn];
    if (!ParseDate(dateText, out.Date, out.Time, r.Spreadsheet())) {
        MarkUnreadable(out, QStringLiteral("日期无法识别：“%1”").arg(dateText));
        return false;
    }
    if (!timeColumn.isEmpty() && r.Has(timeColumn) && !r[timeColumn].isEmpty()
        && !ParseTime(r[timeColumn], out.Time, r.Spreadsheet())) {
        MarkUnreadable(out, QStringLiteral("时间无法识别：“%1”").arg(r[timeColumn]));
        return false;
    }
    return true;
}

// Reads an amount; an empty cell is zero, text that is no amount marks the row
// unreadable.
bool ReadAmount(const TRowCells &r, const QString &column, Currency &amount, TStatementRow &out)
{
    bool present = false;
    if (!ParseStatementAmount(r[column], amount, present)) {
        // A number Currency refuses is beyond the largest amount the books hold.
        MarkUnreadable(
            out,
            IsDecimal(PlainAmount(r[column]))
                ? QStringLiteral("金额“%1”超出上限 %2")
                      .arg(r[column], Currency::FromUnits(Currency::kMaxUnits).ToString())
                : QStringLiteral("金额无法识别：“%1”").arg(r[column]));
        return false;
    }
    if (!present)
        amount = Currency();
    return true;
}

// Like ReadAmount, and zero when the table has no such column.
bool ReadOptionalAmount(const TRowCells &r, const QString &column, Currency &amount,
                        TStatementRow &out)
{
    return !r.Has(column) || ReadAmount(r, column, amount, out);
}

// The order number of a row, or empty when the cell holds none.
QString OrderNumber(const TRowCells &r, const QString &column)
{
    const QString id = r[column];
    return id.isEmpty() || id == u"/" ? QString() : id;
}

void SetSigned(Currency amount, TStatementRow &out)
{
    out.Kind = amount < Currency() ? 1 : 0;
    out.Amount = amount < Currency() ? -amount : amount;
}

const QString kAlipay = QStringLiteral("支付宝");
const QString kWechat = QStringLiteral("微信");

// A credit card named by its last four digits ("尾号9012", "(9012)") as the
// pocket its repayment goes to; empty when the text names none.
QString CreditCard(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("(?:尾号|\\()(\\d{4})"));
    const QRegularExpressionMatch match = digits.match(text);
    return match.hasMatch() ? QStringLiteral("信用卡(%1)").arg(match.captured(1)) : QString();
}

// What a card's line says about the app it went through and the pocket it
// moved money to or from; text is the cells naming the other side.
void ReadCardLine(const QString &text, TStatementRow &out)
{
    if (text.contains(kAlipay))
        out.App = kAlipay;
    else if (text.contains(u"财付通") || text.contains(kWechat))
        out.App = kWechat;
    if (out.App == kAlipay && text.contains(u"充值"))
        out.Pocket = QStringLiteral("账户余额");
    else if (out.App == kWechat && (text.contains(u"零钱充值") || text.contains(u"零钱提现")))
        out.Pocket = QStringLiteral("零钱");
    else if (text.contains(u"信用卡") && text.contains(u"还款"))
        out.Pocket = CreditCard(text);
    out.Refund = !out.App.isEmpty() && out.Kind == 0
        && (out.CategoryHint.contains(u"退款") || text.contains(u"退款"));
}

// Alipay app statements (both layouts: the columns are found by name) and the
// money-moving rules of its 收/支 and 交易状态.
void AlipayRow(const TRowCells &r, TStatementRow &out)
{
    const QString item = r[QStringLiteral("商品说明")];
    const QString category = r[QStringLiteral("交易分类")];
    out.Remark = FirstOf({r[QStringLiteral("备注")], item, r[QStringLiteral("交易对方")]});
    out.CategoryHint = category;
    out.App = kAlipay;
    out.Source = FirstOf({r[QStringLiteral("收/付款方式")]});
    out.Counterparty = FirstOf({r[QStringLiteral("交易对方")]});
    out.SourceId = OrderNumber(r, QStringLiteral("交易订单号"));
    if (!ReadWhen(r, QStringLiteral("交易时间"), QString(), out)
        || !ReadAmount(r, QStringLiteral("金额"), out.Amount, out))
        return;
    const QString direction = r[QStringLiteral("收/支")];
    const QString status = r[QStringLiteral("交易状态")];
    if (status.contains(u"失败"))
        return MarkSkipped(out, QStringLiteral("交易失败"));
    if (direction == u"支出") {
        // A purchase refunded later still took the money; its refund is a row of its own.
        out.Kind = 1;
        return;
    }
    out.Kind = 0;
    if (status == u"交易关闭")
        return MarkSkipped(out, QStringLiteral("交易关闭，没有付款"));
    if (direction == u"收入")
        return;
    if (status == u"退款成功" && (item.startsWith(u"退款") || category == u"退款")) {
        out.Refund = true;
        return;
    }
    if (item.endsWith(u"-收益发放"))
        return;
    MarkSkipped(out, QStringLiteral("不计收支：自己账户之间的资金往来"));
    // What the import of several bills books as a transfer: the money left
    // the funding source for this pocket.
    if (status != u"交易成功" && status != u"还款成功")
        return;
    if (item.startsWith(u"余额宝-") && item.contains(u"转入"))
        out.Pocket = QStringLiteral("余额宝");
    else if (item.startsWith(u"余额宝-") && item.contains(u"转出"))
        out.Pocket = QStringLiteral("账户余额");
    else if (item.startsWith(u"充值"))
        out.Pocket = QStringLiteral("账户余额");
    else if (item.startsWith(u"花呗"))
        out.Pocket = QStringLiteral("花呗");
    else if (item.contains(u"信用卡"))
        out.Pocket = CreditCard(item + out.Counterparty);
    if (!out.Pocket.isEmpty())
        out.Kind = 1;
}

// The retired Alipay website download: 资金状态 tells the direction.
void AlipayWebRow(const TRowCells &r, TStatementRow &out)
{
    out.Remark = FirstOf(
        {r[QStringLiteral("备注")], r[QStringLiteral("商品名称")], r[QStringLiteral("交易对方")]});
    out.Counterparty = FirstOf({r[QStringLiteral("交易对方")]});
    out.SourceId = OrderNumber(r, QStringLiteral("交易号"));
    if (!ReadWhen(r, QStringLiteral("交易创建时间"), QString(), out)
        || !ReadAmount(r, QStringLiteral("金额（元）"), out.Amount, out))
        return;
    const QString funds = r[QStringLiteral("资金状态")];
    if (funds == u"已支出")
        out.Kind = 1;
    else if (funds == u"已收入")
        out.Kind = 0;
    else if (r[QStringLiteral("交易状态")].contains(u"失败"))
        MarkSkipped(out, QStringLiteral("交易失败"));
    else
        MarkSkipped(out, QStringLiteral("资金状态为“%1”：不计收支").arg(funds));
}

void WechatRow(const TRowCells &r, TStatementRow &out)
{
    const QString type = r[QStringLiteral("交易类型")];
    out.Remark = FirstOf({r[QStringLiteral("商品")], r[QStringLiteral("交易对方")], type});
    out.CategoryHint = type;
    out.App = kWechat;
    out.Source = FirstOf({r[QStringLiteral("支付方式")]});
    out.Counterparty = FirstOf({r[QStringLiteral("交易对方")]});
    out.SourceId = OrderNumber(r, QStringLiteral("交易单号"));
    if (!ReadWhen(r, QStringLiteral("交易时间"), QString(), out)
        || !ReadAmount(r, QStringLiteral("金额(元)"), out.Amount, out))
        return;
    const QString direction = r[QStringLiteral("收/支")];
    const QString status = r[QStringLiteral("当前状态")];
    out.Kind = direction == u"收入" ? 0 : 1;
    out.Personal = type.startsWith(u"转账") || type.startsWith(u"微信红包");
    out.Refund = !out.Personal && out.Kind == 0 && type.endsWith(u"退款");
    if (status.contains(u"失败"))
        return MarkSkipped(out, QStringLiteral("交易失败"));
    if (status == u"对方已退还")
        // Booked only when the file also holds the refund (see PairReturnedTransfers).
        return MarkSkipped(out, kReturnedTransfer);
    if (direction == u"支出" || direction == u"收入")
        return;
    MarkSkipped(out, QStringLiteral("中性交易：零钱、理财等自己账户之间的资金往来"));
    // What the import of several bills books as a transfer: the money left
    // the funding source for this pocket.
    out.Kind = 1;
    if (type == u"零钱充值") {
        out.Pocket = QStringLiteral("零钱");
    } else if (type == u"零钱提现") {
        // The bill's amount is what left 零钱: the sum that reached the card
        // and the fee its remark names.
        out.Pocket = out.Source;
        out.Source = QStringLiteral("零钱");
        const QString note = r[QStringLiteral("备注")];
        static const QRegularExpression fee(QStringLiteral("服务费[¥￥]?([0-9.]+)"));
        const QRegularExpressionMatch match = fee.match(note);
        Currency charged;
        if (match.hasMatch() && Currency::TryParse(match.captured(1), charged)
            && charged > Currency() && charged < out.Amount) {
            out.Fee = charged;
            out.FeeRemark = note;
            out.Amount -= charged;
        }
    } else if (type.contains(u"信用卡还款")) {
        out.Pocket = CreditCard(out.Remark + out.Counterparty);
    }
}

// A WeChat transfer the other side sent back moved money out and in again:
// it is booked only when the file holds its refund, a 转账-退款 row of the
// same amount. A merchant's refund answers for a purchase, not a transfer.
void PairReturnedTransfers(QList<TStatementRow> &rows)
{
    QList<TStatementRow *> refunds;
    for (TStatementRow &row : rows)
        if (row.Status == TRowStatus::New && row.Kind == 0 && row.CategoryHint == u"转账-退款")
            refunds << &row;
    for (TStatementRow &row : rows) {
        if (row.Status != TRowStatus::Skipped || row.Reason != kReturnedTransfer)
            continue;
        for (qsizetype i = 0; i < refunds.size(); ++i)
            if (refunds[i]->Amount == row.Amount) {
                row.Status = TRowStatus::New;
                row.Reason.clear();
                refunds.remove(i);
                break;
            }
    }
}

// One of an income and an expense column holds the amount.
void BookInOut(Currency income, Currency expense, TStatementRow &out)
{
    if (income > Currency()) {
        out.Kind = 0;
        out.Amount = income;
    } else if (expense > Currency()) {
        out.Kind = 1;
        out.Amount = expense;
    } else {
        MarkSkipped(out, QStringLiteral("金额为零"));
    }
}

void IcbcRow(const TRowCells &r, TStatementRow &out)
{
    out.Remark = FirstOf({r[QStringLiteral("交易详情")], r[QStringLiteral("交易场所")],
                          r[QStringLiteral("对方户名")], r[QStringLiteral("摘要")]});
    out.CategoryHint = r[QStringLiteral("摘要")];
    out.Counterparty = FirstOf({r[QStringLiteral("对方户名")]});
    Currency income;
    Currency expense;
    Currency tradeIncome;
    Currency tradeExpense;
    if (!ReadWhen(r, QStringLiteral("交易日期"), QString(), out)
        || !ReadAmount(r, QStringLiteral("记账金额(收入)"), income, out)
        || !ReadAmount(r, QStringLiteral("记账金额(支出)"), expense, out)
        || !ReadOptionalAmount(r, QStringLiteral("交易金额(收入)"), tradeIncome, out)
        || !ReadOptionalAmount(r, QStringLiteral("交易金额(支出)"), tradeExpense, out))
        return;
    if (income == Currency() && expense == Currency())
        BookInOut(tradeIncome, tradeExpense, out);
    else
        BookInOut(income, expense, out);
    ReadCardLine(r[QStringLiteral("交易场所")] + out.Counterparty, out);
}

void CmbRow(const TRowCells &r, TStatementRow &out)
{
    out.Remark = FirstOf({r[QStringLiteral("交易备注")], r[QStringLiteral("交易类型")]});
    out.CategoryHint = r[QStringLiteral("交易类型")];
    Currency income;
    Currency expense;
    if (ReadWhen(r, QStringLiteral("交易日期"), QStringLiteral("交易时间"), out)
        && ReadAmount(r, QStringLiteral("收入"), income, out)
        && ReadAmount(r, QStringLiteral("支出"), expense, out))
        BookInOut(income, expense, out);
    ReadCardLine(r[QStringLiteral("交易备注")], out);
}

void CcbRow(const TRowCells &r, TStatementRow &out)
{
    out.Remark = FirstOf(
        {r[QStringLiteral("交易地点")], r[QStringLiteral("对方户名")], r[QStringLiteral("摘要")]});
    out.CategoryHint = r[QStringLiteral("摘要")];
    out.Counterparty = FirstOf({r[QStringLiteral("对方户名")]});
    Currency income;
    Currency expense;
    if (ReadWhen(r, QStringLiteral("交易日期"), QStringLiteral("交易时间"), out)
        && ReadAmount(r, QStringLiteral("收入"), income, out)
        && ReadAmount(r, QStringLiteral("支出"), expense, out))
        BookInOut(income, expense, out);
    ReadCardLine(r[QStringLiteral("交易地点")] + out.Counterparty, out);
}

// A table read through a column mapping; holder is the account holder's name
// from the file's preamble, which marks transfers between their own accounts.
void MappedRow(const TRowCells &r, const TColumnMapping &m, const QString &holder,
               TStatementRow &out)
{
    QStringList remarks;
    for (const QString &column : m.Remark)
        remarks << r[column];
    for (const QString &remark : remarks)
        if (!remark.isEmpty() && remark != u"/") {
            out.Remark = remark;
            break;
        }
    if (!m.Hint.isEmpty())
        out.CategoryHint = r[m.Hint];
    if (!ReadWhen(r, m.Date, m.Time, out))
        return;
    if (!m.Amount.isEmpty()) {
        Currency amount;
        if (!ReadAmount(r, m.Amount, amount, out))
            return;
        SetSigned(amount, out);
        if (amount == Currency())
            MarkSkipped(out, QStringLiteral("金额为零"));
    } else {
        Currency income;
        Currency expense;
        if (!ReadAmount(r, m.Income, income, out) || !ReadAmount(r, m.Expense, expense, out))
            return;
        // Some banks write an expense column with negative amounts.
        BookInOut(income < Currency() ? -income : income, expense < Currency() ? -expense : expense,
                  out);
    }
    if (!holder.isEmpty() && r[QStringLiteral("对方户名")] == holder)
        MarkSkipped(out, QStringLiteral("转到本人的其他账户"));
}

using TRowParser = void (*)(const TRowCells &, TStatementRow &);

struct TFormat
{
    const char16_t *Id;
    const char16_t *Name;
    bool Bank;
    // The header row holds all of these; the first one leads the row when the
    // layout is as the app writes it.
    std::initializer_list<const char16_t *> Required;
    TRowParser Parse;
    bool OrderNumbers; // the rows carry order numbers
};

const TFormat kFormats[] = {
    {u"alipay",
     u"支付宝账单",
     false,
     {u"交易时间", u"交易分类", u"收/支", u"金额", u"交易状态"},
     AlipayRow,
     true},
    {u"alipay",
     u"支付宝账单（2021–2022 版）",
     false,
     {u"收/支", u"交易对方", u"金额", u"交易状态", u"交易分类", u"交易时间"},
     AlipayRow,
     true},
    {u"alipay-web",
     u"支付宝网站交易记录",
     false,
     {u"交易号", u"交易创建时间", u"资金状态", u"金额（元）"},
     AlipayWebRow,
     true},
    {u"wechat",
     u"微信支付账单",
     false,
     {u"交易时间", u"交易类型", u"收/支", u"金额(元)", u"当前状态"},
     WechatRow,
     true},
    {u"icbc",
     u"工商银行明细",
     true,
     {u"交易日期", u"摘要", u"记账金额(收入)", u"记账金额(支出)"},
     IcbcRow,
     false},
    {u"cmb",
     u"招商银行一卡通明细",
     true,
     {u"交易日期", u"交易时间", u"收入", u"支出", u"交易备注"},
     CmbRow,
     false},
    {u"ccb",
     u"建设银行明细",
     true,
     {u"记账日", u"交易日期", u"支出", u"收入", u"摘要"},
     CcbRow,
     false},
};

// The typical bank layout that needs no mapping: a date and one signed amount
// column; the time, remark and hint columns are used where the file has them.
const TColumnMapping kBankMapping = {QStringLiteral("交易日期"),
                                     QStringLiteral("交易时间"),
                                     QStringLiteral("交易金额"),
                                     {},
                                     {},
                                     {QStringLiteral("附言"), QStringLiteral("交易地点/附言"),
                                      QStringLiteral("对方户名"), QStringLiteral("摘要")},
                                     QStringLiteral("摘要")};

bool HoldsAll(const QStringList &row, std::initializer_list<const char16_t *> names)
{
    for (const char16_t *name : names)
        if (!row.contains(QString::fromUtf16(name)))
            return false;
    return true;
}

bool HoldsAll(const QStringList &row, const TColumnMapping &m)
{
    QStringList names = {m.Date};
    for (const QString *name : {&m.Time, &m.Amount, &m.Income, &m.Expense, &m.Hint})
        if (!name->isEmpty())
            names << *name;
    names << m.Remark;
    return std::all_of(names.cbegin(), names.cend(),
                       [&row](const QString &name) { return row.contains(name); });
}

// The known format whose columns a row names wherever they stand; of two, the
// one whose first column leads the row (the layouts of one app differ in
// their order).
const TFormat *FormatOf(const QStringList &row)
{
    const TFormat *found = nullptr;
    for (const TFormat &f : kFormats) {
        if (!HoldsAll(row, f.Required))
            continue;
        if (row.value(0) == QString::fromUtf16(*f.Required.begin()))
            return &f;
        if (!found)
            found = &f;
    }
    return found;
}

// Whether a header names any column of the known formats.
bool HoldsKnownName(const QStringList &header)
{
    for (const TFormat &f : kFormats)
        for (const char16_t *name : f.Required)
            if (header.contains(QString::fromUtf16(name)))
                return true;
    return header.contains(kBankMapping.Date) || header.contains(kBankMapping.Amount);
}

// The cells of a row up to its last one that is not empty.
int FilledWidth(const QStringList &row)
{
    qsizetype width = row.size();
    while (width > 0 && row[width - 1].isEmpty())
        --width;
    return static_cast<int>(width);
}

// The header without the empty cells a trailing comma leaves.
QStringList TrimmedHeader(QStringList row)
{
    row.resize(FilledWidth(row));
    return row;
}

bool IsBlank(const QStringList &row)
{
    return std::all_of(row.cbegin(), row.cend(), [](const QString &c) { return c.isEmpty(); });
}

// The lines that end a table: a rule of dashes, a "#" note, a total, a count
// of records or a sum of a direction ("共21笔记录", "收入：3笔 120.00元"), the
// closing remark of a bank's export.
bool IsFooter(const QStringList &row)
{
    static const QRegularExpression summary(
        QStringLiteral("^(共\\s*\\d+\\s*笔|[已待]?(收入|支出|不计收支|中性交易)\\s*[:：])"));
    const QString first = row.value(0);
    return first.startsWith(QStringLiteral("---")) || first.startsWith(u'#')
        || first.contains(u"合计") || first.startsWith(u"以上数据")
        || summary.match(first).hasMatch();
}

// The account holder's name from a preamble line "户名：…".
QString HolderName(const QList<QStringList> &rows, int headerRow)
{
    static const QRegularExpression pattern(QStringLiteral("^户\\s*名\\s*[:：]\\s*(.+)$"));
    for (int i = 0; i < headerRow; ++i)
        for (const QString &cell : rows[i]) {
            const auto m = pattern.match(cell);
            if (m.hasMatch())
                return m.captured(1).trimmed();
        }
    return QString();
}

// A candidate header for a table of no known format: the first row of three
// or more cells, none of which is a number or a date.
int GuessHeader(const QList<QStringList> &rows)
{
    static const QRegularExpression data(QStringLiteral("^[-+¥￥\\d,.:/ ]+$"));
    const int limit = std::min<int>(rows.size(), kHeaderSearchRows);
    for (int i = 0; i < limit; ++i) {
        const QStringList header = TrimmedHeader(rows[i]);
        if (header.size() >= 3
            && std::none_of(header.cbegin(), header.cend(), [](const QString &c) {
                   return c.isEmpty() || data.match(c).hasMatch();
               }))
            return i;
    }
    return -1;
}

// A digest of a row's cells, for rows that carry no order number.
QString CellsDigest(const QStringList &cells)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    for (const QString &c : cells) {
        hash.addData(c.toUtf8());
        hash.addData(QByteArrayView("\x1f", 1));
    }
    return QString::fromLatin1(hash.result().toHex().left(24));
}

TStatement Refused(Outcome why, bool needsPassword = false)
{
    TStatement refused;
    refused.Readable = std::move(why);
    refused.NeedsPassword = needsPassword;
    return refused;
}

} // namespace

bool IsAppBalance(const QString &app, const QString &source)
{
    if (app == kAlipay)
        return source == u"账户余额" || source == u"余额";
    return app == kWechat && (source.isEmpty() || source == u"零钱");
}

bool ParseStatementAmount(const QString &text, Currency &amount, bool &present)
{
    const QString plain = PlainAmount(text);
    present = !(plain.isEmpty() || plain == u"-" || plain == u"/");
    if (!present) {
        amount = Currency();
        return true;
    }
    return IsDecimal(plain) && Currency::TryParse(plain, amount);
}

bool TColumnMapping::IsValid() const
{
    return !Date.isEmpty() && (!Amount.isEmpty() || (!Income.isEmpty() && !Expense.isEmpty()));
}

QString TColumnMapping::ToText() const
{
    const QStringList parts = {Date, Time, Amount, Income, Expense, Remark.join(u'\x1e'), Hint};
    return parts.join(u'\x1f');
}

TColumnMapping TColumnMapping::FromText(const QString &text)
{
    const QStringList parts = text.split(u'\x1f');
    TColumnMapping m;
    if (parts.size() != 7)
        return m;
    m.Date = parts[0];
    m.Time = parts[1];
    m.Amount = parts[2];
    m.Income = parts[3];
    m.Expense = parts[4];
    m.Remark = parts[5].split(u'\x1e', Qt::SkipEmptyParts);
    m.Hint = parts[6];
    return m;
}

int TStatement::Count(TRowStatus status) const
{
    return static_cast<int>(std::count_if(
        Rows.cbegin(), Rows.cend(), [status](const auto &row) { return row.Status == status; }));
}

QDate TStatement::FirstDate() const
{
    QDate first;
    for (const TStatementRow &row : Rows)
        if (row.Status != TRowStatus::Unreadable && (!first.isValid() || row.Date < first))
            first = row.Date;
    return first;
}

QDate TStatement::LastDate() const
{
    QDate last;
    for (const TStatementRow &row : Rows)
        if (row.Status != TRowStatus::Unreadable && (!last.isValid() || row.Date > last))
            last = row.Date;
    return last;
}

TStatement ParseStatementTable(const QList<QStringList> &rows, const QList<int> &lines,
                               bool spreadsheet, const TColumnMapping &mapping)
{
    TStatement result;
    if (rows.isEmpty() || std::all_of(rows.cbegin(), rows.cend(), IsBlank)) {
        result.Readable = Outcome::Fault(QStringLiteral("文件是空的"));
        return result;
    }

    // Find the header by its names, never by its line.
    const TFormat *format = nullptr;
    const TColumnMapping *columns = nullptr;
    int headerRow = -1;
    const int limit = std::min<int>(rows.size(), kHeaderSearchRows);
    for (int i = 0; i < limit && headerRow < 0; ++i) {
        const QStringList &row = rows[i];
        format = FormatOf(row);
        if (format) {
            headerRow = i;
        } else if (mapping.IsValid() && HoldsAll(row, mapping)) {
            columns = &mapping;
            headerRow = i;
        } else if (row.contains(kBankMapping.Date) && row.contains(kBankMapping.Amount)) {
            columns = &kBankMapping;
            headerRow = i;
        }
    }
    if (headerRow < 0) {
        const int guess = GuessHeader(rows);
        if (guess < 0) {
            result.Readable = Outcome::Fault(QStringLiteral(
                "无法识别文件内容：没有找到账单的表头。账单应有一行列名，如“交易时间”“收/支”"
                "“金额”（支付宝、微信）或“交易日期”“交易金额”（银行）"));
            return result;
        }
        result.Header = TrimmedHeader(rows[guess]);
        result.FormatId = QStringLiteral("mapped");
        result.FormatName = QStringLiteral("其他表格（需要指定各列的含义）");
        result.NeedsMapping = true;
        return result;
    }

    result.Header = TrimmedHeader(rows[headerRow]);
    if (format) {
        result.FormatId = QString::fromUtf16(format->Id);
        result.FormatName = QString::fromUtf16(format->Name);
        result.IsBank = format->Bank;
    } else {
        const bool bank = columns == &kBankMapping;
        result.FormatId = bank ? QStringLiteral("bank") : QStringLiteral("mapped");
        result.FormatName = bank ? QStringLiteral("银行明细（通用格式）")
                                 : QStringLiteral("其他表格（按指定的列）");
        result.IsBank = bank;
    }
    QHash<QString, int> index;
    for (int c = 0; c < result.Header.size(); ++c)
        if (!result.Header[c].isEmpty() && !index.contains(result.Header[c]))
            index.insert(result.Header[c], c);
    const int width = static_cast<int>(result.Header.size());
    const int partyColumn
        = result.FormatId == u"wechat" ? index.value(QStringLiteral("交易对方"), -1) : -1;
    const QString holder = columns ? HolderName(rows, headerRow) : QString();
    QHash<QString, int> seen; // digests met so far, for identical rows

    for (int i = headerRow + 1; i < rows.size(); ++i) {
        QStringList cells = rows[i];
        if (IsBlank(cells))
            continue;
        if (IsFooter(cells))
            break;
        TStatementRow row;
        row.Line = lines.isEmpty() ? i + 1 : lines[i];
        // An unquoted comma inside a name spreads it over more cells.
        if (partyColumn >= 0) {
            while (cells.size() > width && cells.last().isEmpty())
                cells.removeLast();
            if (cells.size() > width) {
                const qsizetype extra = cells.size() - width;
                cells[partyColumn] = cells.mid(partyColumn, extra + 1).join(u',');
                cells.remove(partyColumn + 1, extra);
            }
        }
        if (!spreadsheet && cells.size() < width) {
            MarkUnreadable(row,
                           QStringLiteral("这一行不完整（只有 %1 列，应有 %2 列）")
                               .arg(cells.size())
                               .arg(width));
            result.Rows << row;
            continue;
        }
        // More cells than the header names: an unquoted comma (in an amount,
        // say) has moved the cells after it, so no column can be trusted.
        if (!spreadsheet && FilledWidth(cells) > width) {
            MarkUnreadable(row,
                           QStringLiteral("这一行的列数比表头多（有 %1 列，表头只有 %2 列），"
                                          "可能有未加引号的逗号")
                               .arg(FilledWidth(cells))
                               .arg(width));
            result.Rows << row;
            continue;
        }
        const TRowCells r(cells, index, spreadsheet);
        if (format)
            format->Parse(r, row);
        else
            MappedRow(r, *columns, holder, row);
        // The formats give every amount as a positive number and the
        // direction apart; a zero moved nothing.
        if (row.Status != TRowStatus::Unreadable && row.Amount < Currency())
            MarkUnreadable(row, QStringLiteral("金额不应为负数"));
        else if (row.Status == TRowStatus::New && row.Amount == Currency())
            MarkSkipped(row, QStringLiteral("金额为零"));
        if (row.SourceId.isEmpty()) {
            // Identical rows in one file are still different records.
            const QString digest = CellsDigest(cells);
            const int n = seen.value(digest, 0);
            seen.insert(digest, n + 1);
            row.SourceId = n == 0 ? digest : digest + u'#' + QString::number(n);
        }
        if (row.Status != TRowStatus::Unreadable)
            row.SourceId = result.FormatId + u':' + row.SourceId;
        else
            row.SourceId.clear();
        result.Rows << row;
    }
    if (result.FormatId == u"wechat")
        PairReturnedTransfers(result.Rows);
    return result;
}

namespace {

// A statement from the bytes of its file: a zip archive is read as .xlsx
// and an OLE2 compound file as .xls (both from the file), anything else as text.
TStatement ReadContent(const QByteArray &bytes, const QString &fileName,
                       const TColumnMapping &mapping)
{
    QList<QStringList> rows;
    QString error;
    if (bytes.startsWith("PK\x03\x04")) {
        if (!ReadXlsx(fileName, rows, error))
            return Refused(Outcome::Fault(error));
        return ParseStatementTable(rows, {}, true, mapping);
    }
    if (bytes.startsWith(QByteArrayView("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))) {
        if (!ReadXls(fileName, rows, error))
            return Refused(Outcome::Fault(error));
        return ParseStatementTable(rows, {}, true, mapping);
    }
    QString text;
    bool doubtful = false;
    if (!DecodeStatementText(bytes, text, error, &doubtful))
        return Refused(Outcome::Fault(error));
    const TCsvTable table = ReadCsv(text);
    TStatement result = ParseStatementTable(table.Rows, table.Lines, false, mapping);
    // Text of another encoding read as GB18030 names no column we know.
    if (doubtful && (result.NeedsMapping || !result.Readable.IsSound())
        && !HoldsKnownName(result.Header))
        return Refused(Outcome::Fault(QStringLiteral(
            "文件的编码不受支持：内容不像 UTF-8 或 GB18030（GBK）编码的中文，"
            "可能是繁体中文（Big5）或日文（Shift-JIS）编码。请先另存为 UTF-8 编码再导入。")));
    // A file cut in its last row: a cut cell may still read as a date or an
    // amount, so the row is not booked.
    if (table.LastRowCut && !result.Rows.isEmpty()
        && result.Rows.last().Line == table.Lines.last()) {
        MarkUnreadable(result.Rows.last(), QStringLiteral("文件可能不完整：文件在这一行中间结束"));
        result.Rows.last().SourceId.clear();
    }
    return result;
}

} // namespace

TStatement ReadStatement(const QString &fileName, const TColumnMapping &mapping,
                         const QString &password)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return Refused(Outcome::Fault(QStringLiteral("无法读取文件：%1").arg(file.errorString())));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return Refused(Outcome::Fault(QStringLiteral("无法读取文件：%1").arg(file.errorString())));
    file.close();
    if (bytes.isEmpty())
        return Refused(Outcome::Fault(QStringLiteral("文件是空的")));
    if (!bytes.startsWith("PK\x03\x04") || !IsBillArchive(bytes))
        return ReadContent(bytes, fileName, mapping);

    const TUnpackedStatement bill = UnpackStatement(bytes, password);
    if (!bill.Result.IsSound())
        return Refused(bill.Result, bill.NeedsPassword);
    // The readers of spreadsheets read a file: the bill gets one of its own.
    const QTemporaryDir dir;
    QFile unpacked(dir.filePath(QStringLiteral("bill")));
    if (!dir.isValid() || !unpacked.open(QIODevice::WriteOnly)
        || unpacked.write(bill.Bytes) != bill.Bytes.size() || !unpacked.flush())
        return Refused(Outcome::Fault(
            QStringLiteral("无法解压账单：临时文件写不进去：%1").arg(unpacked.errorString())));
    unpacked.close();
    return ReadContent(bill.Bytes, unpacked.fileName(), mapping);
}
