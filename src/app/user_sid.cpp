#include "app/user_sid.h"

#include "common/unique_handle.h"

#include <sddl.h>

#include <vector>

namespace ardenwick {

std::optional<std::wstring> currentUserSidText() noexcept {
    try {
        UniqueKernelHandle token;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
            return std::nullopt;
        }
        DWORD size = 0;
        GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
        if (size == 0) {
            return std::nullopt;
        }
        // TOKEN_USER holds pointers into the same buffer, so it must be suitably aligned.
        std::vector<std::uint64_t> buffer((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
        if (!GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
            return std::nullopt;
        }
        const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
        UniqueLocalMemory<LPWSTR> text;
        if (!ConvertSidToStringSidW(user->User.Sid, text.put())) {
            return std::nullopt;
        }
        return std::wstring(text.get());
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace ardenwick
