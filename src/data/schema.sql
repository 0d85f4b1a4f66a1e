-- The books: six tables, their seeded rows, and what marks the file as ours;
-- the tables later versions added follow them.
-- The build turns this into the template bookkeep.dat; the program only opens
-- an existing file. The build adds the undo history's tables and triggers
-- (UndoLog.cpp makes them, as the upgrade to version 5 does) and the password
-- verifier (table DbKey).

PRAGMA application_id = 1112229200; -- 0x424B4550, "BKEP"
PRAGMA user_version = 8;            -- the schema version (DbFile::kSchemaVersion)

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
-- updates they go through.
CREATE TRIGGER AccountTotalsExact AFTER UPDATE OF Fare, InFare, OutFare ON Account
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
-- One account's records in date order (the account statement) come from this.
CREATE INDEX BookKeepAccountDate ON BookKeep (AccountName, InDate);

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

-- The settings: exactly one row. The login password, whether backups are
-- made by themselves with how many daily copies are kept, and where the
-- off-site copies go (their password and passphrase are in the desktop's
-- keyring, never here).
CREATE TABLE SysSet (
    bPass      BOOLEAN NOT NULL DEFAULT 0,
    PassWord   TEXT NOT NULL DEFAULT '',
    AutoBackup BOOLEAN NOT NULL DEFAULT -1,
    BackupDays INTEGER NOT NULL DEFAULT 7,
    ScheduleChecked DATE NOT NULL DEFAULT 0, -- the last day the schedules were looked at
    OffsiteUrl    TEXT NOT NULL DEFAULT '', -- the WebDAV server of the off-site copies
    OffsiteUser   TEXT NOT NULL DEFAULT '',
    OffsiteFolder TEXT NOT NULL DEFAULT ''
);
INSERT INTO SysSet (bPass, PassWord) VALUES (0, '');

-- Statement import: the identity of every imported row (an order number or a
-- digest of the row), so a file imported again adds nothing; and the choices
-- the import window remembers (account per format, category per hint, column
-- mappings).
CREATE TABLE ImportedRow (SourceId TEXT NOT NULL PRIMARY KEY, RecordID INTEGER NOT NULL);
CREATE TABLE ImportSetting (Name TEXT NOT NULL PRIMARY KEY, Value TEXT NOT NULL);

-- Money moved between two of the books' accounts: the amount leaves
-- FromAccount and reaches ToAccount, and the fee is charged to FromAccount too.
-- Neither is income or expense: only the balances (Fare) move.
CREATE TABLE Transfer (
    ID          INTEGER PRIMARY KEY,
    InDate      DATE NOT NULL,            -- a whole day number, as BookKeep.InDate
    FromAccount TEXT NOT NULL,
    ToAccount   TEXT NOT NULL,
    Fare        NUMERIC NOT NULL CHECK (Fare > 0 AND Fare < 100000000000),
    Fee         NUMERIC NOT NULL DEFAULT 0 CHECK (Fee >= 0 AND Fee < 100000000000),
    Remark      TEXT,
    CHECK (FromAccount <> ToAccount)
);
CREATE INDEX TransferFrom ON Transfer (FromAccount, InDate);
CREATE INDEX TransferTo ON Transfer (ToAccount, InDate);

-- Reconciliation points: an account's balance on a day as the bank or app
-- showed it, agreed with the books.
CREATE TABLE Reconciled (
    AccountName TEXT NOT NULL,
    InDate      DATE NOT NULL,
    Fare        NUMERIC NOT NULL,
    PRIMARY KEY (AccountName, InDate)
);

-- What became of an imported row beyond a record of its own (ImportedRow):
-- the record or transfer it is part of, and whether the other side of the
-- same money is still awaited. App is the payment app the money went through
-- ('支付宝', '微信'); Awaits 0: the card's line is booked and the app's is
-- awaited, 1: the app's line is booked and the card's is awaited, NULL: none.
CREATE TABLE ImportLink (
    SourceId   TEXT NOT NULL PRIMARY KEY,
    RecordID   INTEGER NOT NULL DEFAULT 0,
    TransferID INTEGER NOT NULL DEFAULT 0,
    App        TEXT NOT NULL DEFAULT '',
    Awaits     INTEGER
);

