#!/usr/bin/env bash
# Builds the fuzz targets with clang and gives each a bounded, seeded run; then builds
# both presets (default, and asan with AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs every test in each (the default build also compiles the benchmarks that
# scripts/bench.sh runs, so that they keep compiling), with the lint preset (clang-tidy
# with .clang-tidy over the programs' own sources) between the two; last, makes the Debian package
# of the default build (scripts/package.sh --from-default, with lintian) and checks it
# (tests/package/check.sh). The run ends with a summary: each
# step's result and time and, for a test that failed, the end of what it printed. A
# failed test is run once more; one that then passes fails only sometimes, which fails
# the run too, and the summary names it.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

install_missing_packages "${KELVAST_PACKAGES[@]}" "${FLEET_TEST_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}" "${LINT_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

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
for preset in fuzz default lint asan; do
    started=$SECONDS
    if [ "$preset" = lint ]; then
        # clang-tidy over the programs' own sources: no tests; any finding fails it.
        echo "=== lint: configure, clang-tidy"
        if cmake --workflow --preset lint; then
            summary+=("lint: passed ($((SECONDS - started)) s)")
        else
            echo "=== lint: FAILED"
            summary+=("lint: FAILED ($((SECONDS - started)) s)")
            status=1
        fi
        continue
    fi
    echo "=== ${preset}: configure, build, test"
    failed_list="build/${preset}/Testing/Temporary/LastTestsFailed.log"
    rm -f "$failed_list"
    if cmake --workflow --preset "$preset"; then
        summary+=("${preset}: passed ($((SECONDS - started)) s)")
    elif [ -s "$failed_list" ]; then
        # A test that fails once and passes when run again fails only sometimes: that
        # fails the step as well (the test is to be mended, not retried). The second
        # run tells the two kinds apart in the summary, which shows the first output.
        failed_test_outputs "$preset" > "$reports/${preset}.txt"
        first=$(cut -d: -f2- "$failed_list")
        echo "=== ${preset}: failed: $(paste -sd' ' <<< "$first"); running them once more"
        # The second run rewrites the list with those that failed again.
        again=
        ctest --preset "$preset" --rerun-failed || again=$(cut -d: -f2- "$failed_list")
        once=$(grep -vxF -e "" ${again:+-e "$again"} <<< "$first" | paste -sd' ' || true)
        again=$(paste -sd' ' <<< "$again")
        echo "=== ${preset}: FAILED"
        line="${preset}: FAILED:"
        [ -n "$again" ] && line+=" ${again}"
        [ -n "$again" ] && [ -n "$once" ] && line+=";"
        [ -n "$once" ] && line+=" passed only on a second run (fails sometimes): ${once}"
        summary+=("$line")
        status=1
    else
        echo "=== ${preset}: FAILED"
        summary+=("${preset}: FAILED before its tests ran")
        status=1
    fi
done
# The package of the default preset's tree (which also built the benchmarks that
# scripts/bench.sh runs, so that they keep compiling): lintian, then the checks.
echo "=== package: cpack, lintian, check"
started=$SECONDS
if scripts/package.sh --from-default && tests/package/check.sh build/default/kelvast_*.deb build/default; then
    summary+=("package: passed ($((SECONDS - started)) s)")
else
    echo "=== package: FAILED"
    summary+=("package: FAILED")
    status=1
fi

echo "=== summary"
cat "$reports"/*.txt 2>/dev/null || true
printf '%s\n' "${summary[@]}"
exit "$status"
