#!/usr/bin/env bash
# A short, real session of kelvast against a virtual card (kelcard) on a loopback
# address: builds, starts the card, runs a few general commands, stops the card.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/common.sh

install_missing_packages "${KELVAST_PACKAGES[@]}"

cmake --preset default >/dev/null
cmake --build --preset default --target kelvast kelcard kelbeat >/dev/null

bin=build/default
address=127.0.77.1
user=admin
password=admin
ready_file=$(mktemp)

"$bin/emulator/kelcard" serve --address "$address" >"$ready_file" 2>&1 &
card=$!
trap 'kill "$card" 2>/dev/null; wait "$card" 2>/dev/null; rm -f "$ready_file"' EXIT

for _ in $(seq 1 100); do
    grep -q 'card ready' "$ready_file" && break
    kill -0 "$card" 2>/dev/null || { cat "$ready_file"; exit 1; }
    sleep 0.1
done
grep -q 'card ready' "$ready_file" || { echo "the virtual card did not start"; exit 1; }
cat "$ready_file"

# Without a terminal to type into, the password comes from standard input; setsid
# keeps kelvast away from any terminal this script was started from.
run() {
    answer "" "$@"
}

# The same, with answers to the questions that follow the password (one a line).
answer() {
    local answers=$1
    shift
    echo
    echo "\$ kelvast -nw $address $user $*"
    local rc=0
    printf '%s\n' "$password" $answers | setsid -w "$bin/kelvast" -nw "$address" "$user" "$@" 2>/dev/null || rc=$?
    echo "(exit status $rc)"
    return "$rc"
}

run -gen -fwInfo
run -gen -SetName demo-card
run -gen -GetName
run -gen -GetTime
run -gen -SetSmtpCfg 192.0.2.25 ops@example.com 192.0.2.26 backup@example.com
run -gen -GetSmtpCfg
run -net -GetConfig
run -sel -add 3 7 Warning
run -sel -selInfo
run -HB -GetHB
run -user -add operator s3cret-pw
run -user -listAllUser
run -pef -ARInfoSet 3 ops ops@example.com 192.0.2.9 x Mail lan x All
run -pef -ARInfoGet 3
run -HostCtrl PowerCycle
echo "The card's own record of it: $(grep 'host power' "$ready_file")"

# A firmware update rehearsed with an image that kelcard writes: the card asks twice,
# keeps its MAC address, writes the blocks and resets.
image_file=$(mktemp --suffix=.ima)
echo
echo "\$ kelcard mkimage demo.ima"
"$bin/emulator/kelcard" mkimage "$image_file"
echo "($(stat -c %s "$image_file") bytes written)"
# The per-block progress lines are shown once, for the last block.
answer "y y" -flash -update "$image_file" | tr '\r' '\n' | awk '!/^Flashing \.\.\. Block/ || / 64 of 64/'
rm -f "$image_file"

# The sensor SDK: the card's own SDK file copied out and uploaded back, then the
# sensors it describes read.
sdk_file=$(mktemp --suffix=.dat)
run -file -download /x9sdk/x9sdk.dat "$sdk_file"
run -SDK -uploadSDK "$sdk_file"
run -SDK -readsensors
rm -f "$sdk_file"

# For scripts and automation: the password from a file only its owner can read, and
# one JSON object on standard output (the text for a person goes to standard error).
password_file=$(mktemp)
chmod 600 "$password_file"
printf '%s\n' "$password" >"$password_file"
echo
echo "\$ kelvast --password-file pw.txt -nw $address $user -gen -GetName"
rc=0
setsid -w "$bin/kelvast" --password-file "$password_file" -nw "$address" "$user" -gen -GetName </dev/null || rc=$?
echo "(exit status $rc)"
echo
echo "\$ kelvast --json --password-file pw.txt -nw $address $user -net -GetConfig 2>/dev/null"
rc=0
setsid -w "$bin/kelvast" --json --password-file "$password_file" -nw "$address" "$user" -net -GetConfig \
    </dev/null 2>/dev/null || rc=$?
echo "(exit status $rc)"

# Many cards at once: kelcard serves a small fleet, one card per address, and kelvast
# runs the command on each card of a range (the last address has no card), each in a
# process of its own, printing one block per card and a summary.
fleet_file=$(mktemp)
"$bin/emulator/kelcard" serve --address 127.0.78.1-127.0.78.4 >"$fleet_file" 2>&1 &
fleet=$!
for _ in $(seq 1 100); do
    grep -q 'cards ready' "$fleet_file" && break
    sleep 0.1
