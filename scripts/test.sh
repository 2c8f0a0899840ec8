#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test; checks the Debian package; runs every
# fuzz target for a fixed number of inputs; then builds the tests again with the address and
# undefined-behaviour sanitizers and runs them once more.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen

"$top/scripts/build.sh" "$top/build"
ctest --test-dir "$top/build" --output-on-failure -j2 --timeout 180

# The Debian package: built, its files listed, its desktop entry and metadata validated,
# lintian-clean, and (as root) installed, run and purged.
"$top/scripts/check-package.sh" "$top/build"

# Every parser and file loader under libFuzzer, about a minute in all.
"$top/scripts/fuzz.sh" "$top/build-fuzz"

# Leak reports would come from the toolkit's own caches; memory errors and undefined
# behaviour still stop the run.
# The emulated USB board is preloaded ahead of the sanitizer runtime, which is fine here.
export ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$top/scripts/build.sh" "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTARVO_SANITIZE=ON \
    -DTARVO_BUILD_BENCH=OFF
ctest --test-dir "$top/build-asan" --output-on-failure -j2 --timeout 180
