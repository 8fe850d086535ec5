// The element list built from a real nms.ini, the address, name and number functions (also
// under a locale with a decimal comma), and the MAC lookup over a neighbour table.
#include "db/elementlist.h"
#include "db/maclookup.h"
#include "db/sharedfunctions.h"
#include "fakes/fakeneighbourtable.h"
#include "platform/ipv4address.h"

#include <QtTest>

#include <clocale>

using namespace db;

class TestList : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    // The MAC that the lookup finds when the neighbour table holds hw (hexadecimal) for every
    // address it may ask for: "" when it finds none (and changes nothing), "-" when it asks none.
    static QString lookup(const QString& ip, const QString& hw) {
        platform::FakeNeighbourTable table;
        for (quint32 a : {0x0A000001u, 0xC0A8015Bu, 0u, 0xFFFFFFFFu})
            table.add(a, QByteArray::fromHex(hw.toLatin1()));
        if (FormatMAC(QByteArray::fromHex(hw.toLatin1()), "") != (hw.size() == 12 ? hw : ""))
            return "FormatMAC differs";
        QString mac = "keep", remote = "keep2";
        if (!GetRemoteMAC(ip, mac, ":", &remote))
            return mac + remote != "keepkeep2" ? "changed" : table.asked.isEmpty() ? "-" : "";
        return mac == remote && table.asked.size() == 1 ? mac : "twice or not the same";
    }

