#include "app/frmPaging.h"

#include <QCloseEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace app {

FrmPaging::FrmPaging(int windowMs, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmPaging"));
    setWindowTitle(QStringLiteral("Paging network..."));
    setModal(true);
    auto* label = new QLabel(QStringLiteral("Please wait a few seconds while paging the network..."), this);
    label->setObjectName(QStringLiteral("Label1"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    m_timer = new QTimer(this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setSingleShot(true);
    // The collection window is never shorter than asked, even on a loaded machine.
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(windowMs);
}

} // namespace app
