#include "diag/frmStatistics.h"

#include "db/sharedfunctions.h"
#include "platform/messagebox.h"
#include "platform/udpendpoint.h"
#include "protocol/ports.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace diag {

namespace {

const QString kDash = QStringLiteral("-");

struct Row {
    const char* caption;
    const char* label;
};

// Top to bottom, as the window shows them.
constexpr Row kRows[] = {
    {"Good TX Frames:", "lblMACTxOK"},          {"Bad TX Frames:", "lblMACTxErr"},
    {"Good RX Frames:", "lblMACRxOK"},          {"Bad RX Frames:", "lblMACRxErr"},
    {"OK Audio Frames:", "lblAudioRxFramesOK"}, {"Bad Audio Frames:", "lblAudioRxFramesErr"},
    {"Good PTP Sync:", "lblPTPRxOK"},           {"Bad PTP Sync:", "lblPTPRxErr"},
    {"Clock Difference:", "lblPTPClkAdj"},      {"Measured delay:", "lblPTPLatency"},
};

QString stripMnemonic(QString text) {
    return text.remove(QLatin1Char('&'));
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption,
                        const char* toolTip) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(QString::fromLatin1(toolTip));
    b->setAccessibleName(stripMnemonic(b->text()));
    b->setAccessibleDescription(b->objectName());
    b->setAutoDefault(false);
    return b;
}

} // namespace

FrmStatistics::FrmStatistics(const db::SelectedElement& element, const QString& localAddress,
                             QWidget* parent)
    : QDialog(parent), m_element(element), m_localAddress(localAddress) {
    setObjectName(QStringLiteral("frmStatistics"));
    setWindowTitle(QStringLiteral("Statistics"));
    setAccessibleName(windowTitle());
    setAccessibleDescription(objectName());
    setModal(true);

    m_udp = new platform::UdpEndpoint(this);
    m_udp->setObjectName(QStringLiteral("udpClient2"));
    connect(m_udp, &platform::UdpEndpoint::datagramReceived, this, &FrmStatistics::onDatagram);

    m_frame = new QGroupBox(QStringLiteral("[DEVICE]"), this);
    m_frame->setObjectName(QStringLiteral("frmStats"));
    m_frame->setAccessibleName(m_frame->title());
    m_frame->setAccessibleDescription(m_frame->objectName());
    auto* grid = new QGridLayout(m_frame);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const Row& r : kRows) {
        auto* caption = new QLabel(QString::fromLatin1(r.caption), m_frame);
        caption->setObjectName(QStringLiteral("Label%1").arg(row + 1));
        caption->setAccessibleName(caption->text());
        caption->setAccessibleDescription(caption->objectName());
        auto* value = new QLabel(kDash, m_frame);
        value->setObjectName(QLatin1String(r.label));
        value->setAccessibleDescription(value->objectName());
        value->setMinimumWidth(120);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // A reader speaks the caption, then the value: the label's text is its name.
        caption->setBuddy(value);
        grid->addWidget(caption, row, 0);
        grid->addWidget(value, row, 1);
        m_valueLabels.insert(value->objectName(), value);
        ++row;
    }

    m_cmdRefresh = makeButton(this, "cmdRefreshStats", "&Refresh", "Fetch counters");
    m_cmdReset = makeButton(this, "cmdResetStats", "&Clear", "Reset counters to zero");
    connect(m_cmdRefresh, &QPushButton::clicked, this, &FrmStatistics::onRefresh);
    connect(m_cmdReset, &QPushButton::clicked, this, &FrmStatistics::onReset);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdRefresh);
    buttons->addWidget(m_cmdReset);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_frame);
    layout->addLayout(buttons);
}

bool FrmStatistics::start() {
    const auto local = platform::Ipv4Address::parse(m_localAddress);
    if (!local || !m_udp->bind(*local, protocol::kStatusPort))
        return false;
    const QString title = db::ElementStore().load(m_element.section).name + QStringLiteral(":");
    m_frame->setTitle(title);
    m_frame->setAccessibleName(title);
    onRefresh();
    return true;
}

void FrmStatistics::done(int result) {
    m_udp->close(); // port 2978 is free again for the next window
    QDialog::done(result);
}

void FrmStatistics::sendCommand(const QByteArray& command) {
    // An element without a usable address simply gets nothing; the window stays usable.
    if (const auto target = m_element.storedAddress())
        m_udp->sendTo(*target, protocol::kStatusPort, command);
}

void FrmStatistics::onRefresh() {
    sendCommand(QByteArrayLiteral("GetStats"));
}

void FrmStatistics::onReset() {
    const platform::MsgAnswer answer = platform::showMessage(
        kResetQuestion, kResetTitle, platform::MsgIcon::Question, platform::MsgButtons::YesNo);
    if (answer == platform::MsgAnswer::Yes)
        sendCommand(QByteArrayLiteral("RstStats"));
}

void FrmStatistics::onDatagram(const QByteArray& payload) {
    if (m_errorBoxOpen)
        return; // one error box at a time; the user resets the device anyway
    const StatsParseResult r =
        ParseStatsReply(payload, db::ElementStore().load(m_element.section).sfn,
                        m_element.role == db::Role::Decoder, db::userDecimalSeparator());
    if (r.dropped)
        return;
    for (const LabelUpdate& u : r.updates) {
        if (QLabel* label = m_valueLabels.value(u.label))
            label->setText(u.text);
    }
    m_values = r.values;
    if (r.error) {
        m_errorBoxOpen = true;
        platform::showMessage(kStatsErrorText, QString(), platform::MsgIcon::Critical);
        // What came while the box was open is dropped; then the window listens again.
        m_udp->dropPending();
        m_errorBoxOpen = false;
    }
}

} // namespace diag
