#pragma once
// A horizontal scroll bar that tells the user's own moves from values set by the program:
// keys, clicks, the wheel, the context menu and the released thumb are the user's.
#include <QScrollBar>

namespace editor {

class UserScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit UserScrollBar(QWidget* parent = nullptr);

signals:
    // The value changed by the user's hand.
    void userChanged(int value);

protected:
    bool event(QEvent* event) override;

private:
    bool m_inInput = false;     // one of the bar's own input events is being handled
    bool m_actionMoves = false; // a triggered action (or its auto-repeat) is moving it
};

} // namespace editor
