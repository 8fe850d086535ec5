#pragma once
// A horizontal scroll bar that tells the user's own moves from values set by the program:
// keys, clicks, the wheel, the context menu, the released thumb and a value set through the
// accessibility interface are the user's. A reader hears what its value means: the caption
// shown beside it ("-27.5 dB", "10mS"), not the raw step.
#include <QLabel>
#include <QPointer>
#include <QScrollBar>

namespace editor {

class UserScrollBar : public QScrollBar {
    Q_OBJECT
public:
    explicit UserScrollBar(QWidget* parent = nullptr);

    // The label whose text says what the value means.
    void setValueLabel(QLabel* label) { m_valueLabel = label; }
    QString valueText() const;
    // Sets the value as the user's own move.
    void setUserValue(int value);

signals:
    // The value changed by the user's hand.
    void userChanged(int value);

protected:
    bool event(QEvent* event) override;

private:
    bool m_inInput = false;     // one of the bar's own input events is being handled
    bool m_actionMoves = false; // a triggered action (or its auto-repeat) is moving it
    QPointer<QLabel> m_valueLabel;
};

} // namespace editor
