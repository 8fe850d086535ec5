#pragma once
// The elements one process plays: one alone, or a fleet of many, each on its own address and
// interface. They share the paging port and one clock for the values that move. An element
// whose network is on other interfaces of this namespace too (a fleet's) answers the paging
// that came in on its own interface; any other answers every paging, as a lone element on its
// own network always has.
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
    QMultiHash<int, Element*> m_tied; // by interface
    std::vector<Element*> m_untied;
    DatagramSocket m_paging;
    QTimer m_ticker;
};

} // namespace emulator
