#include "telemetry/posthog_metrics.h"

#include "telemetry/analytics_identifiers.h"
#include "telemetry/batch_serializer.h"
#include "telemetry/event_catalog.h"
#include "telemetry/event_timestamp.h"
#include "telemetry/install_context.h"
#include "telemetry/posthog_metrics_state.h"

namespace ardenwick {

namespace {

constexpr int DestructorFlushMilliseconds = 2000;
// How long recording waits for a call of the sender's on the outbox to end before it leaves its row to
// the sender: one busy timeout, far longer than an ordinary SQLite call with its fsyncs takes even on a
// loaded PC, so a row is stored at once whenever the outbox is free. A call that takes longer is waiting
// out another process's lock; the row and the run's later rows are then the sender's, so recording waits
// one busy timeout per run at most.
constexpr std::chrono::milliseconds DurableWriteWait{outbox_limits::BusyTimeoutMilliseconds};
// After the flush the sender's post is aborted; this is how long it then has to let its row go.
constexpr std::chrono::milliseconds SenderStopGrace{250};

bool isInstallContextEvent(std::string_view name) {
    return name == "app_opened" || name == "app_ready" || name == "user_sign_in_started" ||
           name == "user_sign_in_viewed" || name == "user_signed_in";
}

bool isDurableApplicationEvent(std::string_view name) {
    return name == "app_ready" || name == "user_sign_in_started" || name == "user_sign_in_viewed";
}

} // namespace

void PostHogMetrics::State::addApplicationContext(EventProperties& properties) const {
    properties["app_name"] = std::string("Ardenwick");
    properties["app_platform"] = std::string("ardenwick_windows");
    properties["platform"] = std::string("windows");
    properties.try_emplace("app_version", std::string(DefaultAppVersion));
    properties["os_version"] = platform.osVersionText();
}

PostHogMetrics::PostHogMetrics(MetricsConfiguration configuration, MetricsOptions options,
                               MetricsPlatform platform)
    : state_(std::make_shared<State>()) {
    State& s = *state_;
    s.configuration = std::move(configuration);
    s.options = std::move(options);
    s.platform = std::move(platform);
    s.endpoint = parseBatchEndpoint(s.configuration.host);
    s.active = s.configuration.enabled && !s.configuration.apiKey.empty() && s.endpoint.valid;

    if (s.active) {
        s.distinctId =
            s.options.distinctIdProvider ? s.options.distinctIdProvider() : s.platform.analyticsDistinctId();
        s.memoryDistinctId = s.distinctId;
    }
    if (s.options.installationIdProvider) {
        s.installationId = s.options.installationIdProvider();
    } else if (!s.options.distinctIdProvider) {
        std::string space = s.configuration.installationNamespace;
        if (space.empty() && s.configuration.environment == "prod") {
            space = "ardenwick-windows";
        }
        s.installationId = s.platform.installationIdentity(space);
    }
    if (s.active) {
        s.installContext = readInstallContext();
    }

    std::optional<WidePath> outboxPath = s.options.outboxPath;
    if (!outboxPath && s.active && !s.options.distinctIdProvider && s.platform.defaultOutboxPath) {
        outboxPath = s.platform.defaultOutboxPath(s.configuration.apiKey);
    }
    if (outboxPath) {
        s.own.path = ownOutboxPath(*outboxPath);
        s.shared.path = std::move(outboxPath);
        try {
            s.openOutbox(s.shared);
        } catch (const OutboxError& error) {
            // Busy: events wait in memory for the sender. Unusable: they go to the own outbox. Otherwise
            // there is no outbox: durable events are dropped, memory-queue events still flow.
            s.deferring = error.kind() == OutboxFailure::Busy;
            s.sharedUnusable = error.kind() == OutboxFailure::Unusable;
        } catch (...) {
        }
        s.openOwnOutboxIfPresent();
    }
    if (s.active) {
        s.sender = std::thread([state = state_] { state->senderLoop(); });
    }
}

PostHogMetrics::~PostHogMetrics() {
    State& s = *state_;
    {
        // Kept rows get their last try within the flush, whatever the sender's back-off.
        std::lock_guard lock(s.mutex);
        s.lastTryDeadline =
            (std::chrono::steady_clock::now() + std::chrono::milliseconds(DestructorFlushMilliseconds))
                .time_since_epoch()
                .count();
    }
    flush(DestructorFlushMilliseconds);
    {
        std::lock_guard lock(s.mutex);
        s.stop = true;
        s.queue.clear();
    }
    s.senderWake.notify_all();
    if (!s.sender.joinable()) {
        s.shared.outbox.reset();
        s.own.outbox.reset();
        return;
    }
    // A post in flight would hold the process as long as the host lets it: abort it, and if the sender
    // still cannot stop, leave it behind with its own share of the state. Its leased row stays in the
    // outbox for the next run.
    if (s.platform.abortPost) {
        s.platform.abortPost();
    }
    bool ended = false;
    {
        std::unique_lock lock(s.mutex);
        ended = s.senderEndWake.wait_for(lock, SenderStopGrace, [&s] { return s.senderEnded; });
    }
    if (!ended) {
        s.sender.detach();
        return;
    }
    s.sender.join();
    s.shared.outbox.reset();
    s.own.outbox.reset();
}

void PostHogMetrics::recordDurable(MetricsEvent event, const std::string& distinctId) noexcept {
    State& s = *state_;
    try {
        if (!s.active || !isValidDistinctId(distinctId)) {
            return;
        }
        auto& properties = event.properties;
        properties.try_emplace("schema_version", std::int64_t{1});
        properties.try_emplace("source", std::string("application"));
        if (!properties.contains("occurred_at")) {
            properties["occurred_at"] = formatEventTimestamp(event.occurredAt);
        }
        if (!s.configuration.environment.empty()) {
            properties["environment"] = s.configuration.environment;
        }
        if (!sanitizeEvent(event)) {
            return;
        }
        // The context is fixed at construction, so the row is made before any lock is taken.
        s.addApplicationContext(properties);
        properties["cpu_arch"] = s.platform.nativeArchitecture();
        if (!s.installationId.empty()) {
            properties["installation_id"] = s.installationId;
        }
        event.uuid = newUuidV4();
        event.distinctId = distinctId;
        OutboxRow row{event.uuid, serializeBatch(s.configuration.apiKey, {event}), currentUnixSeconds()};
        std::lock_guard lock(s.mutex);
        if (s.stop) {
            return;
        }
        // Rows kept before this one go first.
        if (!s.keepWhileDeferring(row)) {
            const auto started = std::chrono::steady_clock::now();
            std::unique_lock outboxLock(s.outboxMutex, std::defer_lock);
            if (!outboxLock.try_lock_for(DurableWriteWait)) {
                // The sender is inside a call on the outbox that waits out another process's lock: it
                // appends this row and the run's later ones, and the recording thread waits no more.
                s.keepAfterBusy(std::move(row));
            } else if (!s.shared.path) {
                return;
            } else {
                // The append waits for another process's lock only as long as is left of this row's
                // one busy timeout, whatever part of it went on waiting for the sender.
                const State::RecordingBudget budget(s, started + DurableWriteWait);
                s.storeDurable(std::move(row));
            }
        }
        s.flushRequested = true;
        s.senderWake.notify_one();
    } catch (...) {
        // Recording never reports an error: the event is dropped.
    }
}

void PostHogMetrics::capture(MetricsEvent event) {
    State& s = *state_;
    try {
        if (!s.active) {
            return;
        }
        if (isInstallContextEvent(event.name)) {
            for (const auto& [key, value] : s.installContext) {
                event.properties.try_emplace(key, value);
            }
            event.properties.try_emplace("launch_trigger", std::string("unknown"));
            event.properties["cpu_arch"] = s.platform.nativeArchitecture();
            if (!s.installationId.empty()) {
                event.properties["installation_id"] = s.installationId;
            }
        }
        if (isDurableApplicationEvent(event.name)) {
            recordDurable(std::move(event), distinctId());
            return;
        }
        if (!sanitizeEvent(event)) {
            return;
        }
        std::lock_guard lock(s.mutex);
        if (s.stop) {
            return;
        }
        if (event.name != "$identify") {
            s.addApplicationContext(event.properties);
        }
        event.distinctId = s.memoryDistinctId;
        s.enqueue(std::move(event));
    } catch (...) {
    }
}

void PostHogMetrics::identify(const std::string& userId, const EventProperties& personProperties) {
    State& s = *state_;
    if (!s.active || userId.empty()) {
        return;
    }
    std::string anonymousId;
    {
        std::lock_guard lock(s.mutex);
        if (s.identified && s.personProperties == personProperties) {
            return;
        }
        anonymousId = s.memoryDistinctId;
    }
    std::map<std::string, std::string> set;
    for (const auto& [name, value] : personProperties) {
        if (const auto* text = std::get_if<std::string>(&value)) {
            set[name] = *text;
        }
    }
    // Sent under the user id, without the application context, as PostHog expects of "$identify".
    MetricsEvent event;
    event.name = "$identify";
    event.occurredAt = currentEventTicks();
    event.distinctId = userId;
    event.properties["$anon_distinct_id"] = anonymousId;
    event.properties["$set"] = std::move(set);
    std::lock_guard lock(s.mutex);
    if (s.stop) {
        return;
    }
    s.enqueue(std::move(event));
    s.identified = true;
    s.personProperties = personProperties;
}

void PostHogMetrics::identify(const std::string& userId) {
    identify(userId, EventProperties{});
}

void PostHogMetrics::resetIdentity() {
    State& s = *state_;
    try {
        if (!s.active) {
            return;
        }
        const std::string fresh = "anon_" + newUuidV4();
        if (s.options.distinctIdSink) {
            s.options.distinctIdSink(fresh);
        } else if (s.platform.persistDistinctId) {
            s.platform.persistDistinctId(fresh);
        }
        std::lock_guard lock(s.mutex);
        s.distinctId = fresh;
        s.memoryDistinctId = fresh;
        s.identified = false;
        s.personProperties.clear();
    } catch (...) {
    }
}

void PostHogMetrics::requestFlush() {
    State& s = *state_;
    std::lock_guard lock(s.mutex);
    if (s.active && !s.stop && (!s.queue.empty() || s.hasKeptRows())) {
        // Kept rows are tried at once, not after the sender's back-off.
        s.flushRequested = true;
        s.senderWake.notify_one();
    }
}

bool PostHogMetrics::flush(int limitMilliseconds) {
    State& s = *state_;
    requestFlush();
    std::unique_lock lock(s.mutex);
    if (!s.active || s.stop) {
        return !s.pending();
    }
    if (limitMilliseconds <= 0) {
        return !s.pending();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMilliseconds);
    return s.flushWake.wait_until(lock, deadline, [&s] { return !s.pending(); });
}

bool PostHogMetrics::isEnabled() const {
    return state_->active;
}

bool PostHogMetrics::isGrowthEnabled() const {
    return state_->active;
}

std::vector<std::string> PostHogMetrics::pendingGrowthEvents() const {
    return {};
}

std::string PostHogMetrics::buildGrowthEvent(const MetricsEvent& event) const {
    const State& s = *state_;
    MetricsEvent copy = event;
    if (copy.uuid.empty()) {
        copy.uuid = newUuidV4();
    }
    if (copy.distinctId.empty()) {
        std::lock_guard lock(s.mutex);
        copy.distinctId = s.memoryDistinctId;
    }
    return serializeBatch(s.configuration.apiKey, {copy});
}

int PostHogMetrics::sendGrowthEvent(const std::string& body) {
    const State& s = *state_;
    if (!s.active || !s.endpoint.valid) {
        return 2;
    }
    try {
        if (s.options.batchSender) {
            return s.options.batchSender(body) ? 0 : 1;
        }
        switch (s.platform.postBatch(s.endpoint, body)) {
        case DeliveryResult::Delivered:
            return 0;
        case DeliveryResult::Rejected:
            return 4;
        case DeliveryResult::Retry:
            return 1;
        }
    } catch (...) {
    }
    return 1;
}

bool PostHogMetrics::sendPairEvent(const MetricsEvent& event) {
    const State& s = *state_;
    if (!s.active) {
        return false;
    }
    try {
        return s.deliver(buildGrowthEvent(event)) == DeliveryResult::Delivered;
    } catch (...) {
        return false;
    }
}

std::string PostHogMetrics::distinctId() const {
    std::lock_guard lock(state_->mutex);
    return state_->distinctId;
}

std::string PostHogMetrics::installationId() const {
    std::lock_guard lock(state_->mutex);
    return state_->installationId;
}

bool PostHogMetrics::active() const noexcept {
    return state_->active;
}

} // namespace ardenwick
