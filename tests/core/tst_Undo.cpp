// Undo and redo of the changes to the books: the steps and their names, a long
// seeded stream of changes, undos and redos checked against dumps of every
// table, exact restores, the history's limit, failures, reopening, restores
// and books of the schema version before the history.
#include "FaultVfs.h"
#include "LedgerStream.h"
#include "LedgerTestSupport.h"

#include "data/DbFile.h"
#include "data/UException.h"
#include "data/UndoLog.h"

#include <QRandomGenerator>
#include <QTest>
#include <vector>

namespace {

QByteArray Dump()
{
    return DumpBooks(TDbAccess::DatabaseFile());
}

// Adds, renames or deletes one of a few expense categories, as a named step.
void ChangeCategory(QRandomGenerator &random)
{
    const QString index = QString::number(100 + random.bounded(4));
    const QString name = QStringLiteral("O'类别 %1").arg(random.bounded(1000));
    if (DbQueryInt(
            Format(QStringLiteral("select count(*) from OutType where SelfIndex=%s"), {index}))
        == 0)
        DbExec(Format(QStringLiteral("insert into OutType values (%s,0,'%s')"),
                      {index, SqlText(name)}),
               QStringLiteral("新增类别 ") + name);
    else if (random.bounded(2) == 0)
        DbExec(Format(QStringLiteral("update OutType set TypeName='%s' where SelfIndex=%s"),
                      {SqlText(name), index}),
               QStringLiteral("重命名类别 ") + name);
    else
        DbExec(Format(QStringLiteral("delete from OutType where SelfIndex=%s"), {index}),
               QStringLiteral("删除类别"));
}

// Books of an older schema version: the open books are closed, taken back
// and opened again. Version 3 had no history; version 4 had its first form,
// statements in a log filed into steps (a step of it here, left to drop);
// version 5 had no transfers; version 6 no import links; version 7 no
// schedules.
void MakeOlderVersion(const TTestBooks &books, int version)
{
    GDbAccess->Close();
    QString sql = version == 7 ? DropVersion8()
        : version == 6         ? DropVersion7()
        : version == 5         ? DropVersion6()
                               : DropUndoHistory();
    if (version == 4)
        sql += QStringLiteral(
            "CREATE TABLE UndoLog (Seq INTEGER PRIMARY KEY, Statement TEXT, Name TEXT);"
            "CREATE TABLE UndoStep (ID INTEGER PRIMARY KEY, Redo BOOLEAN NOT NULL DEFAULT 0,"
            " Name TEXT NOT NULL, FirstSeq INTEGER NOT NULL, LastSeq INTEGER NOT NULL);"
            "CREATE INDEX UndoStepRedo ON UndoStep (Redo, ID);"
            "CREATE TABLE UndoReplay (Running INTEGER);"
            "DROP TRIGGER AccountTotalsExact;"
            "CREATE TRIGGER AccountTotalsExact AFTER UPDATE OF Fare, InFare, OutFare ON Account "
            "WHEN NOT EXISTS (SELECT 1 FROM UndoReplay) BEGIN UPDATE Account SET Fare = "
            "round(Fare, 4) WHERE rowid = NEW.rowid; END;"
            "CREATE TRIGGER BookKeepUndoDelete BEFORE DELETE ON BookKeep BEGIN INSERT INTO "
            "UndoLog (Statement) VALUES ('INSERT INTO BookKeep (ID) VALUES (' || OLD.ID || ')'); "
            "END;"
            "INSERT INTO UndoLog VALUES (1, 'DELETE FROM Account', NULL);"
            "INSERT INTO UndoStep (Name, FirstSeq, LastSeq) VALUES ('新增账户 现金', 1, 1);");
    RawExec(books.DatabaseFile(), sql + QStringLiteral("PRAGMA user_version=%1").arg(version));
    GDbAccess->Connect();
    QVERIFY(GDbAccess->Connected());
}

// The names of the undo and redo tops, for comparing the history as a whole.
QStringList Tops()
{
    return {GDbAccess->UndoName(), GDbAccess->RedoName()};
}

} // namespace

