// The station in one process with a real UDP socket playing the element on loopback: what
// needs a box held open, a scripted address table or a hand-edited file.
#include "support/stationfixture.h"

#include "db/inistore.h"

#include <QtTest>
#include <QtWidgets>

using namespace testsupport;
using namespace testsupport::loopback;

namespace {

const QString kOther = "127.0.10.7"; // the station's second interface
// The decoder as stored from its feedback with the name "NEW NAME".
const QByteArray kStored = QByteArray(kDecoder)
                               .replace("TX SITE ", "NEW NAME")
                               .replace("2.8", "2.9")
                               .replace("BUF=3", "BUF=4")
                               .replace("T=200", "T=220");

// A start of the station on the interfaces kStation and kOther, and a click that ends it.
struct Start {
    QStringList arguments;
    int tableError = 0;       // of the local address table
    QString saved = kStation; // "NMS IP Address"
    QString held;             // another socket holds the port at this address
    int port = 2976;
    QString click; // a control clicked, with the decoder selected, once started
    bool runs = true;
    QString variant; // of the title
    int bufferMax = 22;
    QStringList boxes;
    QString savedAfter = kStation; // where the station holds port 2976 if it runs
};

// "Save changes" on the decoder, or with nothing selected.
struct Save {
    bool selected = true;
    QString name = "new name", ip = kElement;
    QString unselected; // a list left without a selection
    bool withIni = true;
    QByteArray answer;  // the element's; empty: nothing may be sent
    int macLookups = 1; // one a tick of the wait window
    QString box;        // the last box
    QByteArray stored = "[02000000000B]\r\nNAME=TX SITE  ";
};

} // namespace

class TestStation : public QObject {
    Q_OBJECT
private slots:
    void startUp_data() {
        QTest::addColumn<Start>("s");
        QTest::newRow("none") << Start{};
        QTest::newRow("gPs") << Start{
            .arguments = {"gPs"}, .variant = " [GPSDO version]", .bufferMax = 23};
        QTest::newRow("lL") << Start{
            .arguments = {"lL"}, .variant = " [Low Latency Option]", .bufferMax = 44};
        // Anything beside the one word: neither variant.
        QTest::newRow("GPS LL") << Start{.arguments = {"GPS", "LL"}};
        // The address table cannot be read (too many addresses).
        QTest::newRow("address table")
            << Start{.tableError = 122,
                     .runs = false,
                     .boxes = {"GetIpAddrTable failed with return value 122"}};
        // The interface chosen: the saved one while it is there, else the first, saved only
        // once the station is bound there.
        QTest::newRow("saved present") << Start{.saved = kOther, .savedAfter = kOther};
        QTest::newRow("saved gone") << Start{.saved = "127.0.10.99"};
        // A port held by another socket ends the program after its message.
        QTest::newRow("2978 taken: statistics")
            << Start{.held = kStation,
                     .port = 2978,
                     .click = "cmdGetStats",
                     .boxes = {"Error 2: Unable to use UDP port 2978: occupied."}};
        QTest::newRow("2978 taken: SFN")
            << Start{.held = kStation,
                     .port = 2978,
                     .click = "cmdAdjust",
                     .boxes = {"Unable to use UDP port 2978: occupied."}};
        // A station that could not move to another interface keeps its setting.
        QTest::newRow("other interface taken")
            << Start{.held = kOther,
                     .click = "cmbNMSIPAddr",
                     .boxes = {"Unable to use UDP port 2976: occupied."}};
    }
    void startUp() {
        QFETCH(Start, s);
        StationFixture f(kStation);
        f.writeIni(kEncoder + kDecoder);
        f.addresses.list.addresses = {kStation, kOther};
        if (s.tableError)
            f.addresses.failWith(s.tableError);
        f.settings.values["NMS IP Address"] = s.saved;
        QUdpSocket holder;
        QVERIFY(s.held.isEmpty() || holder.bind(QHostAddress(s.held), s.port));
        QCOMPARE(f.start(s.arguments), s.runs);
        if (s.runs) {
            QCOMPARE(f.station().window().windowTitle(),
                     "Kestrune NMS v.3.4.8" + s.variant + " - Talvoren Broadcast");
            QCOMPARE(f.find<QScrollBar>("scrlBuffer")->maximum(), s.bufferMax);
            QVERIFY(!QUdpSocket().bind(QHostAddress(s.savedAfter), 2976));
            // The ping button waits in light yellow.
            QCOMPARE(f.find<QPushButton>("cmdPing")->palette().color(QPalette::Button),
                     QColor(255, 255, 192));
        }
        if (!s.click.isEmpty()) {
            QVERIFY(f.selectNode(kDecoderMac));
            if (auto* button = f.find<QPushButton>(s.click))
                button->click();
            else
                emit f.find<QComboBox>(s.click)->activated(1);
        }
        QCOMPARE(f.station().hasEnded(), !s.runs || !s.click.isEmpty());
        QCOMPARE(f.boxes.texts(), s.boxes);
        QCOMPARE(f.settings.values["NMS IP Address"], s.savedAfter);
        QCOMPARE(f.settings.saves, int(s.savedAfter != s.saved));
    }

