#pragma once
// The main window's editor as the upload and the answer handling see it.
#include "protocol/editoraccess.h"

namespace editor {
struct MainControls;
class ElementEditor;
} // namespace editor

namespace app {

class EditorBridge : public protocol::EditorAccess {
public:
    EditorBridge(editor::MainControls& controls, editor::ElementEditor& editor)
        : m_c(controls), m_editor(editor) {}

    QString selectedMac() const override;
    QString roleText() const override;
    protocol::ConfigurationFields fields() const override;
    void setRole(int role) override;
    void setSerialAndVersion(const QString& serial, const QString& version) override;
    int putAttenuation(int value) override;
    int putBuffer(int value) override;
    void putSilenceDetector(int mode, int* level, int* time) override;

private:
    editor::MainControls& m_c;
    editor::ElementEditor& m_editor;
};

} // namespace app
