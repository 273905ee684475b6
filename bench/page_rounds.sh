#!/usr/bin/env bash
# Two builds of the engine on the benchmark page (bench_page_site), over the engine socket, in
# alternating rounds: each round starts each build's engine in turn (the order alternating
# between rounds), runs 1 client and 8 clients against it and stops it. On a shared machine
# only figures of the same round compare; the medians and the median of each round's ratio
# are printed at the end.
#   bench/page_rounds.sh BEFORE_BIN AFTER_BIN [ROUNDS] [REQUESTS_PER_CLIENT]
# Both folders hold tsengine, tsreg and tspipeload (builds with -DTESSARO_BENCH=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 2 ] || { echo "usage: bench/page_rounds.sh BEFORE_BIN AFTER_BIN [ROUNDS] [REQUESTS_PER_CLIENT]" >&2; exit 2; }
before=$(cd "$1" && pwd)
after=$(cd "$2" && pwd)
rounds=${3:-6}
requests=${4:-1000}
source bench/bench_site.sh
bench_home tspagerounds
bench_page_site

stop_engine() {
  [ -n "$engine_pid" ] && kill "$engine_pid" 2>/dev/null && wait "$engine_pid" 2>/dev/null || true
  engine_pid=""
}
# road CLIENTS REQUESTS: prints "req/s p50_ms".
road() {
  "$bin/tspipeload" --clients "$1" --requests "$2" --query "" | awk '/req\/s/ {r=$NF} /p50/ {print r, $4}'
}
declare -A results
echo "load: $(cut -d' ' -f1-3 /proc/loadavg); $rounds rounds, $requests requests per client (1 client: 4 times as many)"
for round in $(seq 1 "$rounds"); do
  order="before after"
  [ $((round % 2)) -eq 0 ] && order="after before"
  for build in $order; do
    if [ "$build" = before ]; then bin=$before; else bin=$after; fi
    bench_engine
    "$bin/tspipeload" --clients 2 --requests 50 --query "" > /dev/null
    one=$(road 1 "$((requests * 4))")
    eight=$(road 8 "$requests")
    stop_engine
    results[$build]+="$round $one $eight"$'\n'
    echo "round $round  $build  1 client: $one  8 clients: $eight"
  done
done

column() { awk -v c="$2" 'NF {print $c}' <<<"${results[$1]}" | median; }
printf '\n%-8s %14s %12s %14s %12s\n' build "1 client req/s" "p50 ms" "8 clients req/s" "p50 ms"
for build in before after; do
  printf '%-8s %14s %12s %14s %12s\n' "$build" "$(column "$build" 2)" "$(column "$build" 3)" \
    "$(column "$build" 4)" "$(column "$build" 5)"
done
ratios() {
  paste <(awk -v c="$1" 'NF {print $c}' <<<"${results[after]}") <(awk -v c="$1" 'NF {print $c}' <<<"${results[before]}") |
    awk '$2 > 0 {print $1 / $2}' | median
}
echo "median of the rounds' after/before ratios: 1 client $(ratios 2), 8 clients $(ratios 4)"
