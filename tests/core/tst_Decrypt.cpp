#include "data/UException.h"
#include "ledger/EncryptDecrypt.h"

#include <QRegularExpression>
#include <QTest>

namespace {

QString Hex(int value)
{
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// The counterpart of Decrypt, here only to make test texts: the program
// itself holds no enciphering code.
QString Encipher(const QString &plain, const QString &key, int start)
{
    const QByteArray keyBytes = key.toLatin1();
    QString cipher = Hex(start);
    int previous = start;
    qsizetype k = 0;
    for (const QChar c : plain) {
        int t = c.unicode() + previous;
        if (t > 255)
            t -= 255;
        k = k < keyBytes.size() ? k + 1 : 1;
        const int value = t ^ quint8(keyBytes[k - 1]);
        cipher += Hex(value);
        previous = value;
    }
    return cipher;
}

QString Codes(std::initializer_list<int> codes)
{
    QString text;
    for (const int code : codes)
        text += QChar(code);
    return text;
}

} // namespace

class TstDecrypt : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void decrypt_data();
    void decrypt();
    void roundTrip_data();
    void roundTrip();
    void twoStage();
    void homepage();
    void emptyKey();
};

// Texts worked out by hand from the rules, so that the test does not lean on
// the enciphering helper.
void TstDecrypt::decrypt_data()
{
    QTest::addColumn<QString>("cipher");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("plain");

    QTest::newRow("empty") << QString() << QStringLiteral("K") << QString();
    QTest::newRow("start pair alone")
        << QStringLiteral("10") << QStringLiteral("K") << QStringLiteral(";");
    QTest::newRow("one character")
        << QStringLiteral("1") << QStringLiteral("K") << QStringLiteral("J");
    QTest::newRow("third character alone")
        << QStringLiteral("004") << QStringLiteral("A") << QStringLiteral("E");
    // t not above previous wraps with 255, not 256.
    QTest::newRow("wrap at 255") << QStringLiteral("FF00") << QStringLiteral("A")
                                 << QStringLiteral("A");
    QTest::newRow("wrap below") << QStringLiteral("8041") << QStringLiteral("A") << Codes({127});
    QTest::newRow("bad start pair")
        << QStringLiteral("ZZ41") << QStringLiteral("A") << Codes({255});
    QTest::newRow("bad pair") << QStringLiteral("00ZZ") << QStringLiteral("A")
                              << QStringLiteral("A");
    QTest::newRow("lower-case hex")
        << QStringLiteral("00c1") << QStringLiteral("A") << Codes({128});
    QTest::newRow("odd tail unread")
        << QStringLiteral("004142X") << QStringLiteral("A") << Codes({255, 193});
    QTest::newRow("key taken round")
        << QStringLiteral("00414241") << QStringLiteral("AB") << Codes({255, 190, 189});
}

void TstDecrypt::decrypt()
{
    QFETCH(QString, cipher);
    QFETCH(QString, key);
    QFETCH(QString, plain);
    QCOMPARE(Decrypt(cipher, key), plain);
}

void TstDecrypt::roundTrip_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("key");

    QTest::newRow("letter") << QStringLiteral("a") << QStringLiteral("Kelpo");
    QTest::newRow("sentence") << QStringLiteral("Hello, World! 0123456789 ~")
                              << QStringLiteral("Kelpo");
    QTest::newRow("address") << QStringLiteral("https://bookkeep.example.org/")
                             << QStringLiteral("Kelpo");
    QTest::newRow("Latin-1") << QStringLiteral("Zürich, Ångström, ÿ") << QStringLiteral("k");
    QTest::newRow("every code") << [] {
        QString all;
        for (int code = 1; code < 256; ++code)
            all += QChar(code);
        return all;
    }() << QStringLiteral("a much longer key than usual");
}

void TstDecrypt::roundTrip()
{
    QFETCH(QString, plain);
    QFETCH(QString, key);
    for (const int start : {0, 1, 127, 254, 255})
        QCOMPARE(Decrypt(Encipher(plain, key, start), key), plain);
}

void TstDecrypt::twoStage()
{
    const QString stageKey = QStringLiteral("q7#Lz9");
    const QString plain = QStringLiteral("mailto:someone@example.org");
    const QString cipher
        = Encipher(stageKey, QStringLiteral("Kelpo"), 0x5A) + Encipher(plain, stageKey, 0xC3);
    QCOMPARE(DecryptTwoStage(cipher, QStringLiteral("Kelpo")), plain);
    // The wrong key gives another stage key, and so another text.
    QVERIFY(DecryptTwoStage(cipher, QStringLiteral("Kelpa")) != plain);
}

void TstDecrypt::homepage()
{
    static const QRegularExpression upperHex(QStringLiteral("^([0-9A-F]{2})+$"));
    QVERIFY(upperHex.match(HomepageCipher).hasMatch());
    QCOMPARE(HomepageKey, QStringLiteral("Kelpo"));
    QCOMPARE(DecryptTwoStage(HomepageCipher, HomepageKey),
             QStringLiteral("https://bookkeep.example.org/"));
}

void TstDecrypt::emptyKey()
{
    QVERIFY_THROWS_EXCEPTION(Exception, Decrypt(QStringLiteral("0041"), QString()));
    QCOMPARE(Decrypt(QString(), QString()), QString());
}

QTEST_APPLESS_MAIN(TstDecrypt)
#include "tst_Decrypt.moc"
