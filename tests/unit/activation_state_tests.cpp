#include "maintenance/activation_state.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>

namespace ardenwick {
namespace {

using nlohmann::json;

json state() {
    return json{{"schemaVersion", 2},
                {"activeVersion", "1.2.3"},
                {"lastKnownGoodVersion", "1.2.2"},
                {"pendingVersion", "1.3.0"},
                {"pendingReleaseChannel", "beta"},
                {"candidateVersion", "1.2.3"},
                {"badVersions", {"1.2.1", "0.9.0"}}};
}

std::string messageOf(const std::string& text) {
    try {
        static_cast<void>(parseActivationState(text));
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

std::string messageAfter(const std::function<void(json&)>& change) {
    json document = state();
    change(document);
    return messageOf(document.dump());
}

constexpr const char* invalid = "Activation state is invalid";

TEST(ActivationState, ParsesSchemaTwo) {
    const ActivationState parsed = parseActivationState(state().dump());
    EXPECT_EQ(parsed.schemaVersion, 2);
    EXPECT_EQ(parsed.activeVersion, "1.2.3");
    EXPECT_EQ(parsed.lastKnownGoodVersion, "1.2.2");
    EXPECT_EQ(parsed.pendingVersion, "1.3.0");
    EXPECT_EQ(parsed.pendingReleaseChannel, "beta");
    EXPECT_EQ(parsed.candidateVersion, "1.2.3");
    EXPECT_EQ(parsed.badVersions, (std::vector<std::string>{"1.2.1", "0.9.0"}));

    const ActivationState minimal = parseActivationState(R"({"schemaVersion":2,"activeVersion":"0.0.0"})");
    EXPECT_EQ(minimal.activeVersion, "0.0.0");
    EXPECT_FALSE(minimal.lastKnownGoodVersion || minimal.pendingVersion || minimal.pendingReleaseChannel ||
                 minimal.candidateVersion);
    EXPECT_TRUE(minimal.badVersions.empty());
    // The schema compares as a number: 2.0 is 2.
    EXPECT_EQ(parseActivationState(R"({"schemaVersion":2.0,"activeVersion":"1.0.0"})").schemaVersion, 2);
}

TEST(ActivationState, NullOptionalFieldsAreAbsent) {
    json document = state();
    document["lastKnownGoodVersion"] = nullptr;
    document["pendingVersion"] = nullptr;
    document["pendingReleaseChannel"] = nullptr;
    document["candidateVersion"] = nullptr;
    const ActivationState parsed = parseActivationState(document.dump());
    EXPECT_FALSE(parsed.lastKnownGoodVersion.has_value());
    EXPECT_FALSE(parsed.pendingVersion.has_value());
    EXPECT_FALSE(parsed.pendingReleaseChannel.has_value());
    EXPECT_FALSE(parsed.candidateVersion.has_value());
}

TEST(ActivationState, SchemaOneIsConvertedAndLosesItsPendingFields) {
    const json schemaOne = {{"schemaVersion", 1}, {"activeVersion", "1.2.3"}, {"pendingVersion", "1.3.0"}};
    const ActivationState parsed = parseActivationState(schemaOne.dump());
    EXPECT_EQ(parsed.schemaVersion, 2);
    EXPECT_EQ(parsed.activeVersion, "1.2.3");
    EXPECT_FALSE(parsed.pendingVersion.has_value());
    EXPECT_FALSE(parsed.pendingReleaseChannel.has_value());

    json schemaTwo = schemaOne;
    schemaTwo["schemaVersion"] = 2;
    EXPECT_EQ(messageOf(schemaTwo.dump()), invalid);

    // Validated before conversion: a malformed pending version still makes schema 1 invalid.
    json badPending = schemaOne;
    badPending["pendingVersion"] = "1.3";
    EXPECT_EQ(messageOf(badPending.dump()), invalid);
    // A schema-1 channel is not checked, and dropped.
    json oddChannel = schemaOne;
    oddChannel["pendingReleaseChannel"] = "nightly";
    EXPECT_FALSE(parseActivationState(oddChannel.dump()).pendingReleaseChannel.has_value());
}

TEST(ActivationState, EveryRuleMakesItInvalid) {
    EXPECT_EQ(messageAfter([](json& d) { d.erase("schemaVersion"); }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["schemaVersion"] = 0; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["schemaVersion"] = 3; }), invalid);
    // 2^32 + 1 is not schema 1, and 1e300 converts to no schema at all.
    EXPECT_EQ(messageAfter([](json& d) { d["schemaVersion"] = 4294967297ULL; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["schemaVersion"] = 1e300; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["schemaVersion"] = -1; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["activeVersion"] = "1.2"; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) {
                  d["activeVersion"] = "01.2.3";
                  d["candidateVersion"] = "01.2.3";
              }),
              invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["lastKnownGoodVersion"] = "1.2.2-rc1"; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["pendingVersion"] = "1.3.0.0"; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["candidateVersion"] = "1.2.4"; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["candidateVersion"] = "1.2"; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d.erase("pendingReleaseChannel"); }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d.erase("pendingVersion"); }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["pendingReleaseChannel"] = "nightly"; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["pendingReleaseChannel"] = "Stable"; }), invalid);
    EXPECT_EQ(messageAfter([](json& d) { d["badVersions"].push_back("bad"); }), invalid);
    EXPECT_EQ(messageAfter([](json& d) {
                  d.erase("pendingVersion");
                  d.erase("pendingReleaseChannel");
                  d["pendingReleaseChannel"] = "stable";
              }),
              invalid);
    EXPECT_EQ(messageAfter([](json& d) {
                  d.erase("pendingVersion");
                  d.erase("pendingReleaseChannel");
              }),
              "");
}

