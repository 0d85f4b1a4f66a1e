#pragma once

#include <QByteArray>
#include <QString>

// Turns the bytes of a text export into text: a byte-order mark decides when
// there is one, else bytes that are strictly valid UTF-8 are UTF-8, else they
// are read as GB18030 (which covers GBK). False with the reason in error when
// the bytes are none of these, or when this system cannot decode GB18030.
bool DecodeStatementText(const QByteArray &bytes, QString &text, QString &error);
