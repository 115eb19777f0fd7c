#include "download/file_hash.h"

#include "common/unique_handle.h"
#include "common/win32_file.h"

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <stdexcept>
#include <vector>

namespace ardenwick {
namespace {

struct AlgorithmProviderTraits {
    using pointer = BCRYPT_ALG_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { ::BCryptCloseAlgorithmProvider(handle, 0); }
};

struct HashTraits {
    using pointer = BCRYPT_HASH_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { ::BCryptDestroyHash(handle); }
};

constexpr std::size_t readSize = 131072;

bool succeeded(NTSTATUS status) noexcept {
    return status >= 0;
}

} // namespace

std::string sha256FileHex(const WidePath& path, const std::stop_token& stopToken) {
    const UniqueFileHandle file = openFileForReading(path);
    if (!file) {
        throw std::runtime_error("Unable to open file for SHA-256");
    }
    return sha256FileHex(file.get(), stopToken);
}

std::string sha256FileHex(HANDLE file, const std::stop_token& stopToken) {
    UniqueHandle<AlgorithmProviderTraits> algorithm;
    if (!succeeded(BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
        throw std::runtime_error("Unable to initialize SHA-256");
    }
    DWORD objectLength = 0;
    ULONG resultSize = 0;
    if (!succeeded(BCryptGetProperty(algorithm.get(), BCRYPT_OBJECT_LENGTH,
                                     reinterpret_cast<PUCHAR>(&objectLength), sizeof objectLength,
                                     &resultSize, 0))) {
        throw std::runtime_error("Unable to initialize SHA-256 state");
    }
    // The hash object lives in this buffer, so it is declared before the handle that uses it.
    std::vector<UCHAR> hashObject(objectLength);
    UniqueHandle<HashTraits> hash;
    if (!succeeded(
            BCryptCreateHash(algorithm.get(), hash.put(), hashObject.data(), objectLength, nullptr, 0, 0))) {
        throw std::runtime_error("Unable to create SHA-256 state");
    }

    std::vector<UCHAR> buffer(readSize);
    for (;;) {
        if (stopToken.stop_requested()) {
            throw std::runtime_error("Update cancelled");
        }
        DWORD count = 0;
        // A failed read is never taken for the end of the file: only the end gives the file's digest.
        if (!readFileChunk(file, buffer.data(), static_cast<DWORD>(buffer.size()), count)) {
            throw std::runtime_error("Unable to calculate SHA-256");
        }
        if (count == 0) {
            break;
        }
        if (!succeeded(BCryptHashData(hash.get(), buffer.data(), count, 0))) {
            throw std::runtime_error("Unable to calculate SHA-256");
        }
    }

    std::array<UCHAR, 32> digest{};
    if (!succeeded(BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) {
        throw std::runtime_error("Unable to finish SHA-256");
    }
    constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (const UCHAR byte : digest) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
    }
    return text;
}

} // namespace ardenwick