class TestUndo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void StepNames();
    void Stream_data();
    void Stream();
    void RestoresAreExact();
    void MovedRowsComeBack();
    void NewChangeDropsRedo();
    void HistorySurvivesReopen();
    void KeepsTheLastSteps();
    void FailedUndoChangesNothing();
    void OlderBooksAreUpgraded_data();
    void OlderBooksAreUpgraded();
    void RestoreBringsItsHistory();
};

void TestUndo::StepNames()
{
    TTestBooks books;
    QCOMPARE(Tops(), QStringList({QString(), QString()}));
    InsertAccount(QStringLiteral("现金"), Amount("100"));
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("新增账户 现金"));
    const QString id
        = AddRecord(1, QStringLiteral("现金"), Amount("35.5"), 1, QStringLiteral("午饭"));
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("新增记账 午饭 35.5"));
    GBookKeep->ReadRecord(id);
    GBookKeep->FFare = Amount("36");
    GBookKeep->ModifyRecord(1, QStringLiteral("现金"), Amount("35.5"));
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("修改记账 午饭 36"));
    GBookKeep->DeleteRecord(id);
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("删除记账 午饭 36"));

    // Settings and a refused change make no step; a change without a name
    // gets the general one.
    DbExec(QStringLiteral("update SysSet set bPass=0"));
    QVERIFY_THROWS_EXCEPTION(Exception, AddRecord(1, QStringLiteral("没有"), Amount("1")));
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("删除记账 午饭 36"));
    DbExec(QStringLiteral("insert into InType values (9,0,'工资')"));
    QCOMPARE(GDbAccess->UndoName(), UndoLog::kUnnamedStep);

    GDbAccess->Undo();
    QCOMPARE(Tops(), QStringList({QStringLiteral("删除记账 午饭 36"), UndoLog::kUnnamedStep}));
    GDbAccess->Undo();
    QCOMPARE(Tops(),
             QStringList({QStringLiteral("修改记账 午饭 36"), QStringLiteral("删除记账 午饭 36")}));
    // Writing what the rows hold is no step; the redo steps and the log stay.
    const QStringList tops = Tops();
    const int logged = RowCount(QStringLiteral("UndoLog"));
    GBookKeep->ReadRecord(id);
    GBookKeep->ModifyRecord(1, QStringLiteral("现金"), Amount("36"));
    GAccount->ReadAccount(QStringLiteral("现金"));
    GAccount->UpdateAccount(QStringLiteral("现金"));
    QCOMPARE(Tops(), tops);
    QCOMPARE(RowCount(QStringLiteral("UndoLog")), logged);

    // Transfers name the accounts and the amount. A rename carries into them,
    // an account they name stays, and a removal gives the balance back.
    InsertAccount(QStringLiteral("银行卡"), {});
    Transfer transfer = NewTransfer(QStringLiteral("现金"), QStringLiteral("银行卡"), Amount("20"),
                                    Amount("0.5"));
    transfer.Id = Transfers::Add(transfer);
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("新增转账 现金→银行卡 20"));
    transfer.Amount = Amount("25");
    Transfers::Modify(*Transfers::Read(transfer.Id), transfer);
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("修改转账 现金→银行卡 25"));
    GAccount->ReadAccount(QStringLiteral("银行卡"));
    GAccount->FAccountName = transfer.To = QStringLiteral("储蓄卡");
    GAccount->UpdateAccount(QStringLiteral("银行卡"));
    QVERIFY(Transfers::Read(transfer.Id) == transfer);
    QVERIFY_THROWS_EXCEPTION(Exception, GAccount->DeleteAccount(transfer.To));
    QVERIFY(Transfers::Remove(transfer.Id) && !Transfers::Remove(transfer.Id));
    QCOMPARE(GDbAccess->UndoName(), QStringLiteral("删除转账 现金→储蓄卡 25"));
    QCOMPARE(ReadTotals(transfer.To), Totals("0", "0", "0"));
    // Its reconciliation points go with a deleted account, in the same step.
    DbExec(QStringLiteral("insert into Reconciled values ('储蓄卡',45414,0)"));
    GAccount->DeleteAccount(transfer.To);
    QCOMPARE(RowCount(QStringLiteral("Reconciled")), 0);
    GDbAccess->Undo();
    QCOMPARE(RowCount(QStringLiteral("Reconciled")) + RowCount(QStringLiteral("Account")), 3);
}

