#!/usr/bin/env bash
# Each program given is a hardened ELF: position-independent (type DYN with the PIE
# flag), bound now (BIND_NOW, or NOW among the FLAGS_1) with a GNU_RELRO segment, and
# built with the stack protector (it calls __stack_chk_fail) and the checked string
# and memory calls (it calls one __*_chk function). Usage: hardening.sh PROGRAM...
set -uo pipefail
command -v readelf >/dev/null || { echo "readelf is not installed (binutils)"; exit 77; }
failed=0
for program in "$@"; do
    header=$(readelf --file-header --wide "$program") || { echo "$program: not an ELF file"; failed=1; continue; }
    dynamic=$(readelf --dynamic --wide "$program")
    segments=$(readelf --segments --wide "$program")
    symbols=$(readelf --dyn-syms --wide "$program")
    missing=()
    grep -q 'Type:[[:space:]]*DYN' <<<"$header" && grep -q 'FLAGS_1.*PIE' <<<"$dynamic" || missing+=(PIE)
    grep -Eq '\(BIND_NOW\)|FLAGS_1.*NOW' <<<"$dynamic" || missing+=(BIND_NOW)
    grep -q 'GNU_RELRO' <<<"$segments" || missing+=(GNU_RELRO)
    grep -q '__stack_chk_fail' <<<"$symbols" || missing+=("stack protector")
    grep -Eq '__[a-z_]+_chk(@|$| )' <<<"$symbols" || missing+=(FORTIFY_SOURCE)
    if [ "${#missing[@]}" -ne 0 ]; then
        echo "$program: missing ${missing[*]}"
        failed=1
    else
        echo "$program: PIE, BIND_NOW, GNU_RELRO, stack protector, FORTIFY_SOURCE"
    fi
done
exit "$failed"
