#include "editor/elementeditor.h"

#include "db/inistore.h"
#include "db/records.h"
#include "db/sharedfunctions.h"
#include "editor/captions.h"
#include "editor/userscrollbar.h"
#include "editor/vumeter.h"
#include "platform/messagebox.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

namespace editor {

namespace {

const QColor kLightYellow(255, 255, 192);
const QColor kLightRed(255, 128, 128);

const QString kEncoder = QStringLiteral("ENCODER");
const QString kDecoder = QStringLiteral("DECODER");
const QString kUnknown = QStringLiteral("UNKNOWN");

// Upper case within one byte: a-z and the accented small letters of Latin-1 (not the
// sharp s or y with diaeresis, whose capitals lie outside it), length unchanged.
QString upperLatin1(const QString& text) {
    QString out = text;
    for (QChar& ch : out) {
        const ushort u = ch.unicode();
        if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
            ch = QChar(ushort(u - 0x20));
    }
    return out;
}

// Selects a whole line edit's text when it gets the focus, and upper-cases the name
// field when it loses it.
class FieldFocusFilter : public QObject {
public:
    FieldFocusFilter(QLineEdit* nameField, QObject* parent)
        : QObject(parent), m_nameField(nameField) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* field = qobject_cast<QLineEdit*>(watched);
        if (!field)
            return false;
        if (event->type() == QEvent::FocusIn) {
            // After the click that gave the focus has placed the cursor.
            QTimer::singleShot(0, field, [field] { field->setSelection(0, field->text().length()); });
        } else if (event->type() == QEvent::FocusOut && field == m_nameField) {
            const QString upper = upperLatin1(field->text());
            if (upper != field->text())
                field->setText(upper);
        }
        return false;
    }

private:
    QLineEdit* m_nameField;
};

} // namespace

