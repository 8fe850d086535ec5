#include "db/elementlist.h"

#include "db/inistore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace db;

class TestElementList : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath("nms.ini"); }
    void put(const QByteArray& b) {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(b);
    }

private slots:
    void cleanup() { QFile::remove(path()); }

    void messages() {
        QCOMPARE(kMissingDatabaseText,
                 QString("Local database is empty.\rPlease click 'Auto Discover' icon to probe "
                         "the network."));
        QCOMPARE(kEmptyDatabaseText,
                 QString("Local database is empty.\rPlease click the 'Auto Discover' icon to "
                         "probe the network."));
    }

    void missingFile() {
        const ElementList l = BuildElementList(path());
        QCOMPARE(l.empty, ElementList::Empty::MissingFile);
        QVERIFY(l.hidden.isEmpty() && l.nodes.isEmpty() && l.encoders.isEmpty());
    }

    void noSections_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("comment only") << QByteArray("; nothing\r\n\r\n");
        QTest::newRow("empty name") << QByteArray("[]\r\nK=1\r\n");
    }
    void noSections() {
        QFETCH(QByteArray, file);
        put(file);
        const ElementList l = BuildElementList(path());
        QCOMPARE(l.empty, ElementList::Empty::NoSections);
        QVERIFY(l.nodes.isEmpty());
    }

    void encoderAndDecoder() {
        QVERIFY(WriteEntriesToINI("001A2B3C4D5E", {{"name", "STUDIO A        "}, {"role", "1"}},
                                  path()));
        QVERIFY(WriteEntriesToINI("001A2B3C4D5F", {{"name", "SITE B          "}, {"role", "2"}},
                                  path()));
        const ElementList l = BuildElementList(path());
        QCOMPARE(l.empty, ElementList::Empty::No);
        QCOMPARE(l.hidden, (QStringList{"001A2B3C4D5E", "001A2B3C4D5F"}));
        QCOMPARE(l.nodes.size(), 2);
        QCOMPARE(l.nodes[0].key, QString("00:1A:2B:3C:4D:5E"));
        QCOMPARE(l.nodes[0].text, QString("STUDIO A [00:1A:2B:3C:4D:5E]"));
        QVERIFY(l.nodes[0].encoder);
        QCOMPARE(l.nodes[1].text, QString("SITE B [00:1A:2B:3C:4D:5F]"));
        QVERIFY(!l.nodes[1].encoder);
        QCOMPARE(l.encoders, QStringList{"STUDIO A [00:1A:2B:3C:4D:5E]"});
        // Twice gives the same result.
        const ElementList again = BuildElementList(path());
        QCOMPARE(again.hidden, l.hidden);
        QCOMPARE(again.encoders, l.encoders);
        QCOMPARE(again.nodes.size(), 2);
    }

    void roles_data() {
        QTest::addColumn<QByteArray>("roleLine");
        QTest::addColumn<bool>("encoder");
        QTest::newRow("1") << QByteArray("ROLE=1\r\n") << true;
        QTest::newRow("1 blanks") << QByteArray("ROLE= 1 \r\n") << true;
        QTest::newRow("0") << QByteArray("ROLE=0\r\n") << false;
        QTest::newRow("2") << QByteArray("ROLE=2\r\n") << false;
        QTest::newRow("3") << QByteArray("ROLE=3\r\n") << false;
        QTest::newRow("missing") << QByteArray() << false;
        QTest::newRow("text") << QByteArray("ROLE=enc\r\n") << false;
        QTest::newRow("1.0") << QByteArray("ROLE=1.0\r\n") << false;
        QTest::newRow("empty") << QByteArray("ROLE=\r\n") << false;
    }
    void roles() {
        QFETCH(QByteArray, roleLine);
        QFETCH(bool, encoder);
        put("[AABBCCDDEEFF]\r\nNAME=X\r\n" + roleLine);
        const ElementList l = BuildElementList(path());
        QCOMPARE(l.nodes.size(), 1);
        QCOMPARE(l.nodes[0].encoder, encoder);
        QCOMPARE(l.encoders.size(), encoder ? 1 : 0);
    }

    void oddSectionsSkippedInFileOrder() {
        put("[FFFFFFFFFFFF]\r\nNAME=Z\r\nROLE=1\r\n"
            "[short]\r\nNAME=S\r\n"
            "[GGGGGGGGGGGG]\r\nNAME=G\r\n"
            "[aabbccddeeff]\r\nNAME=lower\r\n"
            "[AABBCCDDEEFF]\r\nNAME=dup\r\n"
            "[000000000001]\r\nROLE=1\r\n");
        const ElementList l = BuildElementList(path());
        QCOMPARE(l.hidden, (QStringList{"FFFFFFFFFFFF", "short", "GGGGGGGGGGGG", "aabbccddeeff",
                                        "AABBCCDDEEFF", "000000000001"}));
        QCOMPARE(l.nodes.size(), 3);
        QCOMPARE(l.nodes[0].text, QString("Z [FF:FF:FF:FF:FF:FF]"));
        QCOMPARE(l.nodes[1].text, QString("lower [AA:BB:CC:DD:EE:FF]"));
        QCOMPARE(l.nodes[2].text, QString(" [00:00:00:00:00:01]"));
        QCOMPARE(l.encoders, (QStringList{"Z [FF:FF:FF:FF:FF:FF]", " [00:00:00:00:00:01]"}));
    }
};

QTEST_GUILESS_MAIN(TestElementList)
#include "tst_db_elementlist.moc"
