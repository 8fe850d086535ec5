#pragma once
// Small makers of the main window's controls: each control gets its name as object name
// and accessible description, and each caption is tied to what it describes.
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace platform::make {

// The text a label shows once its mnemonic marks are taken out: "&&" is one ampersand,
// a single "&" only marks the access key.
inline QString shownText(const QString& text) {
    QString out;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&')) {
                out += QLatin1Char('&');
                ++i;
            }
            continue;
        }
        out += text.at(i);
    }
    return out;
}

template <class W> W* named(W* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    w->setAccessibleDescription(QLatin1String(name));
    return w;
}

// A caption label for `buddy`; the buddy is announced by the caption's text. A label
// that shows a value (the buddy is a QLabel) keeps its own text as its name, so that a
// screen reader reads the value, and is tied to its caption by the buddy relation. A
// row whose control (a bar, the meter) shows its value in such a label names the
// control after the caption.
inline QLabel* captionFor(QWidget* buddy, const QString& text, const char* name, QWidget* parent,
                          QWidget* control = nullptr) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setBuddy(buddy);
    if (!control && !qobject_cast<QLabel*>(buddy) && !qobject_cast<QPushButton*>(buddy))
        control = buddy;
    if (control)
        control->setAccessibleName(shownText(text));
    return label;
}

// Keeps a companion (a caption) shown exactly while the watched control is, so that the
// code that hides a control needs to know nothing of its caption.
class VisibilityFollower : public QObject {
public:
    VisibilityFollower(QWidget* watched, QWidget* follower)
        : QObject(follower), m_follower(follower) {
        watched->installEventFilter(this);
        follower->setVisible(!watched->isHidden());
    }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::HideToParent)
            m_follower->setVisible(false);
        else if (event->type() == QEvent::ShowToParent)
            m_follower->setVisible(true);
        return false;
    }

private:
    QWidget* m_follower;
};

inline QComboBox* list(QWidget* parent, const char* name, const QStringList& items, int index) {
    auto* box = named(new QComboBox(parent), name);
    box->setEditable(false);
    box->addItems(items);
    box->setCurrentIndex(index);
    return box;
}

template <class Bar = QScrollBar>
Bar* bar(QWidget* parent, const char* name, int minimum, int maximum, int value) {
    auto* b = named(new Bar(parent), name);
    b->setOrientation(Qt::Horizontal);
    // Keyboard users reach it by Tab and move it with the arrow, page and Home/End keys;
    // Left, Down, Page Down and the wheel turned down lower the value, as on a slider.
    b->setFocusPolicy(Qt::StrongFocus);
    b->setInvertedControls(false);
    b->setRange(minimum, maximum);
    b->setSingleStep(1);
    b->setPageStep(10);
    b->setValue(value);
    b->setMinimumWidth(120);
    return b;
}

inline QLineEdit* field(QWidget* parent, const char* name, int maxLength,
                        const QString& text = {}) {
    auto* f = named(new QLineEdit(parent), name);
    f->setMaxLength(maxLength);
    f->setText(text);
    return f;
}

// Tab reaches a label that shows a value as read-only text, so keyboard and screen-reader
// users can read the value too.
inline void readableByTab(QLabel* label) {
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFocusPolicy(Qt::StrongFocus); // selectable text alone takes the focus by click only
}

// A value caption wide enough for the longest text it will show, so rows do not jump.
inline QLabel* valueLabel(QWidget* parent, const char* name, const QString& text,
                          const QString& widest) {
    auto* l = named(new QLabel(text, parent), name);
    readableByTab(l);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(widest) + 6);
    return l;
}

// Paints a control's background (a button's face, a text field's base).
inline void setBackground(QWidget* widget, const QColor& colour, QPalette::ColorRole role) {
    QPalette p = widget->palette();
    p.setColor(role, colour);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

inline QGroupBox* frame(QWidget* parent, const QString& title, const char* name) {
    auto* g = new QGroupBox(title, parent);
    g->setObjectName(QLatin1String(name));
    return g;
}

} // namespace platform::make
