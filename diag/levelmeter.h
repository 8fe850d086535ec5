#pragma once
// The audio level meter: its switch `chkGetVolume`, the request timer `tmrVolume`, the bar
// `VUMeter` with its reading `lblVolume`, and the interval slider `Slider1`. It says when
// monitoring can be started or stopped; the toolbar's buttons follow that.
#include "db/elementstore.h"
#include "diag/levelreply.h"

#include <QObject>
#include <QTimer>

class QCheckBox;
class QLabel;
class QSlider;
class QWidget;

namespace protocol {
class MainEndpoint;
}

namespace diag {

class VuMeter;

class LevelMeter : public QObject {
    Q_OBJECT
public:
    // Its controls are made with parent for the window to place.
    LevelMeter(protocol::MainEndpoint& endpoint, QWidget* parent);

    VuMeter* bar() const { return m_bar; }
    QLabel* reading() const { return m_reading; }
    QCheckBox* monitoringSwitch() const { return m_switch; }
    QSlider* intervalSlider() const { return m_slider; }
    QTimer* tmrVolume() { return &m_timer; }

    // The element whose stored address each request goes to.
    void setElement(const std::optional<db::SelectedElement>& element) { m_element = element; }
    // Whether the element shown can be monitored; every change stops the meter.
    void setAllowed(bool allowed);
    void start();
    void stop();
    void emptyBar();

    bool canStart() const;
    bool canStop() const;

signals:
    void buttonsChanged(bool canStart, bool canStop);

private:
    void requestLevel();
    void handleReply(const QByteArray& payload);
    void show(const LevelReading& reading);

    protocol::MainEndpoint& m_endpoint;
    std::optional<db::SelectedElement> m_element;
    bool m_allowed = false;
    QTimer m_timer;
    VuMeter* m_bar;
    QLabel* m_reading;
    QCheckBox* m_switch;
    QSlider* m_slider;
};

} // namespace diag
