#include "editor/userscrollbar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QLabel>
#include <QScopedValueRollback>

namespace editor {

namespace {

// What a reader gets of the bar: its row caption and the value's meaning as its name (the
// value interface over AT-SPI carries only the number), the meaning as its value text, and
// a value it sets taken as the user's move.
class BarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit BarAccessible(UserScrollBar* bar) : QAccessibleWidget(bar, QAccessible::ScrollBar) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        const QString meaning = bar()->valueText();
        if (t == QAccessible::Value)
            return meaning;
        const QString text = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && !meaning.isEmpty())
            return text.isEmpty() ? meaning : text + QLatin1Char(' ') + meaning;
        return text;
    }

    QVariant currentValue() const override { return bar()->value(); }
    void setCurrentValue(const QVariant& value) override {
        if (bar()->isEnabled()) // as keys cannot move a disabled bar
            bar()->setUserValue(value.toInt());
    }
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return bar()->singleStep(); }

private:
    UserScrollBar* bar() const { return static_cast<UserScrollBar*>(widget()); }
};

QAccessibleInterface* barAccessible(const QString&, QObject* object) {
    if (auto* bar = qobject_cast<UserScrollBar*>(object))
        return new BarAccessible(bar);
    return nullptr;
}

} // namespace

UserScrollBar::UserScrollBar(QWidget* parent) : QScrollBar(Qt::Horizontal, parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(barAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    // An action moves the thumb first and sets the value after this signal.
    connect(this, &QAbstractSlider::actionTriggered, this,
            [this] { m_actionMoves = sliderPosition() != value(); });
    connect(this, &QAbstractSlider::valueChanged, this, [this](int v) {
        const bool byUser = m_inInput || m_actionMoves;
        m_actionMoves = false;
        if (byUser)
            emit userChanged(v);
    });
    // The name carries the value's meaning: a reader hears it anew once the caption follows.
    connect(
        this, &QAbstractSlider::valueChanged, this,
        [this] {
            QAccessibleEvent changed(this, QAccessible::NameChanged);
            QAccessible::updateAccessibility(&changed);
        },
        Qt::QueuedConnection);
}

QString UserScrollBar::valueText() const {
    return m_valueLabel ? m_valueLabel->text() : QString::number(value());
}

void UserScrollBar::setUserValue(int value) {
    const QScopedValueRollback<bool> input(m_inInput, true);
    setValue(value);
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
