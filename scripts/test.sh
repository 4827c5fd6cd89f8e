#!/usr/bin/env bash
# Builds the fuzz targets with clang and gives each a bounded, seeded run; then builds
# both presets (default, and asan with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs every test in each; last, builds the benchmarks (run by scripts/bench.sh) so
# that they keep compiling. The run ends with a summary: each step's result and, for a
# test that failed, the end of what it printed.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

install_missing_packages "${KELVAST_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

# Prints the end of each failed test's output, as ctest logged it for the preset.
failed_test_outputs() {
    local testing="build/$1/Testing/Temporary"
    [ -s "$testing/LastTestsFailed.log" ] || return 0
    local name
    while IFS=: read -r _ name; do
        echo "--- ${1}: ${name} failed; the end of its output:"
        awk -v name="$name" '
            $0 ~ "^[0-9]+/[0-9]+ Test: " && substr($0, index($0, "Test: ") + 6) == name { inside = 1; next }
            inside && /^"/ && / end time: / { inside = 0 }
            inside { print }' "$testing/LastTest.log" | tail -n 40
    done < <(head -n 5 "$testing/LastTestsFailed.log")
}

status=0
summary=()
failed_presets=()
for preset in fuzz default asan; do
    echo "=== ${preset}: configure, build, test"
    rm -f "build/${preset}/Testing/Temporary/LastTestsFailed.log"
    if cmake --workflow --preset "$preset"; then
        summary+=("${preset}: passed")
    else
        echo "=== ${preset}: FAILED"
        summary+=("${preset}: FAILED")
        failed_presets+=("$preset")
        status=1
    fi
done
echo "=== bench: configure, build"
if cmake --preset bench && cmake --build --preset bench -j2; then
    summary+=("bench: built")
else
    echo "=== bench: FAILED"
    summary+=("bench: FAILED")
    status=1
fi

echo "=== summary"
for preset in "${failed_presets[@]}"; do
    failed_test_outputs "$preset"
done
printf '%s\n' "${summary[@]}"
exit "$status"
