#!/usr/bin/env bash
# check_untraced.sh BINARY: the fuzz build's list of untraced code (coverage_ignore.txt)
# took effect, and only there. In BINARY, no function of the JSON library or of the
# standard vectors calls a coverage hook, while the toolkit's own decoding (the
# event-log listing, the header checksum) still does. A list that no longer applies
# (a stale object, a pattern that matches nothing) or one that hides the toolkit's own
# code fails here.
set -euo pipefail
binary=$1
# Per function: its mangled name and how many coverage hooks it calls.
counts=$(objdump -d --no-show-raw-insn "$binary" | awk '
    /^[0-9a-f]+ <.*>:$/ { name = substr($2, 2, length($2) - 3); calls[name] += 0; next }
    /call.*<__sanitizer_cov_/ { calls[name]++ }
    END { for (n in calls) print calls[n], n }')
fail=0
expect() {  # expect WHAT PATTERN TRACED(yes|no)
    local matched traced
    matched=$(awk -v re="^$2" '$2 ~ re' <<< "$counts" | wc -l)
    traced=$(awk -v re="^$2" '$2 ~ re && $1 > 0' <<< "$counts" | wc -l)
    if [ "$matched" -eq 0 ]; then
        echo "check_untraced: no function of $1 in $binary" >&2; fail=1
    elif [ "$3" = no ] && [ "$traced" -ne 0 ]; then
        echo "check_untraced: $traced of $matched functions of $1 are traced" >&2; fail=1
    elif [ "$3" = yes ] && [ "$traced" -eq 0 ]; then
        echo "check_untraced: none of the $matched functions of $1 is traced" >&2; fail=1
    fi
}
expect "the JSON library" '_ZN?K?8nlohmann' no
expect "the standard vectors" '_ZNK?St6vector' no
expect "the event-log listing" '.*ListRecords' yes
expect "the header checksum" '_Z11ZunaByteSum' yes
exit "$fail"
