// Amounts, statement formatting and day numbers.

#include "data/Currency.h"
#include "data/DateFormats.h"
#include "data/SqlFormat.h"
#include "data/UException.h"

#include <QTest>

class TestValues : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parseStrict_data();
    void parseStrict();
    void parseRefusesWithConversionMessage();
    void lenientGivesZero();
    void plainText_data();
    void plainText();
    void sqlValues();
    void formatFillsInOrder();
    void dayNumbers();
    void dateTimeText_data();
    void dateTimeText();
    void longDateFormat();
};

void TestValues::parseStrict_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("units");

    QTest::newRow("whole") << "100" << true << 1000000LL;
    QTest::newRow("blanks around") << " 12.5 " << true << 125000LL;
    QTest::newRow("negative") << "-80.25" << true << -802500LL;
    QTest::newRow("plus sign") << "+3" << true << 30000LL;
    QTest::newRow("leading point") << ".5" << true << 5000LL;
    QTest::newRow("trailing point") << "5." << true << 50000LL;
    QTest::newRow("exponent") << "1.5E3" << true << 15000000LL;
    QTest::newRow("negative exponent") << "25e-2" << true << 2500LL;
    QTest::newRow("zeros after point") << "0.0500" << true << 500LL;
    QTest::newRow("half rounds away from zero") << "0.00005" << true << 1LL;
    QTest::newRow("negative half") << "-0.00005" << true << -1LL;
    QTest::newRow("below half") << "0.000049999" << true << 0LL;
    QTest::newRow("tiny") << "0.000000001" << true << 0LL;
    QTest::newRow("many leading zeros") << "000000000000000000012" << true << 120000LL;
    QTest::newRow("largest") << "99999999999.9999" << true << 999999999999999LL;
    QTest::newRow("largest negative") << "-99999999999.9999" << true << -999999999999999LL;
    QTest::newRow("rounds over the limit") << "99999999999.99995" << false << 0LL;
    QTest::newRow("over the limit") << "100000000000" << false << 0LL;
    QTest::newRow("exponent over the limit") << "1e11" << false << 0LL;
    QTest::newRow("huge exponent") << "1e99999999999" << false << 0LL;
    QTest::newRow("zero with huge exponent") << "0e99999" << true << 0LL;
    QTest::newRow("empty") << "" << false << 0LL;
    QTest::newRow("blank") << "   " << false << 0LL;
    QTest::newRow("letters") << "abc" << false << 0LL;
    QTest::newRow("thousands separator") << "1,000" << false << 0LL;
    QTest::newRow("two points") << "12.5.3" << false << 0LL;
    QTest::newRow("double minus") << "--5" << false << 0LL;
    QTest::newRow("sign after") << "5-" << false << 0LL;
    QTest::newRow("bare exponent") << "1e" << false << 0LL;
    QTest::newRow("only a point") << "." << false << 0LL;
    QTest::newRow("currency sign") << "¥5" << false << 0LL;
}

void TestValues::parseStrict()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(qint64, units);
    Currency value;
    QCOMPARE(Currency::TryParse(text, value), valid);
    if (valid)
        QCOMPARE(value.Units(), units);
}

void TestValues::parseRefusesWithConversionMessage()
{
    try {
        Currency::Parse(QStringLiteral("12a"));
        QFAIL("no failure raised");
    } catch (const EConvertError &failure) {
        QCOMPARE(failure.Message(), QStringLiteral("'12a' is not a valid floating point value"));
    }
    try {
        Currency::Parse(QString());
        QFAIL("no failure raised");
    } catch (const EConvertError &failure) {
        QCOMPARE(failure.Message(), QStringLiteral("'' is not a valid floating point value"));
    }
}

void TestValues::lenientGivesZero()
{
    QCOMPARE(Currency::ParseLenient(QStringLiteral("x")), Currency());
    QCOMPARE(Currency::ParseLenient(QStringLiteral("1e20")), Currency());
    QCOMPARE(Currency::ParseLenient(QStringLiteral("35.5")), Currency::FromUnits(355000));
}

void TestValues::plainText_data()
{
    QTest::addColumn<qint64>("units");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0LL << "0";
    QTest::newRow("whole") << 1000000LL << "100";
    QTest::newRow("half") << 125000LL << "12.5";
    QTest::newRow("negative") << -802500LL << "-80.25";
    QTest::newRow("smallest") << 1LL << "0.0001";
    QTest::newRow("smallest negative") << -1LL << "-0.0001";
    QTest::newRow("largest") << 999999999999999LL << "99999999999.9999";
    QTest::newRow("inner zero") << 10001LL << "1.0001";
}

