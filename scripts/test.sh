#!/usr/bin/env bash
# Builds both presets (default, and asan with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in each.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

install_missing_packages "${KELVAST_PACKAGES[@]}"

status=0
for preset in default asan; do
    echo "=== ${preset}: configure, build, test"
    if ! cmake --workflow --preset "$preset"; then
        echo "=== ${preset}: FAILED"
        status=1
    fi
done
exit "$status"
