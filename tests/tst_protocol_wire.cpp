// Byte layouts of port 2976, feedback decoding by length and role, feedback checks and the
// discovery record.
#include "protocol/wire.h"

#include <QtTest>

using protocol::Feedback;

namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

// A full 54-byte feedback: known common block, tail byte at offset k is 0x50 + (k - 40).
QByteArray FeedbackBytes(quint8 role, int length) {
    QByteArray d;
    d += Hex("C0A80132");                // 192.168.1.50
    d += Hex("FFFFFF00");                // 255.255.255.0
    d += Hex("C0A80101");                // 192.168.1.1
    d += Hex("EFFFFFEF");                // 239.255.255.239
    d += Hex("010001");                  // input 1, type 0, tx 1
    d += QByteArray("Studio 1        "); // 19..34
    d += char(role);                     // 35
    d += Hex("00012345");                // serial 74565
    for (int k = 40; k < 54; ++k)
        d += char(0x50 + (k - 40));
    return d.left(length);
}

} // namespace

class TestProtocolWire : public QObject {
    Q_OBJECT
private slots:
    void pagingRequest() {
        const QByteArray p = protocol::PagingRequest();
        QCOMPARE(p.size(), 32);
        QCOMPARE(p, QByteArray("IPMPXSTL TALVOREN PAGING REQUEST"));
    }

    void levelRequest() { QCOMPARE(protocol::LevelRequest(), Hex("564F4C")); }

    void attenuation_data() {
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("12") << 12 << Hex("0C00");
        QTest::newRow("mute 14") << 14 << Hex("0E00");
        QTest::newRow("254") << 254 << Hex("FE00");
        QTest::newRow("255") << 255 << Hex("FF00");
    }
    void attenuation() {
        QFETCH(int, step);
        QFETCH(QByteArray, bytes);
        QCOMPARE(protocol::BuildAttenuation(quint8(step)), bytes);
    }

