#include "db/maclookup.h"

#include "platform/neighbourtable.h"

#include <QHash>
#include <QtEndian>
#include <QtTest>

using namespace db;

namespace {

class TableFake : public platform::NeighbourTable {
public:
    std::optional<QByteArray> resolve(quint32 address) override {
        asked.append(address);
        const auto it = entries.constFind(address);
        if (it == entries.constEnd())
            return std::nullopt;
        return *it;
    }
    QHash<quint32, QByteArray> entries; // host order -> hardware bytes
    QList<quint32> asked;
};

QByteArray bytes(std::initializer_list<int> l) {
    QByteArray b;
    for (int v : l)
        b.append(char(v));
    return b;
}

} // namespace

class TestMacLookup : public QObject {
    Q_OBJECT
    TableFake m_table;

private slots:
    void initTestCase() { platform::setNeighbourTable(&m_table); }
    void cleanupTestCase() { platform::setNeighbourTable(nullptr); }
    void init() {
        m_table.entries.clear();
        m_table.asked.clear();
    }

    void convert_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("host");
        QTest::newRow("zero") << "0.0.0.0" << 0u;
        QTest::newRow("element") << "192.168.1.91" << 0xC0A8015Bu;
        QTest::newRow("leading zeros, no octal") << "010.001.002.003" << 0x0A010203u;
        QTest::newRow("blanks") << " 10 . 1 .2. 3 " << 0x0A010203u;
        QTest::newRow("broadcast") << "255.255.255.255" << 0xFFFFFFFFu;
        QTest::newRow("three") << "10.1.2" << 0xFFFFFFFFu;
        QTest::newRow("hex") << "0x0A.1.2.3" << 0xFFFFFFFFu;
        QTest::newRow("256") << "10.1.2.256" << 0xFFFFFFFFu;
        QTest::newRow("empty") << "" << 0xFFFFFFFFu;
    }
    void convert() {
        QFETCH(QString, text);
        QFETCH(quint32, host);
        const quint32 net = ConvertIPToLong(text);
        QCOMPARE(net, qToBigEndian(host));
        // In memory the first octet comes first, as on the wire.
        QCOMPARE(reinterpret_cast<const uchar*>(&net)[0], uchar(host >> 24));
    }

    void formatMac_data() {
        QTest::addColumn<QByteArray>("hw");
        QTest::addColumn<QString>("delim");
        QTest::addColumn<QString>("text");
        QTest::newRow("example") << bytes({0, 26, 43, 60, 77, 94}) << ":"
                                 << "00:1A:2B:3C:4D:5E";
        QTest::newRow("high") << bytes({255, 254, 171, 205, 239, 1}) << "-"
                              << "FF-FE-AB-CD-EF-01";
        QTest::newRow("no delim") << bytes({1, 2, 3, 4, 5, 6}) << ""
                                  << "010203040506";
        QTest::newRow("five") << bytes({1, 2, 3, 4, 5}) << ":"
                              << "";
        QTest::newRow("seven") << bytes({1, 2, 3, 4, 5, 6, 7}) << ":"
                               << "";
        QTest::newRow("empty") << QByteArray() << ":"
                               << "";
    }
    void formatMac() {
        QFETCH(QByteArray, hw);
        QFETCH(QString, delim);
        QFETCH(QString, text);
        QCOMPARE(FormatMAC(hw, delim), text);
    }

    void found() {
        m_table.entries.insert(0xC0A8015B, bytes({0, 26, 43, 60, 77, 94}));
        QString mac = "old";
        QString remote;
        QVERIFY(GetRemoteMAC("192.168.1.91", mac, ":", &remote));
        QCOMPARE(mac, QString("00:1A:2B:3C:4D:5E"));
        QCOMPARE(remote, QString("00:1A:2B:3C:4D:5E"));
        QCOMPARE(m_table.asked, QList<quint32>{0xC0A8015Bu});
    }

    void firstFourZeroButNotAll() {
        m_table.entries.insert(0x0A000001, bytes({0, 0, 0, 0, 0x12, 0x34}));
        QString mac;
        QVERIFY(GetRemoteMAC("10.0.0.1", mac, ":"));
        QCOMPARE(mac, QString("00:00:00:00:12:34"));
    }

    void notFound_data() {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QByteArray>("hw");
        QTest::addColumn<bool>("asks");
        QTest::newRow("no entry") << "10.0.0.2" << QByteArray() << true;
        QTest::newRow("all zero") << "10.0.0.1" << QByteArray(6, '\0') << true;
        QTest::newRow("all ones") << "10.0.0.1" << QByteArray(6, '\xFF') << true;
        QTest::newRow("four bytes") << "10.0.0.1" << bytes({1, 2, 3, 4}) << true;
        QTest::newRow("eight bytes") << "10.0.0.1" << bytes({1, 2, 3, 4, 5, 6, 7, 8}) << true;
        QTest::newRow("empty") << "10.0.0.1" << QByteArray("") << true;
        QTest::newRow("zero address") << "0.0.0.0" << bytes({1, 2, 3, 4, 5, 6}) << false;
        QTest::newRow("no address") << "10.0.0" << bytes({1, 2, 3, 4, 5, 6}) << false;
        QTest::newRow("broadcast") << "255.255.255.255" << bytes({1, 2, 3, 4, 5, 6}) << false;
    }
    void notFound() {
        QFETCH(QString, ip);
        QFETCH(QByteArray, hw);
        QFETCH(bool, asks);
        m_table.entries.insert(0x0A000001, hw);
        m_table.entries.insert(0, hw);
        m_table.entries.insert(0xFFFFFFFF, hw);
        QString mac = "keep";
        QString remote = "keep2";
        QVERIFY(!GetRemoteMAC(ip, mac, ":", &remote));
        QCOMPARE(mac, QString("keep"));
        QCOMPARE(remote, QString("keep2"));
        QCOMPARE(!m_table.asked.isEmpty(), asks);
    }
};

QTEST_GUILESS_MAIN(TestMacLookup)
#include "tst_db_maclookup.moc"
