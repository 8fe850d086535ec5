#include "stationfixture.h"

#include "platform/programdir.h"

#include <QtTest>
#include <QtWidgets>

namespace testsupport {

StationFixture::StationFixture(const QString& stationAddress, app::Station::Timing timing) {
    platform::setProgramDirectory(dir.path());
    qputenv("KESTRUNE_LOCK_PATH", QFile::encodeName(dir.filePath("nms.lock")));
    settings.values.insert("EULA1", "1");
    settings.values.insert("NMS IP Address", stationAddress);
    addresses.list.addresses = {stationAddress};
    m_station = std::make_unique<app::Station>(timing);
}

StationFixture::~StationFixture() {
    m_station.reset();
    platform::setProgramDirectory(QString());
}

void StationFixture::writeIni(const QByteArray& bytes) const {
    QFile f(iniPath());
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

QByteArray StationFixture::readIni() const {
    QFile f(iniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool StationFixture::selectNode(const QString& mac) {
    auto* tree = c().find<QTreeWidget>("TreeView1");
    const auto items = tree->findItems('[' + mac + ']', Qt::MatchEndsWith);
    if (!items.isEmpty())
        tree->setCurrentItem(items[0]); // as the press of a click chooses it
    return !items.isEmpty();
}

namespace loopback {

QByteArray ip4(const QString& text) {
    const quint32 address = qToBigEndian(QHostAddress(text).toIPv4Address());
    return QByteArray(reinterpret_cast<const char*>(&address), 4);
}

QByteArray feedback(const QString& name, int role, const QString& remote, int tx, int input) {
    return ip4(kElement) + ip4("255.255.255.0") + ip4("127.0.10.254") + ip4(remote) + char(input) +
           char(1) + char(tx) + name.leftJustified(16).toLatin1() + char(role) +
           QByteArray::fromHex(role == 2 ? "000007D2DC0209010400252B000000000000"
                                         : "000007D20209000000");
}

Loopback::Loopback(const QByteArray& ini, app::Station::Timing timing)
    : StationFixture(kStation, timing) {
    writeIni(ini);
    QVERIFY(start());
    QVERIFY(element.bind(QHostAddress(kElement), 2976));
}

QByteArray Loopback::save(const QString& name) {
    c().find<QLineEdit>("txtElementName")->setText(name);
    boxes.enqueue(platform::MsgAnswer::Yes);
    station().SaveChanges();
    return element.waitForReadyRead(2000) ? element.receiveDatagram().data() : QByteArray();
}

} // namespace loopback

} // namespace testsupport
