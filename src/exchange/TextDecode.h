#pragma once

#include <QByteArray>
#include <QString>

// Turns the bytes of a text export into text: a byte-order mark decides when
// there is one, else bytes that are strictly valid UTF-8 are UTF-8, else they
// are read as GB18030 (which covers GBK). False with the reason in error when
// the bytes are none of these, or when this system cannot decode GB18030.
// doubtful, when given, tells whether bytes read as GB18030 are unlike Chinese
// text: Big5 and Shift-JIS bytes decode as GB18030 too, but mostly into rare
// characters, kana and symbols.
bool DecodeStatementText(const QByteArray &bytes, QString &text, QString &error,
                         bool *doubtful = nullptr);
