#include "app/editorbridge.h"

#include "editor/elementeditor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

namespace app {

namespace {
int limited(QScrollBar* bar, int value) {
    return qBound(bar->minimum(), value, bar->maximum());
}
} // namespace

QString EditorBridge::selectedMac() const {
    return m_c.lblElementMAC->text();
}

QString EditorBridge::roleText() const {
    return m_c.lblElementType->text();
}

protocol::ConfigurationFields EditorBridge::fields() const {
    protocol::ConfigurationFields f;
    f.ip = m_c.txtElementIP->text();
    f.mask = m_c.txtElementMask->text();
    f.gw = m_c.txtElementGW->text();
    f.remote = m_c.txtRemoteIP->text();
    f.input = m_c.cmbAudioInput->currentIndex();
    f.type = m_c.cmbAudioType->currentIndex();
    f.tx = m_c.cmbAudioTX->currentIndex();
    f.sfn = m_c.chkSFNEnabled->isChecked();
    f.name = m_c.txtElementName->text();
    f.buffer = m_c.scrlBuffer->value();
    f.silDetMode = m_c.cmbSilDetMode->currentIndex();
    f.silDetLevel = m_c.scrlSilDetLevel->value();
    f.silDetTime = m_c.scrlSilDetTime->value();
    f.lowLatency = m_c.chkLowLatency->isChecked();
    return f;
}

void EditorBridge::setRole(int role) {
    m_editor.setElementType(protocol::RoleText(role));
}

void EditorBridge::setSerialAndVersion(const QString& serial, const QString& version) {
    m_c.lblSerialNumber->setText(serial);
    m_c.lblVersion->setText(version);
}

int EditorBridge::putAttenuation(int value) {
    const int att = limited(m_c.scrlAtten, value);
    m_c.scrlAtten->setValue(att);
    return att;
}

int EditorBridge::putBuffer(int value) {
    const int buffer = limited(m_c.scrlBuffer, value);
    m_c.scrlBuffer->setValue(buffer);
    return buffer;
}

void EditorBridge::putSilenceDetector(int mode, int* level, int* time) {
    m_c.cmbSilDetMode->setCurrentIndex(mode < m_c.cmbSilDetMode->count() ? mode : -1);
    *level = limited(m_c.scrlSilDetLevel, *level);
    *time = limited(m_c.scrlSilDetTime, *time);
    m_c.scrlSilDetLevel->setValue(*level);
    m_c.scrlSilDetTime->setValue(*time);
}

} // namespace app
