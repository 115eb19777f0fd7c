#include "installation/attempt_identifier.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

TEST(AttemptIdentifier, OnlyTheNamesOfAttemptFoldersAreAttemptIdentifiers) {
    EXPECT_TRUE(isAttemptIdentifier(L"0F3A9C2E-7B41-4D8A-9E10-ABCDEF012345"));
    EXPECT_TRUE(isAttemptIdentifier(L"00000000-0000-0000-0000-000000000000"));
    for (const wchar_t* name : {L"0f3a9c2e-7b41-4d8a-9e10-abcdef012345",  // lower case
                                L"{0F3A9C2E-7B41-4D8A-9E10-ABCDEF0123}",  // braces
                                L"0F3A9C2E-7B41-4D8A-9E10-ABCDEF0123456", // 37 characters
                                L"0F3A9C2E-7B41-4D8A-9E10-ABCDEF01234",   // 35 characters
                                L"0F3A9C2E07B41-4D8A-9E10-ABCDEF012345",  // a digit for a hyphen
                                L"0F3A9C2E-7B41-4D8A-9E10-ABCDEF01234G",  // not hexadecimal
                                L"0F3A9C2E-7B41-4D8A-9E10ABCDEF-012345",  // groups misplaced
                                L"last-failure.json", L"Analytics", L""}) {
        EXPECT_FALSE(isAttemptIdentifier(name)) << testing::PrintToString(std::wstring(name));
    }
}

} // namespace
} // namespace ardenwick
