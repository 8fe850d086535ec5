// Captions of the audio parameter bars, with a decimal point in every locale.
#include "editor/captions.h"

#include <QtTest>

class TestEditorCaptions : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QFETCH_GLOBAL(QString, locale);
        QLocale::setDefault(QLocale(locale));
    }
    void initTestCase_data() {
        QTest::addColumn<QString>("locale");
        QTest::newRow("C") << "C";
        QTest::newRow("de_DE") << "de_DE";
        QTest::newRow("fr_FR") << "fr_FR";
    }

    void attenuation_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("caption");
        QTest::newRow("255") << 255 << "0 dB";
        QTest::newRow("254") << 254 << "-0.5 dB";
        QTest::newRow("253") << 253 << "-1 dB";
        QTest::newRow("100") << 100 << "-77.5 dB";
        QTest::newRow("15") << 15 << "-120 dB";
        QTest::newRow("14") << 14 << "Mute";
    }
    void attenuation() {
        QFETCH(int, value);
        QFETCH(QString, caption);
        QCOMPARE(editor::AttenuationCaption(value), caption);
    }

    void silenceLevel_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("caption");
        QTest::newRow("37") << 37 << "-18.4dBu";
        QTest::newRow("1") << 1 << "-49.8dBu";
        QTest::newRow("154") << 154 << "-6dBu";
        QTest::newRow("100") << 100 << "-9.8dBu";
    }
    void silenceLevel() {
        QFETCH(int, value);
        QFETCH(QString, caption);
        QCOMPARE(editor::SilenceLevelCaption(value), caption);
    }

    void silenceTime_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("caption");
        QTest::newRow("43") << 43 << "19.6Sec";
        QTest::newRow("1") << 1 << "0.5Sec";
        QTest::newRow("220") << 220 << "100.1Sec";
        QTest::newRow("11") << 11 << "5Sec";
    }
    void silenceTime() {
        QFETCH(int, value);
        QFETCH(QString, caption);
        QCOMPARE(editor::SilenceTimeCaption(value), caption);
    }

    void latency_data() {
        QTest::addColumn<int>("buffer");
        QTest::addColumn<bool>("lowLatency");
        QTest::addColumn<bool>("gps");
        QTest::addColumn<bool>("sfn");
        QTest::addColumn<double>("ms");
        QTest::addColumn<QString>("caption");
        QTest::newRow("B1 low latency") << 1 << true << false << false << 3.75 << "3.75mS";
        QTest::newRow("B1 gps") << 1 << false << true << false << 5.0 << "5mS";
        QTest::newRow("B1 sfn") << 1 << false << false << true << 5.0 << "5mS";
        QTest::newRow("B1 plain") << 1 << false << false << false << 7.5 << "7.5mS";
        QTest::newRow("LL 22") << 22 << true << false << false << 30.0 << "30mS";
        QTest::newRow("LL 44") << 44 << true << false << false << 57.5 << "57.5mS";
        QTest::newRow("LL wins over gps") << 0 << true << true << true << 2.5 << "2.5mS";
        QTest::newRow("plain 0") << 0 << false << false << false << 5.0 << "5mS";
        QTest::newRow("plain 22") << 22 << false << false << false << 60.0 << "60mS";
        QTest::newRow("gps 23") << 23 << false << true << false << 60.0 << "60mS";
        QTest::newRow("LL 3") << 3 << true << false << false << 6.25 << "6.25mS";
    }
    void latency() {
        QFETCH(int, buffer);
        QFETCH(bool, lowLatency);
        QFETCH(bool, gps);
        QFETCH(bool, sfn);
        QFETCH(double, ms);
        QFETCH(QString, caption);
        QCOMPARE(editor::LatencyMs(buffer, lowLatency, gps, sfn), ms);
        QCOMPARE(editor::LatencyCaption(buffer, lowLatency, gps, sfn), caption);
    }

    void neverMinusZero() {
        QVERIFY(!editor::AttenuationCaption(255).startsWith('-'));
        QVERIFY(!editor::SilenceTimeCaption(0).startsWith('-'));
        QCOMPARE(editor::SilenceTimeCaption(0), QString("0Sec"));
    }
};

QTEST_GUILESS_MAIN(TestEditorCaptions)
#include "tst_editor_captions.moc"
