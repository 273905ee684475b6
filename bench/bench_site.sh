# Shared by the benchmark scripts (sourced): a private runtime root, the engine in desktop
# mode and a lighttpd on a free loopback port, all removed again when the script exits.
bin=${TESSARO_BIN:-$PWD/build/bin}
lighttpd=$(command -v lighttpd || echo /usr/sbin/lighttpd)
engine_pid=""; web_pid=""

# bench_home PREFIX: makes $work and $TESSARO_HOME below it.
bench_home() {
  work=$(mktemp -d "/tmp/$1.XXXXXX")
  export TESSARO_HOME=$work/home
  mkdir -p "$work/docs" "$work/uploads" "$TESSARO_HOME"
  trap bench_cleanup EXIT
}

bench_cleanup() {
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

# bench_web CGI_ASSIGN PROBE_PATH: starts lighttpd on $port and waits until PROBE_PATH answers.
bench_web() {
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat > "$work/lighttpd.conf" <<CONF
server.document-root = "$work/docs"
server.bind = "127.0.0.1"
server.port = $port
server.modules += ("mod_cgi", "mod_setenv")
server.errorlog = "$work/lighttpd-error.log"
server.upload-dirs = ("$work/uploads")
cgi.assign = ($1)
setenv.add-environment = ("TESSARO_HOME" => "$TESSARO_HOME")
CONF
  "$lighttpd" -D -f "$work/lighttpd.conf" &
  web_pid=$!
  for _ in $(seq 1 100); do curl -s -o /dev/null "http://127.0.0.1:$port$2" && break; sleep 0.1; done
}
