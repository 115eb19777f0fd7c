// The saved failure record is a file anyone with the user's rights can plant: whatever its bytes (up to
// the reader's 4096), the reading never throws, and JSON whitespace after the document never changes it (a
// byte-order mark is only taken at the very start, so whitespace before it would).
#include "installation/failure_record.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > ardenwick::MaxFailureRecordBytes) {
        return 0; // the file reader refuses a larger record before parsing
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const ardenwick::SavedFailureReading reading = ardenwick::readSavedFailure(text);
    const std::string padded = std::string(text) + " \t\r\n";
    if (ardenwick::readSavedFailure(padded) != reading) {
        __builtin_trap();
    }
    // What the program writes is always read back as what it meant.
    static const bool written =
        ardenwick::readSavedFailure(
            ardenwick::failureRecordText(ardenwick::InstallationKind::LaunchFailed)) ==
            ardenwick::SavedFailureReading::LaunchFailedIfInstalled &&
        ardenwick::readSavedFailure(
            ardenwick::failureRecordText(ardenwick::InstallationKind::InstallationFailed)) ==
            ardenwick::SavedFailureReading::InstallationFailed;
    if (!written) {
        __builtin_trap();
    }
    return 0;
}
