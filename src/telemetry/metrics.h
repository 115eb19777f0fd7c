#pragma once

#include "common/wide_path.h"
#include "telemetry/event_properties.h"
#include "telemetry/metrics_event.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ardenwick {

/// What the telemetry client is built from.
struct MetricsConfiguration {
    std::string apiKey;
    /// PostHog ingestion base URL; the batch endpoint is derived from it.
    std::string host;
    /// "prod" or "dev" in the installer.
    std::string environment;
    /// Compared by the application's pair events instead of environment when not empty.
    std::string pairEnvironment;
    bool enabled = true;
    /// Names the installation-identity registry key.
    std::string installationNamespace;
};

/// Overrides of the client's defaults; all empty in the shipped program.
struct MetricsOptions {
    /// Delivers a JSON batch body; true on success.
    std::function<bool(const std::string& body)> batchSender;
    std::function<std::string()> distinctIdProvider;
    /// Receives the new distinct id of resetIdentity instead of the registry.
    std::function<void(const std::string& distinctId)> distinctIdSink;
    std::optional<WidePath> outboxPath;
    std::function<std::string()> installationIdProvider;
};

class IMetrics {
public:
    /// Flushes for up to 2000 ms, then stops the sender.
    virtual ~IMetrics() = default;
    virtual void capture(MetricsEvent event) = 0;
    virtual void identify(const std::string& userId, const EventProperties& personProperties) = 0;
    virtual void identify(const std::string& userId) = 0;
    virtual void resetIdentity() = 0;
    virtual void requestFlush() = 0;
    /// Waits until nothing is pending or the limit passes; a limit of 0 or less tests once.
    virtual bool flush(int limitMilliseconds) = 0;
};

class IGrowthEventTransport {
public:
    virtual ~IGrowthEventTransport() = default;
    [[nodiscard]] virtual bool isEnabled() const = 0;
    [[nodiscard]] virtual bool isGrowthEnabled() const = 0;
    [[nodiscard]] virtual std::vector<std::string> pendingGrowthEvents() const = 0;
    [[nodiscard]] virtual std::string buildGrowthEvent(const MetricsEvent& event) const = 0;
    /// 0 sent, 1 retry later, 2 inactive or no endpoint, 4 rejected by the server.
    [[nodiscard]] virtual int sendGrowthEvent(const std::string& body) = 0;
};

class IPairEventTransport {
public:
    virtual ~IPairEventTransport() = default;
    [[nodiscard]] virtual bool sendPairEvent(const MetricsEvent& event) = 0;
};

} // namespace ardenwick
