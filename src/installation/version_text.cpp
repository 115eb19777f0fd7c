#include "installation/version_text.h"

#include <regex>
#include <string>

namespace ardenwick {

bool isVersionText(std::string_view text) {
    // A function-local static is initialised once, thread-safely, on first use; std::regex_match on a
    // const expression is safe to call from several threads at once.
    static const std::regex versionPattern(R"((0|[1-9][0-9]{0,8})\.(0|[1-9][0-9]{0,8})\.(0|[1-9][0-9]{0,8}))",
                                           std::regex::ECMAScript);
    return std::regex_match(text.begin(), text.end(), versionPattern);
}

} // namespace ardenwick
