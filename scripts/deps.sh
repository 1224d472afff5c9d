#!/usr/bin/env bash
# Installs the Debian packages the project needs; only what is missing.
# Usage: scripts/deps.sh build|test|fuzz|run
set -euo pipefail

# qt6-translations-l10n: Qt's own Chinese texts for the buttons of message and input boxes;
# libqt6svg6 draws the window's icon; dpkg-dev's dpkg-shlibdeps finds the package's
# dependencies (scripts/package). libqt6sql6-psql and libpq-dev: the shared PostgreSQL store
# (Qt's driver for its statements, libpq itself for the socket its notifications arrive on).
packages=(build-essential cmake pkg-config qt6-base-dev libcurl4-openssl-dev libssl-dev libglib2.0-dev
          libqt6sql6-sqlite libqt6sql6-psql libpq-dev fonts-noto-cjk qt6-translations-l10n libqt6svg6
          dpkg-dev)
# Wanted but not needed: the program runs without them.
optional=()
case "${1:-build}" in
  test | fuzz)
    # The desktop proxy tests write GNOME's proxy schema through a private key file and read
    # it back with the gsettings tool; the SOCKS tests start microsocks and danted; the control
    # API is tested with the clients people use: curl, wget, Python's own and requests; the
    # status page in headless Chromium, its metrics with promtool and Prometheus's Python
    # parser. The tests run in a network namespace of their own (unshare, ip). The installed
    # package's desktop entry and manual page are checked with desktop-file-validate and groff.
    # Several servers on one database are tested against a throw-away PostgreSQL cluster
    # (scripts/pg-cluster).
    packages+=(googletest libgtest-dev libgmock-dev libbenchmark-dev tinyproxy openssl xvfb xauth
               gsettings-desktop-schemas libglib2.0-bin microsocks dante-server curl wget python3
               python3-requests util-linux iproute2 chromium prometheus python3-prometheus-client
               desktop-file-utils groff-base postgresql)
    # The fuzzers are built with clang and linked with its libFuzzer runtime.
    [ "$1" = fuzz ] && packages+=(clang libclang-rt-dev)
    ;;
  run)
    packages+=(xvfb xauth)
    # npm fetches the IP database; a Node.js that brings its own npm is just as good.
    command -v npm >/dev/null 2>&1 || optional+=(npm)
    ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && [ ${#optional[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
apt_get() { "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get "$@"; }
apt_get update -q || echo "Note: apt-get update failed; trying with the package lists at hand."
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt_get install -y -q --no-install-recommends "${missing[@]}"
fi
if [ ${#optional[@]} -gt 0 ]; then
  echo "Installing (optional): ${optional[*]}"
  apt_get install -y -q --no-install-recommends "${optional[@]}" ||
    echo "Note: could not install ${optional[*]}; going on without it."
fi