TEST(ActivationState, FieldAndTypeErrors) {
    EXPECT_EQ(messageAfter([](json& d) { d.erase("activeVersion"); }), "Missing string field: activeVersion");
    EXPECT_EQ(messageAfter([](json& d) { d["activeVersion"] = 123; }), "Missing string field: activeVersion");
    EXPECT_EQ(messageAfter([](json& d) { d["activeVersion"] = ""; }), "Empty string field: activeVersion");
    EXPECT_EQ(messageOf("[]"), "Missing string field: activeVersion");
    EXPECT_EQ(messageOf("\"1.2.3\""), "Missing string field: activeVersion");
    EXPECT_THROW(static_cast<void>(parseActivationState("{")), json::parse_error);
    EXPECT_THROW(static_cast<void>(parseActivationState("")), json::parse_error);
    EXPECT_THROW(static_cast<void>(parseActivationState(R"({"schemaVersion":"2","activeVersion":"1.2.3"})")),
                 json::type_error);
    for (const char* key :
         {"lastKnownGoodVersion", "pendingVersion", "pendingReleaseChannel", "candidateVersion"}) {
        json document = state();
        document[key] = 5;
        EXPECT_THROW(static_cast<void>(parseActivationState(document.dump())), json::type_error) << key;
    }
    json document = state();
    document["badVersions"] = "1.2.1";
    EXPECT_THROW(static_cast<void>(parseActivationState(document.dump())), json::type_error);
    document["badVersions"] = {1, 2};
    EXPECT_THROW(static_cast<void>(parseActivationState(document.dump())), json::type_error);
    document["badVersions"] = nullptr;
    EXPECT_THROW(static_cast<void>(parseActivationState(document.dump())), json::type_error);
}

class ActivationFile : public ::testing::Test {
protected:
    void SetUp() override {
        directory_ = std::filesystem::temp_directory_path() /
                     ("ardenwick-activation-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(directory_);
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
    std::filesystem::path write(const std::string& bytes) {
        const auto path = directory_ / "activation.json";
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        return path;
    }
    std::filesystem::path directory_;
};

TEST_F(ActivationFile, ReadsAtMost65536Bytes) {
    const std::string document = R"({"schemaVersion":2,"activeVersion":"1.2.3"})";
    const std::string atLimit = document + std::string(65536 - document.size(), ' ');
    EXPECT_EQ(readActivationState(write(atLimit)).activeVersion, "1.2.3");
    try {
        static_cast<void>(readActivationState(write(atLimit + " ")));
        ADD_FAILURE() << "a file of 65537 bytes was read";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Activation state is invalid");
    }
    // Bytes are read as they are, CR LF included.
    EXPECT_EQ(readActivationState(write("{\r\n\"schemaVersion\":1,\r\n\"activeVersion\":\"2.0.0\"}\r\n"))
                  .activeVersion,
              "2.0.0");
}

TEST_F(ActivationFile, MissingFileIsUnavailable) {
    try {
        static_cast<void>(readActivationState(directory_ / "missing.json"));
        ADD_FAILURE() << "no error for a missing file";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "Activation state is unavailable");
    }
}

} // namespace
} // namespace ardenwick
