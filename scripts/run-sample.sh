#!/usr/bin/env bash
# Installs what is needed, builds, and runs the converter on the bundled sample course.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
rm -rf build/sample
build/bin/kelmo-convert --output build/sample examples/course.htm
