#include "maintenance/json_number.h"

namespace ardenwick {

std::optional<std::uint64_t> unsignedNumber(const nlohmann::json& value) {
    if (value.is_number_unsigned()) {
        return value.get<std::uint64_t>();
    }
    if (value.is_number_integer()) {
        const auto signedValue = value.get<std::int64_t>();
        return signedValue >= 0 ? std::optional<std::uint64_t>(static_cast<std::uint64_t>(signedValue))
                                : std::nullopt;
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        // Also false for NaN.
        if (!(number >= 0.0 && number < 18446744073709551616.0)) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(number);
    }
    return value.get<std::uint64_t>(); // throws the library's type error
}

} // namespace ardenwick
