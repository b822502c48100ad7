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
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp,print_suppressions=0 \
    bash -c 'cd build/asan && ctest --output-on-failure'

# The Debian package: build it, have Debian's checker accept it with no error and no
# warning, install it (again, when the version is unchanged) and check the installed
# programs, manual page, desktop entry and AppStream metainfo.
(cd build && cpack -G DEB)
lintian --fail-on error,warning build/kelmo-preview_1.0.0_amd64.deb
apt-get install -y -qq --reinstall ./build/kelmo-preview_1.0.0_amd64.deb
/usr/bin/kelmo-convert --version
/usr/bin/kelmo-preview --version
man -P cat kelmo-convert | grep 'EXIT STATUS' >/dev/null
desktop-file-validate /usr/share/applications/org.example.kelmo.preview.desktop
appstreamcli validate --no-net /usr/share/metainfo/org.example.kelmo.preview.metainfo.xml

# Fuzzing: the libFuzzer targets built with clang, each run for a bounded time from a corpus
# cut out of a generated course. A crash, a sanitizer report or a difference between the
# primitives and their plain transcription fails the script.
CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DKELMO_GUI=OFF \
    -DKELMO_BENCH=OFF -DKELMO_FUZZ=ON >/dev/null
cmake --build build/fuzz --target fuzz_primitives fuzz_road
corpus=build/fuzz/corpus
rm -rf "$corpus" && mkdir -p "$corpus/primitives" "$corpus/road"
build/bin/kelmo-gen-course 1 400 build/fuzz/course.htm
head -c 64000 build/fuzz/course.htm | split -b 4000 -a 2 - "$corpus/primitives/c"
head -c 256000 build/fuzz/course.htm | split -b 16000 -a 2 - "$corpus/road/c"
build/fuzz/bin/fuzz_primitives -dict=fuzz/markers.dict -max_total_time=30 -max_len=4096 \
    -artifact_prefix=build/fuzz/ "$corpus/primitives"
build/fuzz/bin/fuzz_road -dict=fuzz/markers.dict -max_total_time=30 -max_len=65536 \
    -artifact_prefix=build/fuzz/ "$corpus/road"

# One closing line for the whole run; any failure above has already stopped the script.
count() { (cd "$1" && ctest -N | awk '/Total Tests:/ { print $3 }'); }
echo "summary: $(($(count build) + $(count build/asan) + 2)) passed, 0 failed"
