#pragma once

namespace ardenwick::testing {

/// True when the test runs under Wine (ntdll exports wine_get_version), for the documented differences
/// between Wine and Windows that some tests cannot cross.
[[nodiscard]] bool runningUnderWine();

} // namespace ardenwick::testing