void TestUndo::Stream_data()
{
    QTest::addColumn<bool>("upgraded");
    QTest::addColumn<int>("steps");
    QTest::newRow("new books") << false << 2000;
    QTest::newRow("books of version 3") << true << 300;
}

// Changes, undos and redos in a seeded mix: after each, the books equal the
// dump of the state it must lead to, and every account's totals equal its
// records; undoing everything gives back the books before the first step,
// and redoing everything the books after the last.
void TestUndo::Stream()
{
    QFETCH(bool, upgraded);
    QFETCH(int, steps);
    constexpr quint32 kSeed = 20240501;
    // Undos are forced before the history's limit would drop the first step.
    constexpr int kDeepest = UndoLog::kMaxSteps - 50;

    TTestBooks books;
    if (upgraded)
        MakeOlderVersion(books, 3);
    TLedgerModel model = SeedModel(kSeed);
    std::vector<QByteArray> done {Dump()};
    std::vector<QByteArray> undone;
    for (const auto &[name, initial] : model.Initial) {
        InsertAccount(name, initial, name);
        done.push_back(Dump());
    }

    QRandomGenerator random(kSeed);
    int undos = 0;
    int redos = 0;
    for (int i = 0; i < steps; ++i) {
        const int choice = random.bounded(100);
        const int depth = int(done.size()) - 1;
        QString what;
        if (depth > 0 && (choice < 30 || depth >= kDeepest)) {
            what = QStringLiteral("undo");
            GDbAccess->Undo();
            undone.push_back(done.back());
            done.pop_back();
            ++undos;
        } else if (choice < 45 && !undone.empty()) {
            what = QStringLiteral("redo");
            GDbAccess->Redo();
            done.push_back(undone.back());
            undone.pop_back();
            ++redos;
        } else if (choice < 50) {
            what = QStringLiteral("category");
            ChangeCategory(random);
            // Writing what the rows hold (a name or record as it is) is no step.
            if (Dump() == done.back())
                continue;
            done.push_back(Dump());
            undone.clear();
        } else {
            QCOMPARE(LoadModel(books.DatabaseFile(), kSeed, model), QString());
            const TLedgerOp op = NextOp(kSeed, i, model);
            what = op.Describe();
            const QStringList tops = Tops();
            try {
                RunOp(op);
                if (Dump() == done.back())
                    continue;
                done.push_back(Dump());
                undone.clear();
            } catch (const Exception &) {
                // An account taken back by an undo: the refused change is no step.
                QCOMPARE(Tops(), tops);
            }
        }
        QVERIFY2(Dump() == done.back(), qPrintable(QStringLiteral("step %1, %2").arg(i).arg(what)));
        if (i % 50 == 0)
            QCOMPARE(CheckBooks(books.DatabaseFile(), model.Initial), QString());
    }
    QVERIFY(undos > steps / 5);
    QVERIFY(redos > steps / 20);

    const QByteArray last = Dump();
    const int depth = int(done.size()) - 1;
    while (done.size() > 1) {
        GDbAccess->Undo();
        done.pop_back();
        QVERIFY(Dump() == done.back());
    }
    QCOMPARE(GDbAccess->UndoName(), QString());
    for (int i = 0; i < depth; ++i)
        GDbAccess->Redo();
    QVERIFY(Dump() == last);
    QCOMPARE(CheckBooks(books.DatabaseFile(), model.Initial), QString());
    // The steps the stream had taken back last are still there to redo.
    while (!undone.empty()) {
        GDbAccess->Redo();
        QVERIFY(Dump() == undone.back());
        undone.pop_back();
    }
    QCOMPARE(GDbAccess->RedoName(), QString());
}

