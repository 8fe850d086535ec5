#pragma once
// A scripted local address table; installs itself while it lives.
#include "platform/localaddresses.h"

namespace platform {

class FakeLocalAddresses : public LocalAddressSource {
public:
    FakeLocalAddresses() { setLocalAddresses(this); }
    explicit FakeLocalAddresses(QStringList addresses) : FakeLocalAddresses() {
        list.addresses = std::move(addresses);
    }
    ~FakeLocalAddresses() override {
        if (&localAddresses() == this)
            setLocalAddresses(nullptr);
    }
    FakeLocalAddresses(const FakeLocalAddresses&) = delete;
    FakeLocalAddresses& operator=(const FakeLocalAddresses&) = delete;

    LocalAddressList read() override {
        ++reads;
        return list;
    }

    void failWith(int errorCode) {
        list.errorCode = errorCode;
        list.addresses.clear();
    }

    LocalAddressList list;
    int reads = 0;
};

} // namespace platform
