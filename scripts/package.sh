#!/usr/bin/env bash
# Builds the Debian package: the `package` preset (a Release build of the programs,
# installed below /usr, with the package's copyright and changelog), cpack into
# build/package/, then lintian on the .deb, which must report no error (its warnings
# and notes are printed). The last line names the package.
#
#   scripts/package.sh [--from-default]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

install_missing_packages "${KELVAST_PACKAGES[@]}" "${FLEET_TEST_PACKAGES[@]}" "${BENCH_PACKAGES[@]}"

# --from-default: the package of the default preset's build tree, already built (the
# tests' build: the same install below /usr, with debugging information that cpack
# strips), into build/default/.
if [ "${1:-}" = "--from-default" ]; then
    out=build/default
    rm -f "$out"/kelvast_*.deb
    (cd "$out" && cpack -G DEB >/dev/null)
else
    out=build/package
    rm -f "$out"/kelvast_*.deb
    cmake --preset package
    cmake --build --preset package -j2
    cpack --preset package
fi
debs=("$out"/kelvast_*.deb)
[ -f "${debs[0]}" ] || { echo "package: cpack made no kelvast_*.deb"; exit 1; }
echo "=== lintian ${debs[0]}"
lintian --info --display-info --fail-on error "${debs[0]}"
echo "package: ${debs[0]}"
