#!/usr/bin/env bash
# Several servers on one PostgreSQL pool: a run of 3,000 silent proxies (2 s time-out, 100
# probes at once on each server, 高速验证 off) on one server and on three; what claiming and
# writing back cost the database per 100 rows (from pg_stat_statements); and how soon a server
# holding 100,000 rows sees a row another server added. Medians of the repetitions.
# Usage: bench/pool_figures.sh [repetitions] [path to proxyharvest]   (defaults 3, build/plain/src/proxyharvest)
# Run it where loopback is the whole network: unshare -n sh -c 'ip link set lo up; bench/pool_figures.sh'
set -euo pipefail
reps=${1:-3}
program=$(realpath "${2:-build/plain/src/proxyharvest}")
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/ph-pool-bench.XXXXXX)
chmod 755 "$work"
pids=()
trap 'for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done; "$here/scripts/pg-cluster" remove "$work/pg" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
url=$("$here/scripts/pg-cluster" start "$work/pg" "$(free_port)")
base=${url%/*}
sql() { psql -qAtX "$1" -c "$2"; }
sql "$url" "CREATE EXTENSION IF NOT EXISTS pg_stat_statements" >/dev/null

# 3,000 silent proxies: ports that listen and never accept; the kernel takes the connection and
# the request, and nobody answers.
python3 - "$work/silent.txt" <<'PY' &
import socket, sys, time
socks = []
with open(sys.argv[1] + ".tmp", "w") as out:
    for _ in range(3000):
        s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(16); socks.append(s)
        out.write("127.0.0.1:%d|||||||||\r\n" % s.getsockname()[1])
import os; os.rename(sys.argv[1] + ".tmp", sys.argv[1])
time.sleep(100000)
PY
pids+=($!)
until [ -f "$work/silent.txt" ]; do sleep 0.1; done

server() {  # server DIR DB [arguments...]: starts a server; its API port in DIR/port
  local dir=$1 db=$2; shift 2
  mkdir -p "$dir"
  local port; port=$(free_port)
  echo "$port" >"$dir/port"
  printf 'Text8=%s\nText2=2000\nText3=100\nCheck11=0\nCheck3=0\n' "$port" >"$dir/proxyharvest.ini"
  for name in test_sina test_ip138 test_chinaz test_taobao test_baidu test_weibo xicidaili ip66 \
    info_126 info_ip138_page info_taobao info_sina info_baidu_map info_ip138_query info_juhe judge; do
    printf '%s=http://127.0.0.1:9\n' "$name"
  done >"$dir/endpoints.ini"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --headless \
    --config "$dir/proxyharvest.ini" --db "$db" "$@" >"$dir/log" 2>&1 &
  pids+=($!)
}
wait_log() { until grep -q "$2" "$1/log"; do sleep 0.05; done; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
now_ms() { date +%s%3N; }

run_time() {  # run_time SERVERS N: seconds for the run of 3,000 on that many servers, in database runN
  local servers=$1 n=$2 db
  db="$base/run$n"
  sql "$url" "CREATE DATABASE run$n" >/dev/null
  sql "$db" "CREATE EXTENSION IF NOT EXISTS pg_stat_statements" >/dev/null
  local first=${#pids[@]} import=(--import "$work/silent.txt")
  # The list is there before the clock starts; the last server starts the run.
  if [ "$servers" -gt 1 ]; then
    server "$work/r$n-0" "$db" "${import[@]}"
    wait_log "$work/r$n-0" 控制接口已启动
    import=()
  fi
  for i in $(seq 1 $((servers - 2))); do
    server "$work/r$n-$i" "$db"
    wait_log "$work/r$n-$i" 控制接口已启动
  done
  local started; started=$(now_ms)
  server "$work/r$n-s" "$db" --no-api --validate-now "${import[@]}"
  wait_log "$work/r$n-s" 所有验证线程命令已执行完毕
  awk -v end="$(now_ms)" -v start="$started" 'BEGIN { printf "%.1f\n", (end - start) / 1000 }'
  for p in "${pids[@]:$first}"; do kill -TERM "$p" 2>/dev/null || true; done
  for p in "${pids[@]:$first}"; do wait "$p" 2>/dev/null || true; done
}

one=(); three=()
for r in $(seq 1 "$reps"); do
  one+=("$(run_time 1 "1$r")")
  three+=("$(run_time 3 "3$r")")
done
m1=$(printf '%s\n' "${one[@]}" | median)
m3=$(printf '%s\n' "${three[@]}" | median)
echo "run of 3000 silent proxies, one server:    ${one[*]} s (median $m1 s)"
echo "run of 3000 silent proxies, three servers: ${three[*]} s (median $m3 s), $(awk -v a="$m1" -v b="$m3" 'BEGIN { printf "%.2f", a / b }')x"

# Database time of the claims and the result writes per 100 rows, in each run's database (the
# statements' own time in the server, from pg_stat_statements), and the medians.
cost() {  # cost PATTERN: one line per run database, milliseconds per 100 rows
  sql "$url" "SELECT round((sum(s.total_exec_time) / nullif(sum(s.rows), 0) * 100)::numeric, 3)
    FROM pg_stat_statements s JOIN pg_database d ON d.oid = s.dbid
    WHERE d.datname LIKE 'run%' AND s.query LIKE '$1' GROUP BY d.datname ORDER BY d.datname"
}
claims=$(cost 'UPDATE proxyharvest_rows SET lease_owner = $%lease_until < now()%')
writes=$(cost 'UPDATE proxyharvest_rows p SET c2 = i.c2, c3 = i.c3%validated_by%')
echo "claim, database time per 100 rows: $(echo $claims) ms (median $(echo "$claims" | median) ms)"
echo "result write, database time per 100 rows: $(echo $writes) ms (median $(echo "$writes" | median) ms)"

# Following: a server holding 100,000 rows sees a row another added.
sql "$url" "CREATE DATABASE follow" >/dev/null
fdb="$base/follow"
server "$work/f-a" "$fdb"   # makes the tables
wait_log "$work/f-a" 控制接口已启动
sql "$fdb" "INSERT INTO proxyharvest_rows (address, version) SELECT '10.' || (i / 65536) || '.' || (i / 256 % 256) || '.' || (i % 256) || ':8080', nextval('proxyharvest_version') FROM generate_series(1, 100000) AS i" >/dev/null
port=$(cat "$work/f-a/port")
count() { curl -s "http://127.0.0.1:$port/api.zx?UseKey&getcount&" || true; }
until [ "$(count)" = "1|100000" ]; do sleep 0.1; done
lags=()
for r in $(seq 1 "$reps"); do
  want="1|$((100000 + r))"
  started=$(now_ms)
  sql "$fdb" "INSERT INTO proxyharvest_rows (address, version) VALUES ('192.0.2.$r:80', nextval('proxyharvest_version')); NOTIFY proxyharvest" >/dev/null
  until [ "$(count)" = "$want" ]; do sleep 0.01; done
  lags+=($(($(now_ms) - started)))
done
echo "a server with 100,000 rows follows a new row in: ${lags[*]} ms (median $(printf '%s\n' "${lags[@]}" | median) ms)"
