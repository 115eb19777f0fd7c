#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace ardenwick {

inline constexpr wchar_t ResultRecordFileName[] = L"result.ini";
inline constexpr wchar_t IdentityRecordSuffix[] = L".identity";
inline constexpr wchar_t ContextRecordSuffix[] = L".context";
inline constexpr std::uintmax_t MaxResultRecordBytes = 65536;

/// The whole content of an INI record before anyone writes to it: the UTF-16 little-endian byte-order
/// mark. The profile functions then write the file in UTF-16, so any path survives it; a file they
/// create themselves is in the ANSI code page, where letters outside it become "?". Without keys it
/// still reads as no result.
inline constexpr std::string_view UnicodeRecordStart{"\xFF\xFE", 2};

/// What the full installer is told about this run.
struct InstallerRecordValues {
    std::string installFlowId;
    std::string attemptId;
    std::string anonymousId;
    /// Web attribution entries, in key order.
    std::map<std::string, std::string> webAttribution;
};

/// Lower-case hexadecimal of the bytes, two digits each, so any text survives an INI file.
[[nodiscard]] std::string hexOfBytes(std::string_view bytes);

/// The compact JSON of the context record; non-ASCII text stays UTF-8.
[[nodiscard]] std::string contextRecordText(const InstallerRecordValues& values, std::int64_t createdSeconds);

/// The installer's command line: the quoted installer path, the silent and bootstrapper switches and the
/// quoted result record path.
[[nodiscard]] std::wstring installerCommandLine(std::wstring_view installerPath,
                                                std::wstring_view resultRecordPath);

} // namespace ardenwick
