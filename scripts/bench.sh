#!/usr/bin/env bash
# Builds the benchmarks (the "bench" preset, Release), runs them, prints one table and
# writes it with the machine it ran on to docs/performance.md.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

install_missing_packages "${KELVAST_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target bench_crc

rows=$(build/bench/bench/bench_crc)
# Later rows go here: the flash block and file-fragment transfers over each medium,
# and the memory a whole-image transfer takes, one benchmark program each.

cpu=$(sed -n 's/^model name[[:space:]]*:[[:space:]]*//p' /proc/cpuinfo | head -n 1)
table="| Measure | Result | Against zlib |
|---|---|---|
${rows}"

{
    echo "# Performance"
    echo
    echo "Written by scripts/bench.sh (Release build, preset \"bench\"); each rate is the"
    echo "median of 15 runs of 8 passes over the same 4 MiB buffer, in MB/s (10^6 bytes a"
    echo "second). calc_cksum32 uses carry-less multiplication where the processor has it"
    echo "(checked at start) and eight-byte table steps otherwise; both give the same CRC,"
    echo "and the benchmark fails when it differs from zlib's."
    echo
    echo "$table"
    echo
    echo "Machine: $(nproc) processors, ${cpu:-unknown processor}, Linux $(uname -r)."
} >docs/performance.md

echo "$table"
