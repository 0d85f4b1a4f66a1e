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

} // namespace

bool DecodeStatementText(const QByteArray &bytes, QString &text, QString &error)
{
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
    if (DecodeWith(gb18030, bytes, text))
        return true;
    text.clear();
    error = QStringLiteral("文件的编码既不是 UTF-8 也不是 GB18030，无法读取");
    return false;
}
