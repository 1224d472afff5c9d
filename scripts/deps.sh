#!/usr/bin/env bash
# Installs the Debian packages the project needs; only what is missing.
# Usage: scripts/deps.sh build|test|run
set -euo pipefail

packages=(build-essential cmake pkg-config qt6-base-dev libcurl4-openssl-dev libssl-dev fonts-noto-cjk)
case "${1:-build}" in
  test) packages+=(googletest libgtest-dev libgmock-dev libbenchmark-dev tinyproxy openssl xvfb xauth) ;;
  run) packages+=(xvfb xauth npm) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
