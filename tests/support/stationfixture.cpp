#include "stationfixture.h"

#include "platform/programdir.h"

#include <QFile>
#include <QHostAddress>
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
    QTreeWidget* tree = c().TreeView1;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        if (item->data(0, Qt::UserRole).toString() == mac) {
            tree->setCurrentItem(item);
            emit tree->itemClicked(item, 0);
            return true;
        }
    }
    return false;
}

quint32 hostOrder(const QString& address) {
    return QHostAddress(address).toIPv4Address();
}

QByteArray macBytes(const QString& macText) {
    return QByteArray::fromHex(macText.toLatin1().replace(':', ""));
}

} // namespace testsupport
