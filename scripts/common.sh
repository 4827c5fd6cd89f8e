# Shared by the project's scripts: installs the Debian packages the build needs when
# they are missing. Runs unattended (no terminal, no standard input).

KELVAST_PACKAGES=(cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev umockdev libumockdev-dev libglib2.0-dev sg3-utils libbsd-dev nlohmann-json3-dev
    libx11-dev libxtst-dev xvfb x11-utils
    libmicrohttpd-dev libinih-dev zlib1g-dev)
# The tests drive the real tools that fleets use: Ansible, GNU parallel, a
# Prometheus server with its promtool, and tshark (with dumpcap) reading the protocol
# through contrib/wireshark/zuna.lua. Unattended, tshark's package keeps capturing to
# root (its question about other users' captures takes the default, no). mandoc
# checks the manual pages and bash-completion's helpers run the completion test;
# lintian checks the Debian package, systemd-analyze its service files and
# desktop-file-validate the autostart entry.
FLEET_TEST_PACKAGES=(ansible-core parallel prometheus tshark mandoc bash-completion lintian dpkg-dev
    desktop-file-utils systemd)
# The fuzz targets are built with clang and its libFuzzer.
FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# The lint preset runs clang-tidy (with the clang above).
LINT_PACKAGES=(clang-tidy)
# The benchmarks measure against zlib.
BENCH_PACKAGES=(zlib1g-dev)

install_missing_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ "${#missing[@]}" -eq 0 ]; then
        return 0
    fi
    echo "Installing missing packages: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq </dev/null
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
}
