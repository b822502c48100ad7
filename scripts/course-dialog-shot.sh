#!/usr/bin/env bash
# Saves a picture of the course dialog, filled with a three-material course, to
# docs/course-dialog.png: the window's course test grabs the dialog it drives.
# Builds nothing (run scripts/build.sh first). Usage: scripts/course-dialog-shot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
output=$(realpath -m "${1:-docs/course-dialog.png}")
test=build/tests/frontend_course_test
[ -x "$test" ] || { echo "course-dialog-shot: $test is missing; run scripts/build.sh" >&2; exit 1; }
rm -f "$output"
QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 KELMO_COURSE_DIALOG_SHOT=$output \
    "$test" MadeInTheDialog >/dev/null
[ -s "$output" ] || { echo "course-dialog-shot: no picture was saved" >&2; exit 1; }
echo "course-dialog-shot: $output"
