#include "UntNote.h"

#include "data/DbAccess.h"

TNote *GNote = nullptr;

QString TNote::ReadNote()
{
    FSql = QStringLiteral("select Remark from Notepad ");
    const TQuery &query = GDbAccess->OpenQuery(FSql);
    return query.Eof() ? QString() : query.Fields(0).AsString();
}

void TNote::SaveNote(const QString &text)
{
    if (ReadNote() == text)
        return;
    // The text is bound, never formatted into the statement, so it is stored
    // exactly as it stands; a missing row 1 is made in the same statement.
    FSql = QStringLiteral("insert into Notepad(ID,Remark) values (1,?) "
                          "on conflict(ID) do update set Remark=excluded.Remark");
    GDbAccess->ExecBound(FSql, {text});
}
