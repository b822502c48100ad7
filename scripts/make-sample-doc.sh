#!/usr/bin/env bash
# Regenerates examples/course.doc (Word 97) from examples/course.fodt with LibreOffice.
set -euo pipefail
cd "$(dirname "$0")/.."
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
rm -f examples/course.doc
soffice -env:UserInstallation="file://$profile" --headless --norestore \
    --convert-to doc --outdir examples examples/course.fodt 2>&1 >/dev/null | grep -v javaldx >&2 || true
test -s examples/course.doc
echo "examples/course.doc: $(stat -c %s examples/course.doc) bytes"
