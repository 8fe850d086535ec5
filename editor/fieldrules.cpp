#include "editor/fieldrules.h"

#include "db/sharedfunctions.h"
#include "platform/controlmaking.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QTimer>

namespace editor {

namespace {

const QColor kLightRed(255, 128, 128);

// Selects a whole line edit's text when it gets the focus, and upper-cases the name field
// when it loses it.
class FieldFocusFilter : public QObject {
public:
    FieldFocusFilter(QLineEdit* nameField, QObject* parent)
        : QObject(parent), m_nameField(nameField) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* field = qobject_cast<QLineEdit*>(watched);
        if (!field)
            return false;
        if (event->type() == QEvent::FocusIn) {
            // After the click that gave the focus has placed the cursor.
            QTimer::singleShot(0, field,
                               [field] { field->setSelection(0, field->text().length()); });
        } else if (event->type() == QEvent::FocusOut && field == m_nameField) {
            const QString upper = db::upperLatin1(field->text());
            if (upper != field->text())
                field->setText(upper);
        }
        return false;
    }

private:
    QLineEdit* m_nameField;
};

} // namespace

void nameAddressField(QLineEdit* field, const QLabel* caption) {
    const QString text = field->text();
    const bool wellFormed = text.isEmpty() || db::Validate_IP(text);
    const QString name = platform::make::shownText(caption->text());
    field->setAccessibleName(wellFormed ? name : name + QStringLiteral(" (not a valid address)"));
}

void installFieldRules(EditorControls& c) {
    auto* focus = new FieldFocusFilter(c.txtElementName, c.txtElementName);
    for (QLineEdit* f : {c.txtElementName, c.txtElementIP, c.txtElementMask, c.txtElementGW,
                         c.txtRemoteIP, c.txtVLAN_Audio, c.txtVLAN_OM})
        f->installEventFilter(focus);

    // Only what one byte can carry goes into a name.
    c.txtElementName->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[\\x{20}-\\x{7E}\\x{A0}-\\x{FF}]*")), c.txtElementName));

    for (QLineEdit* f : {c.txtElementIP, c.txtElementMask, c.txtElementGW, c.txtRemoteIP}) {
        QLabel* caption = nullptr;
        for (QLabel* l : f->parentWidget()->findChildren<QLabel*>())
            if (l->buddy() == f)
                caption = l;
        QObject::connect(f, &QLineEdit::textChanged, f, [f, caption] {
            const QString text = f->text();
            const bool wellFormed = text.isEmpty() || db::Validate_IP(text);
            platform::make::setBackground(
                f, wellFormed ? QApplication::palette().color(QPalette::Base) : kLightRed,
                QPalette::Base);
            nameAddressField(f, caption);
        });
    }
}

} // namespace editor
