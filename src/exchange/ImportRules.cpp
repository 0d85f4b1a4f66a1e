#include "ImportRules.h"

#include "data/DbAccess.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "data/UntPublic.h"
#include "ledger/Categories.h"
#include "ledger/UntAccount.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace {

// clang-format off
const QString kListRules = QStringLiteral("select ID,Field,Pattern,InOutType,TypeID,AccountName from ImportRule order by ID");
const QString kInsertRule = QStringLiteral("insert into ImportRule(Field,Pattern,InOutType,TypeID,AccountName) values (?,?,?,?,?)");
const QString kUpdateRule = QStringLiteral("update ImportRule set Field=?,Pattern=?,InOutType=?,TypeID=?,AccountName=? where ID=?");
const QString kUpdateCategory = QStringLiteral("update ImportRule set TypeID=%s where ID=%s");
const QString kDeleteRule = QStringLiteral("delete from ImportRule where ID=%s");
const QString kRuleCount = QStringLiteral("select count(*) from ImportRule where ID=%s");
const QString kLastId = QStringLiteral("select last_insert_rowid()");
// clang-format on

QString KindName(int kind)
{
    return kind == 0 ? QStringLiteral("收入") : QStringLiteral("支出");
}

// The indexes of the categories of a kind.
QSet<int> CategoryIds(int kind)
{
    QSet<int> ids;
    for (const Categories::Row &row : Categories::OfKind(kind).Rows())
        ids.insert(row.Data.SelfIndex);
    return ids;
}

bool SameKey(const TImportRule &a, const TImportRule &b)
{
    return a.Field == b.Field && a.Kind == b.Kind
        && a.Pattern.compare(b.Pattern, Qt::CaseInsensitive) == 0;
}

// The rule as it is stored, or the reason it cannot be.
TImportRule Checked(const TImportRule &rule, const QList<TImportRule> &stored)
{
    Q_ASSERT(rule.Kind == 0 || rule.Kind == 1);
    TImportRule checked = rule;
    checked.Pattern = rule.Pattern.trimmed();
    if (IsBlankName(checked.Pattern))
        throw Exception(QStringLiteral("请填写交易对方或备注中要包含的文字"));
    if (rule.TypeID == 0)
        throw Exception(QStringLiteral("请选择%1分类").arg(KindName(rule.Kind)));
    if (Categories::OfKind(rule.Kind).Name(rule.TypeID).isEmpty())
        throw Exception(
            QStringLiteral("所选的%1分类已不存在，请重新选择").arg(KindName(rule.Kind)));
    if (!rule.Account.isEmpty() && !TAccount().AccountExists(rule.Account))
        throw Exception(QStringLiteral("账户“%1”不存在").arg(rule.Account));
    for (const TImportRule &other : stored)
        if (other.Id != rule.Id && SameKey(other, checked))
            throw Exception(QStringLiteral("已有一条规则：%1包含“%2”的%3")
                                .arg(checked.Field == TImportRule::FieldCounterparty
                                         ? QStringLiteral("交易对方")
                                         : QStringLiteral("备注"),
                                     other.Pattern, KindName(checked.Kind)));
    return checked;
}

QStringList BoundValues(const TImportRule &rule)
{
    return {QString::number(rule.Field), rule.Pattern, QString::number(rule.Kind),
            QString::number(rule.TypeID), rule.Account};
}

// The rules that can apply, read once, by kind and field, the more specific
// first; the answer for each text is kept, since many rows share theirs.
class TMatcher
{
public:
    TMatcher()
    {
        const QSet<int> categories[2] = {CategoryIds(0), CategoryIds(1)};
        for (const TImportRule &rule : ImportRules::List())
            if (categories[rule.Kind].contains(rule.TypeID) && !rule.Pattern.isEmpty())
                FRules[rule.Kind][rule.Field] << rule;
        for (auto &byField : FRules)
            for (QList<TImportRule> &rules : byField)
                std::sort(rules.begin(), rules.end(),
                          [](const TImportRule &a, const TImportRule &b) {
                              return a.Pattern.size() != b.Pattern.size()
                                  ? a.Pattern.size() > b.Pattern.size()
                                  : a.Id > b.Id;
                          });
        for (int kind = 0; kind < 2; ++kind)
            for (int field = 0; field < 2; ++field)
                for (const TImportRule &rule : FRules[kind][field])
                    FFolded[kind][field] << rule.Pattern.toCaseFolded();
    }

    const TImportRule *Find(const TStatementRow &row)
    {
        const int kind = CategoryKind(row);
        if (const TImportRule *rule = Best(kind, TImportRule::FieldCounterparty, row.Counterparty))
            return rule;
        return Best(kind, TImportRule::FieldRemark, row.Remark);
    }

private:
    const TImportRule *Best(int kind, int field, const QString &text)
    {
        if (text.isEmpty())
            return nullptr;
        const QStringList &patterns = FFolded[kind][field];
        QHash<QString, qsizetype> &known = FKnown[kind][field];
        auto it = known.constFind(text);
        if (it == known.cend()) {
            const QString folded = text.toCaseFolded();
            const auto found = std::find_if(patterns.cbegin(), patterns.cend(),
                                            [&](const QString &p) { return folded.contains(p); });
            it = known.insert(text, found - patterns.cbegin());
        }
        return it.value() < patterns.size() ? &FRules[kind][field][it.value()] : nullptr;
    }

