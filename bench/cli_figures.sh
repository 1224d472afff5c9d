#!/usr/bin/env bash
# check against the headless mode on one loopback farm of 10,000 proxies (2,000 working, 8,000
# answering a page without the match text), and check's start-up to its first probe.
# Usage: bench/cli_figures.sh [build dir] [runs]   (default build/plain, 5 runs of each)
# Runs in a network namespace of its own, where loopback is the whole network.
set -euo pipefail
if [ "${PH_ISOLATED:-}" != 1 ]; then
  isolated=(unshare -n)
  [ "$(id -u)" -eq 0 ] || isolated=(unshare -r -n)
  exec "${isolated[@]}" env PH_ISOLATED=1 bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi
build=$(realpath "${1:-build/plain}")
runs=${2:-5}
program=$build/src/proxyharvest
work=$(mktemp -d)
trap 'exec 3>&- 2>/dev/null; kill "$farm" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

mkfifo hold
"$build/bench/ph_farm" 2000 8000 list.txt first_probes.txt <hold >farm.out &
farm=$!
exec 3>hold
until grep -q ready farm.out 2>/dev/null; do sleep 0.05; done
# The same settings both ways: the farm's page as a custom target, 3 s time-out, 高速验证 with
# its default 2000 probes at once, no harvest and no API.
target=(--test-url http://ip138.test/ic.asp --match '[' --timeout 3000)
printf 'Check1=0\nCheck3=0\nCheck9=0\nCheck11=1\nText2=3000\nGtnHttp=7\nText16=http://ip138.test/ic.asp\nText17=[\n' >headless.ini
sed 's/$/|||||||||\r/' list.txt >rows.txt
now() { date +%s%N; }
ms() { echo $((($2 - $1) / 1000000)); }

check_ms=() headless_ms=() startup_ms=()
for _ in $(seq "$runs"); do
  begin=$(now)
  env -u DISPLAY "$program" check list.txt "${target[@]}" --quiet >good.txt
  end=$(now)
  check_ms+=("$(ms "$begin" "$end")")
  startup_ms+=("$(ms "$begin" "$(tail -n 1 first_probes.txt)")")
  [ "$(wc -l <good.txt)" -eq 2001 ] || { echo "check found $(wc -l <good.txt) of 2001"; exit 1; }

  rm -f headless.db* log
  begin=$(now)
  env -u DISPLAY "$program" --headless --config headless.ini --db headless.db --no-api \
    --import rows.txt --validate-now >log 2>&1 &
  server=$!
  until grep -q 所有验证线程命令已执行完毕 log 2>/dev/null; do sleep 0.005; done
  end=$(now)
  kill -TERM "$server"
  wait "$server"
  headless_ms+=("$(ms "$begin" "$end")")
done

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
echo "check of 10,000 farm entries, start to exit:        median $(median "${check_ms[@]}") ms (${check_ms[*]})"
echo "headless, start to the end of the same run:          median $(median "${headless_ms[@]}") ms (${headless_ms[*]})"
echo "check, start-up to its first probe (10,000 entries): median $(median "${startup_ms[@]}") ms (${startup_ms[*]})"
