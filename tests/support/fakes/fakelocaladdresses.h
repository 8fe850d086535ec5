#pragma once
// A scripted local address table; stands in while it lives.
#include "fakes/installed.h"
#include "platform/localaddresses.h"

namespace platform {

class FakeLocalAddresses : public Installed<LocalAddressSource> {
public:
    LocalAddressList read() override { return list; }
    void failWith(int errorCode) { list = {errorCode, {}}; }

    LocalAddressList list;
};

} // namespace platform
