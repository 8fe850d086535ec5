#include "editor/elementeditor.h"

#include "db/sharedfunctions.h"
#include "editor/captions.h"
#include "editor/fieldrules.h"
#include "editor/userscrollbar.h"
#include "platform/messagebox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace editor {

namespace {

const QString kEncoder = db::roleText(db::Role::Encoder);
const QString kDecoder = db::roleText(db::Role::Decoder);
const QString kDash = QStringLiteral("-");

db::Role roleOf(const QString& text) {
    return text == kEncoder   ? db::Role::Encoder
           : text == kDecoder ? db::Role::Decoder
                              : db::Role::Unknown;
}

// An index outside the list is no selection, so that the upload's validation catches it.
void selectIndex(QComboBox* combo, int index) {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

void setBar(QScrollBar* bar, int value) {
    bar->setValue(qBound(bar->minimum(), value, bar->maximum()));
}

} // namespace

ElementEditor::ElementEditor(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("editorPanel"));
    buildEditorPanel(this, m_c);
    connectControls();
}

void ElementEditor::setVariant(db::Variant variant) {
    m_gpsMode = variant == db::Variant::Gps;
    m_lowLatencyMode = variant == db::Variant::LowLatency;
    m_limits = db::ElementLimits::forVariant(variant);
    m_c.scrlBuffer->setMaximum(m_limits.bufferMax);
}

void ElementEditor::connectControls() {
    installFieldRules(m_c);
    connect(m_c.cmbAudioTX, &QComboBox::currentIndexChanged, this,
            &ElementEditor::onAudioTXSelected);
    connect(m_c.cmbSilDetMode, &QComboBox::currentIndexChanged, this,
            [this] { UpdateSilenceDetectorControls(); });
    connect(m_c.scrlAtten, &QScrollBar::valueChanged, this,
            [this](int v) { m_c.lblAttenDB->setText(attenuationCaption(v)); });
    connect(m_c.scrlAtten, &UserScrollBar::userChanged, this, &ElementEditor::onAttenuationMoved);
    connect(m_c.scrlBuffer, &QScrollBar::valueChanged, this, [this] { UpdateLatencyText(); });
    connect(m_c.scrlSilDetLevel, &QScrollBar::valueChanged, this,
            [this](int v) { m_c.lblSilDetLevel->setText(silenceLevelCaption(v)); });
    connect(m_c.scrlSilDetTime, &QScrollBar::valueChanged, this,
            [this](int v) { m_c.lblSilDetTime->setText(silenceTimeCaption(v)); });
    // Any change of the box, whoever made it, is the option in force.
    connect(m_c.chkLowLatency, &QCheckBox::toggled, this, [this](bool on) {
        m_lowLatencyMode = on;
        UpdateLatencyText();
    });
}

QString ElementEditor::section() const {
    return db::Encode_MAC(m_c.lblElementMAC->text());
}

std::optional<db::SelectedElement> ElementEditor::selected() const {
    if (section().isEmpty())
        return std::nullopt;
    return db::SelectedElement::of(m_c.lblElementMAC->text(), roleOf(m_c.lblElementType->text()));
}

db::Element ElementEditor::draft() const {
    db::Element e;
    e.name = m_c.txtElementName->text();
    e.ip = m_c.txtElementIP->text();
    e.mask = m_c.txtElementMask->text();
    e.gw = m_c.txtElementGW->text();
    e.input = m_c.cmbAudioInput->currentIndex();
    e.type = m_c.cmbAudioType->currentIndex();
    e.tx = m_c.cmbAudioTX->currentIndex();
    e.multi = e.remote = m_c.txtRemoteIP->text();
    e.role = roleOf(m_c.lblElementType->text());
    e.serial = m_c.lblSerialNumber->text();
    e.version = m_c.lblVersion->text();
    e.sfn = m_c.chkSFNEnabled->isChecked() ? 1 : 0;
    e.buffer = m_c.scrlBuffer->value();
    e.attenuation = m_c.scrlAtten->value();
    e.silenceMode = m_c.cmbSilDetMode->currentIndex();
    e.silenceLevel = m_c.scrlSilDetLevel->value();
    e.silenceTime = m_c.scrlSilDetTime->value();
    e.lowLatency = m_c.chkLowLatency->isChecked() ? 1 : 0;
    e.bound = m_c.cmbEncoders->currentIndex();
    return e;
}

