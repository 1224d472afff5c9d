#!/usr/bin/env bash
# The headless server's start-up, memory and idle CPU with a list of 100,000 rows.
# Usage: bench/headless_figures.sh [path to proxyharvest]   (default: build/plain/src/proxyharvest)
set -euo pipefail
program=$(realpath "${1:-build/plain/src/proxyharvest}")
work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
# The automatic harvest and re-validation on, their timers running, an hour to their first tick.
printf 'Text8=%s\nCheck4=1\nCheck5=1\nCheck9=0\nText11=3600\nText13=3600\n' "$port" >proxyharvest.ini
# Every service on a closed loopback port: whatever happens, nothing leaves this machine.
for name in test_sina test_ip138 test_chinaz test_taobao test_baidu test_weibo xicidaili ip66 \
  info_126 info_ip138_page info_taobao info_sina info_baidu_map info_ip138_query info_juhe judge; do
  printf '%s=http://127.0.0.1:9\n' "$name"
done >endpoints.ini
for i in $(seq 0 99999); do
  printf '10.%d.%d.1:8080|广东省广州市 电信|高匿|成 功|200|True|False|321|12-07 04:22:19|4\r\n' $((i / 256)) $((i % 256))
done >rows.txt

ask() { curl -s "http://127.0.0.1:$port/api.zx?UseKey&getcount&" || true; }
start() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --headless --config proxyharvest.ini "$@" >log 2>&1 &
  pid=$!
}

# The database is made by an import; then the figures of a start that loads it.
start --import rows.txt
until [ "$(ask)" = "1|100000" ]; do sleep 0.1; done
kill -TERM "$pid"; wait "$pid" || true

begin=$(date +%s.%N)
start
until [ "$(ask)" = "1|100000" ]; do sleep 0.01; done
ready=$(date +%s.%N)
sleep 5
rss_kb=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
ticks_before=$(awk '{print $14 + $15}' "/proc/$pid/stat")
sleep 20
ticks_after=$(awk '{print $14 + $15}' "/proc/$pid/stat")
hz=$(getconf CLK_TCK)
calc() { python3 -c "print(round($1, 3))"; }
echo "start-up to a listening API with 100,000 rows: $(calc "$ready - $begin") s"
echo "resident memory, idle: $((rss_kb / 1024)) MB"
echo "idle CPU over 20 s: $(calc "100 * ($ticks_after - $ticks_before) / $hz / 20") % of one core"
kill -TERM "$pid"; wait "$pid" || true
