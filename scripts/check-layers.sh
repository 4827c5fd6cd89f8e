#!/usr/bin/env bash
# Refuses an #include "..." of a header from a layer that the including file may not
# use. The layers, lowest first, and what each may include:
#
#   firmware   INCLUDE/firmware                         firmware
#   common     INCLUDE/common, SRC/Common/{md5,cksum,    firmware common
#              zunaframe,imgver,imgbuild,passwordfile}
#              (checks and framing every side computes alike; what every program
#              does first; the password file)
#   medium     INCLUDE/host/x9zunamedium.h (the abstract medium)
#                                                        firmware common medium
#   hostifc    the host-interface medium: x9cdhost, x9cdhostLinux, scsi
#                                                        firmware common medium hostifc
#   client     INCLUDE/host/x9zunaifc.h, SRC/Common/zunaifc*, transferworker
#                                                        firmware common medium client
#   media      the network medium and the medium factory (SRC/Linux)
#                                                        firmware common medium hostifc client media
#   tool       kelvast/                                  everything but the card and the daemons
#   exporter   kelexporter/                              firmware common medium hostifc client media exporter
#   daemons    daemons/                                  firmware common medium hostifc daemons
#   model      emulator/model (the card, no I/O)         firmware common model
#   front      emulator/front (TCP server, drive)        firmware common model front
#   cli        emulator/ (kelcard's command line)        firmware common model front cli
#
# Usage: scripts/check-layers.sh [ROOT]   (exit 0 when every include is allowed)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

layer_of() {
    case "$1" in
        INCLUDE/firmware/*) echo firmware ;;
        INCLUDE/common/* | SRC/Common/md5.cpp | SRC/Common/cksum.cpp | SRC/Common/zunaframe.cpp | \
            SRC/Common/passwordfile.cpp | \
            SRC/Common/imgver.cpp | SRC/Common/imgbuild.cpp) echo common ;;
        INCLUDE/host/x9zunamedium.h) echo medium ;;
        INCLUDE/host/x9cdhost.h | INCLUDE/host/x9cdhostLinux.h | INCLUDE/host/scsi.h | \
            SRC/Common/x9cdhost.cpp | SRC/Linux/x9cdhostLinux.cpp | SRC/Linux/scsi.cpp) echo hostifc ;;
        INCLUDE/host/x9zunaifc.h | SRC/Common/zunaifc* | INCLUDE/host/transferworker.h | SRC/Common/transferworker.cpp) echo client ;;
        INCLUDE/host/x9networkLinux.h | SRC/Linux/*) echo media ;;
        kelvast/*) echo tool ;;
        kelexporter/*) echo exporter ;;
        daemons/*) echo daemons ;;
        emulator/model/*) echo model ;;
        emulator/front/*) echo front ;;
        emulator/*) echo cli ;;
        *) echo unknown ;;
    esac
}

allowed_for() {
    case "$1" in
        firmware) echo "firmware" ;;
        common) echo "firmware common" ;;
        medium) echo "firmware common medium" ;;
        hostifc) echo "firmware common medium hostifc" ;;
        client) echo "firmware common medium client" ;;
        media) echo "firmware common medium hostifc client media" ;;
        tool) echo "firmware common medium hostifc client media tool" ;;
        exporter) echo "firmware common medium hostifc client media exporter" ;;
        daemons) echo "firmware common medium hostifc daemons" ;;
        model) echo "firmware common model" ;;
        front) echo "firmware common model front" ;;
        cli) echo "firmware common model front cli" ;;
    esac
}

# Where a quoted include is looked for: the including file's folder, then the
# exported header folders.
header_dirs=(INCLUDE/firmware INCLUDE/common INCLUDE/host kelvast kelexporter daemons emulator/model emulator/front emulator)

resolve() {
    local from_dir=$1 name=$2 dir
    if [ -f "$from_dir/$name" ]; then
        echo "$from_dir/$name"
        return
    fi
    for dir in "${header_dirs[@]}"; do
        if [ -f "$dir/$name" ]; then
            echo "$dir/$name"
            return
        fi
    done
}

status=0
checked=0
while IFS= read -r file; do
    from=$(layer_of "$file")
    [ "$from" = unknown ] && continue
    allowed=" $(allowed_for "$from") "
    while IFS= read -r name; do
        checked=$((checked + 1))
        target=$(resolve "$(dirname "$file")" "$name")
        if [ -z "$target" ]; then
            echo "$file: includes \"$name\", which no layer provides"
            status=1
            continue
        fi
        to=$(layer_of "$target")
        if [[ "$allowed" != *" $to "* ]]; then
            echo "$file ($from) includes $target ($to): not allowed"
            status=1
        fi
    done < <(sed -n -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1/p' "$file")
done < <(git ls-files --cached --others --exclude-standard -- 'INCLUDE/*' 'SRC/*' 'kelvast/*' 'kelexporter/*' 'daemons/*' 'emulator/*' |
         grep -E '\.(h|hpp|cpp|cc)$')

if [ "$status" -eq 0 ]; then
    echo "include layers: $checked includes checked, all allowed"
fi
exit "$status"
