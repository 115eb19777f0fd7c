#include "common/version_text.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace ardenwick {
namespace {

TEST(VersionText, AcceptsThreeComponentsWithoutLeadingZeros) {
    for (const char* good :
         {"0.0.0", "1.0.2", "10.20.30", "123456789.0.987654321", "999999999.999999999.999999999"}) {
        EXPECT_TRUE(isVersionText(good)) << good;
    }
    for (const char* bad : {"",
                            "1",
                            "1.2",
                            "1.2.3.4",
                            "01.2.3",
                            "1.02.3",
                            "1.2.03",
                            "1234567890.0.0",
                            "1.2.3-beta",
                            " 1.2.3",
                            "1.2.3 ",
                            "v1.2.3",
                            "1..3",
                            "+1.2.3",
                            "-1.2.3",
                            "1.2.x",
                            "\xEF\xBC\x91.2.3",
                            "1.2.3.",
                            ".1.2",
                            "1.2.",
                            "00.0.0",
                            "0.0.00",
                            "1.2.3\n",
                            "1.2.3a",
                            "1.2.3\xC2\xA0",
                            "1.2.0123456789"}) {
        EXPECT_FALSE(isVersionText(bad)) << bad;
    }
    EXPECT_FALSE(isVersionText(std::string("1.2.3\0", 6)));
}

TEST(VersionText, SharedAcrossThreads) {
    std::vector<std::thread> threads;
    std::vector<int> matches(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&matches, t] {
            for (int i = 0; i < 200; ++i) {
                matches[static_cast<std::size_t>(t)] += isVersionText(std::to_string(i) + ".1.0") ? 1 : 0;
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (int count : matches) {
        EXPECT_EQ(count, 200);
    }
}

} // namespace
} // namespace ardenwick