    // Each node shows its role's picture, one shared per role and the same when selected; a
    // rebuild asked for from inside a rebuild runs after it, on the new file; hand-edited
    // values load by their rules; closing the window stops a rebuild.
    void elementList() {
        Loopback f;
        QTimer::singleShot(0, [&] {
            db::WriteToINI("02000000000D", "name", "LATE", f.iniPath());
            f.station().Load_Config();
        });
        f.station().Load_Config();
        auto* tree = f.find<QTreeWidget>("TreeView1");
        QCOMPARE(tree->topLevelItem(2)->text(0), "LATE [02:00:00:00:00:0D]");
        QCOMPARE(f.find<QGroupBox>("frmTreeView")->title(), "Select element: (3 items)");
        const auto image = [&](QIcon icon, QIcon::Mode mode = QIcon::Normal) {
            return icon.pixmap(64, mode).toImage();
        };
        const auto icon = [&](int node) { return tree->topLevelItem(node)->icon(0); };
        QCOMPARE(image(icon(0)), image(QIcon(":/kestrune/icons/image6.png")));
        QCOMPARE(image(icon(1)), image(QIcon(":/kestrune/icons/image7.png")));
        QCOMPARE(image(icon(1), QIcon::Selected), image(icon(1)));
        QCOMPARE(icon(2).cacheKey(), icon(1).cacheKey());

        const QByteArray ini =
            kEncoder +
            "[020000000010]\r\nNAME=ODD\r\nIP=127.0.10.5\r\nTYPE=7\r\nROLE=2\r\nATT=014\r\n"
            "SFN=2\r\nLLO=01\r\n";
        f.writeIni(ini);
        f.station().RefreshList();
        QVERIFY(f.selectNode("02:00:00:00:00:10"));
        // Outside a list: no selection; only exactly 1 ticks.
        QCOMPARE(f.find<QComboBox>("cmbAudioType")->currentIndex(), -1);
        QCOMPARE(f.find<QScrollBar>("scrlAtten")->value(), 14);
        QCOMPARE(f.find<QCheckBox>("chkSFNEnabled")->isChecked(), false);
        QCOMPARE(f.find<QCheckBox>("chkLowLatency")->isChecked(), true);
        // Declining the discovery question keeps everything.
        f.station().AutoDiscover();
        QCOMPARE(f.boxes.texts(), QStringList{kDiscoveryQuestion});
        QCOMPARE(f.readIni(), ini); // 14 is not below the bar: nothing rewritten
        QTimer::singleShot(0, &f.station().window(), &QWidget::close);
        f.station().RefreshList();
        QCOMPARE(tree->topLevelItemCount(), 0);
    }

