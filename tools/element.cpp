#include "element.h"

#include <QRandomGenerator>

#include <cmath>
#include <cstdio>
#include <numbers>

namespace emulator {

namespace {

const QByteArray kPagingRequest("IPMPXSTL TALVOREN PAGING REQUEST");

// Counters wrap like the element's 32-bit registers instead of overflowing.
void grow(int32_t& counter, int step) {
    counter = int32_t(uint32_t(counter) + uint32_t(step));
}

} // namespace

int32_t Shared::peakAt(qint64 elapsedMs) const {
    if (behaviour.levelPeriodS <= 0)
        return behaviour.peak;
    // Rises from silence to the peak and falls back once per period.
    const double phase =
        double(elapsedMs % (behaviour.levelPeriodS * 1000LL)) / (behaviour.levelPeriodS * 1000.0);
    return int32_t(std::lround(behaviour.peak * (1 - std::cos(2 * std::numbers::pi * phase)) / 2));
}

void Shared::record(quint32 element, int port, const QByteArray& data) {
    // A fleet's lines start with the element's address; a lone element's are "port hex".
    const QByteArray line = (fleet ? addressText(element).toLatin1() + ' ' : QByteArray()) +
                            QByteArray::number(port) + ' ' + data.toHex() + '\n';
    if (!behaviour.quiet)
        std::fputs(line.constData(), stderr);
    if (log.isOpen()) {
        log.write(line);
        log.flush();
    }
}

Element::Element(Shared& shared, ElementState state)
    : m_shared(shared), m_state(std::move(state)), m_address(toHost(m_state.ip)) {}

quint32 Element::address() const {
    return m_address;
}

bool Element::start(const LocalAddress& where, bool tied, QString* error) {
    m_where = where;
    m_tied = tied;
    const std::pair<DatagramSocket*, int> sockets[] = {
        {&m_main, 2976}, {&m_audio, 2977}, {&m_status, 2978}};
    for (const auto& socket : sockets) {
        socket.first->onDatagram([this, port = socket.second](const Datagram& d) {
            m_shared.record(m_address, port, d.data);
            receive(port, d);
        });
    }
    return bind(error);
}

bool Element::bind(QString* error) {
    DatagramSocket::Binding b;
    b.address = m_address;
    // Where its network is on many interfaces, routing alone would send every answer out of
    // the first of them: they must leave by its own, with its own MAC.
    b.interfaceIndex = m_tied ? m_where.interfaceIndex : 0;
    const std::pair<DatagramSocket*, int> sockets[] = {
        {&m_main, 2976}, {&m_audio, 2977}, {&m_status, 2978}};
    for (const auto& [socket, port] : sockets) {
        b.port = quint16(port);
        if (!socket->open(b, error))
            return false;
    }
    return true;
}

void Element::moveTo(quint32 to) {
    if (to == m_address)
        return;
    const auto complain = [&](const QString& why) {
        std::fprintf(
            stderr, "kestrune-element: configured address %s: %s; the element stays on %s\n",
            qPrintable(addressText(to)), qPrintable(why), qPrintable(addressText(m_address)));
    };
    if (!isHostInNetwork(to, m_address, m_where.prefixLength))
        return complain(
            QStringLiteral("not a host address of its network %1/%2")
                .arg(addressText(m_address & (~quint32(0) << (32 - m_where.prefixLength))))
                .arg(m_where.prefixLength));
    QString error;
    const auto local = readLocalAddresses(&error);
    if (local && local->contains(to))
        return complain(QStringLiteral("already taken on this machine"));
    if (!local || !replaceAddress(m_where, m_address, to, &error))
        return complain(error);
    const quint32 from = m_address;
    m_address = to;
    if (!bind(&error)) {
        std::fprintf(stderr, "kestrune-element: moved from %s, but %s\n",
                     qPrintable(addressText(from)), qPrintable(error));
    }
}

void Element::tick() {
    const Behaviour& b = m_shared.behaviour;
    StatusCounters& c = m_state.stats;
    for (int32_t* ok : {&c.txOk, &c.rxOk, &c.ptpOk, &c.audioOk})
        grow(*ok, b.countStep);
    for (int32_t* err : {&c.txErr, &c.rxErr, &c.ptpErr, &c.audioErr})
        grow(*err, b.errorStep);
    if (b.delayWanderNs > 0) {
        const int32_t lo = qMin(c.min, c.max), hi = qMax(c.min, c.max);
        const int w = b.delayWanderNs;
        const qint64 moved = qint64(c.avg) + QRandomGenerator::global()->bounded(-w, w + 1);
        c.avg = int32_t(qBound(qint64(lo), moved, qint64(hi)));
    }
}

void Element::receive(int port, const Datagram& d) {
    const QByteArray& data = d.data;
    const Behaviour& b = m_shared.behaviour;
    // Only requests that would be answered count against the sender's allowance; settings
    // apply whatever the rate.
    const auto answer = [&] {
        return !b.noAnswer && m_limit.admit(d.sender, m_shared.clock.elapsed());
    };
    switch (port) {
    case 1901:
        if (data == kPagingRequest && answer())
            answerPaging(d.sender);
        break;
    case 2976:
        // A configuration beyond the allowance is dropped whole, not applied unanswered.
        if ((data.size() == 37 || data.size() == 41) && (b.noAnswer || answer()) &&
            m_state.applyConfiguration(data)) {
            m_configured = true;
            moveTo(toHost(m_state.ip));
            if (!b.noAnswer)
                later([this, to = d.sender] { sendFeedback(to, nullptr); });
        }
        break;
    case 2977:
        if (data.size() == 2) {
            m_state.att = static_cast<uint8_t>(data.at(0));
        } else if (data == "VOL" && answer()) {
            m_audio.send(levelReply(b.levelBytes, m_shared.peakAt(m_shared.clock.elapsed())),
                         d.sender, 2976);
        }
        break;
    case 2978:
        if ((data == "GetStats" || data == "GetDel") && answer()) {
            const QByteArray reply = statusReply();
            for (int i = 0; i < b.answers; ++i)
                m_status.send(reply, d.sender, 2978);
        } else if (data == "RstStats") {
            m_state.resetCounters();
        } else {
            m_state.applySet(data);
        }
        break;
    }
}

QByteArray Element::statusReply() const {
    QByteArray reply = m_state.statusReply();
    reply.resize(m_shared.behaviour.statusBytes, '\0'); // cut, or padded with zero bytes
    return reply;
}

void Element::answerPaging(quint32 sender) {
    later([this, sender] {
        const Behaviour& b = m_shared.behaviour;
        const quint32 first = b.reportAddressSet ? toHost(b.reportAddress) : m_address;
        if (b.burst <= 1 && !b.reportAddressSet) {
            sendFeedback(sender, nullptr);
            return;
        }
        for (int i = 0; i < qMax(1, b.burst); ++i) {
            const Address reported = fromHost(first + quint32(i));
            sendFeedback(sender, &reported);
        }
    });
}

void Element::sendFeedback(quint32 to, const Address* reported) {
    const Behaviour& b = m_shared.behaviour;
    ElementState shown = m_state;
    if (m_configured && b.wrongNameSet)
        shown.name = b.wrongName;
    if (!reported && b.reportAddressSet)
        reported = &b.reportAddress;
    QByteArray fb = shown.feedback(reported);
    if (b.truncate >= 0)
        fb = fb.left(b.truncate);
    for (int i = 0; i < b.answers; ++i)
        m_main.send(fb, to, 2976);
}

} // namespace emulator
