#include "diag/diagnosticspanel.h"

#include "diag/frmAdjust.h"
#include "diag/frmStatistics.h"
#include "diag/vumeter.h"
#include "platform/controlmaking.h"
#include "protocol/mainendpoint.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>

namespace diag {

using namespace platform::make;

namespace {
const QColor kLightYellow(255, 255, 192);
const QString kClickToTest = QStringLiteral("<Click to test>");
} // namespace

DiagnosticsPanel::DiagnosticsPanel(protocol::MainEndpoint& endpoint, protocol::NoticeQueue& notices,
                                   QWidget* parent)
    : QGroupBox(QStringLiteral("Diagnostics:"), parent), m_endpoint(endpoint),
      m_pingTest(endpoint, notices), m_interfaces(endpoint) {
    setObjectName(QStringLiteral("frmDiagnostics"));
    auto* grid = new QGridLayout(this);

    m_cmbNMSIPAddr = list(this, "cmbNMSIPAddr", {}, -1);
    m_cmbNMSIPAddr->setMinimumContentsLength(15);
    m_cmdPing = named(new QPushButton(kClickToTest, this), "cmdPing");
    m_cmdPing->setToolTip(QStringLiteral("Test ping from NMS"));
    setBackground(m_cmdPing, kLightYellow, QPalette::Button);
    m_cmdGetStats = named(new QPushButton(QStringLiteral("Get..."), this), "cmdGetStats");
    m_cmdGetStats->setToolTip(QStringLiteral("Fetch statistical counters"));
    m_cmdAdjust = named(new QPushButton(QStringLiteral("Adjust..."), this), "cmdAdjust");
    // Nothing to act on until an element is shown.
    m_cmdGetStats->setEnabled(false);
    m_cmdAdjust->setEnabled(false);
    m_meter = new LevelMeter(endpoint, this);

    grid->addWidget(
        captionFor(m_cmbNMSIPAddr, QStringLiteral("NMS IP:"), "lblCaptionNMSIPAddr", this), 0, 0);
    grid->addWidget(m_cmbNMSIPAddr, 0, 1);
    grid->addWidget(captionFor(m_cmdPing, QStringLiteral("Ping test:"), "lblCaptionPing", this), 0,
                    3);
    grid->addWidget(m_cmdPing, 0, 4);
    grid->addWidget(
        captionFor(m_cmdGetStats, QStringLiteral("Statistics:"), "lblCaptionGetStats", this), 1, 0);
    grid->addWidget(m_cmdGetStats, 1, 1, Qt::AlignLeft);
    grid->addWidget(
        captionFor(m_cmdAdjust, QStringLiteral("SFN adjustment:"), "lblCaptionAdjust", this), 1, 3);
    grid->addWidget(m_cmdAdjust, 1, 4, Qt::AlignLeft);

    auto* meter = new QHBoxLayout;
    meter->setContentsMargins(0, 0, 0, 0);
    meter->addWidget(m_meter->bar());
    meter->addWidget(m_meter->reading());
    meter->addWidget(m_meter->monitoringSwitch());
    meter->addStretch(1);
    grid->addWidget(captionFor(m_meter->reading(), QStringLiteral("Audio level:"),
                               "lblCaptionVUMeter", this, m_meter->bar()),
                    2, 0);
    grid->addLayout(meter, 2, 1);
    grid->addWidget(captionFor(m_meter->intervalSlider(), QStringLiteral("Level interval:"),
                               "lblCaptionSlider1", this),
                    2, 3);
    grid->addWidget(m_meter->intervalSlider(), 2, 4);
    grid->setColumnMinimumWidth(2, 24);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);

    // A port that cannot be bound there is the endpoint's to report.
    connect(m_cmbNMSIPAddr, &QComboBox::activated, this, [this](int index) {
        m_interfaces.choose(m_cmbNMSIPAddr->itemText(index), !m_starting);
    });
    connect(m_cmdPing, &QPushButton::clicked, this, &DiagnosticsPanel::ping);
    connect(m_cmdGetStats, &QPushButton::clicked, this, &DiagnosticsPanel::openStatistics);
    connect(m_cmdAdjust, &QPushButton::clicked, this, &DiagnosticsPanel::openAdjust);
}

int DiagnosticsPanel::FillNMSIPList() {
    const InterfaceList list = m_interfaces.FillNMSIPList();
    if (list.errorCode != 0)
        return list.errorCode;
    m_cmbNMSIPAddr->clear();
    m_cmbNMSIPAddr->addItems(list.addresses);
    if (list.select >= 0) {
        m_cmbNMSIPAddr->setCurrentIndex(list.select);
        m_interfaces.choose(list.addresses.at(list.select), !m_starting);
    }
    return 0;
}

void DiagnosticsPanel::setElement(const std::optional<db::SelectedElement>& element) {
    m_element = element;
    m_meter->setElement(element);
}

void DiagnosticsPanel::setStatisticsAllowed(bool allowed) {
    m_cmdGetStats->setEnabled(allowed);
}

void DiagnosticsPanel::setAdjustAllowed(bool allowed) {
    m_cmdAdjust->setEnabled(allowed);
}

void DiagnosticsPanel::resetPingColour() {
    setBackground(m_cmdPing, kLightYellow, QPalette::Button);
}

void DiagnosticsPanel::resetPing(bool elementShown) {
    resetPingColour();
    m_cmdPing->setText(elementShown ? kClickToTest : QStringLiteral("<Unknown>"));
}

void DiagnosticsPanel::ping() {
    const auto show = [this](const PingResult& r) {
        setBackground(m_cmdPing, r.colour, QPalette::Button);
        m_cmdPing->setText(r.caption);
    };
    show(PingTest::trying());
    const PingResult result = m_pingTest.PingElement(m_typed ? m_typed() : QString());
    if (result.shown)
        show(result);
}

template <class Window> void DiagnosticsPanel::open(const QString& portTaken) {
    if (!m_element)
        return;
    Window window(*m_element, m_endpoint.strLocalNMSIPAddress(), this->window());
    if (!window.start()) {
        emit fatal(portTaken);
        return;
    }
    window.exec();
}

void DiagnosticsPanel::openStatistics() {
    open<FrmStatistics>(QStringLiteral("Error 2: Unable to use UDP port 2978: occupied."));
}

void DiagnosticsPanel::openAdjust() {
    open<FrmAdjust>(QStringLiteral("Unable to use UDP port 2978: occupied."));
}

} // namespace diag
