#!/usr/bin/env bash
# The end-to-end and window tests, repeated under the address and undefined-behaviour
# sanitizers while stress-ng loads the processors, memory and disk beside them: a test that
# depends on the machine's speed fails here.
# Usage: stress-tests.sh [--count N]   (8 repeats unless told otherwise)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
count=8
while [ $# -gt 0 ]; do
    case $1 in
        --count) count=$2; shift 2 ;;
        --count=*) count=${1#--count=}; shift ;;
        *) echo "usage: $0 [--count N]" >&2; exit 2 ;;
    esac
done
case $count in '' | *[!0-9]*) echo "--count takes a whole number" >&2; exit 2 ;; esac

"$top/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$top/scripts/build.sh" "$top/build-asan" -DCMAKE_BUILD_TYPE=Debug -DTARVO_SANITIZE=ON \
    -DTARVO_BUILD_BENCH=OFF

stress-ng --cpu 4 --vm 2 --vm-bytes 512M --io 2 --quiet &
stress=$!
trap 'kill "$stress" 2>/dev/null; wait "$stress" 2>/dev/null || true' EXIT

# The labels are the test folders: the end-to-end tests and every test that runs a window.
labels='^(e2e|shell|accounting|terminal_config|pulse_editor|location_law_clock|history|audit)$'
passed=0
for run in $(seq 1 "$count"); do
    echo "== run $run of $count"
    if ctest --test-dir "$top/build-asan" -L "$labels" --output-on-failure -j2 --timeout 180; then
        passed=$((passed + 1))
    fi
done
echo "$passed of $count runs passed under load"
[ "$passed" -eq "$count" ]