private slots:
    void elementList_data() {
        QTest::addColumn<QByteArray>("file"); // null: no file
        QTest::addColumn<int>("empty");
        QTest::addColumn<QString>("nodes"); // section count, then texts; encoders marked '*'
        QTest::newRow("no file") << QByteArray() << int(ElementList::Empty::MissingFile) << "0";
        for (const char* file : {"", "; nothing\r\n\r\n", "[]\r\nK=1\r\n"})
            QTest::addRow("no sections, %d bytes", int(strlen(file)))
                << QByteArray(file) << int(ElementList::Empty::NoSections) << "0";
        QTest::newRow("encoder and decoder")
            << QByteArray("[001A2B3C4D5E]\r\nNAME=STUDIO A        \r\nROLE=1\r\n"
                          "[001A2B3C4D5F]\r\nNAME=SITE B\r\nROLE=2\r\n")
            << 0 << "2|STUDIO A [00:1A:2B:3C:4D:5E]*|SITE B [00:1A:2B:3C:4D:5F]";
        QTest::newRow("roles, odd sections, file order")
            << QByteArray(
                   "[FFFFFFFFFFFF]\r\nNAME=Z\r\nROLE= 1 \r\n[short]\r\nROLE=1\r\n"
                   "[GGGGGGGGGGGG]\r\nROLE=1\r\n[aabbccddeeff]\r\nNAME=a\r\n[AABBCCDDEEFF]\r\n"
                   "ROLE=1\r\n[000000000001]\r\nROLE=0\r\n[000000000002]\r\nROLE=3\r\n"
                   "[000000000003]\r\nROLE=1.0\r\n[000000000004]\r\nROLE=enc\r\n"
                   "[000000000005]\r\nROLE=\r\n[000000000006]\r\nROLE=1\r\n")
            << 0
            << "11|Z [FF:FF:FF:FF:FF:FF]*|a [AA:BB:CC:DD:EE:FF]| [00:00:00:00:00:01]| "
               "[00:00:00:00:00:02]| [00:00:00:00:00:03]| [00:00:00:00:00:04]| "
               "[00:00:00:00:00:05]| [00:00:00:00:00:06]*";
    }
    void elementList() {
        QFETCH(QByteArray, file);
        QFETCH(int, empty);
        QFETCH(QString, nodes);
        QFile f(m_dir.filePath("nms.ini"));
        QVERIFY(file.isNull() ||
                (f.open(QIODevice::WriteOnly) && f.write(file) == file.size() && f.flush()));
        const ElementList l = BuildElementList(f.fileName());
        f.remove();
        QCOMPARE(int(l.empty), empty);
        QStringList texts{QString::number(l.hidden.size())};
        for (const ElementNode& n : l.nodes) {
            texts.append(n.text + (n.encoder ? "*" : ""));
            QCOMPARE(n.key, n.text.mid(n.text.lastIndexOf('[') + 1).chopped(1));
        }
        QCOMPARE(texts.join('|'), nodes);
        QCOMPARE(l.encoders, texts.filter("]*").replaceInStrings("*", ""));
        QVERIFY(kMissingDatabaseText == "Local database is empty.\rPlease click 'Auto Discover' "
                                        "icon to probe the network." &&
                kEmptyDatabaseText == "Local database is empty.\rPlease click the 'Auto "
                                      "Discover' icon to probe the network.");
    }

    // Rows "argument=result" of the address, number and name functions, "" for no result; each
    // in the C locale and in one that writes a decimal comma.
    void functions_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("function");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("result");
        auto rows = [](const char* function, const QString& table) {
            for (const QString& r : table.split('|'))
                for (const char* locale : {"C", "de_DE.UTF-8"})
                    QTest::addRow("%s %s %s", locale, function, qPrintable(r))
                        << locale << function << r.section('=', 0, 0) << r.section('=', 1);
        };
        // The canonical form and host-order value of a valid address.
        rows("address", "192.168.1.91=192.168.1.91 c0a8015b|0.0.0.0=0.0.0.0 0|255.255.255.255="
                        "255.255.255.255 ffffffff|239.255.255.239=239.255.255.239 efffffef| 192 . "
                        "168 .1 . 91 =192.168.1.91 c0a8015b|010.001.000.009=10.1.0.9 a010009|"
                        "192.168.1|192.168.1.91.5|a.b.c.d||192.168.1.256|192.168..91|.168.1.91|"
                        "192.168.1.|192. .1.91|192.168.1,5.91|1e2.1.1.1|0x10.1.1.1|&HFF.1.1.1|"
                        "+1.1.1.1|-0.1.1.1|0001.1.1.1|1 2.1.1.1|١.1.1.1|１.1.1.1|"
                        "99999999999999999999.1.1.1");
        // Value and decimals; ties go to the even neighbour of the double's exact value.
        rows("FormatShortest",
             "0.125 2=0.12|0.375 2=0.38|2.5 0=2|3.5 0=4|-2.5 0=-2|0.5 0=0|"
             "2.675 2=2.67|-18.35 1=-18.4|-0.4 0=0|-0.0001 2=0|-0 2=0|1.10 2=1.1|"
             "1 3=1|100 0=100|12.3456 2=12.35|-6.0206 1=-6|-20.04 1=-20|0.05 1=0.1");
        rows("ParseDecimal",
             "42=42| \t42 =42|-7=-7|007=7|-9223372036854775808=-9223372036854775808|"
             "9223372036854775807=9223372036854775807|9223372036854775808||-|- 5|+5|"
             "1e3|0x1F|1.5|1,5|1.000|1 2|١");
        // Address and the table's hardware address: the MAC text found.
        rows("GetRemoteMAC",
             "192.168.1.91 001A2B3C4D5E=00:1A:2B:3C:4D:5E|10.0.0.1 FFFEABCDEF01="
             "FF:FE:AB:CD:EF:01|10.0.0.1 000000001234|10.0.0.2 "
             "001A2B3C4D5E|10.0.0.1 000000000000|10.0.0.1 FFFFFFFFFFFF|10.0.0.1 |"
             "10.0.0.1 01020304|10.0.0.1 0102030405|10.0.0.1 01020304050607|0.0.0.0 "
             "001A2B3C4D5E=-|10.0.0 001A2B3C4D5E=-|255.255.255.255 001A2B3C4D5E=-");
        rows("Format_Name", "studio a=STUDIO A        |abcdefghijklmnopqrst=ABCDEFGHIJKLMNOP|"
                            "=                |àéþ÷ßÿµm=ÀÉÞ÷ßÿµM        |a€b😀ıi=A?B??I          ");
    }
    void functions() {
        QFETCH(QString, locale);
        QFETCH(QString, function);
        QFETCH(QString, argument);
        QFETCH(QString, result);
        QLocale::setDefault(QLocale(locale));
        std::setlocale(LC_ALL, qPrintable(locale)); // where installed
        const double value = argument.section(' ', 0, 0).toDouble();
        const int decimals = argument.section(' ', 1).toInt();
        const std::optional<qint64> number = parseDecimal(argument);
        const QString text =
            function == "address"
                ? (Validate_IP(argument)
                       ? platform::Ipv4Address::parse(argument)->toString() + ' ' +
                             QString::number(platform::Ipv4Address::parse(argument)->toHostOrder(),
                                             16)
                       : "")
            : function == "ParseDecimal" ? (number ? QString::number(*number) : "")
            : function == "Format_Name"  ? Format_Name(argument)
            : function == "GetRemoteMAC"
                ? lookup(argument.section(' ', 0, 0), argument.section(' ', 1))
                : formatShortest(value, decimals);
        QCOMPARE(text, result);
        if (function == "FormatShortest")
            QCOMPARE(formatShortest(value, decimals, ','), QString(result).replace('.', ','));
        if (function != "address")
            return;
        // In memory the first octet comes first, as on the wire.
        const quint32 net = ConvertIPToLong(argument);
        const auto* b = reinterpret_cast<const uchar*>(&net);
        QCOMPARE(QString("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]),
                 result.isEmpty() ? "255.255.255.255" : result.section(' ', 0, 0));
        QCOMPARE(Split_IP(argument), argument.isEmpty() ? QStringList() : argument.split('.'));
    }

    void signsLogarithmSeparator() {
        QVERIFY(!parseDecimal("-7", false) && parseDecimal("7", false) == 7);
        QVERIFY(qFuzzyCompare(Log10(1000.0), 3.0) && qIsInf(Log10(0.0)) && qIsNaN(Log10(-1.0)));
        QCOMPARE(userDecimalSeparator(), QLocale::system().decimalPoint().at(0));
    }
};

QTEST_GUILESS_MAIN(TestList)
#include "tst_db_list.moc"
