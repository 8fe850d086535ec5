#pragma once
// The "Diagnostics:" frame of the main window: the station's own interface, the ping test, the
// statistics and SFN windows of the element shown, and the audio level meter.
#include "db/elementstore.h"
#include "diag/interfacechoice.h"
#include "diag/levelmeter.h"
#include "diag/ping.h"

#include <QGroupBox>
#include <functional>

class QComboBox;
class QPushButton;

namespace diag {

class DiagnosticsPanel : public QGroupBox {
    Q_OBJECT
public:
    DiagnosticsPanel(protocol::MainEndpoint& endpoint, protocol::NoticeQueue& notices,
                     QWidget* parent = nullptr);

    LevelMeter& levelMeter() { return *m_meter; }
    // The address the ping test tries: the one typed in the editor.
    void setTypedAddress(std::function<QString()> typed) { m_typed = std::move(typed); }

    // Start-up: the local addresses, the entry to use selected. During start-up (bound false)
    // the choice is only taken; savedWhenBound() saves it once the endpoint is bound there.
    // The address table's error code, 0 when it could be read.
    int FillNMSIPList();
    void savedWhenBound() { m_interfaces.saveBound(); }
    void setStarting(bool starting) { m_starting = starting; }

    void setElement(const std::optional<db::SelectedElement>& element);
    void setStatisticsAllowed(bool allowed);
    void setAdjustAllowed(bool allowed);
    // Light yellow again; with a caption for an element shown, or for none.
    void resetPingColour();
    void resetPing(bool elementShown);

signals:
    // A port that cannot be bound ends the program after this message.
    void fatal(const QString& message);

private:
    void ping();
    // The window for the element shown, modal; a port it cannot bind ends the program.
    template <class Window> void open(const QString& portTaken);
    void openStatistics();
    void openAdjust();

    protocol::MainEndpoint& m_endpoint;
    PingTest m_pingTest;
    InterfaceChoice m_interfaces;
    LevelMeter* m_meter;
    QComboBox* m_cmbNMSIPAddr;
    QPushButton* m_cmdPing;
    QPushButton* m_cmdGetStats;
    QPushButton* m_cmdAdjust;
    std::function<QString()> m_typed;
    std::optional<db::SelectedElement> m_element;
    bool m_starting = false;
};

} // namespace diag
