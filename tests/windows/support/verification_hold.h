#pragma once

#include "common/unique_handle.h"

#include <windows.h>

#include <filesystem>
#include <string>

namespace ardenwick::testing {

/// Holds the programs this process starts from now on (Ardenwick-Setup-held.exe, see
/// tests/e2e/verification_hold.cpp) right after the signature check of the file named `fileName`, until
/// `release`. The destructor abandons a hold that was never released, so a failed test ends the program.
class VerificationHold {
public:
    explicit VerificationHold(const std::wstring& fileName);
    ~VerificationHold();
    VerificationHold(const VerificationHold&) = delete;
    VerificationHold& operator=(const VerificationHold&) = delete;

    /// Whether a program is held within `timeoutMs`.
    [[nodiscard]] bool held(DWORD timeoutMs) const;
    void release();

private:
    UniqueKernelHandle held_;
    UniqueKernelHandle release_;
    UniqueKernelHandle abandon_;
};

/// What another process got when it tried to change a file: the Win32 error of each attempt, 0 when it
/// succeeded.
struct ChangeAttempts {
    DWORD write = 0;
    DWORD rename = 0;
    DWORD remove = 0;
};

/// Tries to open `file` for writing (writing a few bytes into it when that works, as an attacker would),
/// to rename it (and back) and to delete it, with every sharing flag offered.
[[nodiscard]] ChangeAttempts tryToChange(const std::filesystem::path& file);

} // namespace ardenwick::testing
