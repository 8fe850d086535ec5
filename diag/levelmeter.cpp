#include "diag/levelmeter.h"

#include "db/sharedfunctions.h"
#include "diag/vumeter.h"
#include "platform/controlmaking.h"
#include "protocol/mainendpoint.h"
#include "protocol/ports.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>

namespace diag {

using namespace platform::make;

LevelMeter::LevelMeter(protocol::MainEndpoint& endpoint, QWidget* parent)
    : QObject(parent), m_endpoint(endpoint) {
    m_timer.setObjectName(QStringLiteral("tmrVolume"));
    m_timer.setInterval(50);
    connect(&m_timer, &QTimer::timeout, this, &LevelMeter::requestLevel);
    connect(&endpoint, &protocol::MainEndpoint::levelReply, this, &LevelMeter::handleReply);

    const QString showLevel = QStringLiteral("Show audio level");
    m_switch = named(new QCheckBox(showLevel, parent), "chkGetVolume");
    m_switch->setToolTip(showLevel);
    m_switch->setAccessibleName(showLevel);
    m_switch->setVisible(false); // worked by the toolbar's two buttons
    connect(m_switch, &QCheckBox::toggled, this, [this](bool on) {
        if (on) {
            m_timer.start();
        } else {
            m_timer.stop();
            show(silentLevel());
        }
    });
    m_bar = named(new VuMeter(parent), "VUMeter");
    m_reading =
        valueLabel(parent, "lblVolume", QStringLiteral("-oodBFS"), QStringLiteral("-138.5dBFS"));
    m_slider = named(new QSlider(Qt::Horizontal, parent), "Slider1");
    m_slider->setRange(20, 1000);
    m_slider->setValue(50);
    m_slider->setToolTip(QStringLiteral("Audio level request interval (ms)"));
    connect(m_slider, &QSlider::valueChanged, &m_timer, qOverload<int>(&QTimer::setInterval));
}

bool LevelMeter::canStart() const {
    return m_allowed && !m_switch->isChecked();
}

bool LevelMeter::canStop() const {
    return m_allowed && m_switch->isChecked();
}

void LevelMeter::setAllowed(bool allowed) {
    m_allowed = allowed;
    m_switch->setChecked(false);
    m_timer.stop();
    m_bar->setEnabled(allowed);
    show(silentLevel());
    emit buttonsChanged(canStart(), canStop());
}

void LevelMeter::start() {
    if (!canStart())
        return;
    m_switch->setChecked(true);
    emit buttonsChanged(canStart(), canStop());
}

void LevelMeter::stop() {
    if (!canStop())
        return;
    m_switch->setChecked(false);
    emit buttonsChanged(canStart(), canStop());
}

void LevelMeter::emptyBar() {
    m_bar->setWidthTwips(0);
}

void LevelMeter::show(const LevelReading& reading) {
    m_bar->setWidthTwips(reading.widthTwips);
    m_reading->setText(reading.caption);
}

void LevelMeter::requestLevel() {
    // Nothing to ask while no element is shown or its stored address is no address.
    const std::optional<platform::Ipv4Address> target =
        m_element ? m_element->storedAddress() : std::nullopt;
    if (target)
        m_endpoint.sendTo(*target, protocol::kAudioPort, levelRequest());
}

void LevelMeter::handleReply(const QByteArray& payload) {
    // A late reply after the meter was switched off only blanks it.
    show(m_timer.isActive() ? parseLevelReply(payload, db::userDecimalSeparator()) : silentLevel());
}

} // namespace diag
