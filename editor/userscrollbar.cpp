#include "editor/userscrollbar.h"

#include <QEvent>
#include <QScopedValueRollback>

namespace editor {

UserScrollBar::UserScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    // Nothing changes while the thumb is dragged; the value follows on release.
    setTracking(false);
    // An action moves the thumb first and sets the value after this signal.
    connect(this, &QAbstractSlider::actionTriggered, this,
            [this] { m_actionMoves = sliderPosition() != value(); });
    connect(this, &QAbstractSlider::valueChanged, this, [this](int v) {
        const bool byUser = m_inInput || m_actionMoves;
        m_actionMoves = false;
        if (byUser)
            emit userChanged(v);
    });
}

bool UserScrollBar::event(QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::ContextMenu: {
        // "Scroll here" of the context menu sets the value without an action.
        const QScopedValueRollback<bool> input(m_inInput, true);
        return QScrollBar::event(event);
    }
    default:
        return QScrollBar::event(event);
    }
}

} // namespace editor
