#!/usr/bin/env bash
# SIGTERM ends the window like a close: its work folder and LibreOffice's private folder go.
#   stop-signal.sh KELMO_PREVIEW EXAMPLES_DIR
set -uo pipefail
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 XDG_CONFIG_HOME=$scratch/config \
    XDG_CACHE_HOME=$scratch/cache TMPDIR=$scratch/tmp XDG_RUNTIME_DIR=$scratch/run
mkdir "$scratch/tmp" "$scratch/author" && mkdir -m 700 "$scratch/run"
cp -r "$2/course.htm" "$2/course.files" "$scratch/author/"
"$1" "$scratch/author/course.htm" >/dev/null 2>&1 &
window=$!
for _ in $(seq 300); do
    compgen -G "$scratch/author/*/page_1_.htm" >/dev/null && compgen -G "$scratch/tmp/kelmo-office-*" >/dev/null && break
    sleep 0.1
done
compgen -G "$scratch/author/*/page_1_.htm" >/dev/null || { echo "FAIL: no pages"; exit 1; }
kill -TERM $window
wait $window
rc=$?
left=$(cd "$scratch" && ls -A author tmp | tr '\n' ' ')
[ "$rc" -eq 143 ] || { echo "FAIL: exit code $rc"; exit 1; }
[ "$left" == "author: course.files course.htm  tmp: " ] || { echo "FAIL: left [$left]"; exit 1; }
