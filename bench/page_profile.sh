#!/usr/bin/env bash
# Profile of the engine serving the benchmark page (bench_page_site) to N clients over its
# request socket: `perf record -g` on tsengine while tspipeload runs, then the top entries by
# own time (self) and by time including callees (children). Without perf, the engine's
# threads are sampled with gdb stack dumps instead (coarser, same page and load).
#   bench/page_profile.sh [CLIENTS] [REQUESTS_PER_CLIENT] [TOP]
# Environment: TESSARO_BIN (default build/bin; tspipeload needs -DTESSARO_BENCH=ON),
# PROFILE_OUT (folder kept for perf report, default a temporary one).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_site.sh
clients=${1:-8}
requests=${2:-1000}
top=${3:-30}
bench_home tspageprofile
bench_page_site
bench_engine
out=${PROFILE_OUT:-$work/profile}
mkdir -p "$out"
# Warm up: the first requests load the driver and the grammar.
"$bin/tspipeload" --clients 2 --requests 50 --query "" > /dev/null

# perf pads its lines with empty columns.
tidy() { grep -v '^#' | grep -v '^$' | sed -E 's/[[:space:]]+(-[[:space:]]+)*$//'; }

if command -v perf > /dev/null && perf record -o /dev/null -- true > /dev/null 2>&1; then
  perf record -F 999 -g -o "$out/perf.data" -p "$engine_pid" > /dev/null 2>&1 &
  perf_pid=$!
  sleep 0.5
  "$bin/tspipeload" --clients "$clients" --requests "$requests" --query ""
  kill -INT "$perf_pid"; wait "$perf_pid" || true
  echo "== self time, top $top (perf) =="
  perf report -i "$out/perf.data" --no-children --sort symbol --percent-limit 0.3 --stdio -g none 2>/dev/null |
    tidy | head -n "$top"
  echo "== including callees, top $top (perf) =="
  perf report -i "$out/perf.data" --children --sort symbol --stdio -g none 2>/dev/null |
    tidy | head -n "$top"
  [ -n "${PROFILE_OUT:-}" ] && echo "perf data: $out/perf.data"
else
  command -v gdb > /dev/null || { echo "page_profile: neither perf nor gdb is usable" >&2; exit 1; }
  "$bin/tspipeload" --clients "$clients" --requests "$requests" --query "" &
  load_pid=$!
  samples=0
  while kill -0 "$load_pid" 2>/dev/null && [ "$samples" -lt 60 ]; do
    gdb -p "$engine_pid" -batch -ex 'thread apply all bt 30' 2>/dev/null >> "$out/stacks.txt" || true
    samples=$((samples + 1)); sleep 0.05
  done
  wait "$load_pid" || true
  echo "== innermost engine frames over $samples stack samples (gdb) =="
  awk '/^#0 / {f=$0; sub(/^#0 +(0x[0-9a-f]+ in )?/, "", f); sub(/ \(.*/, "", f); n[f]++}
       END {for (f in n) print n[f], f}' "$out/stacks.txt" | sort -rn | head -n "$top"
fi
