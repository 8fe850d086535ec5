// The element as a typed value: a record of nms.ini loaded and saved again, and the values an
// element reports brought into the ranges the editor holds.
#include "db/element.h"
#include "db/elementstore.h"

#include <QtTest>

using db::Element;
using db::Field;

namespace {

const db::Fields kEveryField{Field::Name,        Field::Ip,           Field::Mask,
                             Field::Gw,          Field::Input,        Field::Type,
                             Field::Tx,          Field::Multi,        Field::Remote,
                             Field::Role,        Field::Serial,       Field::Version,
                             Field::Sfn,         Field::Buffer,       Field::Attenuation,
                             Field::SilenceMode, Field::SilenceLevel, Field::SilenceTime,
                             Field::LowLatency,  Field::Delay,        Field::AutoServo};

} // namespace

class TestElement : public QObject {
    Q_OBJECT
private slots:
    void loadThenSave_data() {
        QTest::addColumn<QByteArray>("record"); // the entries of section S
        QTest::addColumn<QByteArray>("saved");  // every field saved again, in field order
        QTest::newRow("nothing stored: the defaults")
            << QByteArray()
            << QByteArray("NAME=                \r\nIP=\r\nMASK=\r\nGW=\r\nINPUT=-1\r\nTYPE=-1\r\n"
                          "TX=-1\r\nMULTI=239.255.255.239\r\nREMOTE=192.168.1.91\r\nROLE=0\r\n"
                          "SN=\r\nVER=2.00\r\nSFN=0\r\nBUF=1\r\nATT=0\r\nSDM=0\r\nSDL=37\r\n"
                          "SDT=43\r\nLLO=0\r\nDLY=0\r\nSRV=0\r\n");
        QTest::newRow("as the station writes them")
            << QByteArray("NAME=TX NORTH        \r\nIP=192.0.2.11\r\nMASK=255.255.255.0\r\n"
                          "GW=0.0.0.0\r\nINPUT=0\r\nTYPE=1\r\nTX=1\r\nMULTI=239.1.2.3\r\n"
                          "ROLE=2\r\nSN=2002\r\nVER=2.4\r\nSFN=1\r\nBUF=40\r\nATT=200\r\nSDM=2\r\n"
                          "SDL=30\r\nSDT=60\r\nLLO=1\r\nDLY=250\r\nSRV=1\r\n")
            << QByteArray("NAME=TX NORTH        \r\nIP=192.0.2.11\r\nMASK=255.255.255.0\r\n"
                          "GW=0.0.0.0\r\nINPUT=0\r\nTYPE=1\r\nTX=1\r\nMULTI=239.1.2.3\r\n"
                          "REMOTE=192.168.1.91\r\nROLE=2\r\nSN=2002\r\nVER=2.4\r\nSFN=1\r\n"
                          "BUF=40\r\nATT=200\r\nSDM=2\r\nSDL=30\r\nSDT=60\r\nLLO=1\r\nDLY=250\r\n"
                          "SRV=1\r\n");
        // Numbers that are no numbers take their defaults; an address is written plainly.
        QTest::newRow("edited by hand")
            << QByteArray("name=  studio a  \r\nip=192.168.001.010\r\nmask=x\r\ninput=one\r\n"
                          "tx= 1 \r\nrole=3\r\nbuf=1e2\r\natt=-5\r\nsdl=\r\nllo=2\r\nDLY=-7\r\n")
            << QByteArray("NAME=STUDIO A        \r\nIP=192.168.1.10\r\nMASK=x\r\nGW=\r\n"
                          "INPUT=-1\r\nTYPE=-1\r\nTX=1\r\nMULTI=239.255.255.239\r\n"
                          "REMOTE=192.168.1.91\r\nROLE=0\r\nSN=\r\nVER=2.00\r\nSFN=0\r\nBUF=1\r\n"
                          "ATT=-5\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\nLLO=2\r\nDLY=-7\r\nSRV=0\r\n");
    }
    void loadThenSave() {
        QFETCH(QByteArray, record);
        QFETCH(QByteArray, saved);
        QTemporaryDir dir;
        QFile in(dir.filePath("in.ini"));
        QVERIFY(in.open(QIODevice::WriteOnly) && in.write("[S]\r\n" + record) >= 5);
        in.close();
        const Element e = db::ElementStore(in.fileName()).load("S");
        const db::ElementStore out(dir.filePath("out.ini"));
        QVERIFY(out.save("S", e, kEveryField));
        QFile file(out.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "[S]\r\n" + saved);
    }

    void storedNumbers() { // what the readers of these keys tell apart
        QTemporaryDir dir;
        QFile f(dir.filePath("nms.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            "[A]\r\nSFN=x1\r\nROLE=1\r\nIP=10.0.0.1\r\n[B]\r\nSFN=1\r\nROLE=2\r\nIP=10.0.0\r\n");
        f.close();
        const db::ElementStore store(f.fileName());
        QCOMPARE(store.load("A").sfn, std::nullopt);
        QCOMPARE(store.load("B").sfn, 1);
        QCOMPARE(store.load("A").role, db::Role::Encoder);
        QCOMPARE(store.load("B").role, db::Role::Decoder);
        QCOMPARE(store.address("A"), platform::Ipv4Address(0x0A000001));
        QCOMPARE(store.address("B"), std::nullopt);
    }

    void limited_data() {
        QTest::addColumn<db::Variant>("variant");
        QTest::addColumn<QList<int>>("reported"); // attenuation buffer mode level time sfn llo
        QTest::addColumn<QList<int>>("limited");
        const QList<int> inside{200, 5, 1, 37, 43, 1, 1};
        QTest::newRow("inside every range") << db::Variant::Standard << inside << inside;
        QTest::newRow("below") << db::Variant::Standard << QList<int>{13, -1, -1, 0, 0, 0, 0}
                               << QList<int>{14, 0, 0, 1, 1, 0, 0};
        QTest::newRow("above") << db::Variant::Standard << QList<int>{256, 255, 3, 155, 221, 2, 255}
                               << QList<int>{255, 22, 2, 154, 220, 0, 0};
        QTest::newRow("GPSDO buffer") << db::Variant::Gps << QList<int>{14, 24, 0, 1, 1, 0, 0}
                                      << QList<int>{14, 23, 0, 1, 1, 0, 0};
        QTest::newRow("low-latency buffer")
            << db::Variant::LowLatency << QList<int>{14, 45, 0, 1, 1, 0, 0}
            << QList<int>{14, 44, 0, 1, 1, 0, 0};
    }
    void limited() {
        QFETCH(db::Variant, variant);
        QFETCH(QList<int>, reported);
        QFETCH(QList<int>, limited);
        Element e;
        e.attenuation = reported[0];
        e.buffer = reported[1];
        e.silenceMode = reported[2];
        e.silenceLevel = reported[3];
        e.silenceTime = reported[4];
        e.sfn = reported[5];
        e.lowLatency = reported[6];
        const Element l = db::limitedTo(e, db::ElementLimits::forVariant(variant));
        QCOMPARE((QList<int>{l.attenuation, l.buffer, l.silenceMode, l.silenceLevel, l.silenceTime,
                             int(l.sfn.value_or(-1)), l.lowLatency}),
                 limited);
    }
};

QTEST_GUILESS_MAIN(TestElement)
#include "tst_db_element.moc"
