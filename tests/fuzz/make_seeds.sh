#!/usr/bin/env bash
# Writes the seeds (corpus/TARGET/) and dictionaries (dict/TARGET.dict) of the fuzz
# targets that read what an administrator or a file gives. Every seed is an example of
# the project's own: the README's command table and script section, the help's command
# lines, docs/fleet.md's card lists, the kelvast and kelexporter manual pages, and
# examples/kelexporter.ini. Run it again after changing them; it replaces only these
# targets' files.
set -euo pipefail
cd "$(dirname "$0")"
root=../..

# seed TARGET NAME: the seed NAME of TARGET from standard input, as it is.
seed() {
    mkdir -p "corpus/$1"
    cat > "corpus/$1/$2"
}
# seed_words TARGET NAME WORD...: the words joined by NUL bytes (a command line).
seed_words() {
    local target=$1 name=$2
    shift 2
    local first=1 word
    for word in "$@"; do
        [ "$first" = 1 ] || printf '\0'
        printf '%s' "$word"
        first=0
    done | seed "$target" "$name"
}
# dict TARGET WORD...: one quoted entry a word (no quote or backslash in these words).
dict() {
    local target=$1
    shift
    mkdir -p dict
    printf '"%s"\n' "$@" > "dict/$target.dict"
}

for target in fuzz_script_line fuzz_words fuzz_run_options fuzz_card_list fuzz_exporter_request fuzz_exporter_config; do
    rm -rf "corpus/$target"
done

# Script lines: the README's commands and the help's command lines, with values in
# place of the help's placeholders.
n=0
while IFS= read -r line; do
    n=$((n + 1))
    printf '%s\n' "$line" | seed fuzz_script_line "line-$n"
done <<'LINES'
-net -GetConfig
-sel -listAll
-gen -SetTime 120812102026.52 Force
-gen -SetName rack7
-Gen -SetSmtpCfg 10.0.0.25 admin@example.org 10.0.0.26 ops@example.org
-Net -SetSTATIC 10.0.0.5 255.255.255.0 10.0.0.1
-Net -SetMac 00:2a:3b:4c:5d:1d
-HB -SetHB 30
-sel -add 1 2 W
-pef -ARInfoSet 1 ops ops@example.org 10.0.0.9 1 Mail lan
-user -add operator s3cret,SHA;DES
-ModemCfg -set ttyS2 -i ATZ -s 19200
-PPPCfg -set 10.0.0.1 10.0.0.2
-ASRCfg -Set ENABLED RESET 300
-SetI2CCfg 0x22
-SetIpmiCfg yes 0x20 yes yes yes
-HostCtrl PowerCycle
-Setserverinfo -ServerName web7 -ServerLocn rack7 -ServerOS Linux -ServerDesc front
LINES
dict fuzz_script_line " " "," ";" "!" "-user" "-sel" "-pef" "-Flash" "-cardMode" "-file" "-net" "-gen" "-HB" \
    "-SDK" "-ModemCfg" "-PppCfg" "-ASRCfg" "-GetServerInfo" "-setServerInfo" "-GetI2CCfg" "-SetI2CCfg" \
    "-GetIpmiCfg" "-SetIpmiCfg" "-HostCtrl" "-GetCardHealth" "-add" "-del" "-listAll" "-listAllEx" \
    "-listAllUser" "-getSnmp" "-selInfo" "-clear" "-setPolicy" "-getPolicy" "-postEvent" "-ARInfoGet" \
    "-ARInfoSet" "-GetConfig" "-SetDHCP" "-SetStatic" "-GetMAC" "-SetMAC" "-GetName" "-SetName" "-GetTime" \
    "-SetTime" "-GetSmtpCfg" "-SetSmtpCfg" "-fwInfo" "-Reset" "-SaveConfig" "-NoConfig" "-GetHB" "-SetHB" \
    "-get" "-set" "-s" "-i" "-p" "-ServerName" "-ServerLocn" "-ServerOS" "-ServerDesc" "-deleteSDK" \
    "-rereadSDK" "-readsensors" "Force" "Rollover" "Stop" "ttyS2" "ttyS3" "ENABLED" "DISABLED" "POWERCYCLE" \
    "RESET" "PowerUp" "PowerDown" "PowerCycle" "Reset" "MD5" "SHA" "DES" "NONE" "Mail" "SNMP" "PPP" "lan" \
    "yes" "F" "W" "I" "0x" "255.255.255.0" "00:2a:3b:4c:5d:1d" "120812102026.52"

# Words: the date of the README's -SetTime, the clock's first and last second, the
# addresses and MAC of the help and the README, the I2C forms of the README.
n=0
for word in 120812102026.52 010100001970.00 020706282106.15 10.0.0.5 255.255.255.0 010.000.000.005 \
    00:2a:3b:4c:5d:1d 00:2A:3B:4C:5D:1D 0x22 0X2F 34 300 -1 rack7; do
    n=$((n + 1))
    printf '%s' "$word" | seed fuzz_words "word-$n"
done
dict fuzz_words "." ":" "0x" "0X" "-" "+" "255" "2106" "1970" "0229" "1231" "2359" ".59"

# Long options: the README's and docs/fleet.md's command lines.
seed_words fuzz_run_options json --json --password-file "~/.orva-pw" -nw 10.0.0.5 admin -gen -GetName
seed_words fuzz_run_options fanout --password-file "~/.kelvast/admin.pw" --fanout 50 -nw @cards.txt admin -net -GetConfig
seed_words fuzz_run_options equals --json --yes --timeout=30 --trace -cd -gen -GetName
seed_words fuzz_run_options list --fanout=1024 --password-file=admin.pw -nw 10.0.0.1-40 admin -gen -GetName
dict fuzz_run_options "--json" "--yes" "--trace" "--password-file" "--timeout" "--fanout" "=" "-nw" "-cd" \
    "3600" "1024"

# Card lists: docs/fleet.md's words, and a list file of its kind.
printf '10.0.0.1-40' | seed fuzz_card_list range
printf '10.0.0.1-10.0.0.40' | seed fuzz_card_list range-in-full
printf '127.0.10.1\n' | seed fuzz_card_list one
seed fuzz_card_list cards.txt <<'LIST'
# rack 7
10.0.0.1
10.0.0.2-9

10.0.1.1-10.0.1.4   # spare
LIST
dict fuzz_card_list "." "-" "#" "@" "\x0a" "255" "0-255" "10.0.0.1"

# Request parameters: docs/monitoring.md's scrapes (target, module, Accept).
printf '10.0.0.5' | seed fuzz_exporter_request target
printf '10.0.0.5\0lab' | seed fuzz_exporter_request module
printf '127.0.0.2\0default\0application/openmetrics-text; version=1.0.0' | seed fuzz_exporter_request openmetrics
printf '1.2.3\0nosuch' | seed fuzz_exporter_request refused
dict fuzz_exporter_request "\x00" "default" "lab" "application/openmetrics-text" "text/plain" "." "255"

# Configuration: the example itself, and a short one.
seed fuzz_exporter_config example.ini < "$root/examples/kelexporter.ini"
printf '[default]\nuser=admin\npassword_file=admin.password\n' | seed fuzz_exporter_config short.ini
dict fuzz_exporter_config "[" "]" "=" ";" "#" ":" "\x0a" "[default]" "user" "password_file" "timeout" "3600"
