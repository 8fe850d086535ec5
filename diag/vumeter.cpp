#include "diag/vumeter.h"

#include <QLinearGradient>
#include <QPainter>

namespace diag {

VuMeter::VuMeter(QWidget* parent) : QWidget(parent) {
    setFixedSize(140, 16);
}

void VuMeter::setWidthTwips(int twips) {
    m_twips = qBound(0, twips, 2100);
    update();
}

void VuMeter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(32, 32, 32));
    const int shown = m_twips / 15;
    if (shown <= 0 || !isEnabled())
        return;
    // Green to red along the full scale, so the colour tells the level even at a glance.
    QLinearGradient g(0, 0, 140, 0);
    g.setColorAt(0.0, QColor(0, 180, 0));
    g.setColorAt(0.7, QColor(220, 220, 0));
    g.setColorAt(1.0, QColor(230, 0, 0));
    p.fillRect(QRect(0, 0, shown, 16), g);
}

} // namespace diag
