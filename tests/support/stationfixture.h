#pragma once
// A station that runs in a temporary program directory with scripted boxes, in-memory
// settings and a scripted address table, so a test drives it without touching the user's
// files.
#include "app/frmMain.h"
#include "app/station.h"
#include "fakes/fakelocaladdresses.h"
#include "fakes/fakeneighbourtable.h"
#include "fakes/memorysettings.h"
#include "fakes/scriptedmessagebox.h"
#include "platform/programdir.h"

#include <QtNetwork>
#include <QtWidgets>

namespace testsupport {

class StationFixture {
public:
    // The time-outs are short so that a test waits little.
    explicit StationFixture(const QString& stationAddress,
                            app::Station::Timing timing = {300, 10, 300, 3000}) {
        platform::setProgramDirectory(dir.path());
        qputenv("KESTRUNE_LOCK_PATH", QFile::encodeName(dir.filePath("nms.lock")));
        settings.values.insert("EULA1", "1");
        settings.values.insert("NMS IP Address", stationAddress);
        addresses.list.addresses = {stationAddress};
        m_station = std::make_unique<app::Station>(timing);
    }
    ~StationFixture() {
        m_station.reset();
        platform::setProgramDirectory(QString());
    }

    QString iniPath() const { return dir.filePath("nms.ini"); }
    void writeIni(const QByteArray& bytes) const {
        QFile f(iniPath());
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    QByteArray readIni() const {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Runs the start-up sequence with the given arguments.
    bool start(const QStringList& arguments = {}) { return m_station->start(arguments); }

    app::Station& station() { return *m_station; }
    // A control of the window, found by its name as a script finds it.
    template <class T> T* find(const QString& name) {
        return m_station->window().findChild<T*>(name);
    }

    // Clicks the tree node whose key is this MAC text; false when there is none.
    bool selectNode(const QString& mac) {
        auto* tree = find<QTreeWidget>("TreeView1");
        const auto items = tree->findItems('[' + mac + ']', Qt::MatchEndsWith);
        if (!items.isEmpty())
            tree->setCurrentItem(items[0]); // as the press of a click chooses it
        return !items.isEmpty();
    }
    // The neighbour table finds this MAC text for the address.
    void arp(const QString& address, const QString& mac) {
        neighbours.add(QHostAddress(address).toIPv4Address(), QByteArray::fromHex(mac.toLatin1()));
    }

    QTemporaryDir dir;
    platform::ScriptedMessageBox boxes;
    platform::MemorySettings settings;
    platform::FakeLocalAddresses addresses;
    platform::FakeNeighbourTable neighbours;

private:
    std::unique_ptr<app::Station> m_station;
};

// The station and an element on loopback, their records, and the texts of an upload.
namespace loopback {

inline const QString kStation = "127.0.10.1", kElement = "127.0.10.2",
                     kEncoderMac = "02:00:00:00:00:0A", kDecoderMac = "02:00:00:00:00:0B";
inline const QString kQuestion = "This configuration will be sent to selected Network Element "
                                 "and\rwill also be saved to local database in your computer. "
                                 "\rAre you sure?";
inline const QString kTimedOut =
    "Waiting for a response from Network Element has timed out!\rCannot save.";
inline const QString kSaved = "New configuration has been sucessfuly saved and loaded!";
inline const QString kDiscoveryQuestion =
    "Performing an 'Auto Discovery' will delete the local database in your computer and create "
    "a new one, based on the Network Elements found (if any). \rAre you sure?";
inline const QString kEmpty =
    "Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network.";
inline const QByteArray kEncoder =
    "[02000000000A]\r\nNAME=STUDIO 1        \r\nIP=127.0.10.3\r\nROLE=1\r\n";
inline const QByteArray kDecoder =
    "[02000000000B]\r\nNAME=TX SITE         \r\nIP=127.0.10.2\r\nMASK=255.255.255.0\r\n"
    "GW=127.0.10.254\r\nINPUT=0\r\nTYPE=1\r\nTX=0\r\nMULTI=239.1.2.3\r\nROLE=2\r\nSN=2002\r\n"
    "VER=2.8\r\nSFN=1\r\nBUF=3\r\nATT=200\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\nLLO=0\r\n";

// An address as its four bytes on the wire.
inline QByteArray ip4(const QString& text) {
    const quint32 address = qToBigEndian(QHostAddress(text).toIPv4Address());
    return QByteArray(reinterpret_cast<const char*>(&address), 4);
}

// A decoder's feedback from kElement, 54 bytes: input 0, type 1, TX 0, serial 2002,
// attenuation 220, version 2.9, PTP on, buffer 4, silence detector 0/37/43.
inline QByteArray feedback(const QString& name, const QString& remote = "239.1.2.3") {
    return ip4(kElement) + ip4("255.255.255.0") + ip4("127.0.10.254") + ip4(remote) + char(0) +
           char(1) + char(0) + name.leftJustified(16).toLatin1() + char(2) +
           QByteArray::fromHex("000007D2DC0209010400252B000000000000");
}

// A started station with these records, and a socket on kElement's port 2976 that plays the
// element.
struct Loopback : StationFixture {
    QUdpSocket element;

    explicit Loopback(const QByteArray& ini = kEncoder + kDecoder,
                      app::Station::Timing timing = {300, 10, 300, 3000});
    // Types the name, answers Yes and returns what the element received (empty: nothing).
    QByteArray save(const QString& name) {
        find<QLineEdit>("txtElementName")->setText(name);
        boxes.enqueue(platform::MsgAnswer::Yes);
        station().SaveChanges();
        return element.waitForReadyRead(2000) ? element.receiveDatagram().data() : QByteArray();
    }
    void send(const QByteArray& datagram) {
        element.writeDatagram(datagram, QHostAddress(kStation), 2976);
    }
};

} // namespace loopback

} // namespace testsupport
