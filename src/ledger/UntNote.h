#pragma once

#include <QString>

// Reads and writes the one note, kept in the row with ID 1 of Notepad.
class TNote
{
public:
    QString ReadNote();
    // Stores the text unless it equals the stored note.
    void SaveNote(const QString &text);

    QString FSql; // the statement used last
};

extern TNote *GNote;
