#include "download/download_resume_state.h"

#include "download/entity_tag.h"

namespace ardenwick {

std::uint64_t downloadResumeOffset(const DownloadResumeState& state, std::uint64_t sizeLimit) noexcept {
    const bool resumable = isStrongEntityTag(state.validator) && state.downloadedBytes != 0 &&
                           state.downloadedBytes < state.totalBytes && state.totalBytes <= sizeLimit;
    return resumable ? state.downloadedBytes : 0;
}

std::wstring downloadRequestHeaders(std::uint64_t resumeOffset, std::wstring_view validator) {
    std::wstring headers = L"Accept-Encoding: identity\r\n";
    if (resumeOffset != 0) {
        headers += L"Range: bytes=";
        headers += std::to_wstring(resumeOffset);
        headers += L"-\r\nIf-Range: ";
        headers += validator;
        headers += L"\r\n";
    }
    return headers;
}

bool isIdentityContentEncoding(std::wstring_view value) noexcept {
    constexpr std::wstring_view identity = L"identity";
    if (value.size() != identity.size()) {
        return false;
    }
    for (std::size_t index = 0; index < value.size(); ++index) {
        wchar_t character = value[index];
        if (character >= L'A' && character <= L'Z') {
            character = static_cast<wchar_t>(character - L'A' + L'a');
        }
        if (character != identity[index]) {
            return false;
        }
    }
    return true;
}

} // namespace ardenwick
