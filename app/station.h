#pragma once
// The station: start-up, the main window's commands and the main endpoint on port 2976.
// The window itself only holds controls; everything it does is here or in the editor.
#include "editor/maincontrols.h"
#include "protocol/wire.h"

#include <QObject>
#include <QStringList>
#include <memory>

namespace platform {
class UdpEndpoint;
class SingleInstanceLock;
} // namespace platform
namespace editor {
class ElementEditor;
}

namespace app {

class FrmMain;

// Intervals the tests shorten; the station runs with these defaults.
struct StationTiming {
    int discoveryWindowMs = 3000;
    int macTickMs = 1000;
    int responseTimeoutMs = 3000;
};

class Station : public QObject {
    Q_OBJECT
public:
    using Timing = StationTiming;

    explicit Station(Timing timing = Timing(), QObject* parent = nullptr);
    ~Station() override;

    // Runs the start-up sequence. False: the program ends (a second instance, a port
    // that cannot be bound, an unreadable address table), with exitCode().
    bool start(const QStringList& arguments);
    int exitCode() const { return m_exitCode; }
    bool hasEnded() const { return m_ended; }

    FrmMain& window() { return *m_window; }
    editor::MainControls& controls();
    editor::MainState& state() { return m_state; }
    editor::ElementEditor& elementEditor() { return *m_editor; }
    platform::UdpEndpoint& udpClient() { return *m_udpClient; }

    // Element list
    void Load_Config();
    void RefreshList();

    // Toolbar
    void AutoDiscover();
    void SaveChanges();
    void StartMonitoring();
    void StopMonitoring();

    // Main endpoint. forceRebind: close and bind even when bound to the right address.
    bool BindMainEndpoint(bool forceRebind = false);
    void DispatchDatagram(const QByteArray& payload);

    // Interface list and ping
    void FillNMSIPList();
    void PingElement(const QString& addressText);

signals:
    // A fatal failure ended the program (after its message).
    void programEnded(int exitCode);

private:
    void connectWindow();
    void fatal(const QString& message);
    void handleFeedback(const QByteArray& payload);
    void storeDiscoveredElement(const protocol::Feedback& feedback);
    void flushDiscoveredElements();
    void handleUploadAnswer(const protocol::Feedback& feedback);
    void onResponseTimeout();
    void onNMSIPSelected(int index);
    void onVolumeTick();
    void onLevelReply(const QByteArray& payload);
    void sendAttenuation(int step);
    void openStatistics();
    void openAdjust();
    QString selectedElementIp() const;

    Timing m_timing;
    editor::MainState m_state;
    std::unique_ptr<FrmMain> m_window;
    editor::ElementEditor* m_editor = nullptr;
    platform::UdpEndpoint* m_udpClient = nullptr;
    std::unique_ptr<platform::SingleInstanceLock> m_instanceLock;

    bool m_ended = false;
    int m_exitCode = 0;
    bool m_starting = false;       // the interface list is filled before the first bind
    bool m_loading = false;        // a rebuild of the element list is running
    bool m_reloadPending = false;  // one was asked for meanwhile
    bool m_handlingAnswer = false; // an upload answer is being handled
    bool m_discoveryWriteFailed = false;
    // Answers of one burst are stored in one file rewrite, right after the burst.
    QList<QPair<QString, QList<QPair<QString, QString>>>> m_pendingRecords;
};

} // namespace app
