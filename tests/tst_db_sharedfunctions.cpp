#include "db/sharedfunctions.h"

#include <QLocale>
#include <QtTest>

#include <clocale>
#include <cmath>

using namespace db;

class TestSharedFunctions : public QObject {
    Q_OBJECT

    void validateTable() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("element") << "192.168.1.91" << true;
        QTest::newRow("all ones") << "255.255.255.255" << true;
        QTest::newRow("zero") << "0.0.0.0" << true;
        QTest::newRow("multicast") << "239.255.255.239" << true;
        QTest::newRow("blanks") << " 192 . 168 .1 . 91 " << true;
        QTest::newRow("leading zeros") << "010.001.000.009" << true;
        QTest::newRow("three") << "192.168.1" << false;
        QTest::newRow("five") << "192.168.1.91.5" << false;
        QTest::newRow("letters") << "a.b.c.d" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("256") << "192.168.1.256" << false;
        QTest::newRow("double dot") << "192.168..91" << false;
        QTest::newRow("leading dot") << ".168.1.91" << false;
        QTest::newRow("trailing dot") << "192.168.1." << false;
        QTest::newRow("blank piece") << "192. .1.91" << false;
        QTest::newRow("comma") << "192.168.1,5.91" << false;
        QTest::newRow("exponent") << "1e2.1.1.1" << false;
        QTest::newRow("hex") << "0x10.1.1.1" << false;
        QTest::newRow("hex letters") << "&HFF.1.1.1" << false;
        QTest::newRow("sign") << "+1.1.1.1" << false;
        QTest::newRow("minus zero") << "-0.1.1.1" << false;
        QTest::newRow("four digits") << "0001.1.1.1" << false;
        QTest::newRow("inner blank") << "1 2.1.1.1" << false;
        QTest::newRow("arabic digits") << QString::fromUtf8("\u0661.1.1.1") << false;
        QTest::newRow("fullwidth digit") << QString::fromUtf8("\uff11.1.1.1") << false;
        QTest::newRow("big") << "99999999999999999999.1.1.1" << false;
    }
    void validateCheck() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(Validate_IP(text), valid);
    }

    void formatTable() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("text");
        QTest::newRow("tie down to even") << 0.125 << 2 << "0.12";
        QTest::newRow("tie up to even") << 0.375 << 2 << "0.38";
        QTest::newRow("2.5") << 2.5 << 0 << "2";
        QTest::newRow("3.5") << 3.5 << 0 << "4";
        QTest::newRow("-2.5") << -2.5 << 0 << "-2";
        QTest::newRow("0.5") << 0.5 << 0 << "0";
        QTest::newRow("binary below tie") << 2.675 << 2 << "2.67";
        QTest::newRow("binary above tie") << -18.35 << 1 << "-18.4";
        QTest::newRow("no -0") << -0.4 << 0 << "0";
        QTest::newRow("no -0 small") << -0.0001 << 2 << "0";
        QTest::newRow("negative zero") << -0.0 << 2 << "0";
        QTest::newRow("strip zeros") << 1.10 << 2 << "1.1";
        QTest::newRow("strip point") << 1.0 << 3 << "1";
        QTest::newRow("whole") << 100.0 << 0 << "100";
        QTest::newRow("ratio") << 12.3456 << 2 << "12.35";
        QTest::newRow("dBFS") << -6.0206 << 1 << "-6";
        QTest::newRow("dBFS 2") << -20.04 << 1 << "-20";
        QTest::newRow("small") << 0.05 << 1 << "0.1";
    }
    void formatCheck() {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QFETCH(QString, text);
        QCOMPARE(FormatShortest(value, decimals), text);
        QString comma = text;
        comma.replace('.', ',');
        QCOMPARE(FormatShortest(value, decimals, QLatin1Char(',')), comma);
    }

