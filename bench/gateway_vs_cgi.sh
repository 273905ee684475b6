#!/usr/bin/env bash
# Request latency through one lighttpd: ksml + tsengine answering a one-line page, against a
# trivial C CGI program printing the same page. Both pay the web server's fork+exec; the
# difference is what the gateway and the engine add.
#   bench/gateway_vs_cgi.sh [REQUESTS]      (programs from build/bin, or $TESSARO_BIN)
# Until templates run, the engine's diagnostic echo page answers (ENGINE_QUERY); afterwards
# set ENGINE_QUERY= to time the one-line template itself.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${TESSARO_BIN:-$PWD/build/bin}
requests=${1:-2000}
engine_query=${ENGINE_QUERY-action=Echo&bytes=12}
lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
work=$(mktemp -d /tmp/tsbench.XXXXXX)
export TESSARO_HOME=$work/home
engine_pid=""; web_pid=""
cleanup() {
  [ -n "$web_pid" ] && kill "$web_pid" 2>/dev/null && wait "$web_pid" 2>/dev/null
  [ -n "$engine_pid" ] && kill "$engine_pid" 2>/dev/null && wait "$engine_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/docs" "$work/uploads"
echo '<P>Hello</P>' > "$work/docs/one.tsm"
cat > "$work/hello.c" <<'C'
#include <stdio.h>
int main(void) { fputs("Content-type: text/html\n\nxxxxxxxxxxxx", stdout); return 0; }
C
cc -O2 -o "$work/docs/hello.cgi" "$work/hello.c"

"$bin/tsreg" set 'HKEY_LOCAL_MACHINE\SOFTWARE\Brendlow\Tessaro\CurrentVersion\Debug' EchoPage 1
"$bin/tsreg" set 'HKEY_LOCAL_MACHINE\SOFTWARE\Brendlow\Tessaro\CurrentVersion\Templates' / "$work/docs"
"$bin/tsengine" -desktop > "$work/engine.out" 2>&1 &
engine_pid=$!

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$work/lighttpd.conf" <<CONF
server.document-root = "$work/docs"
server.bind = "127.0.0.1"
server.port = $port
server.modules += ("mod_cgi", "mod_setenv")
server.errorlog = "$work/lighttpd-error.log"
server.upload-dirs = ("$work/uploads")
cgi.assign = (".tsm" => "$bin/ksml", ".cgi" => "")
setenv.add-environment = ("TESSARO_HOME" => "$TESSARO_HOME")
CONF
"$lighttpd" -D -f "$work/lighttpd.conf" &
web_pid=$!
for _ in $(seq 1 100); do curl -s -o /dev/null "http://127.0.0.1:$port/hello.cgi" && break; sleep 0.1; done

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
