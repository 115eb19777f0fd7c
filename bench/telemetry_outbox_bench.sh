#!/usr/bin/env bash
# Prints outbox throughput figures natively (optimised build, system SQLite and nlohmann json from
# /usr/include). Not a pass/fail test.
#   bench/telemetry_outbox_bench.sh [events]
set -euo pipefail
cd "$(dirname "$0")/.."
out="build/bench"
mkdir -p "$out"
g++ -std=c++20 -O2 -DNDEBUG -DJSON_USE_IMPLICIT_CONVERSIONS=0 -Isrc \
    bench/telemetry_outbox_bench.cpp \
    src/telemetry/batch_endpoint.cpp src/telemetry/batch_serializer.cpp src/telemetry/environment.cpp \
    src/telemetry/event_catalog.cpp src/telemetry/event_timestamp.cpp src/telemetry/install_context.cpp \
    src/telemetry/installation_outbox.cpp src/telemetry/posthog_metrics.cpp src/telemetry/utf8.cpp \
    src/telemetry/analytics_identifiers.cpp src/telemetry/bootstrapper_event.cpp \
    src/telemetry/web_attribution.cpp src/telemetry/fixed_decimal.cpp \
    src/telemetry/posthog_outbox_store.cpp src/telemetry/posthog_sender.cpp \
    src/common/wide_path.cpp src/common/absolute_path.cpp src/common/file_system_posix.cpp \
    -lsqlite3 -pthread -o "$out/telemetry_outbox_bench"
echo "filesystem of the temp directory: $(df -T "${TMPDIR:-/tmp}" | awk 'NR==2 {print $2}')"
"$out/telemetry_outbox_bench" "${1:-1000}"
