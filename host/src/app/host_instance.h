// The host's parts are owned by the host application (or a test's own host);
// each part installs itself here while it lives, so the command handlers,
// which the bus calls as plain functions, find the current one.
#ifndef PIXBRIDGE_HOST_HOST_INSTANCE_H
#define PIXBRIDGE_HOST_HOST_INSTANCE_H

#include <glog/logging.h>

#include <atomic>

namespace host_instance {

template <typename T>
std::atomic<T*>& Slot() {
    static std::atomic<T*> slot{nullptr};
    return slot;
}

template <typename T>
void Install(T* part) {
    T* expected = nullptr;
    CHECK(Slot<T>().compare_exchange_strong(expected, part)) << "a second host part of the same kind";
}

template <typename T>
void Remove(T* part) {
    T* expected = part;
    Slot<T>().compare_exchange_strong(expected, nullptr);
}

template <typename T>
T* Find() {
    return Slot<T>().load();
}

template <typename T>
T& Current() {
    T* part = Slot<T>().load();
    CHECK(part) << "host part used before the host exists or after it ended";
    return *part;
}

}  // namespace host_instance

#endif  // PIXBRIDGE_HOST_HOST_INSTANCE_H
