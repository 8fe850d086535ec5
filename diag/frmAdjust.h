#pragma once
// The SFN adjustment window: network latency of the selected decoder, and its additional
// delay and auto servo set live over port 2978. Modal, short-lived.
#include "db/elementstore.h"

#include <QDialog>
#include <QHash>
#include <QString>

#include "diag/statusreply.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QTimer;

namespace platform {
class UdpEndpoint;
}

namespace diag {

class FrmAdjust : public QDialog {
    Q_OBJECT
public:
    FrmAdjust(const db::SelectedElement& element, const QString& localAddress,
              QWidget* parent = nullptr);

    // Opening steps 1-7; false when port 2978 cannot be bound (the caller reports it and
    // ends the program).
    bool start();

    void setClearDelayMs(int ms);
    void setRefreshIntervalMs(int ms);

    qint32 additionalDelayNs() const { return m_additionalDelayNs; }
    bool parametersChanged() const { return m_parametersChanged; }
    const DelayValues& values() const { return m_values; }

    void done(int result) override;

private:
    void sendCommand(const QByteArray& datagram);
    void autoRefreshOff();
    void updateAdditionalDelay();
    void onDatagram(const QByteArray& payload);
    void onScrollChanged();
    void onAutoServoToggled();
    void onAutoClearToggled();
    void onAutoUpdateToggled(bool on);
    void onReset();
    void onSet();
    void onClearTimer();
    void setLabel(const QString& name, const QString& text);

    db::SelectedElement m_element;
    QString m_localAddress;
    platform::UdpEndpoint* m_udp = nullptr;
    QHash<QString, QLabel*> m_valueLabels;
    QCheckBox* m_chkAutoUpdate = nullptr;
    QCheckBox* m_chkAutoServo = nullptr;
    QCheckBox* m_chkAutoClear = nullptr;
    QScrollBar* m_scroll = nullptr;
    QPushButton* m_cmdResetStats = nullptr;
    QPushButton* m_cmdRefresh = nullptr;
    QPushButton* m_cmdSet = nullptr;
    QTimer* m_timer1 = nullptr; // clear, one shot after Set
    QTimer* m_timer2 = nullptr; // auto refresh

    qint32 m_additionalDelayNs = 0;
    bool m_parametersChanged = false;
    // What the last Set sent: the element holds these, so close stores these.
    int m_setDelayUnits = 0;
    bool m_setAutoServo = false;
    DelayValues m_values;
    bool m_errorBoxOpen = false;
};

} // namespace diag
