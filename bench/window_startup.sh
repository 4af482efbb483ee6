#!/usr/bin/env bash
# Start-up of the window until it is on the screen: the Qt window (build/default) and the
# native window under Wine (build/windows, kiln-window-demo), each started RUNS times on
# the same virtual display and the same demo folder without a printer, after one run of
# each that is not counted (Wine's server and the file caches warm). Prints each time, the
# medians and their ratio; the native window is to take at most 1.5 times the Qt window's.
# A window counts as shown once the display lists a top-level window titled "Kiln".
#   bench/window_startup.sh [RUNS]      (default 5; build both presets first)
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"
qt="$PWD/build/default/src/app/kiln"
native="$PWD/build/windows/src/app/windows/kiln-window-demo.exe"
make_folder="$PWD/build/default/sim/demo/kiln-demo-folder"
for program in "$qt" "$native" "$make_folder"; do
  [ -e "$program" ] || { echo "window_startup: build $program first" >&2; exit 2; }
done

if [ -z "${KILN_WINDOW_STARTUP_DISPLAY:-}" ]; then
  exec env KILN_WINDOW_STARTUP_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

work="$(mktemp -d)"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
"$make_folder" "$work/folder" >/dev/null
mkdir -p "$work/locks"
export KILN_LOCK_DIR="$work/locks" XDG_STATE_HOME="$work/state" QT_QPA_PLATFORM=xcb
export WINEPREFIX="$PWD/build/windows/wineprefix-x11" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p

# Milliseconds from the start of "$@" until a window titled Kiln is listed; the program
# is then ended.
shown_after() {
  local start end pid
  start=$(date +%s%N)
  "$@" >/dev/null 2>&1 &
  pid=$!
  until xwininfo -root -tree 2>/dev/null | grep -q '"Kiln"'; do sleep 0.01; done
  end=$(date +%s%N)
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  while xwininfo -root -tree 2>/dev/null | grep -q '"Kiln"'; do sleep 0.01; done
  echo $(((end - start) / 1000000))
}

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

windows_folder="Z:$(echo "$work/folder" | tr / '\\')"
shown_after "$qt" --dir "$work/folder" >/dev/null
shown_after wine "$native" --no-printer --dir "$windows_folder" >/dev/null
: >"$work/qt" && : >"$work/native"
for _ in $(seq "$runs"); do
  shown_after "$qt" --dir "$work/folder" >>"$work/qt"
  shown_after wine "$native" --no-printer --dir "$windows_folder" >>"$work/native"
done
q=$(median <"$work/qt")
n=$(median <"$work/native")
echo "Qt window under Xvfb:     $(tr '\n' ' ' <"$work/qt")ms  median ${q} ms"
echo "native window under Wine: $(tr '\n' ' ' <"$work/native")ms  median ${n} ms"
awk -v n="$n" -v q="$q" 'BEGIN { printf "ratio native/Qt: %.2f (limit 1.50)\n", n / q }'
