#!/bin/sh
# The seed generator of the fuzz targets for what a card sends still makes, for each of
# those targets, the seeds that the repository holds (by name: the login's challenge is
# random, so the bytes differ from run to run).
# Usage: fuzz-seeds.sh GENERATOR SOURCE_CORPUS_DIR WORK_DIR
set -eu
generator=$1 corpus=$2 work=$3
rm -rf "$work"
"$generator" "$work"
for dir in "$work"/*; do
    target=$(basename "$dir")
    if [ "$(ls "$dir")" != "$(ls "$corpus/$target" 2>/dev/null)" ]; then
        echo "the seeds of $target differ from $corpus/$target" >&2
        exit 1
    fi
done
