#include "stationfixture.h"

#include "platform/programdir.h"

#include <QFile>
#include <QTreeWidget>

namespace testsupport {

StationFixture::StationFixture(const QString& stationAddress, app::Station::Timing timing) {
    platform::setProgramDirectory(dir.path());
    qputenv("KESTRUNE_LOCK_PATH", QFile::encodeName(dir.filePath(QStringLiteral("nms.lock"))));
    settings.values.insert(QStringLiteral("EULA1"), QStringLiteral("1"));
    settings.values.insert(QStringLiteral("NMS IP Address"), stationAddress);
    addresses.list.addresses = {stationAddress};
    m_station = std::make_unique<app::Station>(timing);
}

StationFixture::~StationFixture() {
    m_station.reset();
    platform::setProgramDirectory(QString());
}

void StationFixture::writeIni(const QByteArray& bytes) const {
    QFile f(iniPath());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QByteArray StationFixture::readIni() const {
    QFile f(iniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool StationFixture::selectNode(const QString& mac) {
    const auto items = c().TreeView1->findItems('[' + mac + ']', Qt::MatchEndsWith);
    if (items.isEmpty())
        return false;
    c().TreeView1->setCurrentItem(items.first());
    emit c().TreeView1->itemClicked(items.first(), 0);
    return true;
}

} // namespace testsupport
