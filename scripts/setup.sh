#!/usr/bin/env bash
# Installs every Debian package needed to build, test and run Kelmo Preview.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
    # toolchain
    build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format
    # libraries
    qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libgl-dev libjpeg62-turbo-dev
    libreoffice-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev libzip-dev libxml2-dev
    # run time: the converter, a display for tests, fonts
    libreoffice-writer-nogui libreoffice-math xvfb xauth fonts-dejavu-core qt6-translations-l10n
    # window names under Xvfb (xprop)
    x11-utils
    # checks, packaging and timing (scripts/bench-convert.sh uses /usr/bin/time); lintian,
    # appstreamcli and man check the package
    desktop-file-utils dpkg-dev file time lintian appstream man-db
    # reading packages back in tests: unzip, xmllint against the SCORM schemas; zip makes an
    # oversized document; the EPUB checker, and a browser for a SCORM run-time (Node.js below)
    unzip zip libxml2-utils epubcheck chromium
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
# npm installs the tests' SCORM run-time; a Node.js that brings its own npm is kept.
command -v npm >/dev/null || missing+=(nodejs npm)
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
fi
