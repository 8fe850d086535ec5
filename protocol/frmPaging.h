#pragma once
// The discovery window: open for a fixed time while the answers are collected.
#include <QDialog>

class QTimer;

namespace protocol {

class DiscoverySession;

class FrmPaging : public QDialog {
    Q_OBJECT
public:
    FrmPaging(DiscoverySession& session, int windowMs, QWidget* parent = nullptr);
    QTimer* timer() const { return m_timer; }
    // Only the timer closes it: Escape or the frame would end the collection early.
    void reject() override {}

    // Begins the discovery and collects until the window closes; false when it could not
    // begin (nothing was sent, the window never opened).
    bool run();

private:
    DiscoverySession& m_session;
    QTimer* m_timer;
};

} // namespace protocol
