#include "diag/interfacechoice.h"

#include "platform/localaddresses.h"
#include "platform/settings.h"
#include "protocol/mainendpoint.h"

namespace diag {

namespace {

const QString kSettingNmsIp = QStringLiteral("NMS IP Address");

QString savedAddress() {
    return platform::settings().get(kSettingNmsIp, QStringLiteral("0.0.0.0"));
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
        if (list.addresses.at(i) == m_address)
            list.select = i;
    return list;
}

bool InterfaceChoice::choose(const QString& address, bool rebind) {
    if (address.isEmpty() || address == savedAddress())
        return true;
    m_address = address;
    if (!rebind)
        return true;
    // Saved only once the endpoint is bound to it.
    if (!m_endpoint.rebindKeepingPort())
        return false;
    platform::settings().save(kSettingNmsIp, address);
    return true;
}

void InterfaceChoice::saveBound() {
    if (savedAddress() != m_address)
        platform::settings().save(kSettingNmsIp, m_address);
}

} // namespace diag
