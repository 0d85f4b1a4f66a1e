#include "UntBookKeep.h"

#include "data/DbAccess.h"
#include "data/ListModel.h"
#include "data/SqlFormat.h"
#include "data/UException.h"
#include "data/UndoLog.h"
#include "data/UntPublic.h"

TBookKeep *GBookKeep = nullptr;

const QString kRecordGone = QStringLiteral("该记录已经不存在，可能已被删除！");

namespace {

// The statements, exactly as they are sent, "%s" marking each value.
// clang-format off
const QString kInsertRecord = QStringLiteral("insert into BookKeep(InOutType,TypeID,Remark,Fare,AccountName,InDate)  values ('%s',%s,'%s',%s,'%s','%s') ");
const QString kUpdateRecord = QStringLiteral("update BookKeep set InOutType='%s',TypeID=%s,Remark='%s',  Fare=%s,AccountName='%s',InDate='%s' where ID=%s ");
const QString kSelectRecord = QStringLiteral("select * from BookKeep where ID=%s  ");
const QString kDeleteRecord = QStringLiteral("delete from BookKeep where ID=%s ");
const QString kListRecords = QStringLiteral("select ID,iif(InOutType=0,'收入','支出'),  iif(InOutType=0,(select TypeName from InType where SelfIndex=TypeID),(select TypeName from OutType where SelfIndex=TypeID)), Fare,AccountName,Remark,InDate from BookKeep ");
const QString kOrderByDate = QStringLiteral("order by InDate");
const QString kCountAccount = QStringLiteral("select count(*) from Account where AccountName='%s'");
const QString kCountRecord = QStringLiteral("select count(*) from BookKeep where ID=%s");
const QString kRecordSource = QStringLiteral("insert or replace into ImportedRow(SourceId,RecordID) values ('%s',last_insert_rowid())");

// Account updates: booking an amount, taking it off again, and turning a
// record of one kind into the other on the same account.
const QString kBookIncome = QStringLiteral("update Account set Fare=Fare+%s,InFare=InFare+%s where AccountName='%s' ");
const QString kBookExpense = QStringLiteral("update Account set Fare=Fare-%s,OutFare=OutFare+%s where AccountName='%s' ");
const QString kUndoIncome = QStringLiteral("update Account set Fare=Fare-%s,InFare=InFare-%s where AccountName='%s' ");
const QString kUndoExpense = QStringLiteral("update Account set Fare=Fare+%s,OutFare=OutFare-%s where AccountName='%s' ");
const QString kUndoDeletedExpense = QStringLiteral("update Account set Fare=Fare+%s,outFare=outFare-%s where AccountName='%s' ");
const QString kIncomeToExpense = QStringLiteral("update Account set Fare=Fare-%s,InFare=InFare-%s,OutFare=OutFare+%s where AccountName='%s' ");
const QString kExpenseToIncome = QStringLiteral("update Account set Fare=Fare+%s,OutFare=OutFare-%s,InFare=InFare+%s where AccountName='%s' ");
// clang-format on

bool IsIncome(int kind)
{
    return kind == 0;
}

QString SqlKind(int kind)
{
    return QString::number(kind);
}

// A record ID goes into statements bare, so only a whole number is accepted.
QString SqlRecordId(const QString &id)
{
    bool ok = false;
    const qlonglong value = id.toLongLong(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(id));
    return QString::number(value);
}

// An account update that moves balance and one total by the same amount.
QString Booking(const QString &sqlTemplate, Currency amount, const QString &account)
{
    return Format(sqlTemplate, {SqlAmount(amount), SqlAmount(amount), SqlText(account)});
}

// An account update that turns a record of one kind into the other: the
// balance moves by both amounts, each total by its own.
QString KindChange(const QString &sqlTemplate, Currency oldFare, Currency newFare,
                   const QString &account)
{
    return Format(
        sqlTemplate,
        {SqlAmount(oldFare + newFare), SqlAmount(oldFare), SqlAmount(newFare), SqlText(account)});
}

// The undo step of a change of a record: the command, the remark, the amount.
QString RecordStep(const QString &command, const QString &remark, Currency fare)
{
    const QString text = UndoLog::StepText(remark);
    return text.isEmpty() ? command + u' ' + fare.ToString()
                          : command + u' ' + text + u' ' + fare.ToString();
}

// A record is booked only on an account that exists, or its amount would be
// in the records but in no account's totals.
void RequireAccount(const QString &account)
{
    if (DbQueryInt(Format(kCountAccount, {SqlText(account)})) == 0)
        throw Exception(QStringLiteral("账户“%1”不存在，记录未保存！").arg(account));
}

} // namespace