void ElementEditor::setElementType(const QString& roleText) {
    if (m_c.lblElementType->text() == roleText)
        return;
    m_c.lblElementType->setText(roleText);
    ApplyRoleLayout();
}

void ElementEditor::setEncoders(const QStringList& texts) {
    m_c.cmbEncoders->clear();
    m_c.cmbEncoders->addItem(kNoEncoder);
    m_c.cmbEncoders->addItems(texts);
}

void ElementEditor::showRemote(const db::Element& stored, bool multicast) {
    m_c.Label7->setText(multicast ? kMulticastCaption : kDecoderCaption);
    m_c.txtRemoteIP->setText((multicast ? stored.multi : stored.remote).text());
    nameAddressField(m_c.txtRemoteIP, m_c.Label7); // announced by the caption it has now
}

bool ElementEditor::storeAttenuation(const QString& sectionName, int value) {
    db::Element e;
    e.attenuation = value;
    if (db::ElementStore().save(sectionName, e, {db::Field::Attenuation}))
        return true;
    platform::showMessage(db::kWriteFailedText, QString(), platform::MsgIcon::Critical);
    return false;
}

void ElementEditor::chooseNode(const QString& nodeKey, const QString& nodeText) {
    if (nodeKey != m_c.lblElementMAC->text())
        LoadElementIntoEditor(nodeKey, nodeText);
}

void ElementEditor::LoadElementIntoEditor(const QString& nodeKey, const QString& nodeText) {
    emit loadStarted();
    emit monitoringAllowed(false);
    if (nodeText.isEmpty()) {
        emit statisticsAllowed(false);
        return;
    }
    const db::ElementStore store;
    const QString sect = db::Encode_MAC(nodeKey);
    if (store.keyCount(sect) >= 22) {
        platform::showMessage(
            QStringLiteral("Cannot load this element info.\rThe data stored in your computer "
                           "about this element, is corrupted (1)."),
            QString(), platform::MsgIcon::Critical);
        return;
    }
    db::Element e = store.load(sect);
    m_c.txtElementName->setText(e.name);
    m_c.txtElementIP->setText(e.ip.text());
    m_c.txtElementMask->setText(e.mask.text());
    m_c.txtElementGW->setText(e.gw.text());
    selectIndex(m_c.cmbAudioInput, e.input);
    selectIndex(m_c.cmbAudioType, e.type);
    selectIndex(m_c.cmbAudioTX, e.tx);
    m_c.lblVersion->setText(e.version);
    selectIndex(m_c.cmbEncoders, e.bound);
    emit statisticsAllowed(true);

    if (e.role == db::Role::Encoder) {
        setElementType(kEncoder);
        emit monitoringAllowed(true);
        showRemote(e, m_c.cmbAudioTX->currentIndex() > 0);
    } else if (e.role == db::Role::Decoder) {
        setElementType(kDecoder);
        showRemote(e, true);
        // Below the bar's minimum is mute: the record is corrected to it.
        if (e.attenuation < m_limits.attenuationMin &&
            storeAttenuation(sect, m_limits.attenuationMin))
            e.attenuation = m_limits.attenuationMin;
        setBar(m_c.scrlAtten, e.attenuation);
        setBar(m_c.scrlBuffer, e.buffer);
        setBar(m_c.scrlSilDetLevel, e.silenceLevel);
        setBar(m_c.scrlSilDetTime, e.silenceTime);
        selectIndex(m_c.cmbSilDetMode, e.silenceMode);
        ApplyRoleLayout();
        UpdateSilenceDetectorControls();
    } else {
        setElementType(db::roleText(db::Role::Unknown));
        // Its own addresses, never the ones another element left in the fields.
        showRemote(e, m_c.cmbAudioTX->currentIndex() > 0);
    }

    m_c.lblElementMAC->setText(nodeKey);
    m_c.lblSerialNumber->setText(e.serial);
    m_c.chkSFNEnabled->setChecked(e.sfnOn());
    m_c.chkLowLatency->setChecked(e.lowLatencyOn());
    m_lowLatencyMode = m_c.chkLowLatency->isChecked();
    UpdateLatencyText();
    emit adjustAllowed(m_c.chkSFNEnabled->isChecked() && m_c.lblElementType->text() == kDecoder);
    ApplyRoleLayout();
    UpdateSilenceDetectorControls();
    emit pingReady(true);
    emit elementChanged(selected());
}

