#pragma once
// The choice of the station's own interface: the local IPv4 addresses, the one to select,
// and the move of the main endpoint to a chosen address, saved once it is bound there.
#include <QStringList>

namespace protocol {
class MainEndpoint;
}

namespace diag {

struct InterfaceList {
    int errorCode = 0; // of the address table; the list is empty then
    QStringList addresses;
    int select = -1; // the last entry equal to the saved address, else 0; -1 when empty
};

class InterfaceChoice {
public:
    // The endpoint holds the station's bind address, `strLocalNMSIPAddress`.
    explicit InterfaceChoice(protocol::MainEndpoint& endpoint) : m_endpoint(endpoint) {}

    InterfaceList FillNMSIPList() const;
    // The user chose an entry. During start-up (rebind false) it is only taken; the
    // start-up bind saves it. False when the port cannot be bound at it.
    bool choose(const QString& address, bool rebind);
    // Saves the address in force once the start-up bind has succeeded.
    void saveBound();

private:
    protocol::MainEndpoint& m_endpoint;
};

} // namespace diag