done
echo
cat "$fleet_file"
echo "\$ kelvast --password-file pw.txt --fanout 2 -nw 127.0.78.1-5 $user -gen -GetName"
rc=0
setsid -w "$bin/kelvast" --password-file "$password_file" --fanout 2 -nw 127.0.78.1-5 "$user" -gen -GetName \
    </dev/null 2>&1 || rc=$?
echo "(exit status $rc: one card of the range failed)"
kill "$fleet"
wait "$fleet" 2>/dev/null || true
rm -f "$password_file" "$fleet_file"
# A script: its lines run over one connection and one login.
script_file=$(mktemp)
printf '%s\n' '-gen -GetName' '-net -GetConfig' >"$script_file"
echo
echo "\$ cat script.txt"
cat "$script_file"
run -script "$script_file"
rm -f "$script_file"

# The same commands reach a card through its virtual CD-ROM drive, with no login:
# kelcard run presents the drive to the program it starts.
echo
echo "\$ kelcard run --sel-records 1 -- sh -c 'kelvast -cd -gen -GetName; kelvast -cd -sel -listAll'"
"$bin/emulator/kelcard" run --sel-records 1 -- sh -c \
    "'$bin/kelvast' -cd -gen -GetName; '$bin/kelvast' -cd -sel -listAll" </dev/null
echo "(exit status $?)"

# The heartbeat daemon against the virtual card: the card answers every heartbeat with
# 1 second and logs what it receives; kelbeat detaches, kelcard run waits for it and
# passes SIGTERM on to it.
beat_log=$(mktemp)
echo
echo "\$ kelcard run --heartbeat 1 --heartbeat-log beats.txt -- kelbeat   (SIGTERM after 3 s)"
"$bin/emulator/kelcard" run --heartbeat 1 --heartbeat-log "$beat_log" -- "$bin/daemons/kelbeat" </dev/null &
beat_card=$!
sleep 3
kill -TERM "$beat_card"
beat_status=0
wait "$beat_card" || beat_status=$?
echo "(exit status $beat_status)"
echo "\$ cat beats.txt   (command, milliseconds since the start)"
cat "$beat_log"
rm -f "$beat_log"

# --- kelexporter: one Prometheus scrape of the virtual card ---------------------------
# The exporter listens beside the card (port 9577), logs in with the credentials of its
# configuration's [default] module and answers the card's metrics; a tiny fetch over
# bash's /dev/tcp stands in for Prometheus.
cmake --build --preset default --target kelexporter >/dev/null
exporter_dir=$(mktemp -d)
printf '%s\n' "$password" >"$exporter_dir/admin.password"
printf '[default]\nuser = %s\npassword_file = admin.password\ntimeout = 10\n' "$user" >"$exporter_dir/kelexporter.ini"
chmod 600 "$exporter_dir/admin.password" "$exporter_dir/kelexporter.ini"
http_get() {  # ADDRESS PORT PATH: the answer's body
    local reply
    exec 3<>"/dev/tcp/$1/$2"
    printf 'GET %s HTTP/1.0\r\nHost: %s\r\n\r\n' "$3" "$1" >&3
    reply=$(timeout 15 cat <&3)
    exec 3<&-
    printf '%s\n' "${reply#*$'\r\n\r\n'}"
}
echo
echo "\$ kelexporter --config kelexporter.ini --listen $address:9577 &"
"$bin/kelexporter/kelexporter" --config "$exporter_dir/kelexporter.ini" --listen "$address:9577" \
    2>"$exporter_dir/stderr" &
exporter=$!
for _ in $(seq 50); do
    grep -q listening "$exporter_dir/stderr" && break
    sleep 0.1
done
echo "\$ GET http://$address:9577/metrics?target=$address   (some of its lines)"
http_get "$address" 9577 "/metrics?target=$address" |
    grep -E '^orva_(up |collector_up.*sensors|health_reading.*3\.3V|sensor_value.*Temp|sel_|firmware|network|scrape)'
kill -TERM "$exporter"
exporter_status=0
wait "$exporter" || exporter_status=$?
echo "(kelexporter stopped by SIGTERM, exit status $exporter_status)"
rm -rf "$exporter_dir"
echo
echo "Demo finished."