void TestValues::plainText()
{
    QFETCH(qint64, units);
    QFETCH(QString, text);
    const Currency value = Currency::FromUnits(units);
    QCOMPARE(value.ToString(), text);
    QCOMPARE(Currency::Parse(text), value);
}

void TestValues::sqlValues()
{
    QCOMPARE(SqlAmount(Currency::FromUnits(-50000)), QStringLiteral("(-5)"));
    QCOMPARE(SqlAmount(Currency::FromUnits(125000)), QStringLiteral("12.5"));
    QCOMPARE(SqlText(QStringLiteral("it's 'x'")), QStringLiteral("it''s ''x''"));
    QCOMPARE(SqlBool(true), QStringLiteral("-1"));
    QCOMPARE(SqlBool(false), QStringLiteral("0"));
    QCOMPARE(SqlDate(QDateTime(QDate(2026, 12, 7), QTime(23, 59))), QStringLiteral("46363"));
}

void TestValues::formatFillsInOrder()
{
    QCOMPARE(Format(QStringLiteral("update A set F=F+%s where N='%s' "),
                    {SqlAmount(Currency::FromUnits(-50000)), SqlText(QStringLiteral("%s'"))}),
             QStringLiteral("update A set F=F+(-5) where N='%s''' "));
    QCOMPARE(Format(QStringLiteral("select 1"), {}), QStringLiteral("select 1"));
    QVERIFY_THROWS_EXCEPTION(Exception, Format(QStringLiteral("%s %s"), {QStringLiteral("a")}));
    QVERIFY_THROWS_EXCEPTION(
        Exception, Format(QStringLiteral("%s"), {QStringLiteral("a"), QStringLiteral("b")}));
}

void TestValues::dayNumbers()
{
    QCOMPARE(DayNumber(QDate(1899, 12, 30)), 0);
    QCOMPARE(DayNumber(QDate(2026, 12, 7)), 46363);
    QCOMPARE(DateOfDayNumber(46356), QDate(2026, 11, 30));
    const QDateTime morning(QDate(2026, 11, 30), QTime(9, 15, 24));
    QCOMPARE(FormatDayNumber(DayNumber(morning)), QStringLiteral("46356.3856944444"));
    QCOMPARE(DateTimeOfDayNumber(DayNumber(morning)), morning);
    // A time of day that rounds to a whole day is the next midnight.
    QCOMPARE(DateTimeOfDayNumber(46356.9999999999), QDateTime(QDate(2026, 12, 1), QTime(0, 0)));
    QCOMPARE(FormatDayNumber(46363), QStringLiteral("46363"));
}

// The stamp the date keys and the note insert; the tests run in zh_CN.
void TestValues::dateTimeText_data()
{
    QTest::addColumn<QDateTime>("moment");
    QTest::addColumn<QString>("text");
    QTest::newRow("afternoon") << QDateTime(QDate(2026, 3, 5), QTime(14, 3, 7))
                               << QStringLiteral("2026/3/5 14:03:07");
    QTest::newRow("morning") << QDateTime(QDate(2026, 12, 7), QTime(9, 5, 3))
                             << QStringLiteral("2026/12/7 09:05:03");
    QTest::newRow("midnight") << QDateTime(QDate(2026, 12, 31), QTime(0, 0))
                              << QStringLiteral("2026/12/31");
    QTest::newRow("just after midnight")
        << QDateTime(QDate(2026, 1, 1), QTime(0, 0, 0, 1)) << QStringLiteral("2026/1/1 00:00:00");
}

void TestValues::dateTimeText()
{
    QFETCH(QDateTime, moment);
    QFETCH(QString, text);
    QCOMPARE(DateTimeText(moment), text);
}

// The date pickers' format: the long date without the weekday.
void TestValues::longDateFormat()
{
    QCOMPARE(LongDateFormat(QLocale(QLocale::Chinese, QLocale::China)),
             QStringLiteral("yyyy年M月d日"));
    QCOMPARE(LongDateFormat(QLocale(QLocale::English, QLocale::UnitedStates)),
             QStringLiteral("MMMM d, yyyy"));
}

QTEST_GUILESS_MAIN(TestValues)
#include "tst_Values.moc"
