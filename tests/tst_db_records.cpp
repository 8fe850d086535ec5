#include "db/records.h"

#include <QtTest>

using namespace db;

class TestRecords : public QObject {
    Q_OBJECT
private slots:
    void encode_data() {
        QTest::addColumn<QString>("mac");
        QTest::addColumn<QString>("section");
        QTest::newRow("upper") << "00:1A:2B:3C:4D:5E"
                               << "001A2B3C4D5E";
        QTest::newRow("lower") << "00:1a:2b:3c:4d:5e"
                               << "001A2B3C4D5E";
        QTest::newRow("section name") << "001A2B3C4D5E"
                                      << "";
        QTest::newRow("16") << "00:1A:2B:3C:4D:5"
                            << "";
        QTest::newRow("18") << "00:1A:2B:3C:4D:5E:"
                            << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void encode() {
        QFETCH(QString, mac);
        QFETCH(QString, section);
        QCOMPARE(Encode_MAC(mac), section);
    }

    void decode_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("mac");
        QTest::newRow("upper") << "001A2B3C4D5E"
                               << "00:1A:2B:3C:4D:5E";
        QTest::newRow("lower") << "001a2b3c4d5e"
                               << "00:1A:2B:3C:4D:5E";
        QTest::newRow("11") << "001A2B3C4D5"
                            << "";
        QTest::newRow("13") << "001A2B3C4D5EF"
                            << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void decode() {
        QFETCH(QString, section);
        QFETCH(QString, mac);
        QCOMPARE(Decode_MAC(section), mac);
        if (!mac.isEmpty()) {
            QCOMPARE(mac.size(), 17);
            QCOMPARE(Encode_MAC(mac), section.toUpper());
        }
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_db_records.moc"
