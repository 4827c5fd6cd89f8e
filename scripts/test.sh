#!/usr/bin/env bash
# Builds the fuzz targets with clang and gives each a bounded, seeded run; then builds
# both presets (default, and asan with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs every test in each; last, builds the benchmarks (run by scripts/bench.sh) so
# that they keep compiling. The run ends with a summary: each step's result and, for a
# test that failed, the end of what it printed; a failed test is run once more, and
# one that then passes is named there, not hidden.
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
# The first output of every failed test, kept for the summary (a second run rewrites
# ctest's own log).
reports=build/test-reports
rm -rf "$reports"
mkdir -p "$reports"
for preset in fuzz default asan; do
    echo "=== ${preset}: configure, build, test"
    failed_list="build/${preset}/Testing/Temporary/LastTestsFailed.log"
    rm -f "$failed_list"
    if cmake --workflow --preset "$preset"; then
        summary+=("${preset}: passed")
    elif [ -s "$failed_list" ]; then
        # A test that fails once and passes when run again fails only sometimes: the
        # step passes, and the summary names the test and shows its failed output.
        failed_test_outputs "$preset" > "$reports/${preset}.txt"
        names=$(cut -d: -f2- "$failed_list" | paste -sd' ')
        echo "=== ${preset}: failed: ${names}; running them once more"
        if ctest --preset "$preset" --rerun-failed; then
            summary+=("${preset}: passed, but only on a second run of: ${names}")
        else
            echo "=== ${preset}: FAILED"
            summary+=("${preset}: FAILED: ${names}")
            status=1
        fi
    else
        echo "=== ${preset}: FAILED"
        summary+=("${preset}: FAILED before its tests ran")
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
cat "$reports"/*.txt 2>/dev/null || true
printf '%s\n' "${summary[@]}"
exit "$status"
