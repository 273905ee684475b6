#!/usr/bin/env bash
# Page benchmark: one template queries 20 rows of a SQLite table and loops over them with a
# condition and two expressions per row. In one run, on one lighttpd, it measures:
#   (a1) the engine over its request socket, 1 client        (tspipeload)
#   (a8) the engine over its request socket, 8 clients       (tspipeload)
#   (b)  lighttpd + ksml (CGI) + the engine                  (wrk)
#   (c)  lighttpd + a trivial C program as CGI               (wrk; bench/compare/trivial_cgi.c)
#   (d)  lighttpd + the same page in PHP under php-fpm       (wrk; bench/compare/page.php, FastCGI)
#   (e)  lighttpd + the same page in PHP under php-cgi       (wrk)
# Every road runs RUNS times, interleaved, and the medians are printed with the ratios the
# engine is judged by. The PHP page and the C program are comparison points, not product.
#   bench/page_bench.sh [HTTP_CONNECTIONS] [SOCKET_REQUESTS_PER_CLIENT]
# Environment: TESSARO_BIN (default build/bin; tspipeload needs -DTESSARO_BENCH=ON), RUNS (3),
# DURATION (wrk seconds per road, 10), PHP_CHILDREN (php-fpm workers, 16), ROADS (a1 a8 b c d e).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_site.sh
connections=${1:-16}
requests=${2:-500}
runs=${RUNS:-3}
duration=${DURATION:-10}
roads=${ROADS:-a1 a8 b c d e}

# The comparison programs come from Debian; installed here, not by the project's setup.
php_fpm=$(ls /usr/sbin/php-fpm* 2>/dev/null | head -n1 || true)
if ! command -v wrk > /dev/null || ! command -v php-cgi > /dev/null || [ -z "$php_fpm" ] ||
   ! php -m 2>/dev/null | grep -qx sqlite3; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q php-fpm php-cgi php-sqlite3 wrk > /dev/null
  php_fpm=$(ls /usr/sbin/php-fpm* | head -n1)
fi

bench_home tspagebench
bench_page_site
cp bench/compare/page.php "$work/docs/bench.php"
cp bench/compare/page.php "$work/docs/bench.phpcgi"
cc -O2 -o "$work/docs/trivial.cgi" bench/compare/trivial_cgi.c

# php-fpm with a fixed set of workers on a private socket.
cat > "$work/php-fpm.conf" <<CONF
[global]
pid = $work/php-fpm.pid
error_log = $work/php-fpm.log
daemonize = no
[bench]
user = $(id -un)
group = $(id -gn)
listen = $work/php-fpm.sock
listen.mode = 0666
pm = static
pm.max_children = ${PHP_CHILDREN:-16}
env[BENCH_DB] = $work/bench.db
CONF
"$php_fpm" -F -R -y "$work/php-fpm.conf" > /dev/null 2>&1 &
extra_pids=$!
for _ in $(seq 1 100); do [ -S "$work/php-fpm.sock" ] && break; sleep 0.1; done

bench_engine
bench_web '".tsm" => "'"$bin/ksml"'", ".cgi" => "", ".phpcgi" => "'"$(command -v php-cgi)"'"' /bench.tsm \
  'fastcgi.server = (".php" => (("socket" => "'"$work/php-fpm.sock"'", "check-local" => "disable")))
setenv.add-environment += ("BENCH_DB" => "'"$work/bench.db"'")'

for path in bench.tsm bench.php bench.phpcgi trivial.cgi; do
  page=$(curl -s "http://127.0.0.1:$port/$path")
  if ! grep -q "item20: " <<<"$page"; then echo "/$path did not run:"; echo "$page" | head -20; exit 1; fi
done

# Each road prints "req/s p50_ms p99_ms".
socket_road() {
  "$bin/tspipeload" --clients "$1" --requests "$2" --query "" |
    awk '/req\/s/ {r=$NF} /p50/ {print r, $4, $8}'
}
http_road() {
  wrk -t 4 -c "$connections" -d "${duration}s" --latency "http://127.0.0.1:$port/$1" |
    awk 'function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0;
                          if (v ~ /s$/) return v * 1000; return v }
         /^ +50%/ {p50=ms($2)} /^ +99%/ {p99=ms($2)} /^Requests\/sec/ {r=$2}
         /Non-2xx/ {bad=$NF}
         END {if (bad) print "wrk: " bad " answers were not 2xx" > "/dev/stderr"; print r, p50, p99}'
}
run_road() {
  case $1 in
  a1) socket_road 1 "$((requests * 4))" ;;
  a8) socket_road 8 "$requests" ;;
  b) http_road bench.tsm ;;
  c) http_road trivial.cgi ;;
  d) http_road bench.php ;;
  e) http_road bench.phpcgi ;;
  esac
}

echo "page: 20 rows, one condition and two expressions per row; $runs runs; load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "HTTP roads: wrk, $connections connections, ${duration}s; socket roads: $requests requests per client"
declare -A results
for run in $(seq 1 "$runs"); do
  for road in $roads; do
    figures=$(run_road "$road")
    results[$road]+="$figures"$'\n'
    echo "run $run  $road  $figures"
  done
done

declare -A rate
printf '\n%-44s %10s %9s %9s\n' "road (medians of $runs runs)" "req/s" "p50 ms" "p99 ms"
for road in $roads; do
  case $road in
  a1) label="(a1) engine socket, 1 client" ;;
  a8) label="(a8) engine socket, 8 clients" ;;
  b) label="(b) lighttpd + ksml (CGI), $connections conn." ;;
  c) label="(c) lighttpd + trivial C CGI, $connections conn." ;;
  d) label="(d) lighttpd + php-fpm, $connections conn." ;;
  e) label="(e) lighttpd + php-cgi, $connections conn." ;;
  esac
  rate[$road]=$(awk 'NF {print $1}' <<<"${results[$road]}" | median)
  printf '%-44s %10.1f %9.3f %9.3f\n' "$label" "${rate[$road]}" \
    "$(awk 'NF {print $2}' <<<"${results[$road]}" | median)" "$(awk 'NF {print $3}' <<<"${results[$road]}" | median)"
done
ratio() { [ -n "${rate[$1]:-}" ] && [ -n "${rate[$2]:-}" ] && awk -v a="${rate[$1]}" -v b="${rate[$2]}" -v t="$3" \
  'BEGIN {printf "%-44s %9.2fx\n", t, (b > 0 ? a / b : 0)}' || true; }
echo
ratio a8 d "engine socket 8 clients / php-fpm"
ratio b c "lighttpd + ksml / trivial C CGI"
ratio b d "lighttpd + ksml / php-fpm"
ratio b e "lighttpd + ksml / php-cgi"
