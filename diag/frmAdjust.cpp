#include "diag/frmAdjust.h"

#include "db/sharedfunctions.h"
#include "platform/controlmaking.h"
#include "platform/messagebox.h"
#include "platform/settings.h"
#include "platform/udpendpoint.h"
#include "protocol/ports.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace diag {

namespace {

const QString kDash = QStringLiteral("-");

struct Row {
    const char* caption;
    const char* label;
};

constexpr Row kMeasurementRows[] = {
    {"Network latency (MIN):", "lblCurrentDelayMIN"},
    {"Network latency (MAX):", "lblCurrentDelayMAX"},
    {"Network latency (AVG):", "lblCurrentDelayAVG"},
    {"MAC interface latency:", "lblFixedLatencyMAC"},
    {"Audio interface latency:", "lblFixedLatencyAUDIO"},
    {"Latency summary (MIN):", "lblDelaySumMIN"},
    {"Latency summary (MAX):", "lblDelaySumMAX"},
    {"Latency summary (AVG):", "lblDelaySumAVG"},
};

QString stripMnemonic(QString text) {
    return text.remove(QLatin1Char('&'));
}

template <typename Button>
Button* makeButton(QWidget* parent, const char* name, const char* caption, const char* toolTip) {
    auto* b = new Button(QString::fromLatin1(caption), parent);
    b->setObjectName(QLatin1String(name));
    if (toolTip)
        b->setToolTip(QString::fromLatin1(toolTip));
    b->setAccessibleName(stripMnemonic(b->text()));
    b->setAccessibleDescription(b->objectName());
    return b;
}

// A label without a name of its own: a reader takes its text, so a value label is read
// as its value, after the caption it is the buddy of.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setAccessibleDescription(name);
    return l;
}

} // namespace

