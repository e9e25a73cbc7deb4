#!/usr/bin/env bash
# Makes docs/kuvzip.png, the picture of the main window at the top of the
# README: starts the demo (scripts/run-demo.sh) on a virtual screen (Xvfb),
# waits for the window, captures the screen with ImageMagick's import and
# trims the empty screen around the window. Run it again when the main
# window changes, and look at the picture before committing it.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$(pwd)"
out="${1:-$repo/docs/kuvzip.png}"
wait_seconds="${KUVZIP_SCREENSHOT_WAIT:-6}"

bash scripts/install-deps.sh
mkdir -p "$(dirname "$out")"
raw="$(mktemp --suffix=.png)"
trap 'rm -f "$raw"' EXIT

# Inside the virtual screen: the demo in the background, the capture once
# the window had time to draw itself, then the demo's end.
xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
  set -euo pipefail
  bash scripts/run-demo.sh >/dev/null &
  demo=$!
  # The demo builds first, then becomes the program (exec): wait for the
  # program, then for its window.
  for _ in $(seq 1 600); do
    [ "$(cat "/proc/$demo/comm" 2>/dev/null)" = kuvzip ] && break
    [ -e "/proc/$demo" ] || { echo "the demo ended before its window opened" >&2; exit 1; }
    sleep 1
  done
  sleep "$1"
  import -window root "$2"
  kill "$demo" 2>/dev/null || true
  wait "$demo" 2>/dev/null || true
' screenshot "$wait_seconds" "$raw"

convert "$raw" -trim +repage "$out"
echo "Screenshot: $out ($(identify -format '%wx%h' "$out"))"
