#pragma once
// The element editor: loads a record of nms.ini into the main window's controls, lays
// them out for the element's role, and keeps each control's own value rules.
#include "editor/maincontrols.h"

#include <QObject>

class QColor;
class QTreeWidgetItem;

namespace editor {

// Paints a control's background (a button's face, a text field's base).
void setBackground(QWidget* widget, const QColor& colour, int paletteRole);

class ElementEditor : public QObject {
    Q_OBJECT
public:
    ElementEditor(MainControls& controls, MainState& state, QObject* parent = nullptr);

    void LoadElementIntoEditor(const QString& nodeKey, const QString& nodeText);
    void ClearElementEditor();
    void ApplyRoleLayout();
    void UpdateLatencyText();
    void UpdateSilenceDetectorControls();

    // Every change of the role caption goes through here, so the layout follows it.
    void setElementType(const QString& roleText);
    // The section of the element shown, from lblElementMAC.
    QString section() const;
    bool elementLoaded() const;

    // Level meter switch, as the toolbar's monitoring buttons and the layout work it.
    void setMonitoring(bool on);

signals:
    // The user moved a decoder's attenuation bar: send it (the editor stores "att").
    void attenuationMovedByUser(int step);
    // chkGetVolume changed state; the level meter starts or stops on it.
    void monitoringChanged(bool on);

private:
    void connectControls();
    void onAudioTXSelected(int index);
    void attenuationMoved(int value);
    // Loads a tree node unless it is the element already shown.
    void loadNode(QTreeWidgetItem* node);
    void onAddressEdited(QLineEdit* field);
    void selectIndex(QComboBox* combo, const QString& stored, int defaultIndex);
    void setBar(QScrollBar* bar, const QString& stored, int defaultValue);
    QString read(const QString& key, const QString& defaultValue = QString()) const;

    MainControls& m_c;
    MainState& m_state;
};

} // namespace editor
