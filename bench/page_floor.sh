#!/usr/bin/env bash
# What one client waits for on the engine socket, road by road, from the least a request can
# do up to the benchmark page: the engine's echo action (no template), a template of one line,
# a template with only the benchmark's query (20 rows from SQLite, read into the page and not
# written), and the benchmark page itself (that query, a loop, a condition and two
# expressions per row). One engine serves every page; the pages take turns in each round, and
# the medians of the rounds are printed.
#   bench/page_floor.sh [ROUNDS] [REQUESTS]
# TESSARO_BIN: a build with -DTESSARO_BENCH=ON (default build/bin).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}
requests=${2:-4000}
source bench/bench_site.sh
bench_home tspagefloor
bench_page_site
cp "$work/docs/bench.tsm" "$work/docs/page.tsm"
printf 'hello\n' > "$work/docs/line.tsm"
printf '<TSQUERY NAME="items" DATASOURCE="bench_items">SELECT id, name, price FROM items ORDER BY id</TSQUERY>x\n' \
  > "$work/docs/query.tsm"
bench_engine

# road PAGE: prints "req/s p50_ms" for one client.
road() {
  local page=$1
  if [ "$page" = echo ]; then
    "$bin/tspipeload" --clients 1 --requests "$requests" --query action=Echo
  else
    cp "$work/docs/$page.tsm" "$work/docs/bench.tsm"
    "$bin/tspipeload" --clients 1 --requests "$requests" --query ""
  fi | awk '/req\/s/ {r=$NF} /p50/ {print r, $4}'
}
pages="echo line query page"
"$bin/tspipeload" --clients 1 --requests 200 --query "" > /dev/null
echo "load: $(cut -d' ' -f1-3 /proc/loadavg); $rounds rounds, $requests requests each, 1 client"
declare -A results
for round in $(seq 1 "$rounds"); do
  for page in $pages; do
    figures=$(road "$page")
    results[$page]+="$figures"$'\n'
    echo "round $round  $page  $figures"
  done
done

printf '\n%-48s %10s %9s\n' "page (medians of $rounds rounds)" "req/s" "p50 ms"
for page in $pages; do
  case $page in
  echo) label="engine echo action, no template" ;;
  line) label="template of one line" ;;
  query) label="template with the query alone" ;;
  page) label="benchmark page" ;;
  esac
  rate=$(awk 'NF {print $1}' <<<"${results[$page]}" | median)
  p50=$(awk 'NF {print $2}' <<<"${results[$page]}" | median)
  printf '%-48s %10s %9s\n' "$label" "$rate" "$p50"
done
