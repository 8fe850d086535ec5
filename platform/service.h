#pragma once
// A platform service: the real implementation, unless a test installed another in its slot.
namespace platform {

template <class Interface> struct ServiceSlot { static inline Interface* installed = nullptr; };

template <class Interface> void installService(Interface* service) {
    ServiceSlot<Interface>::installed = service;
}

template <class Interface, class Real> Interface& service() {
    if (Interface* installed = ServiceSlot<Interface>::installed)
        return *installed;
    static Real real;
    return real;
}

} // namespace platform