// Values the program never writes itself come back exactly: totals not
// rounded to four decimals, a remark with quotes, and a source identity an
// import replaced. The rounding still guards the changes themselves.
void TestUndo::RestoresAreExact()
{
    TTestBooks books;
    GDbAccess->Close();
    RawExec(books.DatabaseFile(),
            QStringLiteral("insert into Account values ('旧账户','它''s',0.123456789,1e-7,"
                           "12345678.98765432);"
                           "insert into ImportedRow values ('单号''1',7)"));
    GDbAccess->Connect();
    // The change made outside the program is a step of its own.
    QCOMPARE(GDbAccess->UndoName(), UndoLog::kUnnamedStep);
    const QByteArray before = Dump();

    AddRecord(0, QStringLiteral("旧账户"), Amount("0.1"), 1, QStringLiteral("''@#@"));
    QCOMPARE(DbQueryInt(QStringLiteral("select count(*) from Account where InFare=0.1")), 1);
    DbExec(QStringLiteral("insert or replace into ImportedRow values ('单号''1',8)"),
           QStringLiteral("导入"));
    GBookKeep->DeleteRecord(
        QString::number(DbQueryInt(QStringLiteral("select max(ID) from BookKeep"))));
    const QByteArray after = Dump();
    for (int i = 0; i < 3; ++i)
        GDbAccess->Undo();
    QVERIFY(Dump() == before);
    for (int i = 0; i < 3; ++i)
        GDbAccess->Redo();
    QVERIFY(Dump() == after);

    // Taking back the step made outside leaves the books as they came.
    for (int i = 0; i < 4; ++i)
        GDbAccess->Undo();
    QCOMPARE(RowCount(QStringLiteral("Account")), 0);
    QCOMPARE(RowCount(QStringLiteral("ImportedRow")), 0);
}

// Rows moved to another key go back to their own, and the ID counter a moved
// record's redo would raise stays as it was.
void TestUndo::MovedRowsComeBack()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("现金"), Amount("100"));
    const QString id = AddRecord(1, QStringLiteral("现金"), Amount("2"), 1, QStringLiteral("车费"));
    DbExec(QStringLiteral("insert into InType values (7,0,'奖金')"));
    const QByteArray before = Dump();
    DbExec(Format(QStringLiteral("update BookKeep set ID=ID+1000 where ID=%s"), {id}));
    DbExec(QStringLiteral("update InType set SelfIndex=8,TypeName='红包' where SelfIndex=7"));
    const QByteArray after = Dump();
    GDbAccess->Undo();
    GDbAccess->Undo();
    QVERIFY(Dump() == before);
    GDbAccess->Redo();
    GDbAccess->Redo();
    QVERIFY(Dump() == after);
}

void TestUndo::NewChangeDropsRedo()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("现金"), Amount("100"));
    for (const char *fare : {"1", "2", "3"})
        AddRecord(1, QStringLiteral("现金"), Amount(fare), 1, QStringLiteral("早饭"));
    GDbAccess->Undo();
    GDbAccess->Undo();
    QCOMPARE(GDbAccess->RedoName(), QStringLiteral("新增记账 早饭 2"));
    AddRecord(1, QStringLiteral("现金"), Amount("4"), 1, QStringLiteral("午饭"));
    QCOMPARE(Tops(), QStringList({QStringLiteral("新增记账 午饭 4"), QString()}));
    // The record IDs go on as if the undone records had never been added.
    QCOMPARE(DbQueryInt(QStringLiteral("select max(ID) from BookKeep")), 2);

    const QByteArray before = Dump();
    QVERIFY_THROWS_EXCEPTION(EDBException, GDbAccess->Redo());
    QVERIFY(Dump() == before);
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("95", "0", "5"));
}

