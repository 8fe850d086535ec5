#pragma once
// The discovery window: open for a fixed time while the answers are collected.
#include <QDialog>

class QTimer;

namespace app {

class FrmPaging : public QDialog {
    Q_OBJECT
public:
    explicit FrmPaging(int windowMs, QWidget* parent = nullptr);
    QTimer* timer() const { return m_timer; }
    // Only the timer closes it: Escape or the frame would end the collection early.
    void reject() override {}

private:
    QTimer* m_timer;
};

} // namespace app
