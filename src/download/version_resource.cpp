#include "download/version_resource.h"

#include <windows.h>

#include <cstring>
#include <cwchar>
#include <stdexcept>
#include <vector>

namespace ardenwick {
namespace {

constexpr WORD usEnglish = 1033;

// The whole version resource block, or nothing when GetFileVersionInfoSizeW finds none.
std::optional<std::vector<std::uint8_t>> loadVersionBlock(const WidePath& path, bool& readFailed) {
    readFailed = false;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> block(size, 0);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) {
        readFailed = true;
        return std::nullopt;
    }
    return block;
}

} // namespace

std::wstring readUsEnglishVersionString(const WidePath& path, std::wstring_view key,
                                        const VersionStringMessages& messages) {
    bool readFailed = false;
    std::optional<std::vector<std::uint8_t>> block = loadVersionBlock(path, readFailed);
    if (readFailed) {
        throw std::runtime_error(messages.unreadable);
    }
    if (!block) {
        throw std::runtime_error(messages.missing);
    }

    void* translations = nullptr;
    UINT translationBytes = 0;
    if (!::VerQueryValueW(block->data(), L"\\VarFileInfo\\Translation", &translations, &translationBytes) ||
        translations == nullptr || translationBytes % 4 != 0) {
        throw std::runtime_error(messages.translation);
    }

    for (UINT offset = 0; offset < translationBytes; offset += 4) {
        WORD language = 0;
        WORD codePage = 0;
        std::memcpy(&language, static_cast<const std::uint8_t*>(translations) + offset, sizeof(WORD));
        std::memcpy(&codePage, static_cast<const std::uint8_t*>(translations) + offset + 2, sizeof(WORD));
        if (language != usEnglish) {
            continue;
        }
        wchar_t table[9] = {};
        std::swprintf(table, 9, L"%04x%04x", language, codePage);
        std::wstring subBlock = L"\\StringFileInfo\\";
        subBlock += table;
        subBlock += L'\\';
        subBlock += key;

        void* value = nullptr;
        UINT valueLength = 0;
        // The length counts the terminating null: a value of only that is no value.
        if (::VerQueryValueW(block->data(), subBlock.c_str(), &value, &valueLength) && value != nullptr &&
            valueLength > 1) {
            return std::wstring(static_cast<const wchar_t*>(value), valueLength - 1);
        }
    }
    throw std::runtime_error(messages.noValue);
}

std::wstring readVersionString(const WidePath& path, std::wstring_view key) {
    static constexpr VersionStringMessages installerMessages{
        "installer_metadata_missing", "installer_metadata_read", "installer_metadata_translation",
        "installer_metadata_missing"};
    return readUsEnglishVersionString(path, key, installerMessages);
}

std::optional<FixedFileVersion> readFixedFileVersion(const WidePath& path) {
    bool readFailed = false;
    std::optional<std::vector<std::uint8_t>> block = loadVersionBlock(path, readFailed);
    if (!block) {
        return std::nullopt;
    }
    void* fixed = nullptr;
    UINT fixedBytes = 0;
    if (!::VerQueryValueW(block->data(), L"\\", &fixed, &fixedBytes) || fixed == nullptr || fixedBytes < 52) {
        return std::nullopt;
    }
    VS_FIXEDFILEINFO info{};
    static_assert(sizeof(VS_FIXEDFILEINFO) == 52);
    std::memcpy(&info, fixed, sizeof(info));
    if (info.dwSignature != 0xFEEF04BD) {
        return std::nullopt;
    }
    return FixedFileVersion{info.dwFileVersionMS, info.dwFileVersionLS};
}

} // namespace ardenwick
