#!/usr/bin/env bash
# The fuzz campaign: scripts/fuzz.sh [SECONDS | --table]
#
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer), then runs every fuzz target of the build (or those
# FUZZ_TARGETS names, separated by spaces) for SECONDS seconds each, or without SECONDS
# for ten million inputs each. FUZZ_JOBS targets run
# at once (default: the number of cores). Each target works on its own corpus in
# build/fuzz-campaign/TARGET (seeded from tests/fuzz/corpus/TARGET, kept between
# campaigns), with its dictionary when it has one; what it finds goes to
# build/fuzz-campaign/artifacts/TARGET/ and its log to build/fuzz-campaign/logs/.
# Last, the table of the campaign (inputs run, inputs a second, coverage, findings) is
# written into docs/robustness.md between its fuzz-campaign markers, a row for every
# target from its latest log (so a run of some targets keeps the others' rows). Exits 1 when a
# target found something (naming the artifacts; the table is still written), 2 when
# the build fails or the words are wrong. With --table it runs nothing and writes the
# table from the logs there are.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

usage() {
    echo "usage: scripts/fuzz.sh [SECONDS | --table]   (FUZZ_JOBS=N: targets at once; FUZZ_TARGETS=\"A B\": only these)" >&2
    exit 2
}
# Thousands separated by commas, as the documents write numbers.
commas() {
    if [[ "$1" =~ ^[0-9]+$ ]]; then sed ':a;s/\B[0-9]\{3\}\>/,&/;ta' <<< "$1"; else echo "$1"; fi
}

[ $# -le 1 ] || usage
seconds=${1:-}
table_only=
if [ "$seconds" = --table ]; then table_only=1 seconds=; fi
if [ -n "$seconds" ] && ! [[ "$seconds" =~ ^[1-9][0-9]{0,6}$ ]]; then usage; fi
jobs=${FUZZ_JOBS:-$(nproc)}
[[ "$jobs" =~ ^[1-9][0-9]*$ ]] || usage
runs=10000000
# A bound on each target's whole run, so that a hang cannot hold the campaign: the time
# asked and two minutes more, or without SECONDS four hours (ten million inputs at the
# slowest target's thousand a second take under three).
bound=$((${seconds:-14280} + 120))

install_missing_packages "${KELVAST_PACKAGES[@]}" "${FUZZ_PACKAGES[@]}"

campaign=build/fuzz-campaign
mkdir -p "$campaign/logs"
[ -n "$table_only" ] || echo "fuzz: building the fuzz preset (log: $campaign/build.log)"
if [ -z "$table_only" ] && ! { cmake --preset fuzz && cmake --build --preset fuzz -j "$jobs"; } > "$campaign/build.log" 2>&1 </dev/null; then
    tail -n 30 "$campaign/build.log" >&2
    echo "fuzz: the build failed" >&2
    exit 2
fi

mapfile -t targets < <(find build/fuzz/tests/fuzz -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x -printf '%f\n' | sort)
if [ "${#targets[@]}" -eq 0 ]; then
    echo "fuzz: no fuzz target in build/fuzz/tests/fuzz" >&2
    exit 2
fi
chosen=("${targets[@]}")
if [ -n "${FUZZ_TARGETS:-}" ]; then
    read -r -a chosen <<< "$FUZZ_TARGETS"
    for name in "${chosen[@]}"; do
        if [[ ! " ${targets[*]} " =~ " $name " ]]; then
            echo "fuzz: no fuzz target $name in build/fuzz/tests/fuzz" >&2
            exit 2
        fi
    done
fi

# One target's run; its log and exit status stay under the campaign folder.
run_target() {
    local name=$1
    local corpus="$campaign/$name" artifacts="$campaign/artifacts/$name"
    mkdir -p "$corpus"
    rm -rf "$artifacts"
    mkdir -p "$artifacts"
    if [ -d "tests/fuzz/corpus/$name" ]; then cp -n "tests/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true; fi
    # Inputs of up to 4,096 bytes, but 1,024 for the event-log listings: there every
    # further record repeats the same code (the same coverage at 1,024 bytes), and a
    # 4,096-byte script of records halves the inputs a second.
    local max_len=4096
    [ "$name" != fuzz_sel_listing ] || max_len=1024
    local args=(-print_final_stats=1 "-max_len=$max_len" -timeout=30 "-artifact_prefix=$artifacts/")
    if [ -n "$seconds" ]; then args+=("-max_total_time=$seconds"); else args+=("-runs=$runs"); fi
    if [ -f "tests/fuzz/dict/$name.dict" ]; then args+=("-dict=tests/fuzz/dict/$name.dict"); fi
    local status=0
    timeout --kill-after=30 "$bound" "build/fuzz/tests/fuzz/$name" "${args[@]}" "$corpus" \
        > "$campaign/logs/$name.log" 2>&1 </dev/null || status=$?
    echo "$status" > "$campaign/logs/$name.status"
}

# The slowest targets (by the inputs a second of their last campaign's log) start first,
# so that the longest runs do not begin when the others are done.
last_rate() {
    local log="$campaign/logs/$1.log" rate
    rate=$(grep -o 'average_exec_per_sec: *[0-9]*' "$log" 2>/dev/null | grep -o '[0-9]*$' | tail -n 1)
    echo "${rate:-0} $1"
}
mapfile -t order < <(for name in "${chosen[@]}"; do last_rate "$name"; done | sort -n | cut -d' ' -f2)

asked=${seconds:+$seconds seconds a target}
asked=${asked:-$(commas "$runs") inputs a target}
load=$(cut -d' ' -f1 /proc/loadavg)
[ -n "$table_only" ] || echo "fuzz: ${#chosen[@]} targets, $asked, $jobs at once"
[ -z "$table_only" ] || order=()
running=0
for name in "${order[@]}"; do
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    run_target "$name" &
    running=$((running + 1))
done
wait

# The figures of one log: inputs run, inputs a second, the last coverage.
figure() {  # figure LOG
    awk '
        /^stat::number_of_executed_units:/ { units = $2 }
        /^stat::average_exec_per_sec:/ { rate = $2 }
        /^Done [0-9]+ runs in [0-9]+ second/ { done = $2; secs = $5 }
        /^#[0-9]+/ {
            last = substr($1, 2)
            for (i = 1; i < NF; ++i) {
                if ($i == "cov:") cov = $(i + 1)
                if ($i == "exec/s:") lastrate = $(i + 1)
            }
        }
        END {
            if (units == "") units = (done != "" ? done : last)
            if (rate == "") rate = (done != "" && secs > 0 ? int(done / secs) : lastrate)
            printf "%s %s %s\n", (units == "" ? "-" : units), (rate == "" ? "-" : rate), (cov == "" ? "-" : cov)
        }' "$1"
}

rows=()
found=()
for name in "${targets[@]}"; do
    read -r units rate cov < <(figure "$campaign/logs/$name.log")
    status=$(cat "$campaign/logs/$name.status" 2>/dev/null || echo "?")
    mapfile -t artifacts < <(find "$campaign/artifacts/$name" -maxdepth 1 -type f \
        \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | sort)
    findings=${#artifacts[@]}
    cell=$findings
    if [ "$findings" -eq 0 ] && { [ "$status" = 124 ] || [ "$status" = 137 ]; }; then
        # Too slow for the inputs asked: stopped at the bound, its figures those of its last report.
        cell="0 (stopped at the $bound s bound)"
    elif [ "$findings" -eq 0 ] && [ "$status" != 0 ]; then
        # Ended without an artifact: it failed before or outside fuzzing.
        cell="exit $status"
        found+=("$name: $cell (log: $campaign/logs/$name.log)")
    fi
    for artifact in "${artifacts[@]}"; do found+=("$name: $artifact"); done
    ended=$(date -u -r "$campaign/logs/$name.log" '+%Y-%m-%d %H:%M' 2>/dev/null || echo "-")
    rows+=("| \`$name\` | $(commas "$units") | $(commas "$rate") | $cov | $cell | $ended |")
done

compiler=$(clang++ --version 2>/dev/null | head -n 1 || echo "clang (version unknown)")
table=$(
    if [ -n "$table_only" ]; then
        echo "Each row is from its target's latest run (\`scripts/fuzz.sh\`: ten million inputs a target unless the row says fewer), ended as its last column says; table written $(date -u '+%Y-%m-%d %H:%M UTC')."
    else
        echo "Last run: $(date -u '+%Y-%m-%d %H:%M UTC'), \`${FUZZ_TARGETS:+FUZZ_TARGETS=... }scripts/fuzz.sh${seconds:+ $seconds}\` ($asked, $jobs targets at once${FUZZ_TARGETS:+; the rows of the other targets are from their own last run, as their last column says})."
    fi
    echo "Build: the fuzz preset, $compiler, with libFuzzer, AddressSanitizer and"
    echo "UndefinedBehaviorSanitizer (\`-fno-sanitize-recover=undefined\`), the code of tests/fuzz/coverage_ignore.txt not"
    echo "traced for coverage; inputs up to 4,096 bytes (\`fuzz_sel_listing\`: 1,024). The machine:"
    echo "$(nproc) cores$([ -n "$table_only" ] || echo ", load average $load when the runs began") (inputs a second are libFuzzer's, in wall time)."
    echo
    echo "| Target | Inputs run | Inputs a second | Coverage (cov) | Findings | Ended (UTC) |"
    echo "|---|---|---|---|---|---|"
    printf '%s\n' "${rows[@]}"
)

# The section between the markers is replaced; without them it is added at the end.
doc=docs/robustness.md
begin='<!-- fuzz-campaign:begin -->'
end='<!-- fuzz-campaign:end -->'
if ! grep -qxF "$begin" "$doc" || ! grep -qxF "$end" "$doc"; then
    printf '\n## The fuzz campaign\n\n%s\n%s\n' "$begin" "$end" >> "$doc"
fi
TABLE="$table" awk -v begin="$begin" -v end="$end" '
    $0 == begin { print; print ENVIRON["TABLE"]; skip = 1; next }
    $0 == end { skip = 0 }
    !skip { print }' "$doc" > "$doc.new"
mv "$doc.new" "$doc"

printf '%s\n' "$table" | tail -n +6
if [ "${#found[@]}" -gt 0 ]; then
    echo "fuzz: findings:" >&2
    printf '  %s\n' "${found[@]}" >&2
    exit 1
fi
echo "fuzz: no findings; the table is in $doc"