void TestUndo::HistorySurvivesReopen()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("现金"), Amount("100"));
    const QString id
        = AddRecord(0, QStringLiteral("现金"), Amount("50"), 1, QStringLiteral("工资"));
    const QByteArray added = Dump();
    GBookKeep->DeleteRecord(id);
    GDbAccess->Undo();
    GDbAccess->Close();
    GDbAccess->Connect();
    QCOMPARE(Tops(),
             QStringList({QStringLiteral("新增记账 工资 50"), QStringLiteral("删除记账 工资 50")}));
    QVERIFY(Dump() == added);
    GDbAccess->Redo();
    QCOMPARE(RowCount(QStringLiteral("BookKeep")), 0);
    GDbAccess->Close();
    GDbAccess->Connect();
    GDbAccess->Undo();
    QVERIFY(Dump() == added);
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("150", "50", "0"));
}

// The limit holds whether the steps are filed by an undo or while they are
// made: the log never holds much more than the steps it keeps.
void TestUndo::KeepsTheLastSteps()
{
    TTestBooks books;
    constexpr int kExtra = 600;
    QByteArray oldest;
    for (int i = 1; i <= UndoLog::kMaxSteps + kExtra; ++i) {
        DbExec(
            Format(QStringLiteral("insert into InType values (%s,0,'类别')"), {QString::number(i)}),
            QStringLiteral("新增类别 %1").arg(i));
        if (i == kExtra)
            oldest = Dump();
    }
    QVERIFY(RowCount(QStringLiteral("UndoLog")) < 2 * UndoLog::kMaxSteps + 2000);
    int undos = 0;
    while (!GDbAccess->UndoName().isEmpty()) {
        GDbAccess->Undo();
        ++undos;
    }
    QCOMPARE(undos, UndoLog::kMaxSteps);
    QVERIFY(Dump() == oldest);
    QCOMPARE(GDbAccess->RedoName(), QStringLiteral("新增类别 %1").arg(kExtra + 1));
    // Only the kept steps' rows stay: each now a redo step of one row and its
    // marker, and the undo log's base row.
    QCOMPARE(RowCount(QStringLiteral("UndoRedo")), 2 * UndoLog::kMaxSteps);
    QCOMPARE(RowCount(QStringLiteral("UndoLog")), 1);
}

// A write that fails at any point of an undo rolls it back: the books and
// the history stay as they were, the failure is raised, and the undo works
// once the disk does.
void TestUndo::FailedUndoChangesNothing()
{
    FaultVfs::Install();
    FaultVfs::SetRealSync(false);
    TTestBooks books;
    GDbAccess->Close();
    GDbAccess->Connect();
    InsertAccount(QStringLiteral("现金"), Amount("100"));
    AddRecord(1, QStringLiteral("现金"), Amount("35.5"), 1, QStringLiteral("午饭"));
    const QByteArray added = Dump();
    const QString id
        = AddRecord(1, QStringLiteral("现金"), Amount("12"), 1, QStringLiteral("面包"));
    const QByteArray bread = Dump();
    GBookKeep->DeleteRecord(id);
    const QByteArray before = Dump();
    const QStringList tops = Tops();

    int failures = 0;
    for (int point = 1;; ++point) {
        QVERIFY(point < 1000);
        FaultVfs::Arm(FaultVfs::TFault::IoError, point, 0);
        bool raised = false;
        try {
            GDbAccess->Undo();
        } catch (const EDBException &failure) {
            raised = true;
            QCOMPARE(failure.FTitle, QStringLiteral("撤销失败！"));
        }
        const bool fired = FaultVfs::Fired();
        FaultVfs::Disarm();
        if (!fired) {
            QVERIFY(!raised);
            QVERIFY(Dump() == bread);
            break;
        }
        if (!raised) {
            // A failing call after the commit (the journal's removal) leaves
            // the undo done; it is taken back by a redo to go on.
            GDbAccess->Redo();
        } else {
            ++failures;
        }
        GDbAccess->Close();
        GDbAccess->Connect();
        QVERIFY2(Dump() == before, qPrintable(QStringLiteral("call %1").arg(point)));
        QCOMPARE(Tops(), tops);
    }
    QVERIFY(failures > 0);
    GDbAccess->Undo();
    QVERIFY(Dump() == added);
}