FrmAdjust::FrmAdjust(const db::SelectedElement& element, const QString& localAddress,
                     QWidget* parent)
    : QDialog(parent), m_element(element), m_localAddress(localAddress) {
    setObjectName(QStringLiteral("frmAdjust"));
    setWindowTitle(QStringLiteral("SFN Adjustment"));
    setAccessibleName(windowTitle());
    setAccessibleDescription(objectName());
    setModal(true);

    m_udp = new platform::UdpEndpoint(this);
    m_udp->setObjectName(QStringLiteral("udpClient3"));
    connect(m_udp, &platform::UdpEndpoint::datagramReceived, this, &FrmAdjust::onDatagram);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setSingleShot(true);
    m_timer1->setInterval(250);
    connect(m_timer1, &QTimer::timeout, this, &FrmAdjust::onClearTimer);
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(1000);
    connect(m_timer2, &QTimer::timeout, this, [this] { sendCommand(QByteArrayLiteral("GetDel")); });

    // Measurements
    auto* measurements = new QGroupBox(QStringLiteral("Measurements:"), this);
    measurements->setObjectName(QStringLiteral("Frame1"));
    measurements->setAccessibleName(measurements->title());
    measurements->setAccessibleDescription(measurements->objectName());
    auto* grid = new QGridLayout(measurements);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (const Row& r : kMeasurementRows) {
        const QString caption = QString::fromLatin1(r.caption);
        QLabel* c = makeLabel(measurements, QStringLiteral("Label%1").arg(row + 1), caption);
        QLabel* v = makeLabel(measurements, QLatin1String(r.label), kDash);
        v->setMinimumWidth(140);
        platform::make::readableByTab(v);
        c->setBuddy(v);
        grid->addWidget(c, row, 0);
        grid->addWidget(v, row, 1);
        m_valueLabels.insert(v->objectName(), v);
        ++row;
    }
    m_chkAutoUpdate =
        makeButton<QCheckBox>(measurements, "chkAutoUpdate", "&Auto", "Auto refresh (every 1 sec)");
    m_cmdResetStats =
        makeButton<QPushButton>(measurements, "cmdResetStats", "&Clear", "Reset counters to zero");
    m_cmdRefresh = makeButton<QPushButton>(measurements, "cmdRefresh", "&Refresh", nullptr);
    m_cmdResetStats->setAutoDefault(false);
    m_cmdRefresh->setAutoDefault(false);
    auto* measureButtons = new QHBoxLayout;
    measureButtons->addWidget(m_chkAutoUpdate);
    measureButtons->addStretch(1);
    measureButtons->addWidget(m_cmdResetStats);
    measureButtons->addWidget(m_cmdRefresh);
    grid->addLayout(measureButtons, row, 0, 1, 2);

    // Adjustments
    auto* adjustments = new QGroupBox(QStringLiteral("Adjustments:"), this);
    adjustments->setObjectName(QStringLiteral("Frame2"));
    adjustments->setAccessibleName(adjustments->title());
    adjustments->setAccessibleDescription(adjustments->objectName());
    const QString compensation = QStringLiteral("Latency compensation:");
    QLabel* compensationCaption = makeLabel(adjustments, QStringLiteral("Label9"), compensation);
    m_scroll = new QScrollBar(Qt::Horizontal, adjustments);
    m_scroll->setObjectName(QStringLiteral("scrlAdditionalDelay"));
    m_scroll->setRange(0, kAdditionalDelayMax);
    m_scroll->setSingleStep(1);
    m_scroll->setPageStep(100);
    m_scroll->setTracking(true);
    m_scroll->setMinimumWidth(240);
    m_scroll->setFocusPolicy(Qt::StrongFocus);
    m_scroll->setInvertedControls(false); // Left and Page Down shorten the delay
    m_scroll->setAccessibleName(compensation);
    m_scroll->setAccessibleDescription(m_scroll->objectName());
    QLabel* delayLabel = makeLabel(adjustments, QStringLiteral("lblAdditionalDelay"), kDash);
    compensationCaption->setBuddy(delayLabel);
    delayLabel->setMinimumWidth(140);
    platform::make::readableByTab(delayLabel);
    m_valueLabels.insert(delayLabel->objectName(), delayLabel);
    m_chkAutoServo = makeButton<QCheckBox>(adjustments, "chkAutoServo", "Auto &delay compensation",
                                           "Enables auto compansation of Network latency");
    m_chkAutoClear = makeButton<QCheckBox>(adjustments, "chkAutoClear", "Auto clea&r counters",
                                           "Clear counters after each 'Set' command");
    m_cmdSet = makeButton<QPushButton>(adjustments, "cmdSet", "&Set", nullptr);
    m_cmdSet->setAutoDefault(false);
    auto* adjustGrid = new QGridLayout(adjustments);
    adjustGrid->setColumnStretch(1, 1);
    adjustGrid->addWidget(compensationCaption, 0, 0);
    adjustGrid->addWidget(m_scroll, 0, 1);
    adjustGrid->addWidget(delayLabel, 0, 2);
    adjustGrid->addWidget(m_chkAutoServo, 1, 0, 1, 2);
    adjustGrid->addWidget(m_chkAutoClear, 2, 0, 1, 2);
    adjustGrid->addWidget(m_cmdSet, 2, 2, Qt::AlignRight);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(measurements);
    layout->addWidget(adjustments);

    connect(m_chkAutoUpdate, &QCheckBox::toggled, this, &FrmAdjust::onAutoUpdateToggled);
    connect(m_cmdRefresh, &QPushButton::clicked, this,
            [this] { sendCommand(QByteArrayLiteral("GetDel")); });
    connect(m_cmdResetStats, &QPushButton::clicked, this, &FrmAdjust::onReset);
    connect(m_cmdSet, &QPushButton::clicked, this, &FrmAdjust::onSet);
    connect(m_scroll, &QScrollBar::valueChanged, this, &FrmAdjust::onScrollChanged);
    // A change of state acts however it was made: a click, a key, a reader's Toggle, or the
    // window itself where that counts as the user's change (opening, a reply).
    connect(m_chkAutoServo, &QCheckBox::toggled, this, &FrmAdjust::onAutoServoToggled);
    connect(m_chkAutoClear, &QCheckBox::toggled, this, &FrmAdjust::onAutoClearToggled);
}

void FrmAdjust::setClearDelayMs(int ms) {
    m_timer1->setInterval(ms);
}

void FrmAdjust::setRefreshIntervalMs(int ms) {
    m_timer2->setInterval(ms);
}

bool FrmAdjust::start() {
    // 1
    m_parametersChanged = false;
    for (QLabel* label : std::as_const(m_valueLabels))
        label->setText(kDash);

    // 2-4: a change of state acts as the user's own change of that control.
    const std::optional<qint64> autoClear = db::parseDecimal(
        platform::settings().get(platform::kAutoClearCountersSetting, QStringLiteral("0")));
    m_chkAutoClear->setChecked(autoClear && *autoClear == 1);

    // A stored delay that is no number opens at 0, one out of range at the nearest bound.
    const db::Element stored = db::ElementStore().load(m_element.section);
    m_scroll->setValue(int(std::clamp<qint64>(stored.delay, 0, kAdditionalDelayMax)));

    m_chkAutoServo->setChecked(stored.autoServo);

    // 5
    updateAdditionalDelay();
    m_setDelayUnits = m_scroll->value();
    m_setAutoServo = m_chkAutoServo->isChecked();

    // 6-7
    const auto local = platform::Ipv4Address::parse(m_localAddress);
    if (!local || !m_udp->bind(*local, protocol::kStatusPort))
        return false;
    sendCommand(QByteArrayLiteral("GetDel"));
    return true;
}

