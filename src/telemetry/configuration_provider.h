#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace ardenwick {

struct AttributionSettings {
    /// The AppsFlyer dev key; empty when attribution is switched off.
    std::string devKey;
    std::string applicationId;
};

/// Settings of the application's own features; the installer does not read them.
struct ApplicationSettings {
    std::int64_t historyLimit = 200;
    std::optional<std::string> optionalText;
    std::string transcriptionMode = "remote";
    std::string speechModel;
    std::string language = "en";
    std::string scenario = "default";
    std::int64_t timeouts[6] = {5000, 30000, 8000, 4000, 3000, 30000};
};

/// The per-environment service settings, fixed at build time.
struct ServiceConfiguration {
    std::string environmentName;
    std::string secondEnvironmentName;
    std::string authenticationPublishableKey;
    std::string speechToTextEndpoint;
    std::string emptySetting;
    std::string serviceApiBaseUrl;
    std::string analyticsProjectKey;
    std::string analyticsHost;
    AttributionSettings attribution;
    ApplicationSettings application;
};

class IConfigurationProvider {
public:
    virtual ~IConfigurationProvider() = default;
    [[nodiscard]] virtual ServiceConfiguration configuration() const = 0;
};

class DefaultConfigurationProvider final : public IConfigurationProvider {
public:
    DefaultConfigurationProvider();
    /// "production" or "test"; anything else throws std::invalid_argument.
    explicit DefaultConfigurationProvider(const std::string& environmentName);

    [[nodiscard]] ServiceConfiguration configuration() const override;

private:
    mutable std::mutex mutex_;
    ServiceConfiguration configuration_;
};

} // namespace ardenwick
