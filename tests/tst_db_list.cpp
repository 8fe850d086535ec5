// The element list built from a real nms.ini, the address, name and number functions (also
// under a locale with a decimal comma), and the MAC lookup over a neighbour table.
#include "db/elementlist.h"
#include "db/maclookup.h"
#include "db/sharedfunctions.h"
#include "platform/fakes/fakeneighbourtable.h"

#include <QtEndian>
#include <QtTest>

#include <clocale>
#include <cmath>

using namespace db;

class TestList : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    // Each row once in the C locale and once in one with a decimal comma.
    template <typename F> static void inBothLocales(F check) {
        for (const char* name : {"C", "de_DE.UTF-8"}) {
            QLocale::setDefault(QLocale(name));
            std::setlocale(LC_ALL, name); // where installed
            check();
        }
        QLocale::setDefault(QLocale::c());
        std::setlocale(LC_ALL, "C");
    }

private slots:
    void elementList_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("empty");
        QTest::addColumn<int>("sections");
        QTest::addColumn<QStringList>("nodes"); // encoders end in '*'
        QTest::newRow("missing") << QByteArray() << int(ElementList::Empty::MissingFile) << 0
                                 << QStringList();
        for (const char* file : {"", "; nothing\r\n\r\n", "[]\r\nK=1\r\n"})
            QTest::addRow("no sections, %d bytes", int(strlen(file)))
                << QByteArray(file) << int(ElementList::Empty::NoSections) << 0 << QStringList();
        QTest::newRow("encoder and decoder")
            << QByteArray("[001A2B3C4D5E]\r\nNAME=STUDIO A        \r\nROLE=1\r\n"
                          "[001A2B3C4D5F]\r\nNAME=SITE B\r\nROLE=2\r\n")
            << 0 << 2 << QStringList{"STUDIO A [00:1A:2B:3C:4D:5E]*", "SITE B [00:1A:2B:3C:4D:5F]"};
        QTest::newRow("roles") << QByteArray(
                                      "[0000000000A1]\r\nROLE= 1 \r\n[0000000000A2]\r\nROLE=0\r\n"
                                      "[0000000000A3]\r\nROLE=3\r\n[0000000000A4]\r\n"
                                      "[0000000000A5]\r\nROLE=enc\r\n[0000000000A6]\r\n"
                                      "ROLE=1.0\r\n[0000000000A7]\r\nROLE=\r\n")
                               << 0 << 7
                               << QStringList{" [00:00:00:00:00:A1]*", " [00:00:00:00:00:A2]",
                                              " [00:00:00:00:00:A3]",  " [00:00:00:00:00:A4]",
                                              " [00:00:00:00:00:A5]",  " [00:00:00:00:00:A6]",
                                              " [00:00:00:00:00:A7]"};
        QTest::newRow("odd sections skipped, file order")
            << QByteArray("[FFFFFFFFFFFF]\r\nNAME=Z\r\nROLE=1\r\n[short]\r\nNAME=S\r\n"
                          "[GGGGGGGGGGGG]\r\nNAME=G\r\n[aabbccddeeff]\r\nNAME=lower\r\n"
                          "[AABBCCDDEEFF]\r\nNAME=dup\r\n[000000000001]\r\nROLE=1\r\n")
            << 0 << 6
            << QStringList{"Z [FF:FF:FF:FF:FF:FF]*", "lower [AA:BB:CC:DD:EE:FF]",
                           " [00:00:00:00:00:01]*"};
    }
    void elementList() {
        QFETCH(QByteArray, file);
        QFETCH(int, empty);
        QFETCH(int, sections);
        QFETCH(QStringList, nodes);
        const QString path = m_dir.filePath("nms.ini");
        QFile f(path);
        QVERIFY(file.isNull() || (f.open(QIODevice::WriteOnly) && f.write(file) == file.size()));
        f.close();
        const ElementList l = BuildElementList(path);
        f.remove();
        QCOMPARE(int(l.empty), empty);
        QCOMPARE(l.hidden.size(), sections);
        QStringList got, encoders;
        for (const ElementNode& n : l.nodes) {
            got.append(n.text + (n.encoder ? "*" : ""));
            QCOMPARE(n.key, n.text.mid(n.text.lastIndexOf('[') + 1).chopped(1));
        }
        QCOMPARE(got, nodes);
        for (const QString& n : nodes.filter(QRegularExpression("\\*$")))
            encoders.append(n.chopped(1));
        QCOMPARE(l.encoders, encoders);
        QCOMPARE(kMissingDatabaseText, "Local database is empty.\rPlease click 'Auto Discover' "
                                       "icon to probe the network.");
        QCOMPARE(kEmptyDatabaseText, "Local database is empty.\rPlease click the 'Auto "
                                     "Discover' icon to probe the network.");
    }

    void addresses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("canonical"); // empty: no address
        QTest::addColumn<quint32>("host");
        QTest::newRow("element") << "192.168.1.91"
                                 << "192.168.1.91" << 0xC0A8015Bu;
        QTest::newRow("all ones") << "255.255.255.255"
                                  << "255.255.255.255" << 0xFFFFFFFFu;
        QTest::newRow("zero") << "0.0.0.0"
                              << "0.0.0.0" << 0u;
        QTest::newRow("multicast") << "239.255.255.239"
                                   << "239.255.255.239" << 0xEFFFFFEFu;
        QTest::newRow("blanks") << " 192 . 168 .1 . 91 "
                                << "192.168.1.91" << 0xC0A8015Bu;
        QTest::newRow("zeros, no octal") << "010.001.000.009"
                                         << "10.1.0.9" << 0x0A010009u;
        for (const QString& t :
             {"192.168.1",     "192.168.1.91.5", "a.b.c.d",      "",
              "192.168.1.256", "192.168..91",    ".168.1.91",    "192.168.1.",
              "192. .1.91",    "192.168.1,5.91", "1e2.1.1.1",    "0x10.1.1.1",
              "&HFF.1.1.1",    "+1.1.1.1",       "-0.1.1.1",     "0001.1.1.1",
              "1 2.1.1.1",     "\u0661.1.1.1",   "\uff11.1.1.1", "99999999999999999999.1.1.1"})
            QTest::newRow(qPrintable(t)) << t << QString() << 0u;
    }
    void addresses() {
        QFETCH(QString, text);
        QFETCH(QString, canonical);
        QFETCH(quint32, host);
        inBothLocales([&] {
            QCOMPARE(Validate_IP(text), !canonical.isEmpty());
            QCOMPARE(CanonicalIP(text), canonical);
        });
        QCOMPARE(IPToHostOrder(text), host);
        const quint32 net = ConvertIPToLong(text);
        QCOMPARE(net, canonical.isEmpty() ? 0xFFFFFFFFu : qToBigEndian(host));
        QCOMPARE(reinterpret_cast<const uchar*>(&net)[0],
                 uchar(canonical.isEmpty() ? 0xFF : host >> 24));
        QCOMPARE(Split_IP(text).join('.'), text);
        QCOMPARE(Split_IP(text).size(), text.isEmpty() ? 0 : text.count('.') + 1);
    }

    void numbers_data() {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<QString>("text");
        const struct {
            double value;
            int decimals;
            const char* text;
        } rows[] = {{0.125, 2, "0.12"}, {0.375, 2, "0.38"},   {2.5, 0, "2"},
                    {3.5, 0, "4"},      {-2.5, 0, "-2"},      {0.5, 0, "0"},
                    {2.675, 2, "2.67"}, {-18.35, 1, "-18.4"}, {-0.4, 0, "0"},
                    {-0.0001, 2, "0"},  {-0.0, 2, "0"},       {1.10, 2, "1.1"},
                    {1.0, 3, "1"},      {100.0, 0, "100"},    {12.3456, 2, "12.35"},
                    {-6.0206, 1, "-6"}, {-20.04, 1, "-20"},   {0.05, 1, "0.1"}};
        for (const auto& r : rows)
            QTest::addRow("%g to %d", r.value, r.decimals) << r.value << r.decimals << r.text;
    }
    void numbers() {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QFETCH(QString, text);
        inBothLocales([&] {
            QCOMPARE(FormatShortest(value, decimals), text);
            QCOMPARE(FormatShortest(value, decimals, ','), QString(text).replace('.', ','));
        });
    }

    void parse() {
        const qint64 max = std::numeric_limits<qint64>::max();
        const std::pair<const char*, qint64> good[] = {{"42", 42},
                                                       {" \t42 ", 42},
                                                       {"-7", -7},
                                                       {"007", 7},
                                                       {"-9223372036854775808", -max - 1},
                                                       {"9223372036854775807", max}};
        for (auto [text, value] : good)
            QCOMPARE(ParseDecimal(text).value_or(0), value);
        for (const QString& text : {"-7", "9223372036854775808", "", "-", "- 5", "+5", "1e3",
                                    "0x1F", "1.5", "1,5", "1.000", "1 2", "\u0661"})
            QVERIFY2(!ParseDecimal(text, text != "-7"), qPrintable(text));
        QCOMPARE(UserDecimalSeparator(), QLocale::system().decimalPoint().at(0));
        QCOMPARE(Log10(1000.0), 3.0);
        QVERIFY(Log10(1.0) == 0.0 && std::isinf(Log10(0.0)) && std::isnan(Log10(-1.0)));
    }

    void names_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("name");
        QTest::newRow("eight lower") << "studio a"
                                     << "STUDIO A        ";
        QTest::newRow("twenty") << "abcdefghijklmnopqrst"
                                << "ABCDEFGHIJKLMNOP";
        QTest::newRow("empty") << "" << QString(16, ' ');
        QTest::newRow("Latin-1") << QString::fromLatin1("\xE0\xE9\xFE\xF7\xDF\xFF\xB5m")
                                 << QString::fromLatin1("\xC0\xC9\xDE\xF7\xDF\xFF\xB5M        ");
        QTest::newRow("beyond Latin-1") << "a\u20ACb\U0001F600\u0131i"
                                        << "A?B??I          ";
    }
    void names() {
        QFETCH(QString, text);
        QFETCH(QString, name);
        QCOMPARE(Format_Name(text), name);
    }

    void macLookup_data() {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QByteArray>("hw");
        QTest::addColumn<QString>("mac"); // empty: not found, nothing changed
        QTest::addColumn<bool>("asks");
        QTest::newRow("found") << "192.168.1.91" << QByteArray("\x00\x1A\x2B\x3C\x4D\x5E", 6)
                               << "00:1A:2B:3C:4D:5E" << true;
        QTest::newRow("high bytes")
            << "10.0.0.1" << QByteArray("\xFF\xFE\xAB\xCD\xEF\x01") << "FF:FE:AB:CD:EF:01" << true;
        QTest::newRow("four zero bytes")
            << "10.0.0.1" << QByteArray("\0\0\0\0\x12\x34", 6) << "00:00:00:00:12:34" << true;
        QTest::newRow("no entry") << "10.0.0.2" << QByteArray("123456") << "" << true;
        QTest::newRow("all zero") << "10.0.0.1" << QByteArray(6, '\0') << "" << true;
        QTest::newRow("all ones") << "10.0.0.1" << QByteArray(6, '\xFF') << "" << true;
        for (const char* hw : {"", "1234", "12345", "1234567", "12345678"})
            QTest::newRow(hw) << "10.0.0.1" << QByteArray(hw) << "" << true;
        for (const char* ip : {"0.0.0.0", "10.0.0", "255.255.255.255"})
            QTest::newRow(ip) << ip << QByteArray("123456") << "" << false;
    }
    void macLookup() {
        QFETCH(QString, ip);
        QFETCH(QByteArray, hw);
        QFETCH(QString, mac);
        QFETCH(bool, asks);
        platform::FakeNeighbourTable table;
        for (quint32 a : {0x0A000001u, 0xC0A8015Bu, 0u, 0xFFFFFFFFu})
            table.add(a, hw);
        QString text = "keep", remote = "keep2";
        QCOMPARE(GetRemoteMAC(ip, text, ":", &remote), !mac.isEmpty());
        QCOMPARE(text + remote, mac.isEmpty() ? "keepkeep2" : mac + mac);
        QCOMPARE(table.asked.size(), int(asks));
        QCOMPARE(FormatMAC(hw, "-"),
                 hw.size() == 6 ? QString(FormatMAC(hw, ":")).replace(':', '-') : QString());
        QCOMPARE(FormatMAC(hw, ""), hw.size() == 6 ? QString(hw.toHex().toUpper()) : QString());
    }
};

QTEST_GUILESS_MAIN(TestList)
#include "tst_db_list.moc"
