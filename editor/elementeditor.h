#pragma once
// The element editor: shows one element of nms.ini in its own controls, lays them out for the
// element's role, keeps each control's value rules, and gives back the element the user has
// drafted. The diagnostics and the level meter follow it through its signals.
#include "db/elementstore.h"
#include "editor/editorcontrols.h"

#include <QWidget>

namespace editor {

class ElementEditor : public QWidget {
    Q_OBJECT
public:
    explicit ElementEditor(QWidget* parent = nullptr);

    // The variant the station was started in: the buffer's range, the latency rule, and the
    // low-latency option until a load or the check box sets it.
    void setVariant(db::Variant variant);
    bool GPSMode() const { return m_gpsMode; }
    bool LowLatencyMode() const { return m_lowLatencyMode; }
    const db::ElementLimits& limits() const { return m_limits; }

    void LoadElementIntoEditor(const QString& nodeKey, const QString& nodeText);
    // A node chosen in the element list; the element shown already is not loaded again, so
    // that its edits stay.
    void chooseNode(const QString& nodeKey, const QString& nodeText);
    void ClearElementEditor();
    void ApplyRoleLayout();
    void UpdateLatencyText();
    void UpdateSilenceDetectorControls();

    std::optional<db::SelectedElement> selected() const;
    // The values as the user has them now; the remote field goes into `multi` and `remote`.
    db::Element draft() const;
    // What an element confirmed and reported, shown if it is the element shown.
    void showStored(const db::SelectedElement& element, const db::Element& stored);
    // The encoders of the element list, after "<None>".
    void setEncoders(const QStringList& texts);

signals:
    // The user moved a decoder's attenuation bar: send it (the editor has stored "att").
    void attenuationMoved(const db::SelectedElement& element, int step);
    // The element shown changed (loaded, cleared, or its role changed).
    void elementChanged(const std::optional<db::SelectedElement>& element);
    // Whether the level meter may run for the element shown; every change stops it.
    void monitoringAllowed(bool allowed);
    void statisticsAllowed(bool allowed);
    void adjustAllowed(bool allowed);
    // A load begins: the ping button goes back to light yellow.
    void loadStarted();
    // The ping button is ready for the element now shown (after a load), or for none.
    void pingReady(bool elementShown);

private:
    void connectControls();
    void setElementType(const QString& roleText);
    void showRemote(const db::Element& stored, bool multicast);
    void onAudioTXSelected(int index);
    void onAttenuationMoved(int value);
    bool storeAttenuation(const QString& section, int value);
    QString section() const;

    EditorControls m_c;
    bool m_gpsMode = false;
    bool m_lowLatencyMode = false;
    db::ElementLimits m_limits;
};

} // namespace editor
