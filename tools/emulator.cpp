#include "emulator.h"

namespace emulator {

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
        if (!element->start(where, error))
            return false;
        m_byInterface.insert(where.interfaceIndex, element.get());
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
    // A lone element answers every paging, as it always has; a fleet's element those that
    // reached its own interface.
    if (!m_shared.fleet) {
        m_shared.record(m_elements.front()->address(), 1901, d.data);
        m_elements.front()->receive(1901, d);
        return;
    }
    for (Element* element : m_byInterface.values(d.interfaceIndex)) {
        m_shared.record(element->address(), 1901, d.data);
        element->receive(1901, d);
    }
}

} // namespace emulator
