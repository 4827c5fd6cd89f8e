#!/usr/bin/env bash
# Checks the Debian package that scripts/package.sh built: its control fields and
# files; the programs unpacked from it (their help, and a short session of the
# unpacked kelvast with the unpacked kelcard on 127.0.99.1); and that `cmake
# --install` with DESTDIR writes below DESTDIR alone, exactly the package's files.
# Usage: check.sh PACKAGE.deb PACKAGE_BUILD_DIR
set -euo pipefail
deb=$1
build=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvast-package.$$.XXXXXX")
card=
cleanup() {
    if [ -n "$card" ]; then { kill -KILL "$card"; wait "$card"; } 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

# --- control: fields, dependencies found by dpkg-shlibdeps, the conffile, the scripts
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kelvast ] || fail "Package is \"$(field Package)\""
[ "$(field Section)" = admin ] || fail "Section is \"$(field Section)\""
version=$(field Version)
depends=$(field Depends)
for lib in libc6 libstdc++6 libbsd0 libx11-6 libxtst6; do
    sed 's/ ([^)]*)//g; s/, /\n/g' <<< "$depends" | grep -qxF "$lib" || fail "Depends lacks $lib: $depends"
done
dpkg-deb -e "$deb" "$work/control"
[ "$(cat "$work/control/conffiles")" = /etc/xdg/autostart/kelpointer.desktop ] ||
    fail "conffiles: $(cat "$work/control/conffiles")"
for script in postinst prerm postrm; do sh -n "$work/control/$script" || fail "$script does not parse"; done

# --- files: the programs where they belong, stripped; nothing a user does not run
root="$work/root"
dpkg -x "$deb" "$root"
for file in usr/sbin/kelvast usr/sbin/kelbeat usr/bin/kelpointer usr/bin/kelcard \
    usr/lib/systemd/system/kelbeat.service etc/xdg/autostart/kelpointer.desktop \
    usr/share/doc/kelvast/copyright usr/share/doc/kelvast/README.md; do
    [ -f "$root/$file" ] || fail "the package has no /$file"
done
gzip -t "$root/usr/share/doc/kelvast/changelog.Debian.gz" || fail "changelog.Debian.gz"
strays=$(cd "$root" && find . -type f \( -name '*.a' -o -name '*.h' -o -name '*_tests' -o -path './usr/include/*' \
    -o ! \( -path './usr/*' -o -path './etc/*' \) \))
[ -z "$strays" ] || fail "files that do not belong: $strays"
for program in "$root"/usr/sbin/* "$root"/usr/bin/*; do
    file -b "$program" | grep -q ', stripped' || fail "$program is not stripped"
done
grep -qx 'ExecStart=/usr/sbin/kelbeat' "$root/usr/lib/systemd/system/kelbeat.service" || fail "kelbeat.service's ExecStart"
bash "$(dirname "$0")/../shell/hardening.sh" "$root"/usr/sbin/* "$root"/usr/bin/* || fail "a program is not hardened"

# --- the unpacked programs
set +e
help=$("$root/usr/sbin/kelvast" -help < /dev/null)
status=$?
set -e
[ "$status" -eq 8 ] || fail "kelvast -help exits with $status"
grep -qx "kelvast version ${version%-*}" <<< "$help" || fail "kelvast -help names no version ${version%-*}"
usage=$("$root/usr/bin/kelcard" --help) || fail "kelcard --help exits with $?"
grep -q '^Usage: kelcard serve ' <<< "$usage" || fail "kelcard --help: $usage"
[ "$("$root/usr/sbin/kelbeat" -v)" = "ORVA Heartbeat Service Version 1.6.5.2, Thu May 15 19:22:29 EDT 2003 " ] ||
    fail "kelbeat -v"

address=127.0.99.1
"$root/usr/bin/kelcard" serve --address "$address" > "$work/card.out" 2>&1 &
card=$!
for _ in $(seq 100); do
    grep -q "^kelcard: card ready on $address:6577$" "$work/card.out" && break
    kill -0 "$card" 2>/dev/null || fail "kelcard ended: $(cat "$work/card.out")"
    sleep 0.1
done
grep -q "card ready" "$work/card.out" || fail "kelcard not ready within 10 s"
printf 'admin\n' > "$work/password"
chmod 600 "$work/password"
kelvast() { "$root/usr/sbin/kelvast" --timeout 10 --password-file "$work/password" -nw "$address" admin "$@" < /dev/null; }
kelvast -gen -SetName package-check > /dev/null || fail "-gen -SetName exits with $?"
rule=$(printf "_%.0s" $(seq 83))
expected="Connecting..Connected
Login Successful !
ORVA Name : package-check
$rule
Remember to run kelvast with -flash -saveconfig to make changes permanent
$rule"
got=$(kelvast -gen -GetName) || fail "-gen -GetName exits with $?"
[ "$got" = "$expected" ] || fail "-gen -GetName printed: $got"
kill -TERM "$card"
for _ in $(seq 50); do kill -0 "$card" 2>/dev/null || break; sleep 0.1; done
kill -0 "$card" 2>/dev/null && fail "kelcard still runs 5 s after SIGTERM"
wait "$card" || true
card=

# --- DESTDIR: every file below it, none written outside, the same files as the package
destdir="$work/destdir"
touch "$work/before"
DESTDIR="$destdir" cmake --install "$build" --prefix /usr > "$work/install.log" || fail "cmake --install: $(cat "$work/install.log")"
# The manifest names each file as installed, without DESTDIR.
sed 's|^/||' "$build/install_manifest.txt" | sort > "$work/installed"
(cd "$destdir" && find . ! -type d | sed 's|^\./||' | sort) > "$work/below"
diff "$work/installed" "$work/below" > "$work/diff" || fail "the manifest and DESTDIR differ: $(cat "$work/diff")"
while IFS= read -r file; do
    [ ! -e "/$file" ] || [ ! "/$file" -nt "$work/before" ] || fail "/$file was written by the DESTDIR install"
done < "$work/installed"
(cd "$root" && find . ! -type d | sed 's|^\./||' | sort) > "$work/packaged"
diff "$work/installed" "$work/packaged" > "$work/diff" || fail "the install and the package differ: $(cat "$work/diff")"

echo "package $(basename "$deb"): control, $(wc -l < "$work/packaged") files, programs, session and DESTDIR install checked"
