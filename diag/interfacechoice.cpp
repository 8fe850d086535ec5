#include "diag/interfacechoice.h"

#include "platform/localaddresses.h"
#include "platform/settings.h"
#include "protocol/mainendpoint.h"

namespace diag {

namespace {

QString savedAddress() {
    return platform::settings().get(platform::kNmsIpAddressSetting, platform::kNmsIpAddressDefault);
}

} // namespace

InterfaceList InterfaceChoice::FillNMSIPList() const {
    InterfaceList list;
    const platform::LocalAddressList table = platform::localAddresses().read();
    list.errorCode = table.errorCode;
    if (table.errorCode != 0)
        return list;
    list.addresses = table.addresses;
    if (!list.addresses.isEmpty())
        list.select = 0;
    for (int i = 0; i < list.addresses.size(); ++i)
        if (list.addresses.at(i) == m_endpoint.strLocalNMSIPAddress())
            list.select = i;
    return list;
}

bool InterfaceChoice::choose(const QString& address, bool rebind) {
    if (address.isEmpty() || address == savedAddress())
        return true;
    m_endpoint.setLocalAddress(address);
    if (!rebind)
        return true;
    // Saved only once the endpoint is bound to it.
    if (!m_endpoint.rebindKeepingPort())
        return false;
    platform::settings().save(platform::kNmsIpAddressSetting, address);
    return true;
}

void InterfaceChoice::saveBound() {
    const QString address = m_endpoint.strLocalNMSIPAddress();
    if (savedAddress() != address)
        platform::settings().save(platform::kNmsIpAddressSetting, address);
}

} // namespace diag
