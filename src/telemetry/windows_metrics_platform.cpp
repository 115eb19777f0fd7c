#include "common/text_conversion.h"
#include "common/user_state.h"
#include "telemetry/analytics_identity.h"
#include "telemetry/batch_transport.h"
#include "telemetry/posthog_metrics.h"
#include "telemetry/system_info.h"

#include <windows.h>

#include <memory>

namespace ardenwick {

namespace {

std::optional<WidePath> localOutboxPath(const std::string& apiKey) {
    const auto folder = localAppDataFolder();
    if (!folder) {
        return std::nullopt;
    }
    return WidePath(*folder) / L"Ardenwick" / L"Analytics" / utf8ToWide(outboxFileName(apiKey));
}

} // namespace

MetricsPlatform windowsMetricsPlatform() {
    MetricsPlatform platform;
    platform.analyticsDistinctId = [] { return analyticsDistinctId(); };
    platform.installationIdentity = [](const std::string& space) { return installationIdentity(space); };
    platform.persistDistinctId = [](const std::string& id) { persistAnalyticsDistinctId(id); };
    platform.defaultOutboxPath = [](const std::string& apiKey) { return localOutboxPath(apiKey); };
    // One per client: the sender posts through it, and the stopping thread aborts what is in flight.
    auto abort = std::make_shared<BatchPostAbort>();
    platform.postBatch = [abort](const BatchEndpoint& endpoint, const std::string& body) {
        return postBatch(endpoint, body, abort.get());
    };
    platform.abortPost = [abort] { abort->abort(); };
    platform.nativeArchitecture = [] { return nativeArchitecture(); };
    platform.osVersionText = [] { return osVersionText(); };
    return platform;
}

PostHogMetrics::PostHogMetrics(MetricsConfiguration configuration, MetricsOptions options)
    : PostHogMetrics(std::move(configuration), std::move(options), windowsMetricsPlatform()) {}

} // namespace ardenwick
