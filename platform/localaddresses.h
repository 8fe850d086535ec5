#pragma once
#include <QList>
#include <QStringList>

namespace platform {

struct LocalAddressList {
    int errorCode = 0;     // 0: read; otherwise the system's error number
    QStringList addresses; // dotted IPv4, ascending, loopback addresses last
};

class LocalAddressSource {
public:
    virtual ~LocalAddressSource() = default;
    virtual LocalAddressList read() = 0;
};

// The real table, from the system's interface list.
class SystemLocalAddresses : public LocalAddressSource {
public:
    LocalAddressList read() override;
};

// The order the list is shown in: ascending, loopback (127/8) last; duplicates once.
QStringList orderLocalAddresses(QList<quint32> addresses); // host byte order

LocalAddressSource& localAddresses();
void setLocalAddresses(LocalAddressSource* source);

} // namespace platform
