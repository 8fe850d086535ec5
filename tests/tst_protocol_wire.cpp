// The datagrams of the station as bytes: requests, attenuation, configuration, feedback
// decoding, checks and discovery record, the audio level reply.
#include "protocol/levelreply.h"
#include "protocol/wire.h"

#include <QtTest>

using protocol::ConfigurationFields;
Q_DECLARE_METATYPE(ConfigurationFields)

namespace {

QByteArray Hex(const char* hex) {
    return QByteArray::fromHex(hex);
}

// A feedback cut to `length`: 192.168.1.50/24, gateway .1, remote 239.255.255.239, input 1,
// type 0, tx 1, name Studio 1, serial 74565; tail byte k is 0x50 + (k - 40).
QByteArray Feedback(int role, int length, int offset = 0, const char* patch = "") {
    QByteArray d = Hex("C0A80132 FFFFFF00 C0A80101 EFFFFFEF 010001") + "Studio 1        ";
    d += char(role) + Hex("00012345");
    for (int k = 40; k < 54; ++k)
        d += char(0x50 + (k - 40));
    return d.replace(offset, Hex(patch).size(), Hex(patch)).left(length);
}

// Every field distinct, so that a byte in the wrong place shows.
ConfigurationFields Fields() {
    return {"192.168.1.91",
            "255.255.255.0",
            "192.168.001.001",
            "239.255.255.239",
            1,
            0x102,
            3,
            true,
            "Studio 1",
            12,
            4,
            37,
            43,
            true};
}

QString Record(const db::IniEntries& entries) {
    QStringList out;
    for (const auto& [key, value] : entries)
        out << key + "=" + value;
    return out.join('|');
}

} // namespace

class TestProtocolWire : public QObject {
    Q_OBJECT
private slots:
    void requests() {
        QCOMPARE(protocol::PagingRequest(), QByteArray("IPMPXSTL TALVOREN PAGING REQUEST"));
        QCOMPARE(protocol::LevelRequest(), QByteArray("VOL"));
        QCOMPARE(protocol::BuildAttenuation(12), Hex("0C00"));
        QCOMPARE(protocol::BuildAttenuation(255), Hex("FF00"));
    }

    void configuration_data() {
        QTest::addColumn<ConfigurationFields>("fields");
        QTest::addColumn<bool>("decoder");
        QTest::addColumn<QByteArray>("bytes"); // empty: refused
        const auto with = [](auto change) {
            ConfigurationFields f = Fields();
            change(f);
            return f;
        };
        const QByteArray head = Hex("C0A8015B FFFFFF00 C0A80101 EFFFFFEF 01020301");
        QTest::newRow("decoder") << Fields() << true
                                 << head + "STUDIO 1        " + Hex("0C04252B01");
        QTest::newRow("encoder") << Fields() << false << head + "STUDIO 1        " + Hex("01");
        QTest::newRow("20 characters cut") << with([](auto& f) { f.name = "abcdefghijklmnopqrst"; })
                                           << false << head + "ABCDEFGHIJKLMNOP" + Hex("01");
        QTest::newRow("latin-1") << with([](auto& f) { f.name = QString::fromUtf8("caf\xc3\xa9"); })
                                 << false << head + "CAF\xC9" + QByteArray(12, ' ') + Hex("01");
        QTest::newRow("sfn and low latency off")
            << with([](auto& f) { f.sfn = f.lowLatency = false; }) << true
            << Hex("C0A8015B FFFFFF00 C0A80101 EFFFFFEF 01020300") + "STUDIO 1        " +
                   Hex("0C04252B00");
        QTest::newRow("ip 256") << with([](auto& f) { f.ip = "10.0.0.256"; }) << true
                                << QByteArray();
        QTest::newRow("mask 3 parts")
            << with([](auto& f) { f.mask = "255.255.0"; }) << false << QByteArray();
        QTest::newRow("gw text") << with([](auto& f) { f.gw = "gateway"; }) << true << QByteArray();
        QTest::newRow("remote 5 parts")
            << with([](auto& f) { f.remote = "239.1.1.1.1"; }) << false << QByteArray();
    }
    void configuration() {
        QFETCH(ConfigurationFields, fields);
        QFETCH(bool, decoder);
        QFETCH(QByteArray, bytes);
        QCOMPARE(protocol::BuildConfiguration(fields, decoder).toHex(' '), bytes.toHex(' '));
    }

