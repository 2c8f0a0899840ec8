#!/usr/bin/env bash
# Builds every fuzz target (fuzz/fuzz_*.cpp) with clang into build-fuzz/ (or the folder given)
# and runs each for a fixed number of inputs from a fixed seed, so a run is repeatable. A
# target may ask for another number with a line "// fuzz-runs: N" in its source. Any crash,
# sanitizer report or hang fails the run.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build-fuzz}
default_runs=${TARVO_FUZZ_RUNS:-200000}

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DTARVO_BUILD_FUZZ=ON -DTARVO_BUILD_TESTS=OFF -DTARVO_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null

sources=("$top"/fuzz/fuzz_*.cpp)
targets=()
for source in "${sources[@]}"; do
    targets+=("$(basename "$source" .cpp)")
done
cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for source in "${sources[@]}"; do
    name=$(basename "$source" .cpp)
    runs=$(sed -n 's|^// fuzz-runs: \([0-9][0-9]*\)$|\1|p' "$source" | head -n1)
    runs=${runs:-$default_runs}
    # New inputs go to a scratch folder; the seeds in fuzz/corpus/<target> stay as they are.
    corpus=("$work/$name")
    mkdir -p "$work/$name"
    if [ -d "$top/fuzz/corpus/$name" ]; then
        corpus+=("$top/fuzz/corpus/$name")
    fi
    start=$(date +%s)
    if ! "$dir/fuzz/$name" -runs="$runs" -seed=1 -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/" "${corpus[@]}" >"$work/$name.log" 2>&1; then
        cat "$work/$name.log"
        for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
            [ -e "$artifact" ] && echo "Input that failed ($artifact):" && od -c "$artifact" | head -n 40
        done
        echo "FUZZ FAILED: $name"
        exit 1
    fi
    echo "fuzz $name: $runs inputs in $(($(date +%s) - start)) s"
done
