#pragma once
// A station that runs in a temporary program directory with scripted boxes, in-memory
// settings and a scripted address table, so a test drives it without touching the user's
// files. Every test program gives it its own loopback address, so programs that run at
// the same time never share port 2976.
#include "app/frmMain.h"
#include "app/station.h"
#include "platform/fakes/fakeicmpecho.h"
#include "platform/fakes/fakelocaladdresses.h"
#include "platform/fakes/fakeneighbourtable.h"
#include "platform/fakes/memorysettings.h"
#include "platform/fakes/scriptedmessagebox.h"

#include <QHostAddress>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

class StationFixture {
public:
    explicit StationFixture(const QString& stationAddress,
                            app::Station::Timing timing = fastTiming());
    ~StationFixture();

    static app::Station::Timing fastTiming() { return {300, 10, 300}; }

    QString iniPath() const { return dir.filePath(QStringLiteral("nms.ini")); }
    void writeIni(const QByteArray& bytes) const;
    QByteArray readIni() const;

    // Runs the start-up sequence with the given arguments.
    bool start(const QStringList& arguments = {}) { return m_station->start(arguments); }

    app::Station& station() { return *m_station; }
    editor::MainControls& c() { return m_station->controls(); }

    // Clicks the tree node whose key is this MAC text; false when there is none.
    bool selectNode(const QString& mac);

    QTemporaryDir dir;
    platform::ScriptedMessageBox boxes;
    platform::MemorySettings settings;
    platform::FakeLocalAddresses addresses;
    platform::FakeNeighbourTable neighbours;
    platform::FakeIcmpEcho echo;

private:
    std::unique_ptr<app::Station> m_station;
};

// "192.0.2.1" -> host-order address
inline quint32 hostOrder(const QString& address) {
    return QHostAddress(address).toIPv4Address();
}
inline QByteArray macBytes(const QString& mac) {
    return QByteArray::fromHex(mac.toLatin1());
}

} // namespace testsupport
