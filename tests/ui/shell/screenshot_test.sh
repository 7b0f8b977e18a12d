#!/usr/bin/env bash
# Starts the real program under Xvfb, takes a screenshot and checks that a window was mapped and drawn.
set -euo pipefail
bin=$1
shot=$2
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
xvfb-run -a -s "-screen 0 1366x768x24" bash -c '
    # Generous bounds: on a loaded two-core machine the first start can take several seconds.
    "$0" --virtual --quit-after 60000 2>"$1.log" &
    app=$!
    for _ in $(seq 300); do
        xwininfo -root -tree 2>/dev/null | grep -q "Quellmarin V" && break
        sleep 0.1
    done
    sleep 1.5
    xwininfo -root -tree | grep "Quellmarin V" || { echo "no window mapped"; cat "$1.log"; kill $app; exit 1; }
    import -window root "$1"
    kill -TERM $app
    wait $app || true
' "$bin" "$shot"
deviation=$(convert "$shot" -format "%[fx:standard_deviation]" info:)
echo "screenshot $shot, standard deviation $deviation"
awk -v d="$deviation" 'BEGIN { exit !(d > 0.02) }' || { echo "the screen is blank"; exit 1; }