void setBackground(QWidget* widget, const QColor& colour, int paletteRole) {
    QPalette p = widget->palette();
    p.setColor(QPalette::ColorRole(paletteRole), colour);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

ElementEditor::ElementEditor(MainControls& controls, MainState& state, QObject* parent)
    : QObject(parent), m_c(controls), m_state(state) {
    connectControls();
}

void ElementEditor::connectControls() {
    auto* focus = new FieldFocusFilter(m_c.txtElementName, this);
    for (QLineEdit* f : {m_c.txtElementName, m_c.txtElementIP, m_c.txtElementMask, m_c.txtElementGW,
                         m_c.txtRemoteIP, m_c.txtVLAN_Audio, m_c.txtVLAN_OM})
        f->installEventFilter(focus);

    // Only what one byte can carry goes into a name.
    m_c.txtElementName->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[\\x{20}-\\x{7E}\\x{A0}-\\x{FF}]*")), this));

    for (QLineEdit* f : {m_c.txtElementIP, m_c.txtElementMask, m_c.txtElementGW, m_c.txtRemoteIP})
        connect(f, &QLineEdit::textChanged, this, [this, f] { onAddressEdited(f); });

    // A node chosen by a click, by the keyboard (arrows, Home/End, Enter) is loaded; choosing
    // the loaded node again keeps the edits.
    if (QTreeWidget* tree = m_c.TreeView1) {
        connect(tree, &QTreeWidget::itemSelectionChanged, this, [this, tree] {
            const QList<QTreeWidgetItem*> chosen = tree->selectedItems();
            if (!chosen.isEmpty())
                loadNode(chosen.first());
        });
        connect(tree, &QTreeWidget::itemClicked, this, &ElementEditor::loadNode);
        connect(tree, &QTreeWidget::itemActivated, this, &ElementEditor::loadNode);
    }

    connect(m_c.cmbAudioTX, &QComboBox::currentIndexChanged, this,
            &ElementEditor::onAudioTXSelected);
    connect(m_c.cmbSilDetMode, &QComboBox::currentIndexChanged, this,
            [this] { UpdateSilenceDetectorControls(); });

    connect(m_c.scrlAtten, &QScrollBar::valueChanged, this,
            [this](int v) { m_c.lblAttenDB->setText(AttenuationCaption(v)); });
    connect(m_c.scrlAtten, &UserScrollBar::userChanged, this, &ElementEditor::attenuationMoved);

    connect(m_c.scrlBuffer, &QScrollBar::valueChanged, this, [this] { UpdateLatencyText(); });
    connect(m_c.scrlSilDetLevel, &QScrollBar::valueChanged, this,
            [this](int v) { m_c.lblSilDetLevel->setText(SilenceLevelCaption(v)); });
    connect(m_c.scrlSilDetTime, &QScrollBar::valueChanged, this,
            [this](int v) { m_c.lblSilDetTime->setText(SilenceTimeCaption(v)); });
    connect(m_c.chkLowLatency, &QCheckBox::clicked, this, [this] {
        m_state.LowLatencyMode = m_c.chkLowLatency->isChecked();
        UpdateLatencyText();
    });

    connect(m_c.chkGetVolume, &QCheckBox::toggled, this, [this](bool on) {
        if (on) {
            m_c.tmrVolume->start();
        } else {
            m_c.tmrVolume->stop();
            m_c.lblVolume->setText(QStringLiteral("-oodBFS"));
            m_c.VUMeter->setWidthTwips(0);
        }
        emit monitoringChanged(on);
    });
}

QString ElementEditor::section() const {
    return db::Encode_MAC(m_c.lblElementMAC->text());
}

bool ElementEditor::elementLoaded() const {
    return !section().isEmpty();
}

QString ElementEditor::read(const QString& key, const QString& defaultValue) const {
    return db::ReadFromINI(section(), key, db::NmsIniPath(), defaultValue);
}

void ElementEditor::setElementType(const QString& roleText) {
    if (m_c.lblElementType->text() == roleText)
        return;
    m_c.lblElementType->setText(roleText);
    ApplyRoleLayout();
}

void ElementEditor::setMonitoring(bool on) {
    m_c.chkGetVolume->setChecked(on);
}

void ElementEditor::selectIndex(QComboBox* combo, const QString& stored, int defaultIndex) {
    // Not a number: the key's default; outside the list: no selection, so the
    // upload's validation catches it.
    const qint32 index = db::ParseLong(stored, defaultIndex);
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

void ElementEditor::setBar(QScrollBar* bar, const QString& stored, int defaultValue) {
    const qint32 value = db::ParseLong(stored, defaultValue);
    bar->setValue(qBound(bar->minimum(), value, bar->maximum()));
}

void ElementEditor::LoadElementIntoEditor(const QString& nodeKey, const QString& nodeText) {
    setBackground(m_c.cmdPing, kLightYellow, QPalette::Button);
    m_c.toolbarButton[6]->setEnabled(false);
    m_c.toolbarButton[7]->setEnabled(false);
    setMonitoring(false);

    if (nodeText.isEmpty()) {
        m_c.cmdGetStats->setEnabled(false);
        return;
    }

    const QString path = db::NmsIniPath();
    const QString sect = db::Encode_MAC(nodeKey);
    if (db::GetSectionKeyCount(sect, path) >= 22) {
        platform::showMessage(
            QStringLiteral("Cannot load this element info.\rThe data stored in your computer "
                           "about this element, is corrupted (1)."),
            QString(), platform::MsgIcon::Critical);
        return;
    }
    auto get = [&](const QString& key, const QString& def = QString()) {
        return db::ReadFromINI(sect, key, path, def);
    };

    m_c.txtElementName->setText(get(db::keys::name));
    m_c.txtElementIP->setText(get(db::keys::ip));
    m_c.txtElementMask->setText(get(db::keys::mask));
    m_c.txtElementGW->setText(get(db::keys::gw));

    selectIndex(m_c.cmbAudioInput, get(db::keys::input), -1);
    selectIndex(m_c.cmbAudioType, get(db::keys::type), -1);
    selectIndex(m_c.cmbAudioTX, get(db::keys::tx), -1);

    m_c.lblVersion->setText(get(db::keys::ver, db::defaults::ver));
    selectIndex(m_c.cmbEncoders, get(db::keys::bound, QStringLiteral("0")), 0);

    m_c.cmdGetStats->setEnabled(true);

    const qint32 role = db::ParseLong(get(db::keys::role), -1);
    auto remoteByTransmission = [&] {
        if (m_c.cmbAudioTX->currentIndex() > 0) {
            m_c.Label7->setText(QStringLiteral("Multicast IP:"));
            m_c.txtRemoteIP->setText(get(db::keys::multi, db::defaults::multi));
        } else {
            m_c.Label7->setText(QStringLiteral("Decoder IP:"));
            m_c.txtRemoteIP->setText(get(db::keys::remote, db::defaults::remote));
        }
    };
    if (role == 1) {
        setElementType(kEncoder);
        m_c.toolbarButton[6]->setEnabled(true);
        remoteByTransmission();
    } else if (role == 2) {
        setElementType(kDecoder);
        m_c.Label7->setText(QStringLiteral("Multicast IP:"));
        m_c.txtRemoteIP->setText(get(db::keys::multi, db::defaults::multi));
        const int minimum = m_c.scrlAtten->minimum();
        if (db::ParseLong(get(db::keys::att, QStringLiteral("0")), 0) < minimum)
            db::WriteToINI(sect, db::keys::att, QString::number(minimum), path);
        setBar(m_c.scrlAtten, get(db::keys::att, QStringLiteral("0")), 0);
        setBar(m_c.scrlBuffer, get(db::keys::buf, QStringLiteral("1")), 1);
        setBar(m_c.scrlSilDetLevel, get(db::keys::sdl, QStringLiteral("37")), 37);
        setBar(m_c.scrlSilDetTime, get(db::keys::sdt, QStringLiteral("43")), 43);
        selectIndex(m_c.cmbSilDetMode, get(db::keys::sdm, QStringLiteral("0")), 0);
        ApplyRoleLayout();
        UpdateSilenceDetectorControls();
    } else {
        setElementType(kUnknown);
        // Its own addresses, never the ones another element left in the fields.
        remoteByTransmission();
    }

    m_c.lblElementMAC->setText(nodeKey);

    m_c.lblSerialNumber->setText(get(db::keys::sn));
    m_c.chkSFNEnabled->setChecked(db::ParseLong(get(db::keys::sfn, QStringLiteral("0")), 0) == 1);
    m_c.chkLowLatency->setChecked(db::ParseLong(get(db::keys::llo, QStringLiteral("0")), 0) == 1);

    m_state.LowLatencyMode = m_c.chkLowLatency->isChecked();
    UpdateLatencyText();

    m_c.cmdAdjust->setEnabled(m_c.chkSFNEnabled->isChecked() &&
                              m_c.lblElementType->text() == kDecoder);

    ApplyRoleLayout();
    UpdateSilenceDetectorControls();

    m_c.cmdPing->setText(QStringLiteral("<Click to test>"));
}

void ElementEditor::loadNode(QTreeWidgetItem* node) {
    const QString key = node ? node->data(0, Qt::UserRole).toString() : QString();
    if (node && key != m_c.lblElementMAC->text())
        LoadElementIntoEditor(key, node->text(0));
}

void ElementEditor::ClearElementEditor() {
    const QString dash = QStringLiteral("-");
    setElementType(dash);
    m_c.lblElementMAC->setText(dash);
    m_c.lblSerialNumber->setText(dash);
    m_c.lblVersion->setText(dash);
    m_c.cmdPing->setText(QStringLiteral("<Unknown>"));
    setBackground(m_c.cmdPing, kLightYellow, QPalette::Button);
    m_c.lblLatency->setText(QStringLiteral("-mS"));
    for (QLineEdit* f : {m_c.txtElementName, m_c.txtElementIP, m_c.txtElementMask,
                         m_c.txtElementGW, m_c.txtRemoteIP})
        f->clear();
    m_c.cmbAudioInput->setCurrentIndex(-1);
    m_c.cmbAudioType->setCurrentIndex(-1);
    m_c.cmbAudioTX->setCurrentIndex(-1);

    // Nothing may act on the "-" element.
    m_c.cmdAdjust->setEnabled(false);
    m_c.cmdGetStats->setEnabled(false);
    setMonitoring(false);
    m_c.toolbarButton[6]->setEnabled(false);
    m_c.toolbarButton[7]->setEnabled(false);
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
    m_c.Label9->setText(encoder ? QStringLiteral("Audio source:") : QStringLiteral("Audio atten:"));
    // The caption labels what its row shows: the source list, or the attenuation value.
    m_c.Label9->setBuddy(encoder ? static_cast<QWidget*>(m_c.cmbAudioInput) : m_c.lblAttenDB);

    m_c.tmrVolume->stop();
    setMonitoring(false);
    m_c.chkGetVolume->setVisible(false);

    m_c.toolbarButton[6]->setEnabled(encoder);
    m_c.toolbarButton[7]->setEnabled(false);

    m_c.VUMeter->setEnabled(encoder);
    m_c.VUMeter->setWidthTwips(0);
    m_c.lblVolume->setText(QStringLiteral("-oodBFS"));

    if (encoder) {
        m_c.scrlBuffer->setValue(0);
        UpdateLatencyText();
        m_c.scrlBuffer->setEnabled(false);
        m_c.lblLatency->setText(QStringLiteral("2.5mS"));
    } else {
        m_c.scrlBuffer->setEnabled(true);
        UpdateLatencyText();
    }
    for (QWidget* w : {static_cast<QWidget*>(m_c.cmbSilDetMode), static_cast<QWidget*>(m_c.scrlSilDetLevel),
                       static_cast<QWidget*>(m_c.scrlSilDetTime), static_cast<QWidget*>(m_c.lblSilDetLevel),
                       static_cast<QWidget*>(m_c.lblSilDetTime), static_cast<QWidget*>(m_c.lblLatency),
                       static_cast<QWidget*>(m_c.Label20), static_cast<QWidget*>(m_c.Label24),
                       static_cast<QWidget*>(m_c.Label26)})
        w->setEnabled(!encoder);
}

void ElementEditor::UpdateLatencyText() {
    m_c.lblLatency->setText(LatencyCaption(m_c.scrlBuffer->value(), m_state.LowLatencyMode,
                                           m_state.GPSMode, m_c.chkSFNEnabled->isChecked()));
}

void ElementEditor::UpdateSilenceDetectorControls() {
    const bool listEnabled = m_c.cmbSilDetMode->isEnabled();
    const bool enable = listEnabled && m_c.cmbSilDetMode->currentIndex() <= 0;
    for (QWidget* w : {static_cast<QWidget*>(m_c.scrlSilDetLevel), static_cast<QWidget*>(m_c.scrlSilDetTime),
                       static_cast<QWidget*>(m_c.lblSilDetLevel), static_cast<QWidget*>(m_c.lblSilDetTime),
                       static_cast<QWidget*>(m_c.Label24), static_cast<QWidget*>(m_c.Label26)})
        w->setEnabled(enable);
}

void ElementEditor::onAudioTXSelected(int index) {
    if (m_c.lblElementType->text() != kEncoder)
        return;
    if (index > 0) {
        m_c.Label7->setText(QStringLiteral("Multicast IP:"));
        m_c.txtRemoteIP->setText(read(db::keys::multi, db::defaults::multi));
    } else {
        m_c.Label7->setText(QStringLiteral("Decoder IP:"));
        m_c.txtRemoteIP->setText(read(db::keys::remote, db::defaults::remote));
    }
}

void ElementEditor::attenuationMoved(int value) {
    if (m_c.lblElementType->text() != kDecoder || !elementLoaded())
        return;
    emit attenuationMovedByUser(value);
    if (!db::WriteToINI(section(), db::keys::att, QString::number(value), db::NmsIniPath()))
        platform::showMessage(db::kWriteFailedText, QString(), platform::MsgIcon::Critical);
}

void ElementEditor::onAddressEdited(QLineEdit* field) {
    const QString text = field->text();
    const bool wellFormed = text.isEmpty() || db::Validate_IP(text);
    setBackground(field, wellFormed ? QApplication::palette().color(QPalette::Base) : kLightRed,
                  QPalette::Base);
}

} // namespace editor
