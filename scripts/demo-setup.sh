#!/usr/bin/env bash
# Builds the demo setup (samples/demo) into BUILD/demo-setup and runs it the
# way a new user would: a fresh machine folder and a fresh temporary folder.
# Arguments after the build folder go to the setup (for example /s).
# Without a display the message boxes are printed instead of shown.
set -euo pipefail
BUILD=${1:-build}
shift || true
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

cmake --build "$BUILD" --target setupengine qel setupbuilder demo_msi >/dev/null

OUT="$BUILD/demo-setup"
rm -rf "$OUT"
mkdir -p "$OUT"
python3 samples/demo/make-splash.py "$BUILD/samples/demo/setup.bmp"
"$BUILD/bin/setupbuilder" build --source samples/demo/demo.setup --resources samples/demo/resources \
  --msi "$BUILD/samples/demo/demo.msi" --bmp "$BUILD/samples/demo/setup.bmp" --out "$OUT" --name demo

RUN=$(mktemp -d "${TMPDIR:-/tmp}/demo-setup.XXXXXX")
mkdir -p "$RUN/tmp" "$RUN/runtime"
chmod 700 "$RUN/runtime"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$RUN/runtime}"
trap 'rm -rf "$RUN"' EXIT

echo "Running $OUT/demo (machine folder $RUN/machine)"
set +e
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "(no display: message boxes are printed as caption|text|flags and answered with their default button)"
  SETUPENGINE_MACHINE="$RUN/machine" TMPDIR="$RUN/tmp" SETUPENGINE_MSGBOX_LOG=/dev/stdout \
    QT_QPA_PLATFORM=offscreen "$OUT/demo" /l="$RUN/trace.log" "$@"
else
  SETUPENGINE_MACHINE="$RUN/machine" TMPDIR="$RUN/tmp" "$OUT/demo" /l="$RUN/trace.log" "$@"
fi
rc=$?
set -e
echo "demo setup exit code: $rc"