// Older books gain the history and the transfers when they open, keep their
// records, and start with nothing to undo (but books of version 5); the
// template is made with the same tables and triggers as the upgrade brings.
void TestUndo::OlderBooksAreUpgraded_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("version 3") << 3;
    QTest::newRow("version 4") << 4;
    QTest::newRow("version 5") << 5;
    QTest::newRow("version 6") << 6;
    QTest::newRow("version 7") << 7;
}

void TestUndo::OlderBooksAreUpgraded()
{
    QFETCH(int, version);
    TTestBooks books;
    InsertAccount(QStringLiteral("现金"), Amount("100"));
    InsertAccount(QStringLiteral("银行卡"), {});
    AddRecord(1, QStringLiteral("现金"), Amount("35.5"), 1, QStringLiteral("午饭"));
    const auto objects = [] {
        QStringList names;
        TQuery &query = GDbAccess->OpenQuery(
            QStringLiteral("select type||' '||name||' '||tbl_name from sqlite_master order by 1"));
        for (; !query.Eof(); query.Next())
            names << query.Fields(0).AsString();
        query.Close();
        return names;
    };
    const QStringList made = objects();
    MakeOlderVersion(books, version);
    QCOMPARE(DbQueryInt(QStringLiteral("pragma user_version")), DbFile::kSchemaVersion);
    QCOMPARE(objects(), made);
    // Books of version 5 keep their history.
    QCOMPARE(GDbAccess->UndoName().isEmpty(), version < 5);
    const QByteArray before = Dump();
    AddRecord(0, QStringLiteral("现金"), Amount("0.3"), 1, QStringLiteral("利息"));
    Transfers::Add(NewTransfer(QStringLiteral("现金"), QStringLiteral("银行卡"), Amount("0.3"),
                               Amount("0.0001")));
    GDbAccess->Undo();
    GDbAccess->Undo();
    QVERIFY(Dump() == before);
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("64.5", "0", "35.5"));
}

// A restore replaces the history with the restored file's; a file of
// version 3 comes with none.
void TestUndo::RestoreBringsItsHistory()
{
    TTestBooks books;
    InsertAccount(QStringLiteral("现金"), Amount("100"));
    const QString backup = books.Dir() + QStringLiteral("backup.dat");
    DbBackup(backup);
    AddRecord(1, QStringLiteral("现金"), Amount("1"), 1, QStringLiteral("以后"));
    DbRestore(backup);
    QCOMPARE(Tops(), QStringList({QStringLiteral("新增账户 现金"), QString()}));

    RawExec(backup, DropUndoHistory() + QStringLiteral("PRAGMA user_version=3"));
    DbRestore(backup);
    QCOMPARE(DbQueryInt(QStringLiteral("pragma user_version")), DbFile::kSchemaVersion);
    QCOMPARE(Tops(), QStringList({QString(), QString()}));
    AddRecord(1, QStringLiteral("现金"), Amount("1"), 1, QStringLiteral("以后"));
    GDbAccess->Undo();
    QCOMPARE(ReadTotals(QStringLiteral("现金")), Totals("100", "0", "0"));
}

QTEST_GUILESS_MAIN(TestUndo)
#include "tst_Undo.moc"
