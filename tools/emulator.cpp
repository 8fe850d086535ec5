#include "emulator.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QRandomGenerator>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <sys/socket.h>

namespace emulator {

namespace {

const QByteArray kPagingRequest("IPMPXSTL TALVOREN PAGING REQUEST");

// Counters wrap like the element's 32-bit registers instead of overflowing.
void grow(int32_t& counter, int step) {
    counter = int32_t(uint32_t(counter) + uint32_t(step));
}

} // namespace

Emulator::Emulator(ElementState state, Behaviour behaviour)
    : m_state(std::move(state)), m_behaviour(std::move(behaviour)) {}

bool Emulator::start(const QHostAddress& address, QString* error) {
    m_address = address;
    // 0.0.0.0:1901, so that the limited broadcast reaches it.
    if (!m_paging.bind(QHostAddress::AnyIPv4, 1901,
                       QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        *error = QStringLiteral("cannot bind 0.0.0.0:1901: %1").arg(m_paging.errorString());
        return false;
    }
    QUdpSocket* sockets[] = {&m_main, &m_audio, &m_status};
    const quint16 ports[] = {2976, 2977, 2978};
    for (int i = 0; i < 3; ++i) {
        if (!sockets[i]->bind(address, ports[i])) {
            *error = QStringLiteral("cannot bind %1:%2: %3")
                         .arg(address.toString())
                         .arg(ports[i])
                         .arg(sockets[i]->errorString());
            return false;
        }
    }
    // Many stations may page at once in capacity tests; do not drop at the socket.
    const int big = 1 << 20;
    for (QUdpSocket* s : {&m_paging, &m_main, &m_audio, &m_status})
        ::setsockopt(int(s->socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    QObject::connect(&m_paging, &QUdpSocket::readyRead, [this] { drain(m_paging, 1901); });
    QObject::connect(&m_main, &QUdpSocket::readyRead, [this] { drain(m_main, 2976); });
    QObject::connect(&m_audio, &QUdpSocket::readyRead, [this] { drain(m_audio, 2977); });
    QObject::connect(&m_status, &QUdpSocket::readyRead, [this] { drain(m_status, 2978); });
    m_clock.start();
    if (m_behaviour.countStep || m_behaviour.errorStep || m_behaviour.delayWanderNs) {
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { tick(); });
        m_ticker.start(1000);
    }
    return true;
}

void Emulator::tick() {
    StatusCounters& c = m_state.stats;
    for (int32_t* ok : {&c.txOk, &c.rxOk, &c.ptpOk, &c.audioOk})
        grow(*ok, m_behaviour.countStep);
    for (int32_t* err : {&c.txErr, &c.rxErr, &c.ptpErr, &c.audioErr})
        grow(*err, m_behaviour.errorStep);
    if (m_behaviour.delayWanderNs > 0) {
        const int32_t lo = qMin(c.min, c.max), hi = qMax(c.min, c.max);
        const int w = m_behaviour.delayWanderNs;
        const qint64 moved = qint64(c.avg) + QRandomGenerator::global()->bounded(-w, w + 1);
        c.avg = int32_t(qBound(qint64(lo), moved, qint64(hi)));
    }
}

int32_t Emulator::peakAt(qint64 elapsedMs) const {
    if (m_behaviour.levelPeriodS <= 0)
        return m_behaviour.peak;
    // Rises from silence to the peak and falls back once per period.
    const double phase = double(elapsedMs % (m_behaviour.levelPeriodS * 1000LL)) /
                         (m_behaviour.levelPeriodS * 1000.0);
    return int32_t(
        std::lround(m_behaviour.peak * (1 - std::cos(2 * std::numbers::pi * phase)) / 2));
}

void Emulator::drain(QUdpSocket& socket, int port) {
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram d = socket.receiveDatagram();
        if (!d.isValid())
            continue;
        log(port, d.data());
        handle(port, d.data(), d.senderAddress());
    }
}

void Emulator::log(int port, const QByteArray& data) {
    if (!m_behaviour.quiet)
        std::fprintf(stderr, "%d %s\n", port, data.toHex().constData());
    if (m_behaviour.logPath.isEmpty())
        return;
    QFile f(m_behaviour.logPath);
    if (f.open(QIODevice::Append))
        f.write(QByteArray::number(port) + ' ' + data.toHex() + '\n');
}

void Emulator::handle(int port, const QByteArray& data, const QHostAddress& sender) {
    const bool answer = !m_behaviour.noAnswer;
    switch (port) {
    case 1901:
        if (data == kPagingRequest && answer)
            answerPaging(sender);
        break;
    case 2976:
        if (m_state.applyConfiguration(data)) {
            m_configured = true;
            if (answer)
                later([this, sender] { sendFeedback(sender, nullptr); });
        }
        break;
    case 2977:
        if (data.size() == 2) {
            m_state.att = static_cast<uint8_t>(data.at(0));
        } else if (data == "VOL" && answer) {
            const QByteArray reply = levelReply(m_behaviour.levelBytes, peakAt(m_clock.elapsed()));
            m_audio.writeDatagram(reply, sender, 2976);
        }
        break;
    case 2978:
        if (data == "GetStats" || data == "GetDel") {
            const QByteArray reply = statusReply();
            for (int i = 0; answer && i < m_behaviour.answers; ++i)
                m_status.writeDatagram(reply, sender, 2978);
        } else if (data == "RstStats") {
            m_state.resetCounters();
        } else {
            m_state.applySet(data);
        }
        break;
    }
}

QByteArray Emulator::statusReply() const {
    QByteArray reply = m_state.statusReply();
    reply.resize(m_behaviour.statusBytes, '\0'); // cut, or padded with zero bytes
    return reply;
}

void Emulator::answerPaging(const QHostAddress& sender) {
    later([this, sender] {
        const Address& r = m_behaviour.reportAddress;
        const uint32_t first =
            m_behaviour.reportAddressSet
                ? (uint32_t(r[0]) << 24 | uint32_t(r[1]) << 16 | uint32_t(r[2]) << 8 | r[3])
                : m_address.toIPv4Address();
        if (m_behaviour.burst <= 1 && !m_behaviour.reportAddressSet) {
            sendFeedback(sender, nullptr);
            return;
        }
        for (int i = 0; i < qMax(1, m_behaviour.burst); ++i) {
            const uint32_t a = first + uint32_t(i);
            const Address reported{uint8_t(a >> 24), uint8_t(a >> 16), uint8_t(a >> 8), uint8_t(a)};
            sendFeedback(sender, &reported);
        }
    });
}

void Emulator::sendFeedback(const QHostAddress& to, const Address* reported) {
    ElementState shown = m_state;
    if (m_configured && m_behaviour.wrongNameSet)
        shown.name = m_behaviour.wrongName;
    if (!reported && m_behaviour.reportAddressSet)
        reported = &m_behaviour.reportAddress;
    QByteArray fb = shown.feedback(reported);
    if (m_behaviour.truncate >= 0)
        fb = fb.left(m_behaviour.truncate);
    for (int i = 0; i < m_behaviour.answers; ++i)
        m_main.writeDatagram(fb, to, 2976);
}

} // namespace emulator