    void save_data() {
        QTest::addColumn<Save>("s");
        const QString audioWrong = "Please verify that all audio fields are correct!\rCannot save.";
        // The checks in their order, each refusing whatever follows it.
        QTest::newRow("no element") << Save{.selected = false,
                                            .name = "",
                                            .ip = "1.2.3",
                                            .box = "No Network Element selected!\rCannot save."};
        QTest::newRow("no input") << Save{
            .name = "", .unselected = "cmbAudioInput", .box = audioWrong};
        QTest::newRow("no name") << Save{
            .name = "",
            .ip = "1.2.3.256",
            .box = "Please verify that the name field is correct!\rCannot save."};
        QTest::newRow("bad address")
            << Save{.ip = "1.2.3.256",
                    .box = "Please verify that all IP fields are correct!\rCannot save."};
        // The database went away after the element was loaded.
        QTest::newRow("no nms.ini")
            << Save{.withIni = false,
                    .box = "The local database in your computer, is corrupted!\rCannot save."};
        // The question answered No.
        QTest::newRow("No") << Save{.box = kQuestion};
        const QByteArray confirmed = feedback("NEW NAME");
        QTest::newRow("decoder") << Save{.answer = confirmed, .box = kSaved, .stored = kStored};
        QTest::newRow("remote differs")
            << Save{.answer = feedback("NEW NAME", "239.9.9.9"),
                    .box = "An error occured while saving 'Remote IP':\rFeedback is corrupted.",
                    .stored = "MULTI=239.1.2.3\r\n"};
        // The answer reports another element's address.
        QTest::newRow("another element")
            << Save{.answer = QByteArray(confirmed).replace(3, 1, "\x06"),
                    .box = "The response received does not match the selected element.\rCannot "
                           "save this element info."};
        // No MAC for the address the answer reports: the wait window gives up after its ticks
        // and nothing is stored.
        QTest::newRow("no MAC") << Save{
            .answer = QByteArray(confirmed).replace(3, 1, "\x05"),
            .macLookups = 21,
            .box = "An error occured while retrieving 'Element MAC':\rFeedback is "
                   "corrupted."};
    }
    // A refused upload sends nothing and starts no time-out. Otherwise the configuration goes
    // to the address stored when the question is answered (the hook moves it there, written
    // by hand with a blank), and the answer ends the wait.
    void save() {
        QFETCH(Save, s);
        Loopback f(kEncoder + QByteArray(kDecoder).replace("IP=127.0.10.2", "IP=127.0.10.8"));
        f.arp(kElement, kDecoderMac);
        f.arp("127.0.10.6", kEncoderMac);
        QVERIFY(!s.selected || f.selectNode(kDecoderMac));
        if (!s.unselected.isEmpty())
            f.find<QComboBox>(s.unselected)->setCurrentIndex(-1);
        f.find<QLineEdit>("txtElementName")->setText(s.name);
        f.find<QLineEdit>("txtElementIP")->setText(s.ip);
        QVERIFY(s.withIni || QFile::remove(f.iniPath()));
        if (s.answer.isEmpty()) {
            f.station().SaveChanges(); // a question is answered No
            QCOMPARE(f.boxes.texts(), QStringList{s.box});
            QVERIFY(!f.element.waitForReadyRead(50) &&
                    !f.station().upload().timerRemoteSent()->isActive());
            return;
        }
        f.boxes.onShow = [&](auto& r) {
            if (r.text == kQuestion)
                db::WriteToINI("02000000000B", "ip", "127.0.10. 2", f.iniPath());
        };
        QCOMPARE(f.save(s.name).size(), 41);
        f.send(s.answer);
        QTRY_COMPARE(f.boxes.texts(), (QStringList{kQuestion, s.box}));
        QTest::qWait(400); // past the time-out: the answer stopped it
        QCOMPARE(f.boxes.shown.size(), 2);
        QVERIFY(f.readIni().contains(s.stored));
        QCOMPARE(f.neighbours.lookups, s.macLookups);
    }
};

QTEST_MAIN(TestStation)
#include "tst_station.moc"
