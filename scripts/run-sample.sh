#!/usr/bin/env bash
# Installs what is needed, builds, and runs the converter on the bundled sample course.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
rm -rf build/sample build/sample-htm
# The course as a Word document, converted by LibreOffice.
build/bin/kelmo-convert --output build/sample examples/course.doc
# The same road from a Word HTML export.
build/bin/kelmo-convert --quiet --output build/sample-htm examples/course.htm
echo "Word HTML export sample: build/sample-htm"
