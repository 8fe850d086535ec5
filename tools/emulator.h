#pragma once
// One emulated element on the network: its four sockets, how it answers, and the values that
// move by themselves while it runs.
#include "elementstate.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTimer>
#include <QUdpSocket>

namespace emulator {

struct Behaviour {
    bool noAnswer = false; // silent on every port; set datagrams still apply
    int delayMs = 0;
    bool wrongNameSet = false;
    QByteArray wrongName;
    int truncate = -1;
    bool reportAddressSet = false;
    Address reportAddress{};
    int answers = 1;
    int burst = 1;
    int levelBytes = 1201;
    int32_t peak = 0x400000;
    int statusBytes = 61;
    int countStep = 0;    // OK counters, per second
    int errorStep = 0;    // error counters, per second
    int levelPeriodS = 0; // 0: the level stays at peak
    int delayWanderNs = 0;
    bool quiet = false;
    QString logPath;
};

class Emulator {
public:
    Emulator(ElementState state, Behaviour behaviour);
    bool start(const QHostAddress& address, QString* error);

    // One second's worth of change: counters grow, the average delay wanders.
    void tick();
    // The peak of the level reply at a moment of the run, in milliseconds.
    int32_t peakAt(qint64 elapsedMs) const;

private:
    void drain(QUdpSocket& socket, int port);
    void log(int port, const QByteArray& data);
    void handle(int port, const QByteArray& data, const QHostAddress& sender);
    void answerPaging(const QHostAddress& sender);
    void sendFeedback(const QHostAddress& to, const Address* reported);
    QByteArray statusReply() const;
    template <typename F> void later(F f) {
        if (m_behaviour.delayMs > 0)
            QTimer::singleShot(m_behaviour.delayMs, f);
        else
            f();
    }

    ElementState m_state;
    Behaviour m_behaviour;
    QHostAddress m_address;
    bool m_configured = false;
    QUdpSocket m_paging, m_main, m_audio, m_status;
    QTimer m_ticker;
    QElapsedTimer m_clock;
};

} // namespace emulator
