#pragma once
// The level bar: a 140 x 16 pixel picture shown from its left edge; its width is set
// in twips (15 per pixel), 0 to 2100.
#include <QWidget>

namespace diag {

class VuMeter : public QWidget {
    Q_OBJECT
public:
    explicit VuMeter(QWidget* parent = nullptr);
    void setWidthTwips(int twips);
    int widthTwips() const { return m_twips; }
    QSize sizeHint() const override { return QSize(140, 16); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_twips = 0;
};

} // namespace diag
