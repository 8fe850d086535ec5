#include "app/frmDisclaimer.h"

#include "platform/settings.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace app {

FrmDisclaimer::FrmDisclaimer(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmDisclaimer"));
    setWindowTitle(QStringLiteral("Kestrune NMS"));
    setModal(true);
    // The requested face; Qt substitutes the nearest installed one.
    QFont face(QStringLiteral("MS Sans Serif"));
    face.setPointSizeF(font().pointSizeF());
    setFont(face);

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(48, 48));
    image->setAccessibleName(QStringLiteral("Warning"));
    image->setAccessibleDescription(QStringLiteral("Image1"));

    auto* label1 = new QLabel(QStringLiteral("IMPORTANT NOTICE!"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = label1->font();
    bold.setBold(true);
    label1->setFont(bold);

    auto* label2 = new QLabel(
        QStringLiteral("Since NMS version 3.4.2, we made many significant changes. DO NOT use NMS "
                       "v.3.4.2 to manage Kestrune equipment with older firmware, or they will "
                       "become unusable."),
        this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setWordWrap(true);

    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("Line1"));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* label3 = new QLabel(
        QStringLiteral("If you are not sure which version your Kestrune equipment has, please "
                       "consult your local dealer, or contact our support    at "
                       "support@kestrune.example"),
        this);
    label3->setObjectName(QStringLiteral("Label3"));
    label3->setWordWrap(true);
    label3->setTextFormat(Qt::PlainText); // the blanks before "at" stay as they are
    label3->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_chkAgree = new QCheckBox(
        QStringLiteral(
            "I have read and understood all the above. Do not show this notification again."),
        this);
    m_chkAgree->setObjectName(QStringLiteral("chkAgree"));
    m_chkAgree->setChecked(false);

    m_cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    m_cmdClose->setDefault(true);

    auto* heading = new QHBoxLayout;
    heading->addWidget(image, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(label1);
    texts->addWidget(label2);
    heading->addLayout(texts, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(heading);
    layout->addWidget(line);
    layout->addWidget(label3);
    layout->addWidget(m_chkAgree);
    layout->addLayout(buttons);
    setMinimumWidth(460);

    // Scripts and readers find each control by its name.
    for (QWidget* w : {static_cast<QWidget*>(label1), static_cast<QWidget*>(label2),
                       static_cast<QWidget*>(label3), static_cast<QWidget*>(m_chkAgree),
                       static_cast<QWidget*>(m_cmdClose)})
        w->setAccessibleDescription(w->objectName());

    // Each tick or untick, whoever made it, is stored at once; the window keeps nothing.
    connect(m_chkAgree, &QCheckBox::toggled, this, [](bool checked) {
        platform::settings().save(platform::kEulaSetting,
                                  checked ? QStringLiteral("1") : QStringLiteral("0"));
    });
    connect(m_cmdClose, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace app