    void discovery_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("record"); // after name to type, which every row shares
        const auto row = [](const char* name, const QByteArray& d, const QString& record) {
            QTest::newRow(name) << d << record;
        };
        const QString multi = "tx=1|multi=239.255.255.239|role=";
        const QString plain = "|ver=2.0|sfn=0|buf=0|llo=0";
        row("encoder 40", Feedback(1, 40), multi + "1|sn=74565" + plain);
        row("encoder 41", Feedback(1, 41), multi + "1|sn=74565" + plain);
        row("unknown role, serial -1", Feedback(0, 40, 36, "FFFFFFFF"), multi + "0|sn=-1" + plain);
        row("serial min", Feedback(1, 40, 36, "80000000"), multi + "1|sn=-2147483648" + plain);
        row("encoder 42", Feedback(1, 42), multi + "1|sn=74565|ver=80.81|sfn=0|buf=0|llo=0");
        row("encoder 44", Feedback(1, 44), multi + "1|sn=74565|ver=80.81|sfn=82|buf=83|llo=0");
        row("encoder unicast", Feedback(1, 45, 18, "00"),
            "tx=0|remote=239.255.255.239|role=1|sn=74565|ver=80.81|sfn=82|buf=83|llo=84");
        row("decoder 40", Feedback(2, 40),
            multi + "2|sn=74565|ver=2.0|sfn=0|buf=1|att=255|sdm=0|sdl=37|sdt=43|llo=0");
        row("decoder 41", Feedback(2, 41),
            multi + "2|sn=74565|ver=2.0|sfn=0|buf=1|att=80|sdm=0|sdl=37|sdt=43|llo=0");
        row("decoder 45", Feedback(2, 45),
            multi + "2|sn=74565|ver=81.82|sfn=83|buf=84|att=80|sdm=0|sdl=37|sdt=43|llo=0");
        row("decoder 46", Feedback(2, 46),
            multi + "2|sn=74565|ver=81.82|sfn=83|buf=84|att=80|sdm=85|sdl=37|sdt=43|llo=0");
        row("decoder 53", Feedback(2, 53),
            multi + "2|sn=74565|ver=81.82|sfn=83|buf=84|att=80|sdm=85|sdl=86|sdt=87|llo=0");
        row("decoder unicast 54", Feedback(2, 54, 18, "00"),
            "tx=0|multi=239.255.255.239|role=2|sn=74565|ver=81.82|sfn=83|buf=84|att=80|sdm=85|"
            "sdl=86|sdt=87|llo=93");
    }
    void discovery() {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, record);
        const auto f = protocol::DecodeFeedback(datagram);
        QVERIFY(f);
        QCOMPARE(Record(protocol::DiscoveryRecord(*f)),
                 "name=STUDIO 1        |ip=192.168.1.50|mask=255.255.255.0|gw=192.168.1.1|"
                 "input=1|type=0|" +
                     record);
        QVERIFY(!protocol::DecodeFeedback(datagram.left(39)));
    }

    void nameBytes() {
        // Control bytes would break the stored record: they become blanks.
        const auto f =
            protocol::DecodeFeedback(Feedback(1, 45, 19, "41E9017F1F20424344454647484950 51"));
        QCOMPARE(f->name, QString::fromUtf8("A\xc3\xa9    BCDEFGHIPQ"));
    }

    void checks_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("address");   // this address text made invalid, -1: none
        QTest::addColumn<QString>("label"); // empty: passes
        const auto row = [](const char* name, const QByteArray& d, int address, const char* label) {
            QTest::newRow(name) << d << address << QString::fromLatin1(label);
        };
        row("good", Feedback(1, 45), -1, "");
        row("role 0, serial 1", Feedback(0, 45, 36, "00000001"), -1, "");
        row("input 2", Feedback(1, 45, 16, "02"), -1, "Audio Input");
        row("type 2", Feedback(1, 45, 17, "02"), -1, "Audio Type");
        row("tx 255", Feedback(1, 45, 18, "FF"), -1, "TX Type");
        row("role 3", Feedback(1, 45, 35, "03"), -1, "Element Type");
        row("serial 0", Feedback(1, 45, 36, "00000000"), -1, "Serial Number");
        row("serial negative", Feedback(1, 45, 36, "80000001"), -1, "Serial Number");
        row("first failure wins", Feedback(1, 45, 16, "0505"), -1, "Audio Input");
        // Each with a bad serial too, which must not hide the address.
        row("ip", Feedback(2, 54, 36, "00000000"), 0, "Element IP");
        row("mask", Feedback(2, 54, 36, "00000000"), 1, "Element Mask");
        row("gw", Feedback(2, 54, 36, "00000000"), 2, "Element GW");
        row("remote", Feedback(2, 54, 36, "00000000"), 3, "Remote / Multicast IP");
    }
    void checks() {
        QFETCH(QByteArray, datagram);
        QFETCH(int, address);
        QFETCH(QString, label);
        protocol::Feedback f = *protocol::DecodeFeedback(datagram);
        QString* addresses[] = {&f.ip, &f.mask, &f.gw, &f.remote};
        if (address >= 0)
            *addresses[address] = "1.2.3";
        const QString expected =
            "An error occured while retrieving '" + label + "':\rFeedback is corrupted.";
        QCOMPARE(protocol::CheckFeedback(f).value_or(QString()),
                 label.isEmpty() ? QString() : expected);
    }

    void level_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QChar>("separator");
        QTest::addColumn<int>("peak");
        QTest::addColumn<int>("width"); // twips
        QTest::addColumn<QString>("caption");
        // `length` bytes of negative samples with one sample put at index k.
        const auto reply = [](int length, int k = 0, const char* sample = "FFFFFF") {
            return QByteArray(length, char(0xFF)).replace(3 * k, 3, Hex(sample));
        };
        const auto row = [](const char* name, const QByteArray& r, char sep, int peak, int width,
                            const char* caption) {
            QTest::newRow(name) << r << QChar(sep) << peak << width << QString(caption);
        };
        row("half scale", reply(1201, 10, "400000"), '.', 4194304, 1050, "-6dBFS");
        row("full scale", reply(1201, 399, "7FFFFF"), '.', 8388607, 2100, "0dBFS");
        row("only negative", reply(1201), '.', 0, 0, "-oodBFS");
        row("silence", QByteArray(1201, '\0'), '.', 0, 0, "-oodBFS");
        // 0x2A0000 / 2^23 = 0.328125: -9.679 dB, 689.06 twips.
        row("one decimal", reply(1201, 5, "2A0000"), '.', 2752512, 689, "-9.7dBFS");
        row("decimal comma", reply(1201, 5, "2A0000"), ',', 2752512, 689, "-9,7dBFS");
        row("whole with comma", reply(1201, 3, "400000"), ',', 4194304, 1050, "-6dBFS");
        row("smallest", reply(1201, 5, "000001"), '.', 1, 0, "-138.5dBFS");
        // 262.5 twips: the tie goes to the even 262.
        row("width tie", reply(1201, 7, "100000"), '.', 1048576, 262, "-18.1dBFS");
        row("largest wins", reply(1201, 1, "100000").replace(30, 3, Hex("300000")), '.', 3145728,
            788, "-8.5dBFS");
        // A sample counts only when a byte follows it.
        row("1204: last sample", reply(1204, 400, "400000"), '.', 4194304, 1050, "-6dBFS");
        row("1203: tail unused", reply(1203, 400, "400000"), '.', 0, 0, "-oodBFS");
        row("empty", QByteArray(), '.', 0, 0, "-oodBFS");
        row("3 bytes", QByteArray(3, 0x40), '.', 0, 0, "-oodBFS");
        row("4 bytes", QByteArray(4, 0x40), '.', 0x404040, 1054, "-6dBFS");
        row("7 bytes", QByteArray(7, 0x40), '.', 0x404040, 1054, "-6dBFS");
    }
    void level() {
        QFETCH(QByteArray, reply);
        QFETCH(QChar, separator);
        QFETCH(int, peak);
        QFETCH(int, width);
        QFETCH(QString, caption);
        const protocol::LevelReading r = protocol::ParseLevelReply(reply, separator);
        QCOMPARE(r.peak, peak);
        QCOMPARE(r.widthTwips, width);
        QCOMPARE(r.caption, caption);
        if (peak == 0)
            QCOMPARE(protocol::SilentLevel().caption, caption);
    }
};

QTEST_GUILESS_MAIN(TestProtocolWire)
#include "tst_protocol_wire.moc"
