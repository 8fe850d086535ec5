#pragma once
// The elements one process plays: one alone, or a fleet of many, each on its own address and
// interface. They share the paging port, whose broadcast reaches each of them through the
// interface it came in on, and one clock for the values that move.
#include "element.h"

#include <QMultiHash>

#include <memory>
#include <vector>

namespace emulator {

class Emulator {
public:
    Emulator(const std::vector<ElementState>& elements, Behaviour behaviour);
    bool start(QString* error);

private:
    void page(const Datagram& datagram);

    Shared m_shared;
    std::vector<std::unique_ptr<Element>> m_elements;
    QMultiHash<int, Element*> m_byInterface;
    DatagramSocket m_paging;
    QTimer m_ticker;
};

} // namespace emulator
