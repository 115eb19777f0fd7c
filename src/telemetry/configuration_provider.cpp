#include "telemetry/configuration_provider.h"

#include "telemetry/environment.h"

#include <stdexcept>

#ifndef ARDENWICK_ANALYTICS_HOST
#define ARDENWICK_ANALYTICS_HOST "https://eu.i.posthog.com"
#endif

namespace ardenwick {

namespace {

// Deployment data of the product, fixed at build time. The analytics host is a build setting so that
// test builds can point it at a loopback server.
constexpr const char* AnalyticsHost = ARDENWICK_ANALYTICS_HOST;
constexpr const char* AttributionApplicationId = "ardenwick-windows";
constexpr const char* AppsFlyerDevKey = "fKtHF4vUCsMehGAkWvj7FA";

void fillProduction(ServiceConfiguration& c) {
    c.authenticationPublishableKey = "pk_live_Y2xlcmsuYXJkZW53aWNrLmFwcCQx";
    c.speechToTextEndpoint = "wss://api.ardenwick.app/stt-v2";
    c.serviceApiBaseUrl = "https://api.ardenwick.app";
    c.analyticsProjectKey = "phc_u8jzPde0IgxLd6GncfBAepfJBd0Kh8oOOL8dKLzdocJ2";
}

void fillTest(ServiceConfiguration& c) {
    c.authenticationPublishableKey = "pk_test_YXJkZW53aWNrLXRlc3QtNDIuY2xlcmsuYWNjb3VudHMuZGV";
    c.speechToTextEndpoint = "wss://api.test.ardenwick.app/stt-v2";
    c.serviceApiBaseUrl = "https://api.test.ardenwick.app";
    c.analyticsProjectKey = "phc_isAjIhKtJ0RlgLKOmxgJTeKdNnFRIBXuDL7DxtpYlSXp";
}

} // namespace

DefaultConfigurationProvider::DefaultConfigurationProvider() : DefaultConfigurationProvider("production") {}

DefaultConfigurationProvider::DefaultConfigurationProvider(const std::string& environmentName) {
    ServiceConfiguration c;
    if (environmentName == "production") {
        fillProduction(c);
    } else if (environmentName == "test") {
        fillTest(c);
    } else {
        throw std::invalid_argument("Unknown Ardenwick service environment");
    }
    c.environmentName = environmentName;
    c.secondEnvironmentName = environmentName;
    c.analyticsHost = AnalyticsHost;
    if (readEnvironmentFlag("ARDENWICK_APPSFLYER_ENABLED", true)) {
        c.attribution.devKey = AppsFlyerDevKey;
    }
    c.attribution.applicationId = AttributionApplicationId;
    c.application.speechModel = readEnvironmentText("ARDENWICK_STT_MODEL", "");
    c.application.language = readEnvironmentText("ARDENWICK_LANGUAGE", "en");
    c.application.scenario = readEnvironmentText("ARDENWICK_SCENARIO", "default");
    configuration_ = std::move(c);
}

ServiceConfiguration DefaultConfigurationProvider::configuration() const {
    std::lock_guard lock(mutex_);
    return configuration_;
}

} // namespace ardenwick