void ElementEditor::ClearElementEditor() {
    setElementType(kDash);
    m_c.lblElementMAC->setText(kDash);
    m_c.lblSerialNumber->setText(kDash);
    m_c.lblVersion->setText(kDash);
    emit pingReady(false);
    m_c.lblLatency->setText(QStringLiteral("-mS"));
    for (QLineEdit* f : {m_c.txtElementName, m_c.txtElementIP, m_c.txtElementMask, m_c.txtElementGW,
                         m_c.txtRemoteIP})
        f->clear();
    m_c.cmbAudioInput->setCurrentIndex(-1);
    m_c.cmbAudioType->setCurrentIndex(-1);
    m_c.cmbAudioTX->setCurrentIndex(-1);
    // Nothing may act on the "-" element.
    emit adjustAllowed(false);
    emit statisticsAllowed(false);
    emit monitoringAllowed(false);
    emit elementChanged(std::nullopt);
}

void ElementEditor::showStored(const db::SelectedElement& element, const db::Element& stored) {
    if (element.mac != m_c.lblElementMAC->text())
        return;
    setElementType(db::roleText(stored.role));
    m_c.lblSerialNumber->setText(stored.serial);
    m_c.lblVersion->setText(stored.version);
    if (stored.role == db::Role::Decoder)
        setBar(m_c.scrlAtten, stored.attenuation);
    setBar(m_c.scrlBuffer, stored.buffer);
    if (stored.role == db::Role::Decoder) {
        selectIndex(m_c.cmbSilDetMode, stored.silenceMode);
        setBar(m_c.scrlSilDetLevel, stored.silenceLevel);
        setBar(m_c.scrlSilDetTime, stored.silenceTime);
    }
    emit elementChanged(selected());
}

void ElementEditor::ApplyRoleLayout() {
    const QString role = m_c.lblElementType->text();
    const bool encoder = role == kEncoder;
    if (!encoder && role != kDecoder)
        return;

    m_c.cmbAudioInput->setVisible(encoder);
    m_c.cmbAudioTX->setVisible(encoder);
    m_c.scrlAtten->setVisible(!encoder);
    m_c.lblAttenDB->setVisible(!encoder);
    m_c.Label9->setText(encoder ? kAudioSourceCaption : kAudioAttenCaption);
    // The caption labels what its row shows: the source list, or the attenuation value.
    m_c.Label9->setBuddy(encoder ? static_cast<QWidget*>(m_c.cmbAudioInput) : m_c.lblAttenDB);
    emit monitoringAllowed(encoder);

    if (encoder) {
        m_c.scrlBuffer->setValue(0);
        UpdateLatencyText();
        m_c.scrlBuffer->setEnabled(false);
        m_c.lblLatency->setText(QStringLiteral("2.5mS"));
    } else {
        m_c.scrlBuffer->setEnabled(true);
        UpdateLatencyText();
    }
    for (QWidget* w : std::initializer_list<QWidget*>{
             m_c.cmbSilDetMode, m_c.scrlSilDetLevel, m_c.scrlSilDetTime, m_c.lblSilDetLevel,
             m_c.lblSilDetTime, m_c.lblLatency, m_c.Label20, m_c.Label24, m_c.Label26})
        w->setEnabled(!encoder);
}

void ElementEditor::UpdateLatencyText() {
    m_c.lblLatency->setText(latencyCaption(m_c.scrlBuffer->value(), m_lowLatencyMode, m_gpsMode,
                                           m_c.chkSFNEnabled->isChecked()));
}

void ElementEditor::UpdateSilenceDetectorControls() {
    const bool enable = m_c.cmbSilDetMode->isEnabled() && m_c.cmbSilDetMode->currentIndex() <= 0;
    for (QWidget* w : std::initializer_list<QWidget*>{m_c.scrlSilDetLevel, m_c.scrlSilDetTime,
                                                      m_c.lblSilDetLevel, m_c.lblSilDetTime,
                                                      m_c.Label24, m_c.Label26})
        w->setEnabled(enable);
}

void ElementEditor::onAudioTXSelected(int index) {
    if (m_c.lblElementType->text() == kEncoder)
        showRemote(db::ElementStore().load(section()), index > 0);
}

void ElementEditor::onAttenuationMoved(int value) {
    const std::optional<db::SelectedElement> element = selected();
    if (m_c.lblElementType->text() != kDecoder || !element)
        return;
    emit attenuationMoved(*element, value);
    storeAttenuation(element->section, value);
}

} // namespace editor
