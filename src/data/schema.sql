-- The books: six tables, their seeded rows, and what marks the file as ours.
-- The build turns this into the template bookkeep.dat; the program only opens
-- an existing file. The password verifier (table DbKey) is added by the build.

PRAGMA application_id = 1112229200; -- 0x424B4550, "BKEP"
PRAGMA user_version = 4;            -- the schema version (DbFile::kSchemaVersion)

-- Money accounts with their running totals. Amounts have four decimals; a
-- total is kept below 1e11 in magnitude, where the engine's doubles still hold
-- every fourth decimal exactly.
CREATE TABLE Account (
    AccountName TEXT NOT NULL UNIQUE,
    Remark      TEXT,
    Fare        NUMERIC NOT NULL DEFAULT 0 CHECK (abs(Fare) < 100000000000),
    InFare      NUMERIC NOT NULL DEFAULT 0 CHECK (abs(InFare) < 100000000000),
    OutFare     NUMERIC NOT NULL DEFAULT 0 CHECK (abs(OutFare) < 100000000000)
);

-- Every relative update (Fare=Fare+12.5) is computed in doubles; rounding the
-- result back to four decimals each time keeps balances exact however many
-- updates they go through. An undo or redo restores rows exactly as they were
-- (UndoReplay has a row meanwhile), so it is not rounded again.
CREATE TRIGGER AccountTotalsExact AFTER UPDATE OF Fare, InFare, OutFare ON Account
WHEN NOT EXISTS (SELECT 1 FROM UndoReplay)
BEGIN
    UPDATE Account
       SET Fare = round(Fare, 4), InFare = round(InFare, 4), OutFare = round(OutFare, 4)
     WHERE rowid = NEW.rowid;
END;

-- Bookkeeping records: kind 0 income, 1 expense; InDate is a whole day number.
CREATE TABLE BookKeep (
    ID          INTEGER PRIMARY KEY AUTOINCREMENT,
    InOutType   INTEGER NOT NULL DEFAULT 0,
    TypeID      INTEGER NOT NULL DEFAULT 0,
    Remark      TEXT,
    Fare        NUMERIC NOT NULL DEFAULT 0,
    AccountName TEXT,
    InDate      DATE
);
CREATE INDEX BookKeepInDate ON BookKeep (InDate);
CREATE INDEX BookKeepAccountName ON BookKeep (AccountName);

-- The two category trees; ParentIndex 0 is the root.
CREATE TABLE InType (
    SelfIndex   INTEGER PRIMARY KEY,
    ParentIndex INTEGER NOT NULL DEFAULT 0,
    TypeName    TEXT NOT NULL
);
CREATE TABLE OutType (
    SelfIndex   INTEGER PRIMARY KEY,
    ParentIndex INTEGER NOT NULL DEFAULT 0,
    TypeName    TEXT NOT NULL
);

-- The note: the row with ID 1.
CREATE TABLE Notepad (
    ID     INTEGER PRIMARY KEY,
    Remark TEXT
);
INSERT INTO Notepad (ID, Remark) VALUES (1, '');

-- The settings: exactly one row. The login password, and whether backups
-- are made by themselves with how many daily copies are kept.
CREATE TABLE SysSet (
    bPass      BOOLEAN NOT NULL DEFAULT 0,
    PassWord   TEXT NOT NULL DEFAULT '',
    AutoBackup BOOLEAN NOT NULL DEFAULT -1,
    BackupDays INTEGER NOT NULL DEFAULT 7
);
INSERT INTO SysSet (bPass, PassWord) VALUES (0, '');

-- Statement import: the identity of every imported row (an order number or a
-- digest of the row), so a file imported again adds nothing; and the choices
-- the import window remembers (account per format, category per hint, column
-- mappings).
CREATE TABLE ImportedRow (SourceId TEXT NOT NULL PRIMARY KEY, RecordID INTEGER NOT NULL);
CREATE TABLE ImportSetting (Name TEXT NOT NULL PRIMARY KEY, Value TEXT NOT NULL);

