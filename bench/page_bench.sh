#!/usr/bin/env bash
# Page benchmark: one template queries 20 rows of a SQLite table and loops over them with a
# condition and two expressions per row. Measured (a) straight over the engine's request socket
# with N concurrent clients (tspipeload) and (b) through lighttpd and ksml (wrk when installed,
# else a Python client with the same number of concurrent connections).
#   bench/page_bench.sh [CLIENTS] [REQUESTS_PER_CLIENT]
# Programs come from build/bin or $TESSARO_BIN; tspipeload needs a build with -DTESSARO_BENCH=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_site.sh
clients=${1:-8}
requests=${2:-200}
# The SQLite ODBC driver, wherever the distribution put it.
driver=$(ls /usr/lib/*/odbc/libsqlite3odbc.so /usr/lib64/odbc/libsqlite3odbc.so /usr/lib/odbc/libsqlite3odbc.so \
  /usr/local/lib/odbc/libsqlite3odbc.so 2>/dev/null | head -n1 || true)
[ -n "$driver" ] || { echo "page_bench: the SQLite ODBC driver (libsqlite3odbc.so) is not installed" >&2; exit 1; }
bench_home tspagebench
mkdir -p "$work/odbc"

{
  echo "CREATE TABLE items (id INTEGER, name VARCHAR(20), price INTEGER);"
  for i in $(seq 1 20); do echo "INSERT INTO items VALUES ($i, 'item$i', $((i * 7 % 100)));"; done
} | sqlite3 "$work/bench.db"
printf '[Tessaro SQLite3]\nDriver=%s\n' "$driver" > "$work/odbc/odbcinst.ini"
printf '[bench_items]\nDriver=Tessaro SQLite3\nDatabase=%s\n' "$work/bench.db" > "$work/odbc/odbc.ini"
export ODBCSYSINI=$work/odbc ODBCINI=$work/odbc/odbc.ini

cat > "$work/docs/bench.tsm" <<'TSM'
<TSQUERY NAME="items" DATASOURCE="bench_items">SELECT id, name, price FROM items ORDER BY id</TSQUERY><UL>
<TSLOOP QUERY="items"><TSIF #price# GT 50><TSOUTPUT><LI>#name#: #price * 2# (#id + price#)</TSOUTPUT><TSELSE><TSOUTPUT><LI>#name#: #price + 1# (#id * 3#)</TSOUTPUT></TSIF>
</TSLOOP></UL>
TSM

bench_engine
bench_web '".tsm" => "'"$bin/ksml"'"' /bench.tsm

page=$(curl -s "http://127.0.0.1:$port/bench.tsm")
if ! grep -q "item20: " <<<"$page"; then echo "the page did not run:"; echo "$page" | head -20; exit 1; fi

echo "page: 20 rows, one condition and two expressions per row; $clients clients x $requests requests"
echo "(a) engine socket (tspipeload)"
"$bin/tspipeload" --clients "$clients" --requests "$requests" --query ""
echo "(b) lighttpd + ksml"
if command -v wrk > /dev/null; then
  wrk -t "$clients" -c "$clients" -d 10s --latency "http://127.0.0.1:$port/bench.tsm"
else
  python3 - "$port" "$clients" "$requests" <<'PY'
import http.client, sys, threading, time
port, clients, n = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
times, lock = [], threading.Lock()
def run():
    mine = []
    for _ in range(n):
        conn = http.client.HTTPConnection("127.0.0.1", port)
        start = time.perf_counter()
        conn.request("GET", "/bench.tsm")
        response = conn.getresponse()
        response.read()
        conn.close()
        if response.status != 200:
            sys.exit(f"HTTP {response.status}")
        mine.append((time.perf_counter() - start) * 1000)
    with lock:
        times.extend(mine)
start = time.perf_counter()
threads = [threading.Thread(target=run) for _ in range(clients)]
for t in threads: t.start()
for t in threads: t.join()
seconds = time.perf_counter() - start
times.sort()
pick = lambda q: times[min(len(times) - 1, int(q * len(times)))]
print(f"requests {len(times)}  seconds {seconds:.3f}  req/s {len(times) / seconds:.1f}  (wrk not installed: Python client)")
print(f"latency ms  p50 {pick(0.5):.3f}  p90 {pick(0.9):.3f}  p99 {pick(0.99):.3f}  max {times[-1]:.3f}")
PY
fi
