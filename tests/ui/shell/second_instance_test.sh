#!/usr/bin/env bash
# A second copy of the program says "Has been running..." and ends; the first keeps running.
set -euo pipefail
bin=$1
export QT_QPA_PLATFORM=offscreen QUELLMARIN_NO_MESSAGE_BOX=1
export XDG_RUNTIME_DIR=$(mktemp -d)
chmod 700 "$XDG_RUNTIME_DIR"
trap 'kill $first 2>/dev/null || true; rm -rf "$XDG_RUNTIME_DIR"' EXIT
"$bin" --virtual --quit-after 8000 2>/dev/null &
first=$!
for _ in $(seq 50); do [ -e "$XDG_RUNTIME_DIR/quellmarin-Windowsrunning.lock" ] && break; sleep 0.1; done
set +e
out=$("$bin" --virtual 2>&1)
rc=$?
set -e
[ $rc -ne 0 ] || { echo "second copy exited with 0"; exit 1; }
grep -q "Has been running..." <<<"$out" || { echo "no message: $out"; exit 1; }
kill -0 $first || { echo "the first copy ended"; exit 1; }
kill $first; wait $first 2>/dev/null || true
# A lock left by a copy that was killed does not block the next start.
"$bin" --virtual --quit-after 500 2>/dev/null &
victim=$!
sleep 0.3; kill -9 $victim; wait $victim 2>/dev/null || true
"$bin" --virtual --quit-after 300
echo "single instance: ok"
