#include "app/frmMain.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>

// The image list (frmMain.qrc) lives in a static library: it is registered only when
// something references it.
static void initIconResources() {
    Q_INIT_RESOURCE(frmMain);
}

namespace app {

namespace {

struct Button {
    const char* toolTip; // nullptr: a separator
    int image;
    QKeySequence keys;
};

// A focused toolbar button is pressed with Enter as with Space.
class EnterPresses : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* button = qobject_cast<QToolButton*>(watched);
        if (button && event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                button->click();
                return true;
            }
        }
        return false;
    }
};

// A reader's Press on a toolbar button answers at once and the click follows, as a push
// button's does: a command that opens a box must not hold the reader until it is answered.
class ToolbarButtonAccessible : public QAccessibleWidget {
public:
    explicit ToolbarButtonAccessible(QToolButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = button()->isDown();
        return s;
    }
    QStringList actionNames() const override {
        if (!button()->isEnabled())
            return {};
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action != pressAction())
            QAccessibleWidget::doAction(action);
        else if (button()->isEnabled())
            button()->animateClick();
    }
    QStringList keyBindingsForAction(const QString& action) const override {
        if (action == pressAction())
            return {button()->shortcut().toString()};
        return QAccessibleWidget::keyBindingsForAction(action);
    }

private:
    QToolButton* button() const { return static_cast<QToolButton*>(widget()); }
};

QAccessibleInterface* toolbarButtonAccessible(const QString&, QObject* object) {
    auto* button = qobject_cast<QToolButton*>(object);
    if (button && qobject_cast<QToolBar*>(button->parentWidget()))
        return new ToolbarButtonAccessible(button);
    return nullptr;
}

} // namespace

namespace {
QPixmap imageListPicture(int image) {
    initIconResources();
    return QPixmap(QStringLiteral(":/kestrune/icons/image%1.png").arg(image));
}
} // namespace

QIcon FrmMain::imageListIcon(int image) {
    return QIcon(imageListPicture(image));
}

QIcon FrmMain::elementIcon(bool encoder) {
    const QPixmap picture = imageListPicture(encoder ? 6 : 7);
    QIcon icon(picture);
    icon.addPixmap(picture, QIcon::Selected); // not tinted when chosen
    return icon;
}

FrmMain::FrmMain(QWidget* elementList, QWidget* editor, QWidget* diagnostics, QWidget* parent)
    : QMainWindow(parent) {
    initIconResources();
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(elementIcon(true));
    buildToolbar();

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(central);
    // Placed in reading order, which is the Tab order: toolbar, list, editor, diagnostics.
    auto* mainLayout = new QHBoxLayout(central);
    mainLayout->addWidget(elementList, 3);
    auto* right = new QWidget(central);
    right->setObjectName(QStringLiteral("editorSide"));
    auto* rightLayout = new QGridLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(editor, 0, 0);
    rightLayout->addWidget(diagnostics, 1, 0);
    rightLayout->setRowStretch(2, 1); // spare height goes below the diagnostics
    mainLayout->addWidget(right, 7);

    QSize size(1180, 760);
    if (QScreen* s = screen())
        size = size.boundedTo(s->availableSize());
    resize(size);
}

void FrmMain::buildToolbar() {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(toolbarButtonAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    m_toolbar = new QToolBar(QStringLiteral("Toolbar"), this);
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setAccessibleName(QStringLiteral("Toolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setIconSize(QSize(28, 28));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolbar->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, m_toolbar);

    const Button buttons[8] = {
        {nullptr, 0, {}},
        {"Auto discover elements", 1, QKeySequence(Qt::CTRL | Qt::Key_D)},
        {"Refresh list", 2, QKeySequence(Qt::Key_F5)},
        {nullptr, 0, {}},
        {"Save changes", 3, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {nullptr, 0, {}},
        {"Start audio monitoring", 4, QKeySequence(Qt::CTRL | Qt::Key_M)},
        {"Stop audio monitoring", 5, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M)}};
    auto* enter = new EnterPresses(m_toolbar);
    for (int n = 1; n <= 7; ++n) {
        const QString name = QStringLiteral("Toolbar1Button%1").arg(n);
        QAction* action;
        if (buttons[n].toolTip) {
            const QString tip = QLatin1String(buttons[n].toolTip);
            action = m_toolbar->addAction(imageListIcon(buttons[n].image), tip);
            action->setToolTip(tip);
            auto* button = qobject_cast<QToolButton*>(m_toolbar->widgetForAction(action));
            button->setObjectName(name + QStringLiteral("Widget"));
            button->setAccessibleName(tip);
            button->setAccessibleDescription(name);
            // Reached by Tab, pressed by Space or Enter; its keys belong to the button, so
            // they act only while it is enabled and a reader announces them with it.
            button->setFocusPolicy(Qt::StrongFocus);
            button->setShortcut(buttons[n].keys);
            button->installEventFilter(enter);
        } else {
            action = m_toolbar->addSeparator();
        }
        action->setObjectName(name);
        m_buttons[n] = action;
    }
}

void FrmMain::closeEvent(QCloseEvent* event) {
    emit closing();
    event->accept();
}

} // namespace app
