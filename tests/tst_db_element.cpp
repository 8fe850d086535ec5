// The element as a typed value: a record of nms.ini loaded and saved again, and the values an
// element reports brought into the ranges the editor holds.
#include "db/elementstore.h"

#include <QtTest>

using namespace db;

class TestElement : public QObject {
    Q_OBJECT

private slots:
    // Loaded and saved again, every field in field order: missing values and numbers that are
    // no numbers take their defaults; an address is written plainly, anything else as it was.
    void loadThenSave_data() {
        QTest::addColumn<QByteArray>("record"); // the entries of section S
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QString>("address"); // the stored one, "" for none
        QTest::addColumn<int>("sfn");         // as loaded: 0 when missing, -1 for no number
        // As the station writes them, but for an address and an SFN that are none.
        const QByteArray station =
            "NAME=TX NORTH        \r\nIP=10.0.0\r\nMASK=255.255.255.0\r\nGW=0.0.0.0\r\nINPUT=0\r\n"
            "TYPE=1\r\nTX=1\r\nMULTI=239.1.2.3\r\nREMOTE=192.0.2.99\r\nROLE=2\r\nSN=2002\r\n"
            "VER=2.4\r\nSFN=x1\r\nBUF=40\r\nATT=200\r\nSDM=2\r\nSDL=30\r\nSDT=60\r\nLLO=1\r\n"
            "DLY=250\r\nSRV=1\r\n";
        QTest::newRow("as the station writes them")
            << station << QByteArray(station).replace("SFN=x1", "SFN=0") << "" << -1;
        QTest::newRow("edited by hand")
            << QByteArray("name=  studio a  \r\nip=192.168.001.010\r\nmask=x\r\ninput=one\r\n"
                          "tx= 1 \r\nrole=3\r\nbuf=1e2\r\natt=-5\r\nsdl=\r\nllo=2\r\nDLY=-7\r\n")
            << QByteArray("NAME=STUDIO A        \r\nIP=192.168.1.10\r\nMASK=x\r\nGW=\r\n"
                          "INPUT=-1\r\nTYPE=-1\r\nTX=1\r\nMULTI=239.255.255.239\r\n"
                          "REMOTE=192.168.1.91\r\nROLE=0\r\nSN=\r\nVER=2.00\r\nSFN=0\r\nBUF=1\r\n"
                          "ATT=-5\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\nLLO=2\r\nDLY=-7\r\nSRV=0\r\n")
            << "192.168.1.10" << 0;
    }
    void loadThenSave() {
        QFETCH(QByteArray, record);
        QFETCH(QByteArray, saved);
        QFETCH(QString, address);
        QFETCH(int, sfn);
        QTemporaryDir dir;
        const ElementStore in(dir.filePath("in.ini")), out(dir.filePath("out.ini"));
        QFile f(in.path());
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("[S]\r\n" + record) > 0);
        f.close();
        Fields every;
        for (int i = 0; i <= int(Field::AutoServo); ++i)
            every << Field(i);
        QVERIFY(out.save("S", in.load("S"), every));
        QFile o(out.path());
        QVERIFY(o.open(QIODevice::ReadOnly));
        QCOMPARE(o.readAll(), "[S]\r\n" + saved);
        QCOMPARE(in.address("S") ? in.address("S")->toString() : "", address);
        QCOMPARE(in.load("S").sfn.value_or(-1), sfn);
    }

    // Values as reported and as limited, the silence detector's mode 3 and above becoming 2.
    void limited_data() {
        QTest::addColumn<Variant>("variant");
        QTest::addColumn<QList<int>>("reported"); // sfn buffer attenuation mode level time llo
        QTest::addColumn<QList<int>>("limited");
        const auto row = [](const char* name, Variant variant, QList<int> reported,
                            QList<int> limited) {
            QTest::newRow(name) << variant << reported << limited;
        };
        row("below", Variant::Standard, {0, -1, 13, -1, 0, 0, 0}, {0, 0, 14, 0, 1, 1, 0});
        row("above", Variant::Standard, {2, 255, 256, 3, 155, 221, 255},
            {0, 22, 255, 2, 154, 220, 0});
        // The rest inside every range, kept as reported.
        row("GPSDO buffer", Variant::Gps, {1, 24, 200, 1, 37, 43, 1}, {1, 23, 200, 1, 37, 43, 1});
        row("low-latency buffer", Variant::LowLatency, {0, 45, 14, 0, 1, 1, 0},
            {0, 44, 14, 0, 1, 1, 0});
    }
    void limited() {
        QFETCH(Variant, variant);
        QFETCH(QList<int>, reported);
        QFETCH(QList<int>, limited);
        const Element l = limitedTo({.sfn = reported[0],
                                     .buffer = reported[1],
                                     .attenuation = reported[2],
                                     .silenceMode = reported[3],
                                     .silenceLevel = reported[4],
                                     .silenceTime = reported[5],
                                     .lowLatency = reported[6]},
                                    ElementLimits::forVariant(variant));
        QCOMPARE((QList<int>{int(*l.sfn), l.buffer, l.attenuation, l.silenceMode, l.silenceLevel,
                             l.silenceTime, l.lowLatency}),
                 limited);
    }
};

QTEST_GUILESS_MAIN(TestElement)
#include "tst_db_element.moc"
