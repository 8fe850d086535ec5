#include "protocol/frmPaging.h"

#include "protocol/discovery.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace protocol {

FrmPaging::FrmPaging(DiscoverySession& session, int windowMs, QWidget* parent)
    : QDialog(parent), m_session(session) {
    setObjectName(QStringLiteral("frmPaging"));
    setWindowTitle(QStringLiteral("Paging network..."));
    setModal(true);
    auto* label =
        new QLabel(QStringLiteral("Please wait a few seconds while paging the network..."), this);
    label->setObjectName(QStringLiteral("Label1"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setSingleShot(true);
    // The collection window is never shorter than asked, even on a loaded machine.
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(windowMs);
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_timer->stop();
        m_session.end();
        accept();
    });
}

bool FrmPaging::run() {
    if (!m_session.begin())
        return false;
    m_timer->start();
    exec();
    return true;
}

} // namespace protocol
