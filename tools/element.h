#pragma once
// One emulated element on the network: its three sockets on its own address, how it
// answers, and the values that move by themselves while it runs.
#include "datagramsocket.h"
#include "elementstate.h"
#include "localaddresses.h"
#include "senderlimit.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

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

// What the elements of one process have in common.
struct Shared {
    Behaviour behaviour;
    bool fleet = false; // more than one element: each is named in the log
    QElapsedTimer clock;
    QFile log;

    // The peak of the level reply at a moment of the run, in milliseconds.
    int32_t peakAt(qint64 elapsedMs) const;
    // Echoes a received datagram on standard error and appends it to the log.
    void record(quint32 element, int port, const QByteArray& data);
};

class Element {
public:
    Element(Shared& shared, ElementState state);

    // Binds its sockets on its address, found on the interface `where`; tied to that
    // interface when its network is on other interfaces here too.
    bool start(const LocalAddress& where, bool tied, QString* error);
    quint32 address() const;
    int interfaceIndex() const { return m_where.interfaceIndex; }
    bool isTied() const { return m_tied; }

    void receive(int port, const Datagram& datagram);
    // One second's worth of change: counters grow, the average delay wanders.
    void tick();

private:
    bool bind(QString* error);
    void moveTo(quint32 address);
    void answerPaging(quint32 sender);
    void sendFeedback(quint32 to, const Address* reported);
    QByteArray statusReply() const;
    template <typename F> void later(F f) {
        if (m_shared.behaviour.delayMs > 0)
            QTimer::singleShot(m_shared.behaviour.delayMs, f);
        else
            f();
    }

    Shared& m_shared;
    ElementState m_state;
    quint32 m_address = 0; // where its sockets are; the state's address may differ
    LocalAddress m_where;
    bool m_tied = false;
    bool m_configured = false;
    DatagramSocket m_main, m_audio, m_status;
    SenderLimit m_limit;
};

} // namespace emulator
