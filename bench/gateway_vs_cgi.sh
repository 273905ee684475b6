#!/usr/bin/env bash
# Request latency through one lighttpd: ksml + tsengine answering a one-line page, against a
# trivial C CGI program printing the same page. Both pay the web server's fork+exec; the
# difference is what the gateway and the engine add.
#   bench/gateway_vs_cgi.sh [REQUESTS]      (programs from build/bin, or $TESSARO_BIN)
# Until templates run, the engine's diagnostic echo page answers (ENGINE_QUERY); afterwards
# set ENGINE_QUERY= to time the one-line template itself.
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_site.sh
requests=${1:-2000}
engine_query=${ENGINE_QUERY-action=Echo&bytes=12}
bench_home tsbench

echo '<P>Hello</P>' > "$work/docs/one.tsm"
cat > "$work/hello.c" <<'C'
#include <stdio.h>
int main(void) { fputs("Content-type: text/html\n\nxxxxxxxxxxxx", stdout); return 0; }
C
cc -O2 -o "$work/docs/hello.cgi" "$work/hello.c"

"$bin/tsreg" set 'HKEY_LOCAL_MACHINE\SOFTWARE\Brendlow\Tessaro\CurrentVersion\Debug' EchoPage 1
bench_engine
bench_web '".tsm" => "'"$bin/ksml"'", ".cgi" => ""' /hello.cgi

python3 - "$port" "$requests" "/one.tsm${engine_query:+?$engine_query}" /hello.cgi <<'PY'
import http.client, statistics, sys, time
port, n = int(sys.argv[1]), int(sys.argv[2])
def measure(path):
    conn = http.client.HTTPConnection("127.0.0.1", port)
    times = []
    for i in range(n + 50):
        start = time.perf_counter()
        conn.request("GET", path)
        response = conn.getresponse()
        response.read()
        if response.status != 200:
            sys.exit(f"{path}: HTTP {response.status}")
        if i >= 50:  # warm-up: the engine's first requests
            times.append((time.perf_counter() - start) * 1000)
    times.sort()
    pick = lambda q: times[min(len(times) - 1, int(q * len(times)))]
    return statistics.mean(times), pick(0.5), pick(0.95), pick(0.99)
print(f"{n} sequential requests each; milliseconds")
print(f"{'':28} {'mean':>7} {'p50':>7} {'p95':>7} {'p99':>7}")
for label, path in (("ksml + tsengine", sys.argv[3]), ("trivial C CGI", sys.argv[4])):
    print(f"{label:28} " + " ".join(f"{v:7.2f}" for v in measure(path)))
PY
