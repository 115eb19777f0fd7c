#include "app/instance_key.h"

#include <gtest/gtest.h>

namespace ardenwick {
namespace {

// Reference values computed independently over the UTF-16LE bytes of each text.
TEST(InstanceKey, Fnv1aOverUtf16LittleEndianCodeUnits) {
    EXPECT_EQ(fnv1a64Utf16(u""), 0xCBF29CE484222325ULL);
    EXPECT_EQ(fnv1a64Utf16(u"a"), 0x089BE207B544F1E4ULL);
    EXPECT_EQ(fnv1a64Utf16(u"\u00E9"), 0x0A6A1207B6CD9FACULL);
    EXPECT_EQ(fnv1a64Utf16(u"\U0001F600"), 0xF39A100FB654058AULL);
    EXPECT_EQ(fnv1a64Utf16(u"C:\\Users\\Ana\\AppData\\Local\\Ardenwick"), 0x8872CC19C04A45DAULL);
}

TEST(InstanceKey, MaintenanceKeyHasLowestBitSet) {
    EXPECT_EQ(maintenanceInstanceKey(u"a"), 0x089BE207B544F1E5ULL);
    EXPECT_EQ(maintenanceInstanceKey(u"C:\\Users\\Ana\\AppData\\Local\\Ardenwick"), 0x8872CC19C04A45DBULL);
    EXPECT_NE(maintenanceInstanceKey(u""), 0U);
}

TEST(InstanceKey, MutexNameCarriesSidAndMaintenanceKey) {
    EXPECT_EQ(instanceMutexName(L"S-1-5-21-1-2-3-1000", std::nullopt),
              L"Global\\Ardenwick.Installation.S-1-5-21-1-2-3-1000");
    EXPECT_EQ(instanceMutexName(L"S-1-5-21-1-2-3-1000", 0x8872CC19C04A45DBULL),
              L"Global\\Ardenwick.Installation.S-1-5-21-1-2-3-1000.Maintenance.9832145347475555803");
}

} // namespace
} // namespace ardenwick
