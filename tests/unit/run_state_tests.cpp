#include "launch/run_state.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace ardenwick {
namespace {

TEST(RunState, LauncherProtocolVersion) {
    EXPECT_EQ(parseLauncherProtocolVersion(R"({"protocolVersion":3})"), 3U);
    EXPECT_EQ(parseLauncherProtocolVersion(R"({"other":1})"), 0U);
    EXPECT_THROW((void)parseLauncherProtocolVersion(R"({"protocolVersion":"3"})"), std::exception);
    EXPECT_THROW((void)parseLauncherProtocolVersion(R"({"protocolVersion":-1})"), std::exception);
    EXPECT_THROW((void)parseLauncherProtocolVersion(R"([3])"), std::exception);
    EXPECT_THROW((void)parseLauncherProtocolVersion("{"), std::exception);
}

TEST(RunState, ReadyRecoveryStateNeedsEveryRule) {
    auto ready = parseReadyRecoveryState(
        R"({"applicationReady":true,"intent":"running","runId":"Local\\Ardenwick.Runtime.42","extra":[1]})");
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->runId, "Local\\Ardenwick.Runtime.42");
    EXPECT_FALSE(ready->applicationPid);

    EXPECT_TRUE(parseReadyRecoveryState(
        R"({"applicationReady":true,"intent":"running","runId":"Local\\Ardenwick.Runtime."})"))
        << "the prefix alone is a valid run id";
    auto withPid = parseReadyRecoveryState(
        R"({"applicationReady":true,"intent":"running","runId":"Local\\Ardenwick.Runtime.1","applicationPid":1234.9})");
    ASSERT_TRUE(withPid && withPid->applicationPid);
    EXPECT_EQ(*withPid->applicationPid, 1234U) << "a floating-point id is truncated";

    for (
        const char* notReady :
        {R"({"applicationReady":false,"intent":"running","runId":"Local\\Ardenwick.Runtime.1"})",
         R"({"applicationReady":"true","intent":"running","runId":"Local\\Ardenwick.Runtime.1"})",
         R"({"intent":"running","runId":"Local\\Ardenwick.Runtime.1"})",
         R"({"applicationReady":true,"intent":"starting","runId":"Local\\Ardenwick.Runtime.1"})",
         R"({"applicationReady":true,"runId":"Local\\Ardenwick.Runtime.1"})",
         R"({"applicationReady":true,"intent":"running","runId":"Local\\Ardenwick.Runtime"})",
         R"({"applicationReady":true,"intent":"running","runId":"Global\\Ardenwick.Runtime.1"})",
         R"({"applicationReady":true,"intent":"running","runId":7})",
         R"({"applicationReady":true,"intent":"running"})",
         R"({"applicationReady":true,"intent":"running","runId":"Local\\Ardenwick.Runtime.1","applicationPid":"5"})",
         R"({"applicationReady":true,"intent":"running","runId":"Local\\Ardenwick.Runtime.1","applicationPid":-5})",
         R"([])"}) {
        EXPECT_FALSE(parseReadyRecoveryState(notReady)) << notReady;
    }
    EXPECT_THROW((void)parseReadyRecoveryState("{\"applicationReady\":true,"), std::exception);
}

TEST(RunState, JobNameWidensEachByteWithSignExtension) {
    EXPECT_EQ(runtimeJobName("Local\\Ardenwick.Runtime.a"), u"Local\\Ardenwick.Runtime.a");
    EXPECT_EQ(runtimeJobName("\x7F\x80\xC3\xA9\xFF"), (std::u16string{0x7F, 0xFF80, 0xFFC3, 0xFFA9, 0xFFFF}));
}

} // namespace
} // namespace ardenwick
