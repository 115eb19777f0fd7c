#pragma once

#include "telemetry/analytics_identifiers.h"
#include "telemetry/batch_endpoint.h"
#include "telemetry/bootstrapper_event.h"
#include "telemetry/metrics.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ardenwick {

inline constexpr const char* DefaultAppVersion = "1.0.8";

/// What the client asks of the operating system. The Windows build supplies the real calls
/// (windowsMetricsPlatform); the waits are the shipped values and only tests shorten them.
struct MetricsPlatform {
    std::function<std::string()> analyticsDistinctId;
    std::function<std::string(const std::string& installationNamespace)> installationIdentity;
    std::function<void(const std::string& distinctId)> persistDistinctId;
    /// The shared outbox file for a project key, or nothing when the folder cannot be resolved.
    std::function<std::optional<WidePath>(const std::string& apiKey)> defaultOutboxPath;
    std::function<DeliveryResult(const BatchEndpoint& endpoint, const std::string& body)> postBatch;
    /// Ends a postBatch in flight on the sender thread and makes later ones fail at once; called by the
    /// stopping client, so that a host that never answers cannot hold the process.
    std::function<void()> abortPost;
    std::function<std::string()> nativeArchitecture;
    std::function<std::string()> osVersionText;
    std::chrono::milliseconds idleWait{15000};
    std::chrono::milliseconds memoryRetryBaseDelay{250};
    /// The first wait before the sender tries a busy outbox again; it doubles with each failed try.
    std::chrono::milliseconds busyRetryBaseDelay{250};
};

/// The Win32 platform of the shipped program (defined in the Windows build only).
[[nodiscard]] MetricsPlatform windowsMetricsPlatform();

/// The PostHog analytics client: durable installer events through the shared outbox, application
/// events through a memory queue, one sender thread.
class PostHogMetrics final : public IMetrics, public IGrowthEventTransport, public IPairEventTransport {
public:
    /// The shipped client, on the Windows platform. Throws only when the sender thread cannot start.
    PostHogMetrics(MetricsConfiguration configuration, MetricsOptions options);
    PostHogMetrics(MetricsConfiguration configuration, MetricsOptions options, MetricsPlatform platform);
    PostHogMetrics(const PostHogMetrics&) = delete;
    PostHogMetrics& operator=(const PostHogMetrics&) = delete;
    ~PostHogMetrics() override;

    void capture(MetricsEvent event) override;
    void identify(const std::string& userId, const EventProperties& personProperties) override;
    void identify(const std::string& userId) override;
    void resetIdentity() override;
    void requestFlush() override;
    bool flush(int limitMilliseconds) override;

    [[nodiscard]] bool isEnabled() const override;
    [[nodiscard]] bool isGrowthEnabled() const override;
    [[nodiscard]] std::vector<std::string> pendingGrowthEvents() const override;
    [[nodiscard]] std::string buildGrowthEvent(const MetricsEvent& event) const override;
    [[nodiscard]] int sendGrowthEvent(const std::string& body) override;

    [[nodiscard]] bool sendPairEvent(const MetricsEvent& event) override;

    /// Completes, checks and stores one event in the outbox. Never throws; a failure drops the event.
    void recordDurable(MetricsEvent event, const std::string& distinctId) noexcept;

    [[nodiscard]] std::string distinctId() const;
    [[nodiscard]] std::string installationId() const;
    [[nodiscard]] bool active() const noexcept;

private:
    struct State;
    // Shared with the sender thread, which may outlive the client when a post cannot be aborted.
    std::shared_ptr<State> state_;
};

} // namespace ardenwick
