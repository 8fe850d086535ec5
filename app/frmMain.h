#pragma once
// The main window: toolbar, element tree on the left, element editor and diagnostics on
// the right. It only builds the controls; the station gives them their behaviour.
#include "editor/maincontrols.h"

#include <QIcon>
#include <QMainWindow>

namespace app {

class FrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit FrmMain(QWidget* parent = nullptr);

    editor::MainControls& controls() { return m_controls; }

    // The tree's pictures: the encoder's or, for every other role, the decoder's.
    static QIcon elementIcon(bool encoder);
    // Picture N (1-7) of the window's image list: 1-5 the toolbar's, 6-7 the tree's.
    static QIcon imageListIcon(int image);

signals:
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolbar();
    QWidget* buildElementFrame();
    QWidget* buildNetworkFrame();
    QWidget* buildAudioFrame();
    QWidget* buildSilenceFrame();
    QWidget* buildDiagnosticsFrame();

    editor::MainControls m_controls;
};

} // namespace app
