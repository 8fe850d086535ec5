// The element list built from a real nms.ini, the address, name and number functions (in the
// C locale and in one that writes a decimal comma), and the MAC lookup over a neighbour table.
#include "db/frmTreeView.h"
#include "db/maclookup.h"
#include "db/sharedfunctions.h"
#include "fakes/fakeneighbourtable.h"
#include "platform/programdir.h"

#include <QTreeWidget>
#include <QtTest>

#include <clocale>

using namespace db;
using Function = std::function<QString(const QString&)>;

// The table that also records the addresses it was asked to solicit.
struct SolicitedTable : platform::FakeNeighbourTable {
    void solicit(quint32 address) override { solicited << address; }
    QList<quint32> solicited;
};

class TestList : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    // Every test runs in both locales.
    void initTestCase_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << "C";
        QTest::newRow("de_DE") << "de_DE.UTF-8";
    }
    void init() {
        QFETCH_GLOBAL(QString, locale);
        QLocale::setDefault(QLocale(locale));
        std::setlocale(LC_ALL, qPrintable(locale)); // where installed
        platform::setProgramDirectory(m_dir.path());
    }

    // Only a role of number 1 is an encoder; sections not named by a MAC, and a second spelling
    // of one, make no node; no box is shown. The hidden list holds every section name.
    void elementList() {
        QFile f(m_dir.filePath("nms.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[FFFFFFFFFFFF]\r\nNAME=STUDIO A        \r\nROLE= 1 \r\n"
                "[001A2B3C4D5F]\r\nNAME=SITE B\r\nROLE=2\r\n[short]\r\nROLE=1\r\n"
                "[GGGGGGGGGGGG]\r\nROLE=1\r\n[aabbccddeeff]\r\nNAME=a\r\n"
                "[AABBCCDDEEFF]\r\nROLE=1\r\n[000000000009]\r\nROLE=1\r\n"
                "[000000000002]\r\nROLE=enc\r\n");
        f.close();
        ElementTreeView view;
        QString shown;
        QSignalSpy rebuilt(&view, &ElementTreeView::rebuilt);
        view.setInform([&](const QString& text) { shown = text; });
        view.Load_Config();
        f.remove();
        QStringList texts;
        for (int i = 0; i < view.tree()->topLevelItemCount(); ++i)
            texts << view.tree()->topLevelItem(i)->text(0);
        QCOMPARE(shown, QString());
        QCOMPARE(texts, QStringList({"STUDIO A [FF:FF:FF:FF:FF:FF]", "SITE B [00:1A:2B:3C:4D:5F]",
                                     "a [AA:BB:CC:DD:EE:FF]", " [00:00:00:00:00:09]",
                                     " [00:00:00:00:00:02]"}));
        QCOMPARE(rebuilt.value(0).value(0).toStringList(),
                 QStringList({"STUDIO A [FF:FF:FF:FF:FF:FF]", " [00:00:00:00:00:09]"}));
        QCOMPARE(view.lstHidden().size(), 8);
    }

    // A function of one text, the argument and the result.
    void functions_data() {
        QTest::addColumn<Function>("function");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("result");
        const auto rows = [](const char* name, const Function& function,
                             std::initializer_list<std::pair<QString, QString>> cases) {
            for (const auto& [argument, result] : cases)
                QTest::addRow("%s %s", name, qPrintable(argument))
                    << function << argument << result;
        };
        // The address in its plain form, "" when the text is none.
        rows("address",
             [](const QString& text) {
                 return Validate_IP(text) ? platform::Ipv4Address::parse(text)->toString() : "";
             },
             {{"0.0.0.0", "0.0.0.0"},
              {"255.255.255.255", "255.255.255.255"},
              {" 192 . 168 .1 . 91 ", "192.168.1.91"},
              {"010.001.000.009", "10.1.0.9"},
              {"192.168.1", ""},
              {"192.168.1.256", ""},
              {"0001.1.1.1", ""},
              {"1 2.1.1.1", ""}});
        // "" when the text is no number.
        rows("parseDecimal",
             [](const QString& text) {
                 const auto n = parseDecimal(text);
                 return n ? QString::number(*n) : "";
             },
             {{" \t42 ", "42"},
              {"-9223372036854775808", "-9223372036854775808"},
              {"9223372036854775807", "9223372036854775807"},
              {"9223372036854775808", ""},
              {"-9223372036854775809", ""},
              {"", ""},
              {"+5", ""}});
        rows("parseDecimal without sign",
             [](const QString& text) {
                 return QString::number(parseDecimal(text, false).value_or(-1));
             },
             {{"7", "7"}, {"-7", "-1"}});
        // Rounded to so many decimals, ties to the even neighbour of the double's exact value.
        const auto shortest = [](int decimals, char separator) -> Function {
            return [=](const QString& value) {
                return formatShortest(value.toDouble(), decimals, QLatin1Char(separator));
            };
        };
        rows("formatShortest 0", shortest(0, '.'), {{"2.5", "2"}, {"-0.4", "0"}});
        rows("formatShortest 2", shortest(2, '.'),
             {{"0.125", "0.12"}, {"2.675", "2.67"}, {"1.10", "1.1"}});
        rows("formatShortest 1 with comma", shortest(1, ','), {{"-18.35", "-18,4"}});
        rows("Format_Name", Format_Name,
             {{"studio a", "STUDIO A        "},
              {"abcdefghijklmnopqrst", "ABCDEFGHIJKLMNOP"},
              {"àéþ÷ßÿµm", "ÀÉÞ÷ßÿµM        "},
              {"a€b😀ıi", "A?B??I          "}});
    }
    void functions() {
        QFETCH(Function, function);
        QFETCH(QString, argument);
        QFETCH(QString, result);
        QCOMPARE(function(argument), result);
    }

    void convert() {
        // As inet_addr gives it: the first octet first in memory, all ones for no address.
        QCOMPARE(ConvertIPToLong("192.168.1.91"), qToBigEndian(0xC0A8015Bu));
        QCOMPARE(ConvertIPToLong("192.168.1"), 0xFFFFFFFFu);
        QCOMPARE(userDecimalSeparator(), ',');
        QCOMPARE(FormatMAC(QByteArray::fromHex("001A2B3C4D5E"), "-"), "00-1A-2B-3C-4D-5E");
        QCOMPARE(FormatMAC(QByteArray::fromHex("0102030405"), ":"), "");
    }

    // The neighbour table holds the hardware address for 10.0.0.1, 192.168.1.91, 0.0.0.0 and
    // 255.255.255.255; a usable one is found, anything else is not, and the address is then
    // solicited. A text that is no address is never asked.
    void macLookup_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("hardware");
        QTest::addColumn<QString>("mac");       // "" when not found
        QTest::addColumn<quint32>("solicited"); // 0: none
        for (const auto& [address, hardware, mac, solicited] :
             std::initializer_list<std::tuple<QString, QByteArray, QString, quint32>>{
                 {"192.168.1.91", "001A2B3C4D5E", "00:1A:2B:3C:4D:5E", 0},
                 {"10.0.0.1", "000000001234", "", 0x0A000001},
                 {"10.0.0", "001A2B3C4D5E", "", 0}})
            QTest::addRow("%s %s", qPrintable(address), hardware.constData())
                << address << hardware << mac << solicited;
    }
    void macLookup() {
        QFETCH(QString, address);
        QFETCH(QByteArray, hardware);
        QFETCH(QString, mac);
        QFETCH(quint32, solicited);
        SolicitedTable table;
        for (quint32 a : {0x0A000001u, 0xC0A8015Bu, 0u, 0xFFFFFFFFu})
            table.add(a, QByteArray::fromHex(hardware));
        QString found = "before", copy = "before";
        QCOMPARE(GetRemoteMAC(address, found, ":", &copy), !mac.isEmpty());
        QCOMPARE(found, mac.isEmpty() ? "before" : mac);
        QCOMPARE(copy, found);
        QCOMPARE(table.solicited, solicited ? QList<quint32>{solicited} : QList<quint32>());
    }
};

int main(int argc, char** argv) {
    // The user's locale writes a decimal comma.
    qputenv("LC_ALL", "de_DE.UTF-8");
    QApplication app(argc, argv);
    TestList test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_db_list.moc"
