# Shared by the benchmark scripts (sourced): a private runtime root, the engine in desktop
# mode and a lighttpd on a free loopback port, all removed again when the script exits.
bin=${TESSARO_BIN:-$PWD/build/bin}
lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
engine_pid=""; web_pid=""

# median: the median of the numbers on standard input, one per line (0 for none).
median() { sort -g | awk '{v[NR]=$1} END {print NR ? v[int((NR + 1) / 2)] : 0}'; }

# bench_home PREFIX: makes $work and $TESSARO_HOME below it.
bench_home() {
  work=$(mktemp -d "/tmp/$1.XXXXXX")
  export TESSARO_HOME=$work/home
  mkdir -p "$work/docs" "$work/uploads" "$TESSARO_HOME"
  # The engine never serves as root: run by root, the benchmark gives its tree to the
  # service account (ksml, run by the web server as root, becomes that account too).
  if [ "$(id -u)" -eq 0 ]; then
    local account=${BENCH_ACCOUNT:-tessaro}
    id "$account" > /dev/null 2>&1 || account=nobody
    chmod 755 "$work"
    chown -R "$account:$(id -gn "$account")" "$work"
  fi
  trap bench_cleanup EXIT
}

bench_cleanup() {
  local pid
  for pid in ${extra_pids:-}; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  [ -n "$web_pid" ] && kill "$web_pid" 2>/dev/null && wait "$web_pid" 2>/dev/null
  [ -n "$engine_pid" ] && kill "$engine_pid" 2>/dev/null && wait "$engine_pid" 2>/dev/null
  rm -rf "$work"
}

# bench_engine: serves $work/docs as the root template folder; waits for the request socket.
bench_engine() {
  "$bin/tsreg" set 'HKEY_LOCAL_MACHINE\SOFTWARE\Brendlow\Tessaro\CurrentVersion\Templates' / "$work/docs"
  "$bin/tsengine" -desktop > "$work/engine.out" 2>&1 &
  engine_pid=$!
  for _ in $(seq 1 100); do [ -S "$TESSARO_HOME/run/PIPE/Tessaro/StubToServer20" ] && break; sleep 0.1; done
}

# bench_web CGI_ASSIGN PROBE_PATH [MORE_CONFIG]: starts lighttpd on $port and waits until
# PROBE_PATH answers.
bench_web() {
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat > "$work/lighttpd.conf" <<CONF
server.document-root = "$work/docs"
server.bind = "127.0.0.1"
server.port = $port
server.modules += ("mod_cgi", "mod_setenv", "mod_fastcgi")
server.errorlog = "$work/lighttpd-error.log"
server.upload-dirs = ("$work/uploads")
cgi.assign = ($1)
setenv.add-environment = ("TESSARO_HOME" => "$TESSARO_HOME")
${3:-}
CONF
  "$lighttpd" -D -f "$work/lighttpd.conf" &
  web_pid=$!
  for _ in $(seq 1 100); do curl -s -o /dev/null "http://127.0.0.1:$port$2" && break; sleep 0.1; done
}

# bench_page_site: the benchmark page $work/docs/bench.tsm and its SQLite data source
# ($work/bench.db, 20 rows) behind the SQLite ODBC driver.
bench_page_site() {
  # The SQLite ODBC driver, wherever the distribution put it.
  driver=$(ls /usr/lib/*/odbc/libsqlite3odbc.so /usr/lib64/odbc/libsqlite3odbc.so /usr/lib/odbc/libsqlite3odbc.so \
    /usr/local/lib/odbc/libsqlite3odbc.so 2>/dev/null | head -n1 || true)
  [ -n "$driver" ] || { echo "bench: the SQLite ODBC driver (libsqlite3odbc.so) is not installed" >&2; exit 1; }
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
}
