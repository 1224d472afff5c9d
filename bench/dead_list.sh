#!/usr/bin/env bash
# The dead-list benchmark in a network namespace of its own, where nftables may drop SYNs:
#   bench/dead_list.sh [build dir] [more ph_bench arguments]
# Needs root (or the right to make user and network namespaces) and the nft tool.
set -euo pipefail
build=${1:-build/plain}
shift || true
exec unshare -n sh -c "ip link set lo up && exec '$build/bench/ph_bench' \
  --benchmark_filter='DeadList|MemoryOf5000' $*"
