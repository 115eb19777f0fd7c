#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ardenwick {

/// What one installer download carries from attempt to attempt so that a broken transfer can be
/// continued. Lives only inside one download call; never stored.
struct DownloadResumeState {
    std::wstring validator; // entity tag of the file being assembled, quotes included; empty: no resume
    std::uint64_t downloadedBytes = 0;
    std::uint64_t totalBytes = 0; // Content-Length of the first 200; 0 when unknown
    std::uint32_t lastStatus = 0;
    std::uint64_t resumedBytes = 0;

    void reset() noexcept {
        validator.clear();
        downloadedBytes = 0;
        totalBytes = 0;
        lastStatus = 0;
        resumedBytes = 0;
    }
};

/// Result of a successful download: the status of the response that delivered the rest of the file
/// and the offset at which it continued (0 for a whole-file transfer).
struct InstallerDownloadResult {
    std::uint32_t httpStatus = 0;
    std::uint64_t resumedBytes = 0;
};

/// The offset an attempt asks the server to continue from, or 0 when it must start over: resuming
/// needs a strong validator and a partial file shorter than a known total within the size limit.
[[nodiscard]] std::uint64_t downloadResumeOffset(const DownloadResumeState& state,
                                                 std::uint64_t sizeLimit) noexcept;

/// The request header block of an attempt: always Accept-Encoding identity; with an offset, an open
/// Range from it and an If-Range carrying the validator.
[[nodiscard]] std::wstring downloadRequestHeaders(std::uint64_t resumeOffset, std::wstring_view validator);

/// True when a Content-Encoding value is "identity" in any letter case.
[[nodiscard]] bool isIdentityContentEncoding(std::wstring_view value) noexcept;

} // namespace ardenwick
