#include "emulator.h"

namespace emulator {

namespace {

// Whether the network of an address on one interface is on another interface as well.
bool onOtherInterfaces(quint32 address, const LocalAddress& where,
                       const QHash<quint32, LocalAddress>& local) {
    const quint32 mask = where.prefixLength ? ~quint32(0) << (32 - where.prefixLength) : 0;
    for (auto it = local.begin(); it != local.end(); ++it) {
        if (it->interfaceIndex != where.interfaceIndex && (it.key() & mask) == (address & mask))
            return true;
    }
    return false;
}

} // namespace

Emulator::Emulator(const std::vector<ElementState>& elements, Behaviour behaviour) {
    m_shared.behaviour = std::move(behaviour);
    m_shared.fleet = elements.size() > 1;
    for (const ElementState& state : elements)
        m_elements.push_back(std::make_unique<Element>(m_shared, state));
}

bool Emulator::start(QString* error) {
    const QString& logPath = m_shared.behaviour.logPath;
    if (!logPath.isEmpty()) {
        m_shared.log.setFileName(logPath);
        if (!m_shared.log.open(QIODevice::Append)) {
            *error = QStringLiteral("--log: cannot write \"%1\": %2")
                         .arg(logPath, m_shared.log.errorString());
            return false;
        }
    }
    const auto local = readLocalAddresses(error);
    if (!local)
        return false;
    for (const auto& element : m_elements) {
        if (!local->contains(element->address())) {
            *error = QStringLiteral("cannot bind %1: no interface here has that address")
                         .arg(addressText(element->address()));
            return false;
        }
    }
    // 0.0.0.0:1901, so that the limited broadcast reaches it; one copy per interface.
    DatagramSocket::Binding paging;
    paging.port = 1901;
    paging.shared = true;
    paging.receiveBuffer = qMax(1 << 20, int(m_elements.size()) * 4096);
    if (!m_paging.open(paging, error))
        return false;
    m_paging.onDatagram([this](const Datagram& d) { page(d); });
    for (const auto& element : m_elements) {
        const LocalAddress where = local->value(element->address());
        if (!element->start(where, onOtherInterfaces(element->address(), where, *local), error))
            return false;
        if (element->isTied())
            m_tied.insert(where.interfaceIndex, element.get());
        else
            m_untied.push_back(element.get());
    }
    m_shared.clock.start();
    const Behaviour& b = m_shared.behaviour;
    if (b.countStep || b.errorStep || b.delayWanderNs) {
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            for (const auto& element : m_elements)
                element->tick();
        });
        m_ticker.start(1000);
    }
    return true;
}

void Emulator::page(const Datagram& d) {
    std::vector<Element*> reached = m_untied;
    for (auto it = m_tied.find(d.interfaceIndex);
         it != m_tied.end() && it.key() == d.interfaceIndex; ++it)
        reached.push_back(it.value());
    for (Element* element : reached) {
        m_shared.record(element->address(), 1901, d.data);
        element->receive(1901, d);
    }
}

} // namespace emulator
