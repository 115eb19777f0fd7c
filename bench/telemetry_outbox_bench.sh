#!/usr/bin/env bash
# Prints outbox throughput figures natively (an optimised build of the portable core without sanitizers,
# system SQLite and nlohmann json). Not a pass/fail test.
#   bench/telemetry_outbox_bench.sh [events]
set -euo pipefail
cd "$(dirname "$0")/.."
out="build/bench-native"
cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc \
    -DARDENWICK_SANITIZE=OFF >/dev/null
cmake --build "$out" --target telemetry_outbox_bench >/dev/null
echo "filesystem of the temp directory: $(df -T "${TMPDIR:-/tmp}" | awk 'NR==2 {print $2}')"
"$out/bin/telemetry_outbox_bench" "${1:-1000}"
