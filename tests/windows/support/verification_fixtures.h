#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace ardenwick::testing {

/// bin/fixtures/<name>: the signed and unsigned programs that the verification tests read.
[[nodiscard]] std::filesystem::path fixturePath(const std::wstring& name);

/// The message of what `action` throws, or "" when it returns normally.
[[nodiscard]] std::string messageOf(const std::function<void()>& action);

/// Trusts the test root CA (bin/test-pki/root.cer) in the machine's Root store once per process.
void trustTestRoot();

} // namespace ardenwick::testing
