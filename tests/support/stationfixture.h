#pragma once
// A station that runs in a temporary program directory with scripted boxes, in-memory
// settings and a scripted address table, so a test drives it without touching the user's
// files.
#include "app/frmMain.h"
#include "app/station.h"
#include "fakes/fakeicmpecho.h"
#include "fakes/fakelocaladdresses.h"
#include "fakes/fakeneighbourtable.h"
#include "fakes/memorysettings.h"
#include "fakes/scriptedmessagebox.h"

#include <QtNetwork>

namespace testsupport {

// The window's controls, found by their names as a script finds them.
struct Controls {
    QWidget* window;
    template <class T> T* find(const QString& name) const { return window->findChild<T*>(name); }
};

class StationFixture {
public:
    explicit StationFixture(const QString& stationAddress,
                            app::Station::Timing timing = fastTiming());
    ~StationFixture();

    static app::Station::Timing fastTiming() { return {300, 10, 300, 3000}; }

    QString iniPath() const { return dir.filePath("nms.ini"); }
    void writeIni(const QByteArray& bytes) const;
    QByteArray readIni() const;

    // Runs the start-up sequence with the given arguments.
    bool start(const QStringList& arguments = {}) { return m_station->start(arguments); }

    app::Station& station() { return *m_station; }
    Controls c() { return {&m_station->window()}; }

    // Clicks the tree node whose key is this MAC text; false when there is none.
    bool selectNode(const QString& mac);
    // The neighbour table finds this MAC text for the address.
    void arp(const QString& address, const QString& mac) {
        neighbours.add(QHostAddress(address).toIPv4Address(), QByteArray::fromHex(mac.toLatin1()));
    }

    QTemporaryDir dir;
    platform::ScriptedMessageBox boxes;
    platform::MemorySettings settings;
    platform::FakeLocalAddresses addresses;
    platform::FakeNeighbourTable neighbours;
    platform::FakeIcmpEcho echo;

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
    "[02000000000A]\r\nNAME=STUDIO 1        \r\nIP=127.0.10.3\r\nMASK=255.255.255.0\r\n"
    "GW=127.0.10.254\r\nINPUT=1\r\nTYPE=1\r\nTX=0\r\nMULTI=239.1.2.3\r\nROLE=1\r\nSN=1001\r\n";
inline const QByteArray kDecoder =
    "[02000000000B]\r\nNAME=TX SITE         \r\nIP=127.0.10.2\r\nMASK=255.255.255.0\r\n"
    "GW=127.0.10.254\r\nINPUT=0\r\nTYPE=1\r\nTX=0\r\nMULTI=239.1.2.3\r\nROLE=2\r\nSN=2002\r\n"
    "VER=2.8\r\nSFN=1\r\nBUF=3\r\nATT=200\r\nSDM=0\r\nSDL=37\r\nSDT=43\r\nLLO=0\r\n";

// An address as its four bytes on the wire.
QByteArray ip4(const QString& text);

// A feedback from kElement: a decoder's 54 bytes (serial 2002, attenuation 220, version 2.9,
// PTP on, buffer 4, silence detector 0/37/43) or an encoder's 45 (serial 2002, version 2.9).
QByteArray feedback(const QString& name, int role = 2, const QString& remote = "239.1.2.3",
                    int tx = 0, int input = 0);

// A started station with these records, and a socket on kElement's port 2976 that plays the
// element.
struct Loopback : StationFixture {
    QUdpSocket element;

    explicit Loopback(const QByteArray& ini = kEncoder + kDecoder,
                      app::Station::Timing timing = fastTiming());
    // Types the name, answers Yes and returns what the element received (empty: nothing).
    QByteArray save(const QString& name);
    void send(const QByteArray& datagram) {
        element.writeDatagram(datagram, QHostAddress(kStation), 2976);
    }
};

} // namespace loopback

} // namespace testsupport
