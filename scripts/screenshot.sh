#!/usr/bin/env bash
# Saves a picture of the window with the bundled sample course to docs/screenshot.png.
# Builds nothing (run scripts/build.sh first). Runs build/bin/kelmo-preview (or $PROGRAM)
# on a copy of examples/course.doc (course.htm when there is no .doc) under xvfb-run,
# selects node NODE of the structure tree (hidden option --select) and lets the program
# save its own window (hidden option --screenshot) once that page has loaded.
# Usage: [SAMPLE=DOCUMENT] scripts/screenshot.sh [NODE] [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
program=${PROGRAM:-build/bin/kelmo-preview}
node=${1:-8}  # the page with the picture
output=$(realpath -m "${2:-docs/screenshot.png}")

sample=examples/course.htm
[ -f examples/course.doc ] && sample=examples/course.doc
sample=${SAMPLE:-$sample}  # another document, e.g. examples/faults.htm
[ -x "$program" ] || { echo "screenshot: $program is missing; run scripts/build.sh" >&2; exit 1; }

# A copy, so that the work folder is not made inside examples/.
copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
cp -r "$sample" "$copy/"
[ -d "${sample%.*}.files" ] && cp -r "${sample%.*}.files" "$copy/"
mkdir -p "$(dirname "$output")"
rm -f "$output"

xvfb-run -a -s "-screen 0 1024x768x24" \
    "$program" --select "$node" --screenshot "$output" "$copy/$(basename "$sample")"
[ -s "$output" ] || { echo "screenshot: no picture was saved" >&2; exit 1; }
echo "screenshot: $output"