void TBookKeep::AddRecord()
{
    GDbAccess->InTransaction([this] {
        GDbAccess->NameStep(RecordStep(QStringLiteral("新增记账"), FRemark, FFare));
        RequireAccount(FAccountName);
        FSql = Format(kInsertRecord,
                      {SqlKind(FInOutType), QString::number(FTypeID), SqlText(FRemark),
                       SqlAmount(FFare), SqlText(FAccountName), SqlDate(FInDate)})
            + kBatchSeparator
            + Booking(IsIncome(FInOutType) ? kBookIncome : kBookExpense, FFare, FAccountName);
        DbExec(FSql);
    });
}

void TBookKeep::AddRecords(const QString &account, const QList<TNewRecord> &records,
                           const std::function<void(qsizetype written)> &progress)
{
    // Statements go to the engine in batches of this many records.
    constexpr int kRecordsPerBatch = 500;
    GDbAccess->InTransaction([&] {
        RequireAccount(account);
        Currency income;
        Currency expense;
        QStringList batch;
        qsizetype written = 0;
        for (const TNewRecord &record : records) {
            if (record.Fare == Currency())
                throw Exception(QStringLiteral("金额不能为零"));
            // Each amount is within kMaxUnits (the parsers refuse more), so the
            // sum cannot overflow before the check below.
            Q_ASSERT(qAbs(record.Fare.Units()) <= Currency::kMaxUnits);
            Currency &total = IsIncome(record.InOutType) ? income : expense;
            total += record.Fare;
            if (qAbs(total.Units()) > Currency::kMaxUnits)
                throw Exception(QStringLiteral("导入金额的合计超出了账户能记录的范围"));
            batch << Format(kInsertRecord,
                            {SqlKind(record.InOutType), QString::number(record.TypeID),
                             SqlText(record.Remark), SqlAmount(record.Fare), SqlText(account),
                             SqlDate(record.InDate)});
            if (!record.SourceId.isEmpty())
                batch << Format(kRecordSource, {SqlText(record.SourceId)});
            ++written;
            if (batch.size() >= 2 * kRecordsPerBatch) {
                DbExec(batch.join(kBatchSeparator));
                batch.clear();
                if (progress)
                    progress(written);
            }
        }
        if (income > Currency())
            batch << Booking(kBookIncome, income, account);
        if (expense > Currency())
            batch << Booking(kBookExpense, expense, account);
        if (!batch.isEmpty())
            DbExec(batch.join(kBatchSeparator));
        if (progress)
            progress(written);
    });
}

bool TBookKeep::ReadRecord(const QString &id)
{
    FSql = Format(kSelectRecord, {SqlRecordId(id)});
    TQuery &query = GDbAccess->OpenQuery(FSql);
    FID = id;
    if (query.Eof()) {
        FInOutType = 0;
        FTypeID = 0;
        FRemark.clear();
        FAccountName.clear();
        FFare = Currency();
        FInDate = DateTimeOfDayNumber(0);
        return false;
    }
    FInOutType = query.FieldByName(QStringLiteral("InOutType")).AsInteger();
    FTypeID = query.FieldByName(QStringLiteral("TypeID")).AsInteger();
    FRemark = query.FieldByName(QStringLiteral("Remark")).AsString();
    FAccountName = query.FieldByName(QStringLiteral("AccountName")).AsString();
    FFare = query.FieldByName(QStringLiteral("Fare")).AsCurrency();
    FInDate = query.FieldByName(QStringLiteral("InDate")).AsDateTime();
    query.Close();
    return true;
}

