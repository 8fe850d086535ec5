#pragma once
// The statistics window: traffic and PTP counters of the selected element, fetched and reset
// over port 2978. Modal, short-lived; reads the element afresh from the main window and
// nms.ini at each use.
#include "db/elementstore.h"

#include <QDialog>
#include <QHash>
#include <QString>

#include "diag/statusreply.h"

class QGroupBox;
class QLabel;
class QPushButton;

namespace platform {
class UdpEndpoint;
}

namespace diag {

class FrmStatistics : public QDialog {
    Q_OBJECT
public:
    FrmStatistics(const db::SelectedElement& element, const QString& localAddress,
                  QWidget* parent = nullptr);

    // Bind udpClient2 to localAddress:2978, frame caption, send "GetStats".
    // False when the bind fails (the caller reports it and ends the program).
    bool start();

    const StatsValues& values() const { return m_values; }

    void done(int result) override;

private:
    void sendCommand(const QByteArray& command);
    void onDatagram(const QByteArray& payload);
    void onRefresh();
    void onReset();

    db::SelectedElement m_element;
    QString m_localAddress;
    platform::UdpEndpoint* m_udp = nullptr;
    QGroupBox* m_frame = nullptr;
    QPushButton* m_cmdRefresh = nullptr;
    QPushButton* m_cmdReset = nullptr;
    QHash<QString, QLabel*> m_valueLabels;
    StatsValues m_values;
    bool m_errorBoxOpen = false; // replies that arrive meanwhile are dropped
};

} // namespace diag