-- Categories learned from the import: a row whose counterparty (Field 0) or
-- remark (Field 1) contains Pattern goes to the category of its kind, and to
-- the account when one is named.
CREATE TABLE ImportRule (
    ID          INTEGER PRIMARY KEY,
    Field       INTEGER NOT NULL DEFAULT 0,
    Pattern     TEXT NOT NULL,
    InOutType   INTEGER NOT NULL,
    TypeID      INTEGER NOT NULL,
    AccountName TEXT NOT NULL DEFAULT ''
);

-- Scheduled records: an income (0), expense (1) or transfer (2) made again
-- every Every days (Unit 0), weeks (1), months (2) or years (3) from
-- StartDate, on MonthDay for months and years (31: the month's last day),
-- until EndDate (0: none) or Times occurrences (0: no limit). Auto 0 asks
-- before posting, 1 posts by itself, Ahead days before the date. A transfer
-- goes from AccountName to ToAccount. IDs are never reused, so a new schedule
-- never takes an old one's occurrences.
CREATE TABLE Schedule (
    ID          INTEGER PRIMARY KEY AUTOINCREMENT,
    InOutType   INTEGER NOT NULL CHECK (InOutType IN (0, 1, 2)),
    TypeID      INTEGER NOT NULL DEFAULT 0,
    AccountName TEXT NOT NULL,
    ToAccount   TEXT NOT NULL DEFAULT '',
    Fare        NUMERIC NOT NULL CHECK (Fare >= 0 AND Fare < 100000000000),
    Remark      TEXT NOT NULL DEFAULT '',
    Unit        INTEGER NOT NULL CHECK (Unit IN (0, 1, 2, 3)),
    Every       INTEGER NOT NULL DEFAULT 1 CHECK (Every > 0),
    MonthDay    INTEGER NOT NULL DEFAULT 1 CHECK (MonthDay BETWEEN 1 AND 31),
    StartDate   DATE NOT NULL,
    EndDate     DATE NOT NULL DEFAULT 0,
    Times       INTEGER NOT NULL DEFAULT 0 CHECK (Times >= 0),
    Auto        BOOLEAN NOT NULL DEFAULT 0,
    Ahead       INTEGER NOT NULL DEFAULT 0 CHECK (Ahead >= 0)
);

-- The occurrences of a schedule already dealt with, each by its date (a whole
-- day number, as BookKeep.InDate), so that a change of the rule never posts a
-- date twice: posted as the record or transfer RecordID, or skipped (0).
-- Logged by the undo history, so undoing a posting makes it due again.
CREATE TABLE ScheduleDone (
    ScheduleID INTEGER NOT NULL,
    Occurrence INTEGER NOT NULL,
    RecordID   INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY (ScheduleID, Occurrence)
);

-- Budgets on expense categories (OutType.SelfIndex), their children's
-- spending included: Fare a month (Period 0) or a year (1). With Rollover,
-- what a period leaves unspent (or overspends) since StartDate's period
-- carries into the next.
CREATE TABLE Budget (
    TypeID    INTEGER NOT NULL PRIMARY KEY,
    Period    INTEGER NOT NULL DEFAULT 0 CHECK (Period IN (0, 1)),
    Fare      NUMERIC NOT NULL CHECK (Fare > 0 AND Fare < 100000000000),
    Rollover  BOOLEAN NOT NULL DEFAULT 0,
    StartDate DATE NOT NULL
);

-- The salted verifier of the database password: one row.
CREATE TABLE DbKey (
    Salt     TEXT NOT NULL,
    Verifier TEXT NOT NULL
);
