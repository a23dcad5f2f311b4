#!/usr/bin/env bash
# make demo: the monitor against a simulated logger.
#
# Starts kv90sim on a pseudo-terminal (short periods: values every 2 s, one
# record per minute) and Kv90Sw in a demo folder of its own whose
# Settings.ini maps COM1 to the simulator's link.  The simulator stops when
# the window is closed.  Usage: scripts/demo-monitor.sh [BUILD_DIR]
set -euo pipefail

BUILD=${1:-build}
BIN="$BUILD/bin"
DEMO="$BUILD/demo-monitor"
for p in "$BIN/Kv90Sw" "$BIN/kv90sim"; do
  [ -x "$p" ] || { echo "demo-monitor: $p is missing (build first)" >&2; exit 1; }
done

mkdir -p "$DEMO/Settings"
DEMO=$(cd "$DEMO" && pwd)
LINK="$DEMO/kv90-com1"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$DEMO/runtime"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi

cat > "$DEMO/logger.ini" <<'INI'
[Logger]
Address=251
Name=KV90
RdTime=2
WrTime=1
MemoryLines=120
INI

# Keep whatever the user changed in an earlier demo run; only the link and
# the port are forced, so the window always finds the simulator.
SETTINGS="$DEMO/Settings/Settings.ini"
if [ ! -f "$SETTINGS" ]; then
  printf '[Application]\r\nLang=Czech.lng\r\n' > "$SETTINGS"
fi
python3 - "$SETTINGS" "$LINK" <<'PY' 2>/dev/null || true
import sys, re
path, link = sys.argv[1], sys.argv[2]
text = open(path, encoding='latin-1').read().replace('\r\n', '\n')
def put(text, section, key, value):
    m = re.search(r'(?im)^\[' + re.escape(section) + r'\]\s*$', text)
    if not m:
        return text.rstrip('\n') + '\n[%s]\n%s=%s\n' % (section, key, value)
    start = m.end()
    nxt = re.search(r'(?m)^\[', text[start:])
    end = start + (nxt.start() if nxt else len(text[start:]))
    body = text[start:end]
    if re.search(r'(?im)^' + re.escape(key) + r'\s*=', body):
        body = re.sub(r'(?im)^' + re.escape(key) + r'\s*=.*$', key + '=' + value, body)
    else:
        body = '\n' + key + '=' + value + body
    return text[:start] + body + text[end:]
text = put(text, 'PortMap', 'COM1', link)
text = put(text, 'SerialComm', 'CommPort', 'COM1')
open(path, 'w', encoding='latin-1', newline='\r\n').write(text)
PY

rm -f "$LINK"
"$BIN/kv90sim" --config "$DEMO/logger.ini" --link "$LINK" </dev/null >"$DEMO/kv90sim.out" 2>"$DEMO/kv90sim.log" &
SIM=$!
trap 'kill "$SIM" 2>/dev/null || true; wait "$SIM" 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$LINK" ] && break; sleep 0.1; done
[ -e "$LINK" ] || { echo "demo-monitor: the simulator did not start (see $DEMO/kv90sim.log)" >&2; exit 1; }

echo "demo-monitor: logger simulator on $(cat "$DEMO/kv90sim.out") (COM1), data in $DEMO"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  if command -v xvfb-run >/dev/null; then
    echo "demo-monitor: no display; running under xvfb-run" >&2
    KV90SW_HOME="$DEMO" xvfb-run -a "$BIN/Kv90Sw"
    exit $?
  fi
fi
KV90SW_HOME="$DEMO" "$BIN/Kv90Sw"
