#include "telemetry/configuration_provider.h"
#include "telemetry/environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>

namespace ardenwick {
namespace {

void setVariable(const char* name, const char* value) {
#ifdef _WIN32
    _putenv((std::string(name) + "=" + value).c_str());
#else
    setenv(name, value, 1);
#endif
}

void clearVariable(const char* name) {
#ifdef _WIN32
    _putenv((std::string(name) + "=").c_str());
#else
    unsetenv(name);
#endif
}

/// Sets a variable for the life of one scope.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) { setVariable(name, value); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;
    ~ScopedVariable() { clearVariable(name_); }

private:
    const char* name_;
};

TEST(ConfigurationProvider, ProductionAndTestHaveWellFormedDistinctSettings) {
    const ScopedVariable none("ARDENWICK_APPSFLYER_ENABLED", "");
    const auto production = DefaultConfigurationProvider("production").configuration();
    const auto test = DefaultConfigurationProvider("test").configuration();
    EXPECT_EQ(DefaultConfigurationProvider().configuration().environmentName, "production");
    EXPECT_EQ(production.environmentName, "production");
    EXPECT_EQ(production.secondEnvironmentName, "production");
    EXPECT_EQ(test.environmentName, "test");
    EXPECT_EQ(test.secondEnvironmentName, "test");

    EXPECT_TRUE(
        std::regex_match(production.authenticationPublishableKey, std::regex("pk_live_[A-Za-z0-9]{28}")));
    EXPECT_TRUE(std::regex_match(test.authenticationPublishableKey, std::regex("pk_test_[A-Za-z0-9]{47}")));
    const std::regex posthogKey("phc_[A-Za-z0-9]{44}");
    EXPECT_TRUE(std::regex_match(production.analyticsProjectKey, posthogKey));
    EXPECT_TRUE(std::regex_match(test.analyticsProjectKey, posthogKey));
    EXPECT_NE(production.analyticsProjectKey, test.analyticsProjectKey);
    EXPECT_EQ(production.analyticsHost, test.analyticsHost);
    EXPECT_EQ(production.analyticsHost.substr(0, 8), "https://");
    EXPECT_NE(production.serviceApiBaseUrl, test.serviceApiBaseUrl);
    for (const auto* c : {&production, &test}) {
        EXPECT_EQ(c->serviceApiBaseUrl.substr(0, 8), "https://");
        EXPECT_EQ(c->speechToTextEndpoint, "wss://" + c->serviceApiBaseUrl.substr(8) + "/stt-v2");
        EXPECT_TRUE(c->emptySetting.empty());
        EXPECT_EQ(c->attribution.applicationId, "ardenwick-windows");
        EXPECT_EQ(c->attribution.devKey.size(), 22u);
        EXPECT_EQ(c->application.historyLimit, 200);
        EXPECT_FALSE(c->application.optionalText);
        EXPECT_EQ(c->application.transcriptionMode, "remote");
    }
}

TEST(ConfigurationProvider, AnyOtherEnvironmentNameThrows) {
    for (const char* name : {"Production", "prod", "TEST", "", "production ", "staging"}) {
        try {
            DefaultConfigurationProvider provider(name);
            FAIL() << name;
        } catch (const std::invalid_argument& error) {
            EXPECT_STREQ(error.what(), "Unknown Ardenwick service environment");
        }
    }
}

TEST(ConfigurationProvider, AppsFlyerFlagAndApplicationSettingsComeFromTheEnvironment) {
    for (const char* off : {"off", "OFF", "No", "false", "0"}) {
        const ScopedVariable flag("ARDENWICK_APPSFLYER_ENABLED", off);
        EXPECT_TRUE(DefaultConfigurationProvider("production").configuration().attribution.devKey.empty())
            << off;
    }
    for (const char* on : {"maybe", "", "ON", "yes", "1", "True"}) {
        const ScopedVariable flag("ARDENWICK_APPSFLYER_ENABLED", on);
        const auto c = DefaultConfigurationProvider("test").configuration();
        EXPECT_EQ(c.attribution.devKey.size(), 22u) << on;
        EXPECT_EQ(c.attribution.applicationId, "ardenwick-windows");
    }
    {
        const ScopedVariable language("ARDENWICK_LANGUAGE", "");
        const ScopedVariable scenario("ARDENWICK_SCENARIO", "demo");
        const ScopedVariable model("ARDENWICK_STT_MODEL", "small");
        const auto c = DefaultConfigurationProvider("production").configuration();
        EXPECT_EQ(c.application.language, "en");
        EXPECT_EQ(c.application.scenario, "demo");
        EXPECT_EQ(c.application.speechModel, "small");
    }
    const ScopedVariable language("ARDENWICK_LANGUAGE", "pt-BR");
    const auto c = DefaultConfigurationProvider("production").configuration();
    EXPECT_EQ(c.application.language, "pt-BR");
    EXPECT_EQ(c.application.scenario, "default");
    EXPECT_EQ(c.application.speechModel, "");
}

TEST(ConfigurationProvider, TheEnvironmentIsReadOnceAtConstruction) {
    std::optional<DefaultConfigurationProvider> provider;
    {
        const ScopedVariable language("ARDENWICK_LANGUAGE", "zh-Hans");
        const ScopedVariable flag("ARDENWICK_APPSFLYER_ENABLED", "off");
        provider.emplace("test");
    }
    // Every later copy keeps what the constructor read, whatever the environment says now.
    const ScopedVariable language("ARDENWICK_LANGUAGE", "pt-BR");
    const ScopedVariable flag("ARDENWICK_APPSFLYER_ENABLED", "on");
    const auto c = provider->configuration();
    EXPECT_EQ(c.application.language, "zh-Hans");
    EXPECT_TRUE(c.attribution.devKey.empty());
    EXPECT_EQ(c.environmentName, "test");
}

TEST(ReadEnvironment, TextFallsBackWhenUnsetOrEmptyAndFlagsAcceptTheEightWords) {
    clearVariable("ARDENWICK_TEST_TEXT");
    EXPECT_EQ(readEnvironmentText("ARDENWICK_TEST_TEXT", "fallback"), "fallback");
    {
        const ScopedVariable v("ARDENWICK_TEST_TEXT", "value with spaces");
        EXPECT_EQ(readEnvironmentText("ARDENWICK_TEST_TEXT", "fallback"), "value with spaces");
    }
    for (const char* t : {"1", "true", "TRUE", "yes", "On"}) {
        const ScopedVariable v("ARDENWICK_TEST_FLAG", t);
        EXPECT_TRUE(readEnvironmentFlag("ARDENWICK_TEST_FLAG", false)) << t;
    }
    for (const char* f : {"0", "false", "No", "OFF"}) {
        const ScopedVariable v("ARDENWICK_TEST_FLAG", f);
        EXPECT_FALSE(readEnvironmentFlag("ARDENWICK_TEST_FLAG", true)) << f;
    }
    for (const char* other : {"2", "enabled", " true", "y"}) {
        const ScopedVariable v("ARDENWICK_TEST_FLAG", other);
        EXPECT_TRUE(readEnvironmentFlag("ARDENWICK_TEST_FLAG", true)) << other;
        EXPECT_FALSE(readEnvironmentFlag("ARDENWICK_TEST_FLAG", false)) << other;
    }
    {
        const ScopedVariable v("ARDENWICK_TEST_BOUNDED", "1234567");
        EXPECT_EQ(readBoundedEnvironment("ARDENWICK_TEST_BOUNDED", 8), "1234567");
        EXPECT_FALSE(readBoundedEnvironment("ARDENWICK_TEST_BOUNDED", 7));
    }
    EXPECT_FALSE(readBoundedEnvironment("ARDENWICK_TEST_BOUNDED", 100));
}

} // namespace
} // namespace ardenwick
