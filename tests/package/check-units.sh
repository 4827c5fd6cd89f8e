#!/usr/bin/env bash
# Checks every systemd service (*.service) and XDG desktop entry (*.desktop) of the
# source tree: `systemd-analyze verify` on a copy whose ExecStart names the program
# as built (verify wants it to exist), and `desktop-file-validate`; either must say
# nothing. Usage: check-units.sh SOURCE_DIR PROGRAM=BUILT_PATH...
# Exit 0 all clean, 1 a finding, 77 (skipped) when a checker is missing.
set -uo pipefail
src=$1
shift
declare -A built
for pair in "$@"; do built[${pair%%=*}]=${pair#*=}; done

for tool in systemd-analyze desktop-file-validate; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is not installed (scripts/common.sh lists its package)"
        exit 77
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/check-units.$$.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0
units=0
while IFS= read -r -d '' unit; do
    units=$((units + 1))
    program=$(sed -n 's|^ExecStart=[-@:+!]*\([^ ]*\).*|\1|p' "$unit" | head -n 1)
    name=${program##*/}
    if [ -z "$name" ] || [ -z "${built[$name]:-}" ]; then
        echo "FAIL: $unit: its ExecStart program \"$program\" is not one the build makes"
        status=1
        continue
    fi
    copy="$work/${unit##*/}"
    sed "s|^\(ExecStart=[-@:+!]*\)[^ ]*|\1${built[$name]}|" "$unit" > "$copy"
    # verify runs as if at boot; its own state goes to the scratch folder.
    if ! out=$(cd "$work" && timeout 60 systemd-analyze verify --man=no "$copy" 2>&1) || [ -n "$out" ]; then
        echo "FAIL: systemd-analyze verify $unit:"
        printf '%s\n' "$out"
        status=1
    fi
done < <(find "$src" \( -path "$src/build" -o -name .git \) -prune -o -name '*.service' -print0)

entries=0
while IFS= read -r -d '' entry; do
    entries=$((entries + 1))
    if ! out=$(timeout 60 desktop-file-validate "$entry" 2>&1) || [ -n "$out" ]; then
        echo "FAIL: desktop-file-validate $entry:"
        printf '%s\n' "$out"
        status=1
    fi
done < <(find "$src" \( -path "$src/build" -o -name .git \) -prune -o -name '*.desktop' -print0)

if [ "$units" -eq 0 ] || [ "$entries" -eq 0 ]; then
    echo "FAIL: found $units service files and $entries desktop entries below $src"
    status=1
fi
[ "$status" -eq 0 ] && echo "checked $units service files and $entries desktop entries: clean"
exit "$status"
