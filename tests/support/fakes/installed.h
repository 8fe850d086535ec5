#pragma once
// A fake platform service that stands in for the real one while it lives.
#include "platform/service.h"

namespace platform {

template <class Interface> class Installed : public Interface {
public:
    Installed() { installService<Interface>(this); }
    ~Installed() override {
        if (ServiceSlot<Interface>::installed == this)
            installService<Interface>(nullptr);
    }
    Installed(const Installed&) = delete;
    Installed& operator=(const Installed&) = delete;
};

} // namespace platform