-- Undo history. The triggers below write, for every changed row of the books'
-- tables, the statement that reverses the change into UndoLog, in order. A
-- command's commit closes its change with a marker row in UndoLog (Statement
-- NULL, Name the step's name for the undo menu): the one row it adds to a page
-- the change has written anyway. Undo, redo and every 2,000 log rows file
-- the markers into UndoStep, where a step holds the log rows FirstSeq..LastSeq;
-- undo steps (Redo 0) and redo steps (Redo 1) are stacks whose tops are their
-- highest IDs. Log rows after the last marker and the last step belong to the
-- change in progress. While UndoReplay has a row, an undo or redo is
-- restoring rows exactly as they were logged, and the account totals are not
-- rounded again. An update is logged before it is made, so the rounding update
-- that follows it is logged after it, whichever order the triggers fire in.
CREATE TABLE UndoLog (Seq INTEGER PRIMARY KEY, Statement TEXT, Name TEXT);
CREATE TABLE UndoStep (
    ID       INTEGER PRIMARY KEY,
    Redo     BOOLEAN NOT NULL DEFAULT 0,
    Name     TEXT NOT NULL,
    FirstSeq INTEGER NOT NULL,
    LastSeq  INTEGER NOT NULL
);
CREATE INDEX UndoStepRedo ON UndoStep (Redo, ID);
CREATE TABLE UndoReplay (Running INTEGER);
CREATE TRIGGER AccountUndoInsert AFTER INSERT ON Account
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('DELETE FROM Account WHERE rowid=' || NEW.rowid);
END;
-- The rounding of totals just changed is not logged: the change's own entry
-- restores the row as it was before both.
CREATE TRIGGER AccountUndoUpdate BEFORE UPDATE ON Account
WHEN NOT (NEW.AccountName IS OLD.AccountName AND NEW.Remark IS OLD.Remark AND NEW.Fare = round(OLD.Fare, 4) AND NEW.InFare = round(OLD.InFare, 4) AND NEW.OutFare = round(OLD.OutFare, 4))
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('UPDATE Account SET AccountName=' || quote(OLD.AccountName) || ',Remark=' || quote(OLD.Remark) || ',Fare=' || quote(OLD.Fare) || ',InFare=' || quote(OLD.InFare) || ',OutFare=' || quote(OLD.OutFare) || ' WHERE rowid=' || NEW.rowid);
END;
CREATE TRIGGER AccountUndoDelete BEFORE DELETE ON Account
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('INSERT INTO Account (rowid,AccountName,Remark,Fare,InFare,OutFare) VALUES (' || OLD.rowid || ',' || quote(OLD.AccountName) || ',' || quote(OLD.Remark) || ',' || quote(OLD.Fare) || ',' || quote(OLD.InFare) || ',' || quote(OLD.OutFare) || ')');
END;
-- Taking back an added record also takes back the ID counter (which the
-- trigger still reads as it was before the insert), so the next record gets
-- the same ID as if the undone one had never been added.
CREATE TRIGGER BookKeepUndoInsert AFTER INSERT ON BookKeep
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('DELETE FROM BookKeep WHERE ID=' || NEW.ID || ';' || coalesce('UPDATE sqlite_sequence SET seq=' || (SELECT seq FROM sqlite_sequence WHERE name = 'BookKeep') || ' WHERE name=''BookKeep''', 'DELETE FROM sqlite_sequence WHERE name=''BookKeep'''));
END;
CREATE TRIGGER BookKeepUndoUpdate BEFORE UPDATE ON BookKeep
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('UPDATE BookKeep SET InOutType=' || quote(OLD.InOutType) || ',TypeID=' || quote(OLD.TypeID) || ',Remark=' || quote(OLD.Remark) || ',Fare=' || quote(OLD.Fare) || ',AccountName=' || quote(OLD.AccountName) || ',InDate=' || quote(OLD.InDate) || ' WHERE ID=' || NEW.ID);
END;
CREATE TRIGGER BookKeepUndoDelete BEFORE DELETE ON BookKeep
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('INSERT INTO BookKeep (ID,InOutType,TypeID,Remark,Fare,AccountName,InDate) VALUES (' || OLD.ID || ',' || quote(OLD.InOutType) || ',' || quote(OLD.TypeID) || ',' || quote(OLD.Remark) || ',' || quote(OLD.Fare) || ',' || quote(OLD.AccountName) || ',' || quote(OLD.InDate) || ')');
END;
CREATE TRIGGER InTypeUndoInsert AFTER INSERT ON InType
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('DELETE FROM InType WHERE SelfIndex=' || NEW.SelfIndex);
END;
CREATE TRIGGER InTypeUndoUpdate BEFORE UPDATE ON InType
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('UPDATE InType SET ParentIndex=' || quote(OLD.ParentIndex) || ',TypeName=' || quote(OLD.TypeName) || ' WHERE SelfIndex=' || NEW.SelfIndex);
END;
CREATE TRIGGER InTypeUndoDelete BEFORE DELETE ON InType
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('INSERT INTO InType (SelfIndex,ParentIndex,TypeName) VALUES (' || OLD.SelfIndex || ',' || quote(OLD.ParentIndex) || ',' || quote(OLD.TypeName) || ')');
END;
CREATE TRIGGER OutTypeUndoInsert AFTER INSERT ON OutType
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('DELETE FROM OutType WHERE SelfIndex=' || NEW.SelfIndex);
END;
CREATE TRIGGER OutTypeUndoUpdate BEFORE UPDATE ON OutType
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('UPDATE OutType SET ParentIndex=' || quote(OLD.ParentIndex) || ',TypeName=' || quote(OLD.TypeName) || ' WHERE SelfIndex=' || NEW.SelfIndex);
END;
CREATE TRIGGER OutTypeUndoDelete BEFORE DELETE ON OutType
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('INSERT INTO OutType (SelfIndex,ParentIndex,TypeName) VALUES (' || OLD.SelfIndex || ',' || quote(OLD.ParentIndex) || ',' || quote(OLD.TypeName) || ')');
END;
-- An insert that replaces a row of the same source identity deletes it
-- without firing the delete trigger: its restore is logged before.
CREATE TRIGGER ImportedRowUndoReplace BEFORE INSERT ON ImportedRow
BEGIN
    INSERT INTO UndoLog (Statement)
    SELECT 'INSERT INTO ImportedRow (rowid,SourceId,RecordID) VALUES (' || rowid || ',' || quote(SourceId) || ',' || quote(RecordID) || ')'
      FROM ImportedRow WHERE SourceId = NEW.SourceId;
END;
CREATE TRIGGER ImportedRowUndoInsert AFTER INSERT ON ImportedRow
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('DELETE FROM ImportedRow WHERE rowid=' || NEW.rowid);
END;
CREATE TRIGGER ImportedRowUndoUpdate BEFORE UPDATE ON ImportedRow
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('UPDATE ImportedRow SET SourceId=' || quote(OLD.SourceId) || ',RecordID=' || quote(OLD.RecordID) || ' WHERE rowid=' || NEW.rowid);
END;
CREATE TRIGGER ImportedRowUndoDelete BEFORE DELETE ON ImportedRow
BEGIN
    INSERT INTO UndoLog (Statement) VALUES ('INSERT INTO ImportedRow (rowid,SourceId,RecordID) VALUES (' || OLD.rowid || ',' || quote(OLD.SourceId) || ',' || quote(OLD.RecordID) || ')');
END;

-- The salted verifier of the database password: one row.
CREATE TABLE DbKey (
    Salt     TEXT NOT NULL,
    Verifier TEXT NOT NULL
);