private slots:
    void validate_data() { validateTable(); }
    void validate() { validateCheck(); }

    void split_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("four") << "192.168.1.91" << QStringList{"192", "168", "1", "91"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("blanks kept") << " 1 .2" << QStringList{" 1 ", "2"};
        QTest::newRow("empty pieces") << ".." << QStringList{"", "", ""};
    }
    void split() {
        QFETCH(QString, text);
        QFETCH(QStringList, pieces);
        QCOMPARE(Split_IP(text), pieces);
    }

    void formatName_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("eight lower") << "studio a"
                                     << "STUDIO A        ";
        QTest::newRow("twenty") << "abcdefghijklmnopqrst"
                                << "ABCDEFGHIJKLMNOP";
        QTest::newRow("empty") << "" << QString(16, ' ');
        QTest::newRow("sixteen") << "0123456789abcdef"
                                 << "0123456789ABCDEF";
        QTest::newRow("latin1 accents")
            << QString::fromLatin1("\xE0\xE9\xFE\xF7")
            << QString::fromLatin1("\xC0\xC9\xDE\xF7") + QString(12, ' ');
        QTest::newRow("sharp s and y diaeresis")
            << QString::fromLatin1("stra\xDF\x65 \xFF")
            << QString::fromLatin1("STRA\xDF\x45 \xFF") + QString(8, ' ');
        QTest::newRow("micro kept")
            << QString::fromLatin1("\xB5m") << QString::fromLatin1("\xB5M") + QString(14, ' ');
        QTest::newRow("beyond latin1") << QString::fromUtf8("a\u20ACb") << "A?B" + QString(13, ' ');
        QTest::newRow("astral one char")
            << QString::fromUtf8("x\U0001F600y") << "X?Y" + QString(13, ' ');
        QTest::newRow("dotless i") << QString::fromUtf8("\u0131i") << "?I" + QString(14, ' ');
    }
    void formatName() {
        QFETCH(QString, text);
        QFETCH(QString, name);
        const QString out = Format_Name(text);
        QCOMPARE(out, name);
        QCOMPARE(out.size(), 16);
        for (QChar c : out)
            QVERIFY(c.unicode() <= 0xFF);
    }

    void log10() {
        QVERIFY(qFuzzyCompare(Log10(1000.0), 3.0));
        QCOMPARE(Log10(1.0), 0.0);
        QVERIFY(qFuzzyCompare(Log10(0.5), std::log(0.5) / std::log(10.0)));
        QVERIFY(std::isinf(Log10(0.0)));
        QVERIFY(std::isnan(Log10(-1.0)));
    }

    void parseDecimal_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("allowNegative");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<qint64>("value");
        QTest::newRow("plain") << "42" << true << true << qint64(42);
        QTest::newRow("blanks") << " \t42 " << true << true << qint64(42);
        QTest::newRow("negative") << "-7" << true << true << qint64(-7);
        QTest::newRow("negative refused") << "-7" << false << false << qint64(0);
        QTest::newRow("leading zeros") << "007" << true << true << qint64(7);
        QTest::newRow("min") << "-9223372036854775808" << true << true
                             << std::numeric_limits<qint64>::min();
        QTest::newRow("max") << "9223372036854775807" << true << true
                             << std::numeric_limits<qint64>::max();
        QTest::newRow("overflow") << "9223372036854775808" << true << false << qint64(0);
        QTest::newRow("empty") << "" << true << false << qint64(0);
        QTest::newRow("minus only") << "-" << true << false << qint64(0);
        QTest::newRow("blank minus") << "- 5" << true << false << qint64(0);
        QTest::newRow("plus") << "+5" << true << false << qint64(0);
        QTest::newRow("exponent") << "1e3" << true << false << qint64(0);
        QTest::newRow("hex") << "0x1F" << true << false << qint64(0);
        QTest::newRow("fraction") << "1.5" << true << false << qint64(0);
        QTest::newRow("comma") << "1,5" << true << false << qint64(0);
        QTest::newRow("group") << "1.000" << true << false << qint64(0);
        QTest::newRow("inner blank") << "1 2" << true << false << qint64(0);
        QTest::newRow("arabic digit") << QString::fromUtf8("\u0661") << true << false << qint64(0);
    }
    void parseDecimal() {
        QFETCH(QString, text);
        QFETCH(bool, allowNegative);
        QFETCH(bool, ok);
        QFETCH(qint64, value);
        const auto r = ParseDecimal(text, allowNegative);
        QCOMPARE(r.has_value(), ok);
        if (ok)
            QCOMPARE(*r, value);
    }

    void parseLong() {
        QCOMPARE(ParseLong("2147483647", -1), 2147483647);
        QCOMPARE(ParseLong("-2147483648", -1), qint32(-2147483647 - 1));
        QCOMPARE(ParseLong("2147483648", -1), -1);
        QCOMPARE(ParseLong("x", 5), 5);
    }

    void canonical_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical");
        QTest::addColumn<quint32>("host");
        QTest::newRow("zeros") << "192.168.001.010"
                               << "192.168.1.10" << 0xC0A8010Au;
        QTest::newRow("blanks") << " 10 .0. 0 .1"
                                << "10.0.0.1" << 0x0A000001u;
        QTest::newRow("all ones") << "255.255.255.255"
                                  << "255.255.255.255" << 0xFFFFFFFFu;
        QTest::newRow("invalid") << "1.2.3"
                                 << "" << 0u;
    }
    void canonical() {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QFETCH(quint32, host);
        QCOMPARE(CanonicalIP(text), canonical);
        QCOMPARE(IPToHostOrder(text), host);
    }

    void format_data() { formatTable(); }
    void format() { formatCheck(); }

    void userSeparator() {
        const QString p = QLocale::system().decimalPoint();
        QCOMPARE(UserDecimalSeparator(), p.at(0));
    }

    // The same tables under a locale that writes a decimal comma.
    void commaLocale() {
        QLocale::setDefault(QLocale(QLocale::German));
        std::setlocale(LC_ALL, "de_DE.UTF-8"); // where installed
        QCOMPARE(QLocale().decimalPoint(), QString(","));
    }
    void validateGerman_data() { validateTable(); }
    void validateGerman() { validateCheck(); }
    void formatGerman_data() { formatTable(); }
    void formatGerman() { formatCheck(); }
    void restoreLocale() {
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, "C");
    }
};

QTEST_GUILESS_MAIN(TestSharedFunctions)
#include "tst_db_sharedfunctions.moc"
