#!/usr/bin/env bash
# Builds the fuzz targets with clang and gives each a bounded, seeded run; then builds
# both presets (default, and asan with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs every test in each; last, builds the benchmarks (run by scripts/bench.sh) so
# that they keep compiling.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

install_missing_packages "${KELVAST_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

status=0
for preset in fuzz default asan; do
    echo "=== ${preset}: configure, build, test"
    if ! cmake --workflow --preset "$preset"; then
        echo "=== ${preset}: FAILED"
        status=1
    fi
done
echo "=== bench: configure, build"
if ! { cmake --preset bench && cmake --build --preset bench -j2; }; then
    echo "=== bench: FAILED"
    status=1
fi
exit "$status"
