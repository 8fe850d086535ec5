#include "db/frmWaiting.h"

#include "db/maclookup.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace db {

FrmWaiting::FrmWaiting(const QString& address, quint8 tickLimit, int tickMs, QWidget* parent)
    : QDialog(parent), m_address(address), m_limit(tickLimit) {
    setObjectName(QStringLiteral("frmWaiting"));
    setWindowTitle(QStringLiteral("Waiting remote response..."));
    setModal(true);
    m_label = new QLabel(
        QStringLiteral("Please wait while retrieving response from remote element...."), this);
    m_label->setObjectName(QStringLiteral("lblWaitTimeout"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("timerGetMAC"));
    m_timer->setInterval(tickMs);
    connect(m_timer, &QTimer::timeout, this, &FrmWaiting::tick);
}

QString FrmWaiting::waitForMac() {
    m_count = 0;
    m_mac.clear();
    m_timer->start();
    exec();
    return m_mac;
}

void FrmWaiting::tick() {
    ++m_count;
    bool close = false;
    if (m_count > m_limit)
        close = true;
    // Also in the tick that passes the limit.
    QString mac;
    if (GetRemoteMAC(m_address, mac, QStringLiteral(":"), nullptr) && !mac.isEmpty()) {
        m_mac = mac;
        close = true;
    }
    if (close) {
        m_timer->stop();
        m_count = 0;
        accept();
    }
}

} // namespace db
