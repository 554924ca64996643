#!/usr/bin/env bash
# A first look at Zelvo: builds the service, starts a local address page and a
# local dyndns2-style update endpoint (nginx on a free loopback port), writes a
# demo INI beside the executable and runs the service in the foreground with
# its log on the screen. After the first update the demo changes the address
# once, so the next cycle pushes the change. Ctrl-C ends it and cleans up.
# DEMO_SECONDS=N ends it by itself after N seconds (used by the tests).
set -euo pipefail
cd "$(dirname "$0")/.."
export PATH="$PATH:/usr/sbin:/sbin"  # nginx lives in /usr/sbin, not in a user's PATH

readonly FIRST=203.0.113.7 SECOND=203.0.113.8 INTERVAL=5
readonly INI=build/ZelvoSvc.ini LOG=build/ZelvoSvc.log
readonly MARKER="; Demo configuration written by scripts/demo.sh"
say() { printf 'demo: %s\n' "$*"; }

# Never overwrite an INI file that the demo did not write.
if [ -e "$INI" ] && ! grep -qF "$MARKER" "$INI"; then
  say "$INI exists and was not written by the demo; move it away and run again." >&2
  exit 1
fi

bash scripts/deps.sh build-essential cmake ninja-build libgtest-dev nginx apache2-utils
say "building build/ZelvoSvc ..."
generator=(-G Ninja)
[ -f build/CMakeCache.txt ] && generator=()  # keep the generator of an existing build
cmake -S . -B build "${generator[@]}" >/dev/null
cmake --build build --target ZelvoSvc

work=$(mktemp -d -t zelvo-demo.XXXXXX)
pids=()
cleanup() {
  trap - EXIT INT TERM
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The pages: an address-echo page and the endpoint's files (see the template).
show_address() {
  printf '<html><head><title>Current IP Check</title></head><body>Current IP Address: %s</body></html>' \
    "$1" >"$work/www/ip.html.new"
  mv "$work/www/ip.html.new" "$work/www/ip.html"
}
mkdir -p "$work/www/router" "$work/www/state" "$work/logs" "$work/tmp"
printf 'badauth' >"$work/www/badauth.txt"
show_address "$FIRST"
htpasswd -bc "$work/htpasswd" demo demo-secret 2>/dev/null

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
start_nginx() {
  local port=$1 user=""
  [ "$(id -u)" -eq 0 ] && user="user root root;"  # workers must read this 0700 folder
  sed -e "s|@USER@|$user|" -e "s|@DIR@|$work|g" -e "s|@PORT@|$port|g" \
    -e "s|@SESSION@|demo-session|g" tests/real/nginx.conf.in >"$work/nginx.conf"
  rm -f "$work/nginx.pid"
  nginx -p "$work/" -c "$work/nginx.conf" -g 'daemon off;' >>"$work/logs/nginx.out" 2>&1 &
  nginx_pid=$!
  for _ in $(seq 50); do
    kill -0 "$nginx_pid" 2>/dev/null || return 1
    [ -s "$work/nginx.pid" ] && port_in_use "$port" && return 0
    sleep 0.2
  done
  kill "$nginx_pid" 2>/dev/null || true
  wait "$nginx_pid" 2>/dev/null || true
  return 1
}
port=""
for _ in $(seq 10); do
  candidate=$((20000 + RANDOM % 40000))
  port_in_use "$candidate" && continue
  if start_nginx "$candidate"; then port=$candidate; pids+=("$nginx_pid"); break; fi
done
if [ -z "$port" ]; then
  say "nginx did not start:" >&2
  cat "$work/logs/nginx.out" "$work/logs/error.log" >&2 2>/dev/null || true
  exit 1
fi
base="http://127.0.0.1:$port"

cat >"$INI" <<EOF
$MARKER
; (rewritten on every run; examples/ holds annotated files for real providers)
[Source]
; Seconds between two cycles (real use: 300 or more).
Interval=$INTERVAL
; The page that shows the public address, and the text right before it.
URL=$base/ip.html
Prefix=Current IP Address:
; 2: errors, results and changes, plus each connection and each address found.
Log=2

[Srv1]
; The update URL: %s is where the address goes.
URL=$base/nic/update?hostname=demo.example.org&myip=%s
User=demo
Pass=demo-secret
; Texts in the answer that mean success.
StatusOK=good
StatusOK1=nochg
EOF
chmod 600 "$INI"

say "address page    $base/ip.html (shows $FIRST)"
say "update endpoint $base/nic/update (dyndns2-style, user demo)"
say "configuration   $INI, log $LOG (followed below); Ctrl-C ends the demo"

# Follow only what this run adds to the log, and what the endpoint receives.
offset=$(stat -c %s "$LOG" 2>/dev/null || echo 0)
tail -c "+$((offset + 1))" -F "$LOG" 2>/dev/null &
pids+=($!)
show_updates() {  # reads nginx's access log lines: user, status, request, ...
  local user status request rest
  while IFS=$'\t' read -r user status request rest; do
    [[ $request == *"/nic/update"* ]] && echo "  endpoint got: $request  (user $user, answer $status)"
  done
}
tail -n 0 -F "$work/logs/access.log" 2>/dev/null > >(show_updates) &
pids+=($!)

build/ZelvoSvc /RUN &
service=$!
pids=("$service" "${pids[@]}")

# After the first successful update, the public address changes once.
(
  for _ in $(seq 120); do
    if tail -c "+$((offset + 1))" "$LOG" 2>/dev/null | grep -q "Updated \[Srv1\]"; then
      sleep 1  # let the log lines of this cycle reach the screen first
      show_address "$SECOND"
      say "the address page now shows $SECOND; the next cycle pushes the change"
      exit 0
    fi
    sleep 0.5
  done
) &
pids+=($!)

rc=0
ended=""
if [ -n "${DEMO_SECONDS:-}" ]; then
  sleep "$DEMO_SECONDS" &
  pids+=($!)
  wait -n -p ended "$service" "$!" || rc=$?
  [ "$ended" = "$service" ] || { rc=0; kill -TERM "$service"; }
fi
[ "$ended" = "$service" ] || wait "$service" || rc=$?
sleep 0.3  # let tail show the last lines
[ "$rc" -eq 0 ] || say "the service ended with exit code $rc; see $LOG" >&2
exit "$rc"
