#include "TextDecode.h"

#include <QStringDecoder>

namespace {

// Decodes the whole of bytes or fails; a text holding NUL characters is not a
// text export whatever its decoder says.
bool DecodeWith(QStringDecoder &decoder, QByteArrayView bytes, QString &text)
{
    text = decoder.decode(bytes);
    return !decoder.hasError() && !text.contains(QChar(u'\0'));
}

// Whether the two- and four-byte characters of GB18030 bytes are mostly the
// common hanzi and the punctuation rows of GB2312, as in Chinese text.
bool LooksChinese(QByteArrayView bytes)
{
    qsizetype characters = 0;
    qsizetype common = 0;
    for (qsizetype i = 0; i + 1 < bytes.size(); ++i) {
        const auto lead = static_cast<uchar>(bytes[i]);
        if (lead < 0x80)
            continue;
        const auto trail = static_cast<uchar>(bytes[i + 1]);
        ++characters;
        if (trail >= 0x30 && trail <= 0x39) {
            i += 3; // a four-byte character
            continue;
        }
        ++i;
        if (trail >= 0xA1 && ((lead >= 0xB0 && lead <= 0xF7) || lead == 0xA1 || lead == 0xA3))
            ++common;
    }
    // Chinese text is nearly all common characters; Big5 or Shift-JIS text
    // decoded so holds a third of them or fewer.
    return common * 10 >= characters * 8;
}

} // namespace

bool DecodeStatementText(const QByteArray &bytes, QString &text, QString &error, bool *doubtful)
{
    if (doubtful)
        *doubtful = false;
    if (const auto bom = QStringConverter::encodingForData(bytes)) {
        // The decoder drops the mark itself.
        QStringDecoder decoder(*bom, QStringConverter::Flag::Stateless);
        if (DecodeWith(decoder, bytes, text))
            return true;
        error = QStringLiteral("文件以编码标记开头，但内容不是有效的文字");
        return false;
    }
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    if (DecodeWith(utf8, bytes, text))
        return true;
    QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
    if (!gb18030.isValid()) {
        error = QStringLiteral("本机的 Qt 不支持 GB18030 编码，无法读取这个文件");
        return false;
    }
    if (DecodeWith(gb18030, bytes, text)) {
        if (doubtful)
            *doubtful = !LooksChinese(bytes);
        return true;
    }
    text.clear();
    error = QStringLiteral("文件的编码既不是 UTF-8 也不是 GB18030，无法读取");
    return false;
}
