#pragma once
// The station: start-up, and the wiring between the window's panels and the subsystems. The
// panels and the protocol do the work; the station starts them and passes their news on.
#include "protocol/upload.h"

#include <QObject>
#include <QStringList>
#include <memory>

namespace platform {
class UdpEndpoint;
class SingleInstanceLock;
} // namespace platform
namespace db {
class ElementTreeView;
}
namespace editor {
class ElementEditor;
}
namespace protocol {
class DiscoverySession;
class FeedbackHandler;
class MainEndpoint;
class NoticeQueue;
} // namespace protocol
namespace diag {
class DiagnosticsPanel;
}

namespace app {

class FrmMain;

// Intervals the tests shorten; the station runs with these defaults.
struct StationTiming {
    int discoveryWindowMs = 3000;
    int macTickMs = 1000;
    int responseTimeoutMs = 3000;
    int lateAnswerMs = 30000;
};

class Station : public QObject {
    Q_OBJECT
public:
    using Timing = StationTiming;

    explicit Station(Timing timing = Timing(), QObject* parent = nullptr);
    ~Station() override;

    // Runs the start-up sequence. False: the program ends (a second instance, a port that
    // cannot be bound, an unreadable address table), with exitCode().
    bool start(const QStringList& arguments);
    int exitCode() const { return m_exitCode; }
    bool hasEnded() const { return m_ended; }

    FrmMain& window() { return *m_window; }
    db::ElementTreeView& elementList() { return *m_list; }
    editor::ElementEditor& elementEditor() { return *m_editor; }
    diag::DiagnosticsPanel& diagnostics() { return *m_diagnostics; }
    protocol::MainEndpoint& endpoint() { return *m_endpoint; }
    platform::UdpEndpoint& udpClient();
    protocol::DiscoverySession& discovery() { return *m_discovery; }
    protocol::Upload& upload() { return *m_upload; }

    void Load_Config();
    // Toolbar
    void AutoDiscover();
    void RefreshList();
    void SaveChanges();
    void StartMonitoring();
    void StopMonitoring();

signals:
    // A fatal failure ended the program (after its message).
    void programEnded(int exitCode);

private:
    void connectParts();
    void fatal(const QString& message);
    void inform(const QString& text);
    protocol::Draft draft() const;

    Timing m_timing;
    protocol::MainEndpoint* m_endpoint = nullptr;
    protocol::NoticeQueue* m_notices = nullptr;
    db::ElementTreeView* m_list = nullptr;
    editor::ElementEditor* m_editor = nullptr;
    diag::DiagnosticsPanel* m_diagnostics = nullptr;
    std::unique_ptr<FrmMain> m_window;
    protocol::DiscoverySession* m_discovery = nullptr;
    protocol::Upload* m_upload = nullptr;
    protocol::FeedbackHandler* m_feedback = nullptr;
    std::unique_ptr<platform::SingleInstanceLock> m_instanceLock;
    bool m_ended = false;
    int m_exitCode = 0;
};

} // namespace app