void FrmAdjust::done(int result) {
    m_timer1->stop();
    m_timer2->stop();
    m_udp->close();
    if (m_parametersChanged) {
        m_parametersChanged = false;
        // What the last Set sent is what the element has now; a later unsent movement is not.
        db::Element set;
        set.delay = m_setDelayUnits;
        set.autoServo = m_setAutoServo;
        if (!db::ElementStore().save(m_element.section, set,
                                     {db::Field::Delay, db::Field::AutoServo}))
            platform::showMessage(db::kWriteFailedText, QString(), platform::MsgIcon::Critical);
        platform::showMessage(
            QStringLiteral(
                "There are unsaved parameters. Don't forget to click the 'Save' button."),
            QString(), platform::MsgIcon::Information);
    }
    QDialog::done(result);
}

void FrmAdjust::sendCommand(const QByteArray& datagram) {
    // An element without a usable address simply gets nothing; the window stays usable.
    if (const auto target = m_element.storedAddress())
        m_udp->sendTo(*target, protocol::kStatusPort, datagram);
}

void FrmAdjust::autoRefreshOff() {
    m_chkAutoUpdate->setChecked(false);
    m_timer2->stop();
}

void FrmAdjust::updateAdditionalDelay() {
    m_additionalDelayNs = m_scroll->value() * 100;
    setLabel(QStringLiteral("lblAdditionalDelay"), FormatDelay(m_additionalDelayNs));
}

void FrmAdjust::setLabel(const QString& name, const QString& text) {
    if (QLabel* label = m_valueLabels.value(name))
        label->setText(text);
}

void FrmAdjust::onScrollChanged() {
    autoRefreshOff();
    updateAdditionalDelay();
}

void FrmAdjust::onAutoServoToggled() {
    autoRefreshOff();
}

void FrmAdjust::onAutoClearToggled() {
    autoRefreshOff();
    platform::settings().save(platform::kAutoClearCountersSetting, m_chkAutoClear->isChecked()
                                                                       ? QStringLiteral("1")
                                                                       : QStringLiteral("0"));
}

void FrmAdjust::onAutoUpdateToggled(bool on) {
    if (on)
        m_timer2->start();
    else
        m_timer2->stop();
}

void FrmAdjust::onReset() {
    autoRefreshOff();
    const platform::MsgAnswer answer = platform::showMessage(
        kResetQuestion, kResetTitle, platform::MsgIcon::Question, platform::MsgButtons::YesNo);
    if (answer == platform::MsgAnswer::Yes)
        sendCommand(QByteArrayLiteral("RstStats"));
}

void FrmAdjust::onSet() {
    autoRefreshOff();
    const bool servo = m_chkAutoServo->isChecked();
    sendCommand(buildSetDelay(m_additionalDelayNs, servo));
    m_setDelayUnits = m_additionalDelayNs / 100;
    m_setAutoServo = servo;
    if (m_chkAutoClear->isChecked())
        m_timer1->start();
    m_parametersChanged = true;
}

void FrmAdjust::onClearTimer() {
    m_timer1->stop();
    sendCommand(QByteArrayLiteral("RstStats"));
}

void FrmAdjust::onDatagram(const QByteArray& payload) {
    if (m_errorBoxOpen)
        return; // one error box at a time, however fast auto refresh asks
    const DelayParseResult r =
        ParseDelayReply(payload, db::ElementStore().load(m_element.section).sfn,
                        m_element.role == db::Role::Decoder);
    if (r.dropped)
        return;
    for (const LabelUpdate& u : r.updates) {
        if (u.label == QLatin1String("lblAdditionalDelay") && r.scrollPosition) {
            // The bar follows the element; a move acts as a scroll change.
            m_scroll->setValue(*r.scrollPosition);
            updateAdditionalDelay();
            if (r.autoServoChecked) {
                m_chkAutoServo->setChecked(*r.autoServoChecked); // a flip acts as a click
                m_chkAutoServo->setText(r.autoServoCaption);
                m_chkAutoServo->setAccessibleName(r.autoServoCaption);
            }
            continue;
        }
        setLabel(u.label, u.text);
    }
    m_values = r.values;
    if (r.error) {
        m_errorBoxOpen = true;
        platform::showMessage(kDelayErrorText, QString(), platform::MsgIcon::Critical);
        // What came while the box was open is dropped; then the window listens again.
        m_udp->dropPending();
        m_errorBoxOpen = false;
    }
}

} // namespace diag
