#!/usr/bin/env bash
# Every manual page of docs/man passes mandoc's lint at warning level: any output fails.
# Exits 77 (skipped) without mandoc. Usage: man-lint.sh SOURCE_DIR
set -uo pipefail
if ! command -v mandoc >/dev/null; then
    echo "mandoc is not installed: the manual pages are not checked (apt-get install mandoc)"
    exit 77
fi
pages=("$1"/docs/man/*.[1-8])
[ -e "${pages[0]}" ] || { echo "no manual pages in $1/docs/man"; exit 1; }
output=$(mandoc -T lint -W warning "${pages[@]}" 2>&1)
if [ -n "$output" ]; then
    echo "$output"
    exit 1
fi
echo "${#pages[@]} pages checked"