    void configuration_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("decoder");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray head = Hex("C0A8015B FFFFFF00 C0A80101 EFFFFFEF 01 00 01 01");
        QTest::newRow("decoder") << "Studio 1" << true
                                 << head + "STUDIO 1        " + Hex("0C 01 25 2B 01");
        QTest::newRow("encoder") << "Studio 1" << false << head + "STUDIO 1        " + Hex("01");
        QTest::newRow("20 chars cut")
            << "abcdefghijklmnopqrst" << false << head + "ABCDEFGHIJKLMNOP" + Hex("01");
        QTest::newRow("latin-1") << QString::fromUtf8("caf\xc3\xa9") << false
                                 << head + "CAF" + Hex("C9") + QByteArray(12, ' ') + Hex("01");
    }
    void configuration() {
        QFETCH(QString, name);
        QFETCH(bool, decoder);
        QFETCH(QByteArray, bytes);
        protocol::ConfigurationFields f;
        f.ip = "192.168.1.91";
        f.mask = "255.255.255.0";
        f.gw = "192.168.001.001";
        f.remote = "239.255.255.239";
        f.input = 1;
        f.type = 0;
        f.tx = 1;
        f.sfn = true;
        f.name = name;
        f.buffer = 12;
        f.silDetMode = 1;
        f.silDetLevel = 37;
        f.silDetTime = 43;
        f.lowLatency = true;
        const QByteArray out = protocol::BuildConfiguration(f, decoder);
        QCOMPARE(out.size(), decoder ? 41 : 37);
        QCOMPARE(out.toHex(' '), bytes.toHex(' '));
    }

    void configurationLowLatencyOff() {
        protocol::ConfigurationFields f;
        f.ip = f.mask = f.gw = f.remote = "10.0.0.1";
        f.lowLatency = false;
        QCOMPARE(protocol::BuildConfiguration(f, true).at(40), '\0');
        QCOMPARE(protocol::BuildConfiguration(f, false).at(36), '\0');
        QCOMPARE(protocol::BuildConfiguration(f, false).at(19), '\0');
    }

    void configurationRefusesInvalidAddress_data() {
        QTest::addColumn<int>("which");
        QTest::newRow("ip") << 0;
        QTest::newRow("mask") << 1;
        QTest::newRow("gw") << 2;
        QTest::newRow("remote") << 3;
    }
    void configurationRefusesInvalidAddress() {
        QFETCH(int, which);
        protocol::ConfigurationFields f;
        f.ip = f.mask = f.gw = f.remote = "10.0.0.1";
        QString* fields[] = {&f.ip, &f.mask, &f.gw, &f.remote};
        *fields[which] = "10.0.0.256";
        QVERIFY(protocol::BuildConfiguration(f, true).isEmpty());
        *fields[which] = "10.0.0";
        QVERIFY(protocol::BuildConfiguration(f, false).isEmpty());
    }

    void commonBlock() {
        const std::optional<Feedback> f = protocol::DecodeFeedback(FeedbackBytes(1, 45));
        QVERIFY(f);
        QCOMPARE(f->ip, QString("192.168.1.50"));
        QCOMPARE(f->mask, QString("255.255.255.0"));
        QCOMPARE(f->gw, QString("192.168.1.1"));
        QCOMPARE(f->remote, QString("239.255.255.239"));
        QCOMPARE(f->input, quint8(1));
        QCOMPARE(f->type, quint8(0));
        QCOMPARE(f->tx, quint8(1));
        QCOMPARE(f->name, QString("Studio 1        "));
        QCOMPARE(f->role, quint8(1));
        QCOMPARE(f->serial, qint32(74565));
    }

    void tail_data() {
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("length");
        // verMajor, verMinor, sfn, buffer, llo, att, sdm, sdl, sdt
        QTest::addColumn<QList<int>>("expected");
        const QList<int> common = {2, 0, 0, 0, 0, 255, 0, 37, 43};
        for (int role : {0, 1}) {
            QTest::addRow("role %d len 40", role) << role << 40 << common;
            QTest::addRow("role %d len 41", role) << role << 41 << common;
            QTest::addRow("role %d len 42", role)
                << role << 42 << QList<int>{0x50, 0x51, 0, 0, 0, 255, 0, 37, 43};
            QTest::addRow("role %d len 43", role)
                << role << 43 << QList<int>{0x50, 0x51, 0x52, 0, 0, 255, 0, 37, 43};
            QTest::addRow("role %d len 44", role)
                << role << 44 << QList<int>{0x50, 0x51, 0x52, 0x53, 0, 255, 0, 37, 43};
            for (int len : {45, 50, 54})
                QTest::addRow("role %d len %d", role, len)
                    << role << len << QList<int>{0x50, 0x51, 0x52, 0x53, 0x54, 255, 0, 37, 43};
        }
        QTest::newRow("role 2 len 40") << 2 << 40 << QList<int>{2, 0, 0, 1, 0, 255, 0, 37, 43};
        QTest::newRow("role 2 len 41") << 2 << 41 << QList<int>{2, 0, 0, 1, 0, 0x50, 0, 37, 43};
        QTest::newRow("role 2 len 42") << 2 << 42 << QList<int>{0x51, 0, 0, 1, 0, 0x50, 0, 37, 43};
        QTest::newRow("role 2 len 43")
            << 2 << 43 << QList<int>{0x51, 0x52, 0, 1, 0, 0x50, 0, 37, 43};
        QTest::newRow("role 2 len 44")
            << 2 << 44 << QList<int>{0x51, 0x52, 0x53, 1, 0, 0x50, 0, 37, 43};
        // The buffer byte b44 is not the low-latency flag of a short decoder feedback.
        QTest::newRow("role 2 len 45")
            << 2 << 45 << QList<int>{0x51, 0x52, 0x53, 0x54, 0, 0x50, 0, 37, 43};
        QTest::newRow("role 2 len 46")
            << 2 << 46 << QList<int>{0x51, 0x52, 0x53, 0x54, 0, 0x50, 0x55, 37, 43};
        QTest::newRow("role 2 len 47")
            << 2 << 47 << QList<int>{0x51, 0x52, 0x53, 0x54, 0, 0x50, 0x55, 0x56, 43};
        for (int len : {48, 50, 53})
            QTest::addRow("role 2 len %d", len)
                << 2 << len << QList<int>{0x51, 0x52, 0x53, 0x54, 0, 0x50, 0x55, 0x56, 0x57};
        QTest::newRow("role 2 len 54")
            << 2 << 54 << QList<int>{0x51, 0x52, 0x53, 0x54, 0x5D, 0x50, 0x55, 0x56, 0x57};
    }
    void tail() {
        QFETCH(int, role);
        QFETCH(int, length);
        QFETCH(QList<int>, expected);
        const std::optional<Feedback> f =
            protocol::DecodeFeedback(FeedbackBytes(quint8(role), length));
        QVERIFY(f);
        const QList<int> got = {f->verMajor,   f->verMinor,    f->sfn,
                                f->buffer,     f->lowLatency,  f->attenuation,
                                f->silDetMode, f->silDetLevel, f->silDetTime};
        QCOMPARE(got, expected);
        QCOMPARE(f->role, quint8(role));
        QCOMPARE(f->serial, qint32(74565));
    }

    void nameBytes() {
        QByteArray d = FeedbackBytes(1, 45);
        d.replace(19, 16, Hex("41 E9 01 7F 1F 20 42 FF 43 44 45 46 47 48 49 4A"));
        const auto f = protocol::DecodeFeedback(d);
        QVERIFY(f);
        QCOMPARE(f->name, QString::fromUtf8("A\xc3\xa9    B\xc3\xbf"
                                            "CDEFGHIJ"));
        QCOMPARE(f->name.size(), 16);
    }

    void addressesWithoutLeadingZeros() {
        QByteArray d = FeedbackBytes(1, 40);
        d.replace(0, 4, Hex("0A000005"));
        d.replace(8, 4, Hex("00000000"));
        const auto f = protocol::DecodeFeedback(d);
        QCOMPARE(f->ip, QString("10.0.0.5"));
        QCOMPARE(f->gw, QString("0.0.0.0"));
    }

    void serial_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint32>("serial");
        QTest::newRow("256") << Hex("00000100") << qint32(256);
        QTest::newRow("max") << Hex("7FFFFFFF") << qint32(2147483647);
        QTest::newRow("min") << Hex("80000000") << qint32(-2147483647 - 1);
        QTest::newRow("-1") << Hex("FFFFFFFF") << qint32(-1);
        QTest::newRow("0") << Hex("00000000") << qint32(0);
    }
    void serial() {
        QFETCH(QByteArray, bytes);
        QFETCH(qint32, serial);
        QByteArray d = FeedbackBytes(1, 45);
        d.replace(36, 4, bytes);
        QCOMPARE(protocol::DecodeFeedback(d)->serial, serial);
    }

    void checks_data() {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("label"); // empty: passes
        QTest::newRow("good") << 0 << QByteArray() << QString();
        QTest::newRow("role 0 fine") << 35 << Hex("00") << QString();
        QTest::newRow("input 2") << 16 << Hex("02") << "Audio Input";
        QTest::newRow("type 2") << 17 << Hex("02") << "Audio Type";
        QTest::newRow("tx 255") << 18 << Hex("FF") << "TX Type";
        QTest::newRow("role 3") << 35 << Hex("03") << "Element Type";
        QTest::newRow("serial 0") << 36 << Hex("00000000") << "Serial Number";
        QTest::newRow("serial negative") << 36 << Hex("80000001") << "Serial Number";
        QTest::newRow("first failure wins") << 16 << Hex("0505") << "Audio Input";
        QTest::newRow("serial 1 fine") << 36 << Hex("00000001") << QString();
    }
    void checks() {
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, label);
        QByteArray d = FeedbackBytes(1, 45);
        d.replace(offset, bytes.size(), bytes);
        const std::optional<QString> message =
            protocol::CheckFeedback(*protocol::DecodeFeedback(d));
        if (label.isEmpty()) {
            QVERIFY2(!message, qPrintable(message.value_or(QString())));
        } else {
            QVERIFY(message);
            QCOMPARE(*message,
                     "An error occured while retrieving '" + label + "':\rFeedback is corrupted.");
        }
    }

    void addressChecks_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("label");
        QTest::newRow("ip") << 0 << "Element IP";
        QTest::newRow("mask") << 1 << "Element Mask";
        QTest::newRow("gw") << 2 << "Element GW";
        QTest::newRow("remote") << 3 << "Remote / Multicast IP";
    }
    void addressChecks() {
        QFETCH(int, which);
        QFETCH(QString, label);
        Feedback f = *protocol::DecodeFeedback(FeedbackBytes(2, 54));
        QString* fields[] = {&f.ip, &f.mask, &f.gw, &f.remote};
        *fields[which] = "1.2.3";
        f.serial = 0; // a later failure must not hide the first
        QCOMPARE(protocol::CheckFeedback(f).value_or(QString()),
                 "An error occured while retrieving '" + label + "':\rFeedback is corrupted.");
    }

    void discoveryEncoder() {
        QByteArray d = FeedbackBytes(1, 45);
        d[18] = 0; // unicast
        d.replace(19, 16, "Studio 1        ");
        const db::IniEntries e = protocol::DiscoveryRecord(*protocol::DecodeFeedback(d));
        const db::IniEntries expected = {{"name", "STUDIO 1        "},
                                         {"ip", "192.168.1.50"},
                                         {"mask", "255.255.255.0"},
                                         {"gw", "192.168.1.1"},
                                         {"input", "1"},
                                         {"type", "0"},
                                         {"tx", "0"},
                                         {"remote", "239.255.255.239"},
                                         {"role", "1"},
                                         {"sn", "74565"},
                                         {"ver", "80.81"},
                                         {"sfn", "82"},
                                         {"buf", "83"},
                                         {"llo", "84"}};
        QCOMPARE(e, expected);
        QCOMPARE(e.size(), 14);
    }

    void discoveryShortEncoder() {
        const db::IniEntries e =
            protocol::DiscoveryRecord(*protocol::DecodeFeedback(FeedbackBytes(1, 40)));
        QCOMPARE(e.size(), 14);
        QCOMPARE(e.at(7).first, QString("multi")); // tx 1
        QCOMPARE(e.at(10), (QPair<QString, QString>("ver", "2.0")));
        QCOMPARE(e.at(11), (QPair<QString, QString>("sfn", "0")));
        QCOMPARE(e.at(12), (QPair<QString, QString>("buf", "0")));
    }

    void discoveryDecoder() {
        QByteArray d = FeedbackBytes(2, 54);
        d[18] = 0; // unicast, yet a decoder's remote is stored as multi
        d.replace(19, 16, "rx site    north");
        const db::IniEntries e = protocol::DiscoveryRecord(*protocol::DecodeFeedback(d));
        const db::IniEntries expected = {{"name", "RX SITE    NORTH"},
                                         {"ip", "192.168.1.50"},
                                         {"mask", "255.255.255.0"},
                                         {"gw", "192.168.1.1"},
                                         {"input", "1"},
                                         {"type", "0"},
                                         {"tx", "0"},
                                         {"multi", "239.255.255.239"},
                                         {"role", "2"},
                                         {"sn", "74565"},
                                         {"ver", "81.82"},
                                         {"sfn", "83"},
                                         {"buf", "84"},
                                         {"att", "80"},
                                         {"sdm", "85"},
                                         {"sdl", "86"},
                                         {"sdt", "87"},
                                         {"llo", "93"}};
        QCOMPARE(e, expected);
        QCOMPARE(e.size(), 18);
    }

    void discoveryShortDecoder() {
        const db::IniEntries e =
            protocol::DiscoveryRecord(*protocol::DecodeFeedback(FeedbackBytes(2, 41)));
        QCOMPARE(e.size(), 18);
        QCOMPARE(e.at(10), (QPair<QString, QString>("ver", "2.0")));
        QCOMPARE(e.at(12), (QPair<QString, QString>("buf", "1")));
        QCOMPARE(e.at(13), (QPair<QString, QString>("att", "80")));
        QCOMPARE(e.at(17), (QPair<QString, QString>("llo", "0")));
    }

    void roleText_data() {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "UNKNOWN";
        QTest::newRow("1") << 1 << "ENCODER";
        QTest::newRow("2") << 2 << "DECODER";
        QTest::newRow("3") << 3 << "UNKNOWN";
        QTest::newRow("-1") << -1 << "UNKNOWN";
    }
    void roleText() {
        QFETCH(int, role);
        QFETCH(QString, text);
        QCOMPARE(protocol::RoleText(role), text);
    }
};

QTEST_GUILESS_MAIN(TestProtocolWire)
#include "tst_protocol_wire.moc"
