#pragma once
// The main window: the toolbar, and the panels of the subsystems side by side: the element
// list on the left, the element editor and the diagnostics on the right.
#include <QIcon>
#include <QMainWindow>

class QAction;
class QToolBar;

namespace app {

class FrmMain : public QMainWindow {
    Q_OBJECT
public:
    FrmMain(QWidget* elementList, QWidget* editor, QWidget* diagnostics, QWidget* parent = nullptr);

    // toolbarButton(1..7) as the toolbar numbers them (3 and 5 are separators).
    QAction* toolbarButton(int index) const { return m_buttons[index]; }

    // The tree's pictures: the encoder's or, for every other role, the decoder's; the same
    // picture when selected.
    static QIcon elementIcon(bool encoder);
    // Picture N (1-7) of the window's image list: 1-5 the toolbar's, 6-7 the tree's.
    static QIcon imageListIcon(int image);

signals:
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildToolbar();

    QToolBar* m_toolbar = nullptr;
    QAction* m_buttons[8] = {};
};

} // namespace app
