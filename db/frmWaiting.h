#pragma once
// The MAC wait window: looks the address up once a tick until it is found or the
// tick limit is passed.
#include <QDialog>

class QLabel;
class QTimer;

namespace db {

class FrmWaiting : public QDialog {
    Q_OBJECT
public:
    FrmWaiting(const QString& address, quint8 tickLimit, int tickMs = 1000,
               QWidget* parent = nullptr);

    // Opens modally; the MAC text found, or empty.
    QString waitForMac();
    quint8 ticksCounted() const { return m_count; }

private:
    void tick();

    QString m_address;
    quint8 m_limit;
    quint8 m_count = 0; // belongs to this opening
    QString m_mac;
    QLabel* m_label = nullptr;
    QTimer* m_timer = nullptr;
};

} // namespace db
