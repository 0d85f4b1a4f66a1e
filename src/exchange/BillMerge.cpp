#include "BillMerge.h"

#include <algorithm>

namespace BillMerge {

const QString kFeeHint = QStringLiteral("服务费");

namespace {

const QString kPersonal = QStringLiteral("人情往来");

// The accounts the names of funding sources and pockets stand for.
struct TResolver
{
    const TPockets &Pockets;
    const TOverrides &Overrides;
    QHash<QString, QString> AppAccounts; // a payment app's bill's account, by app

    // The account of a name as a row of bill gives it; empty when none is chosen.
    QString Account(const TBill &bill, const TStatementRow &row, const QString &name) const
    {
        if (name.isEmpty())
            return bill.Account;
        // An app's balance is the account of its bill: this one's, or the
        // app's bill in the same import.
        if (IsAppBalance(row.App, name)) {
            if (!bill.Read.IsBank)
                return bill.Account;
            if (const auto it = AppAccounts.constFind(row.App); it != AppAccounts.cend())
                return *it;
        }
        return Pockets.value(name);
    }
};

void PlanRow(const TResolver &resolve, TBill &bill, qsizetype index)
{
    TStatementRow &row = bill.Statement.Rows[index];
    TRowPlan &plan = bill.Plans[index];
    plan.Date = row.Date;
    if (row.Status != TRowStatus::New && row.Status != TRowStatus::Skipped)
        return;
    const QString ruled = bill.RuleAccounts.value(index);
    QString source = ruled.isEmpty() ? resolve.Account(bill, row, row.Source) : ruled;
    if (source.isEmpty()) {
        // Until an account is chosen for it, a source's rows go to the bill's.
        source = bill.Account;
        plan.Unmapped = row.Source;
    }
    const bool plain
        = resolve.Overrides.value(Counterparty(row), TOverride::Separate) == TOverride::Plain;
    QString pocket = plain ? QString() : row.Pocket;
    // A person the user keeps an account for is one of their own pockets.
    if (row.Personal && !plain && row.Status == TRowStatus::New
        && resolve.Pockets.contains(row.Counterparty))
        pocket = row.Counterparty;
    if (!pocket.isEmpty() && plan.Unmapped.isEmpty()) {
        const QString other = resolve.Account(bill, row, pocket);
        if (!other.isEmpty() && other != source) {
            row.Status = TRowStatus::Transfer;
            row.Reason.clear();
            plan.Account = row.Kind == 1 ? source : other;
            plan.ToAccount = row.Kind == 1 ? other : source;
            return;
        }
        if (other.isEmpty())
            plan.Unmapped = pocket;
    }
    if (row.Status == TRowStatus::Skipped)
        return;
    plan.Account = source;
    if (row.Refund && !plain)
        row.Status = TRowStatus::Refund;
    else if (row.Personal)
        row.CategoryHint = kPersonal;
}

// Whether two rows, each as planned, move the same money the same way.
bool SameMoney(const TStatementRow &a, const TRowPlan &pa, const TStatementRow &b,
               const TRowPlan &pb)
{
    if (a.Status != b.Status || a.Amount != b.Amount || pa.Account.isEmpty()
        || pa.Account != pb.Account)
        return false;
    return a.Status == TRowStatus::Transfer ? pa.ToAccount == pb.ToAccount : a.Kind == b.Kind;
}

bool Earlier(const TStatementRow &a, const TStatementRow &b)
{
    return a.Date != b.Date ? a.Date < b.Date : a.Time < b.Time;
}

// Pairs each payment app's row with the card's line of the same money, oldest
// first on both sides.
void MergeCardLines(QList<TBill> &bills, const TOverrides &overrides)
{
    const auto row = [&bills](TRowRef ref) -> TStatementRow & {
        return bills[ref.Bill].Statement.Rows[ref.Row];
    };
    const auto plan
        = [&bills](TRowRef ref) -> TRowPlan & { return bills[ref.Bill].Plans[ref.Row]; };
    QList<TRowRef> leads;
    // The cards' lines that name an app, by app and amount, oldest first.
    QHash<QString, QHash<qint64, QList<TRowRef>>> lines;
    for (int b = 0; b < bills.size(); ++b)
        for (int r = 0; r < bills[b].Statement.Rows.size(); ++r) {
            const TStatementRow &line = bills[b].Statement.Rows[r];
            if (!Bookable(line.Status) || line.App.isEmpty()
                || overrides.value(Counterparty(line), TOverride::Plain) == TOverride::Separate)
                continue;
            if (bills[b].Read.IsBank)
                lines[line.App][line.Amount.Units()] << TRowRef {b, r};
            else
                leads << TRowRef {b, r};
        }
    const auto byTime = [&row](TRowRef a, TRowRef b) { return Earlier(row(a), row(b)); };
    std::stable_sort(leads.begin(), leads.end(), byTime);
    for (auto &amounts : lines)
        for (QList<TRowRef> &refs : amounts)
            std::stable_sort(refs.begin(), refs.end(), byTime);

    for (const TRowRef lead : leads) {
        TStatementRow &paid = row(lead);
        QList<TRowRef> &candidates = lines[paid.App][paid.Amount.Units()];
        for (qsizetype i = 0; i < candidates.size(); ++i) {
            const TRowRef card = candidates[i];
            TStatementRow &line = row(card);
            const qint64 lag = paid.Date.daysTo(line.Date);
            if (lag < 0 || lag > kCardLagDays || !SameMoney(paid, plan(lead), line, plan(card)))
                continue;
            candidates.remove(i);
            line.Status = TRowStatus::Merged;
            line.Reason = QStringLiteral("与%1第 %2 行是同一笔")
                              .arg(bills[lead.Bill].Statement.FormatName)
                              .arg(paid.Line);
            plan(card).Partner = lead;
            plan(lead).Partner = card;
            // A transfer is booked on the day the money left its account.
            if (paid.Status == TRowStatus::Transfer
                && plan(lead).Account == bills[card.Bill].Account)
                plan(lead).Date = line.Date;
            break;
        }
    }
}

// A refund in a payment app's bill names its purchase's order number before
// an underscore; the refund takes the purchase's category hint.
void FindPurchases(QList<TBill> &bills)
{
    for (int b = 0; b < bills.size(); ++b) {
        QList<TStatementRow> &rows = bills[b].Statement.Rows;
        QHash<QString, int> orders;
        for (int r = 0; r < rows.size(); ++r)
            if (!rows[r].SourceId.isEmpty())
                orders.insert(rows[r].SourceId, r);
        for (int r = 0; r < rows.size(); ++r) {
            TStatementRow &refund = rows[r];
            const qsizetype cut = refund.SourceId.lastIndexOf(u'_');
            if (refund.Status != TRowStatus::Refund || cut < 0)
                continue;
            const int purchase = orders.value(refund.SourceId.left(cut), -1);
            if (purchase < 0)
                continue;
            bills[b].Plans[r].Purchase = TRowRef {b, purchase};
            refund.CategoryHint = rows[purchase].CategoryHint;
        }
    }
}

} // namespace

bool Bookable(TRowStatus status)
{
    return status == TRowStatus::New || status == TRowStatus::Refund
        || status == TRowStatus::Transfer;
}

int Awaits(const TBill &bill, int index)
{
    const TStatementRow &row = bill.Statement.Rows[index];
    if (row.App.isEmpty() || !Bookable(row.Status) || bill.Plans[index].Partner.IsValid())
        return -1;
    if (bill.Read.IsBank)
        return 0;
    const auto card
        = [](const QString &name) { return name.contains(u"卡") || name.contains(u"银行"); };
    return card(row.Source) || (row.Status == TRowStatus::Transfer && card(row.Pocket)) ? 1 : -1;
}

QString Counterparty(const TStatementRow &row)
{
    return row.Counterparty.isEmpty() ? row.Remark : row.Counterparty;
}

void Plan(QList<TBill> &bills, const TPockets &pockets, const TOverrides &overrides)
{
    TResolver resolve {pockets, overrides, {}};
    for (const TBill &bill : bills)
        if (!bill.Read.IsBank)
            for (const TStatementRow &row : bill.Read.Rows)
                if (!row.App.isEmpty()) {
                    resolve.AppAccounts.insert(row.App, bill.Account);
                    break;
                }
    for (TBill &bill : bills) {
        bill.Statement = bill.Read;
        bill.Plans = QList<TRowPlan>(bill.Read.Rows.size());
        for (qsizetype r = 0; r < bill.Statement.Rows.size(); ++r)
            PlanRow(resolve, bill, r);
    }
    MergeCardLines(bills, overrides);
    FindPurchases(bills);
    for (TBill &bill : bills)
        for (qsizetype r = 0; r < bill.Statement.Rows.size(); ++r) {
            bill.Plans[r].Status = bill.Statement.Rows[r].Status;
            bill.Plans[r].Reason = bill.Statement.Rows[r].Reason;
        }
}

QList<TEntry> Entries(const QList<TBill> &bills)
{
    QList<TEntry> entries;
    for (int b = 0; b < bills.size(); ++b)
        for (int r = 0; r < bills[b].Statement.Rows.size(); ++r) {
            const TStatementRow &row = bills[b].Statement.Rows[r];
            const TRowPlan &plan = bills[b].Plans[r];
            // A withdrawal's fee is booked with the app's row, also when the
            // card's line booked the transfer before.
            if (row.Status == TRowStatus::Merged && plan.KnownTransfer != 0 && row.Fee > Currency())
                entries << TEntry {false,     1,        plan.Date,     row.Fee,        plan.Account,
                                   QString(), kFeeHint, row.FeeRemark, TRowRef {b, r}, true};
            if (!Bookable(row.Status))
                continue;
            TEntry entry {row.Status == TRowStatus::Transfer,
                          row.Kind == 0 ? 0 : 1,
                          plan.Date,
                          row.Amount,
                          plan.Account,
                          plan.ToAccount,
                          row.CategoryHint,
                          row.Remark,
                          TRowRef {b, r}};
            if (row.Status == TRowStatus::Refund) {
                entry.Kind = 1;
                entry.Amount = -row.Amount;
            }
            if (entry.IsTransfer)
                entry.CategoryHint.clear();
            entries << entry;
            if (entry.IsTransfer && row.Fee > Currency())
                entries << TEntry {false,     1,        plan.Date,     row.Fee,        plan.Account,
                                   QString(), kFeeHint, row.FeeRemark, TRowRef {b, r}, true};
        }
    return entries;
}

} // namespace BillMerge
