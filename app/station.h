#pragma once
// The station: start-up, the main window's toolbar and the wiring between the window and
// the subsystems. The window itself only holds controls; the protocol, the diagnostics and
// the editor do the work.
#include "editor/maincontrols.h"

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
namespace protocol {
class DiscoverySession;
class FeedbackHandler;
class MainEndpoint;
class NoticeQueue;
class Upload;
} // namespace protocol
namespace diag {
class InterfaceChoice;
class LevelMeter;
class PingTest;
} // namespace diag

namespace app {

class EditorBridge;
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
    platform::UdpEndpoint& udpClient();
    protocol::DiscoverySession& discovery() { return *m_discovery; }
    protocol::FeedbackHandler& feedbackHandler() { return *m_feedback; }

    // Element list
    void Load_Config();
    void RefreshList();

    // Toolbar
    void AutoDiscover();
    void SaveChanges();
    void StartMonitoring();
    void StopMonitoring();

signals:
    // A fatal failure ended the program (after its message).
    void programEnded(int exitCode);

private:
    void connectWindow();
    void fatal(const QString& message);
    bool fillInterfaceList();
    void clearListViews();
    void inform(const QString& text);
    void openStatistics();
    void openAdjust();
    QString selectedElementIp() const;

    Timing m_timing;
    editor::MainState m_state;
    std::unique_ptr<FrmMain> m_window;
    editor::ElementEditor* m_editor = nullptr;
    std::unique_ptr<EditorBridge> m_editorBridge;
    protocol::MainEndpoint* m_endpoint = nullptr;
    protocol::NoticeQueue* m_notices = nullptr;
    protocol::DiscoverySession* m_discovery = nullptr;
    protocol::FeedbackHandler* m_feedback = nullptr;
    protocol::Upload* m_upload = nullptr;
    diag::LevelMeter* m_levelMeter = nullptr;
    std::unique_ptr<diag::PingTest> m_ping;
    std::unique_ptr<diag::InterfaceChoice> m_interfaces;
    std::unique_ptr<platform::SingleInstanceLock> m_instanceLock;

    bool m_ended = false;
    int m_exitCode = 0;
    bool m_starting = false;      // the interface list is filled before the first bind
    bool m_loading = false;       // a rebuild of the element list is running
    bool m_reloadPending = false; // one was asked for meanwhile
};

} // namespace app
