#pragma once

#include "common/unique_handle.h"

#include <windows.h>
#include <objbase.h>

namespace ardenwick {

/// A COM interface pointer: released with its owner.
template <typename Interface> struct ComInterfaceTraits {
    using pointer = Interface*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer object) noexcept { object->Release(); }
};
template <typename Interface> using ComPtr = UniqueHandle<ComInterfaceTraits<Interface>>;

/// This thread's membership of a single-threaded apartment, for the objects the window creates. A thread
/// already in another apartment keeps it (and can still create them); only a successful join is undone.
class ComApartment {
public:
    ComApartment() noexcept : joined_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (joined_) {
            CoUninitialize();
        }
    }

private:
    bool joined_;
};

} // namespace ardenwick
