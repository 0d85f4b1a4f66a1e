#include "EncryptDecrypt.h"

#include "data/UException.h"

namespace {

constexpr qsizetype kFirstStageLength = 14;

// The number written by the characters from index `at` on, at most two of
// them; 0 when there are none or they are not hexadecimal digits.
int HexPair(const QString &text, qsizetype at)
{
    const QStringView pair = QStringView(text).mid(at, 2);
    int value = 0;
    for (const QChar c : pair) {
        const int digit = c.isDigit() && c.unicode() < 128 ? c.unicode() - '0'
            : c >= u'A' && c <= u'F'                       ? c.unicode() - 'A' + 10
            : c >= u'a' && c <= u'f'                       ? c.unicode() - 'a' + 10
                                                           : -1;
        if (digit < 0)
            return 0;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace

const QString HomepageCipher
    = QStringLiteral("BF46E27FB988841DC87CC07BC0BDA191C379C675AD5287BDC56CA94A87BD042E11C104217E");
const QString HomepageKey = QStringLiteral("Kelpo");

QString Decrypt(const QString &cipher, const QString &key)
{
    if (cipher.isEmpty())
        return {};
    if (key.isEmpty())
        throw Exception(QStringLiteral("解密密钥不能为空"));
    // The key's characters count as their Latin-1 byte values.
    const QByteArray keyBytes = key.toLatin1();
    int previous = HexPair(cipher, 0);
    QString result;
    result.reserve(cipher.size() / 2);
    qsizetype at = 2;
    qsizetype k = 0;
    do {
        const int value = HexPair(cipher, at);
        k = k < keyBytes.size() ? k + 1 : 1;
        const int t = value ^ quint8(keyBytes[k - 1]);
        // 255, not 256: the wrap-around the stored texts were made with.
        result += QChar(t > previous ? t - previous : t + 255 - previous);
        previous = value;
        at += 2;
    } while (at + 1 < cipher.size());
    return result;
}

QString DecryptTwoStage(const QString &cipher, const QString &key)
{
    const QString stageKey = Decrypt(cipher.left(kFirstStageLength), key);
    return Decrypt(cipher.mid(kFirstStageLength), stageKey);
}
