#pragma once
#include <QStringList>

namespace platform {

struct LocalAddressList {
    int errorCode = 0;       // 0: read; otherwise the system's error number
    QStringList addresses;   // dotted IPv4, ascending, loopback addresses last
};

class LocalAddressSource {
public:
    virtual ~LocalAddressSource() = default;
    virtual LocalAddressList read() = 0;
};

LocalAddressSource& localAddresses();
void setLocalAddresses(LocalAddressSource* source);

} // namespace platform