    QList<TImportRule> FRules[2][2];
    QStringList FFolded[2][2]; // the patterns of FRules, compared in one letter case
    QHash<QString, qsizetype> FKnown[2][2];
};

} // namespace

namespace ImportRules {

QList<TImportRule> List()
{
    QList<TImportRule> rules;
    for (TQuery &query = GDbAccess->OpenQuery(kListRules); !query.Eof(); query.Next()) {
        TImportRule rule;
        rule.Id = query.Fields(0).AsInteger();
        rule.Field = query.Fields(1).AsInteger() == TImportRule::FieldRemark
            ? TImportRule::FieldRemark
            : TImportRule::FieldCounterparty;
        rule.Pattern = query.Fields(2).AsString();
        rule.Kind = query.Fields(3).AsInteger() == 0 ? 0 : 1;
        rule.TypeID = query.Fields(4).AsInteger();
        rule.Account = query.Fields(5).AsString();
        rules << rule;
    }
    GDbAccess->FQuery.Close();
    return rules;
}

int Add(const TImportRule &rule)
{
    int id = 0;
    GDbAccess->InTransaction([&] {
        GDbAccess->ExecBound(kInsertRule, BoundValues(Checked(rule, List())));
        id = DbQueryInt(kLastId);
    });
    return id;
}

void Modify(const TImportRule &rule)
{
    GDbAccess->InTransaction([&] {
        if (DbQueryInt(Format(kRuleCount, {QString::number(rule.Id)})) == 0)
            throw Exception(QStringLiteral("这条规则已被删除"));
        GDbAccess->ExecBound(kUpdateRule,
                             BoundValues(Checked(rule, List())) << QString::number(rule.Id));
    });
}

void Remove(int id)
{
    DbExec(Format(kDeleteRule, {QString::number(id)}));
}

std::optional<TImportRule> Find(const TStatementRow &row)
{
    TMatcher matcher;
    const TImportRule *rule = matcher.Find(row);
    return rule ? std::optional(*rule) : std::nullopt;
}

QList<std::optional<TImportRule>> Match(const TStatement &statement)
{
    TMatcher matcher;
    QList<std::optional<TImportRule>> rules;
    rules.reserve(statement.Rows.size());
    for (const TStatementRow &row : statement.Rows) {
        const TImportRule *rule = matcher.Find(row);
        rules << (rule ? std::optional(*rule) : std::nullopt);
    }
    return rules;
}

QStringList RowAccounts(const TStatement &statement)
{
    QStringList existing;
    TAccount().ListAccountNames(existing);
    const QSet<QString> names(existing.cbegin(), existing.cend());
    QStringList accounts;
    accounts.reserve(statement.Rows.size());
    for (const std::optional<TImportRule> &rule : Match(statement))
        accounts << (rule && names.contains(rule->Account) ? rule->Account : QString());
    return accounts;
}

void Learn(const TStatement &statement, const QList<int> &chosen, const QList<int> &proposed)
{
    if (proposed.isEmpty())
        return;
    Q_ASSERT(chosen.size() == statement.Rows.size() && proposed.size() == statement.Rows.size());
    const QSet<int> categories[2] = {CategoryIds(0), CategoryIds(1)};
    QList<TImportRule> rules = List();
    GDbAccess->InTransaction([&] {
        for (qsizetype i = 0; i < statement.Rows.size(); ++i) {
            const TStatementRow &row = statement.Rows[i];
            const bool record = row.Status == TRowStatus::New || row.Status == TRowStatus::Refund;
            if (!record || chosen[i] == proposed[i]
                || !categories[CategoryKind(row)].contains(chosen[i]))
                continue;
            TImportRule learned;
            learned.Field = row.Counterparty.isEmpty() ? TImportRule::FieldRemark
                                                       : TImportRule::FieldCounterparty;
            learned.Pattern
                = (row.Counterparty.isEmpty() ? row.Remark : row.Counterparty).trimmed();
            learned.Kind = CategoryKind(row);
            learned.TypeID = chosen[i];
            if (learned.Pattern.isEmpty())
                continue;
            const auto same = std::find_if(rules.begin(), rules.end(), [&](const auto &rule) {
                return SameKey(rule, learned);
            });
            if (same == rules.end()) {
                GDbAccess->ExecBound(kInsertRule, BoundValues(learned));
                learned.Id = DbQueryInt(kLastId);
                rules << learned;
            } else if (same->TypeID != learned.TypeID) {
                same->TypeID = learned.TypeID;
                DbExec(Format(kUpdateCategory,
                              {QString::number(same->TypeID), QString::number(same->Id)}));
            }
        }
    });
}

} // namespace ImportRules