bool TBookKeep::DeleteRecord(const QString &id)
{
    bool found = false;
    GDbAccess->InTransaction([&] {
        found = ReadRecord(id);
        if (!found)
            return;
        GDbAccess->NameStep(RecordStep(QStringLiteral("删除记账"), FRemark, FFare));
        FSql = Format(kDeleteRecord, {SqlRecordId(id)}) + kBatchSeparator
            + Booking(IsIncome(FInOutType) ? kUndoIncome : kUndoDeletedExpense, FFare,
                      FAccountName);
        DbExec(FSql);
    });
    return found;
}

void TBookKeep::ListRecords(TListModel &list, const QString &filter)
{
    FSql = kListRecords + filter + kOrderByDate;
    FillListView(FSql, list);
}

void TBookKeep::ModifyRecord(int oldKind, const QString &oldAccount, Currency oldFare)
{
    GDbAccess->InTransaction([&] {
        GDbAccess->NameStep(RecordStep(QStringLiteral("修改记账"), FRemark, FFare));
        // A record deleted meanwhile must not move any account.
        if (DbQueryInt(Format(kCountRecord, {SqlRecordId(FID)})) == 0)
            throw Exception(kRecordGone);
        RequireAccount(FAccountName);
        const Currency newFare = FFare;
        // Both amounts came through Currency's parsers or from a stored
        // record, which hold them to the largest amount the books keep.
        Q_ASSERT(qAbs(oldFare.Units()) <= Currency::kMaxUnits
                 && qAbs(newFare.Units()) <= Currency::kMaxUnits);
        const bool wasIncome = IsIncome(oldKind);
        const bool isIncome = IsIncome(FInOutType);
        FSql = Format(kUpdateRecord,
                      {SqlKind(FInOutType), QString::number(FTypeID), SqlText(FRemark),
                       SqlAmount(newFare), SqlText(FAccountName), SqlDate(FInDate),
                       SqlRecordId(FID)});

        // Kinds compare as income or expense, so two expense codes never count
        // as a change of kind. A change of category, date or remark alone, with
        // the same account, kind and amount, corrects no account.
        QStringList corrections;
        if (oldAccount == FAccountName) {
            if (wasIncome == isIncome) {
                if (oldFare != newFare && isIncome)
                    corrections << Booking(kBookIncome, newFare - oldFare, FAccountName);
                else if (oldFare != newFare)
                    corrections << Booking(kUndoExpense, oldFare - newFare, FAccountName);
            } else {
                corrections << KindChange(wasIncome ? kIncomeToExpense : kExpenseToIncome, oldFare,
                                          newFare, FAccountName);
            }
        } else {
            corrections << Booking(wasIncome ? kUndoIncome : kUndoExpense, oldFare, oldAccount)
                        << Booking(isIncome ? kBookIncome : kBookExpense, newFare, FAccountName);
        }
        for (const QString &statement : std::as_const(corrections))
            FSql += kBatchSeparator + statement;
        DbExec(FSql);
    });
}

TRecordTotals SumListedRecords(const TListModel &list)
{
    static const QByteArray income = QStringLiteral("收入").toUtf8();
    TRecordTotals totals;
    totals.Count = list.rowCount();
    for (int row = 0; row < totals.Count; ++row) {
        const Currency amount = list.CellAmount(row, ColFare);
        if (list.CellIs(row, ColKind, income))
            totals.Income += amount;
        else
            totals.Expense += amount;
    }
    return totals;
}
