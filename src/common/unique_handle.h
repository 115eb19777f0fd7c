#pragma once

// One owner for every kind of Windows handle. The close function and the meaning of "no handle" are
// part of the type, so business code never calls CloseHandle itself and never checks the wrong
// invalid value (null for most kernel objects, INVALID_HANDLE_VALUE for CreateFileW).

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace ardenwick {

template <typename Traits> class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(pointer value) noexcept : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    [[nodiscard]] pointer get() const noexcept { return value_; }
    [[nodiscard]] bool valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    void reset(pointer value = Traits::invalid()) noexcept {
        pointer old = std::exchange(value_, value);
        if (old != Traits::invalid()) {
            Traits::close(old);
        }
    }

    [[nodiscard]] pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

    // For out-parameters: releases what is held and returns the address to fill.
    [[nodiscard]] pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::invalid();
};

struct KernelHandleTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { ::CloseHandle(handle); }
};

struct FileHandleTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer handle) noexcept { ::CloseHandle(handle); }
};

struct FindHandleTraits {
    using pointer = HANDLE;
    static pointer invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(pointer handle) noexcept { ::FindClose(handle); }
};

struct RegistryKeyTraits {
    using pointer = HKEY;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer key) noexcept { ::RegCloseKey(key); }
};

template <typename T> struct LocalMemoryTraits {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer memory) noexcept { ::LocalFree(reinterpret_cast<HLOCAL>(memory)); }
};

template <typename T> struct CoTaskMemoryTraits {
    using pointer = T;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer memory) noexcept { ::CoTaskMemFree(memory); }
};

/// Kernel objects whose failure value is null: processes, threads, jobs, mutexes, events, tokens.
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
/// Handles from CreateFileW, whose failure value is INVALID_HANDLE_VALUE.
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
/// Directory searches from FindFirstFileExW.
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueRegistryKey = UniqueHandle<RegistryKeyTraits>;
template <typename T> using UniqueLocalMemory = UniqueHandle<LocalMemoryTraits<T>>;
template <typename T> using UniqueCoTaskMemory = UniqueHandle<CoTaskMemoryTraits<T>>;

} // namespace ardenwick
