#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one for a bounded time, seeded
# with fuzz/seeds/<target>/ and, for the event-stream targets, the recorded streams of the provider tests.
# Exits non-zero when any target finds a crash; the crashing input is left in build-fuzz/crashes/.
# Usage: scripts/lib/fuzz.sh [seconds per target, default 20]
set -euo pipefail
GLINT_ROOT=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-20}
build_dir="$GLINT_ROOT/build-fuzz"
fuzzers=(EventStreamReaderFuzzer EventInterpreterFuzzer SwayIpcFuzzer ReplicateBodyFuzzer CompatibleModelListFuzzer
    AppcastFeedFuzzer MarkdownFuzzer)

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S "$GLINT_ROOT" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DGLINT_FUZZ=ON -DGLINT_TESTS=OFF \
        -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
        -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
fi
cmake --build "$build_dir" -j2 --target "${fuzzers[@]}"

mkdir -p "$build_dir/crashes"
status=0
for fuzzer in "${fuzzers[@]}"; do
    corpus="$build_dir/corpus/$fuzzer"
    mkdir -p "$corpus"
    if [[ $fuzzer == Event* ]]; then
        cp -n "$GLINT_ROOT"/tests/providers/data/*/*.sse "$corpus"/ 2>/dev/null || true
    fi
    cp -n "$GLINT_ROOT/fuzz/seeds/$fuzzer"/* "$corpus"/ 2>/dev/null || true
    echo "== $fuzzer (${seconds}s)"
    if ! QT_QPA_PLATFORM=offscreen "$build_dir/fuzz/$fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build_dir/crashes/$fuzzer-" "$corpus" 2>"$build_dir/$fuzzer.log"; then
        echo "$fuzzer failed; see $build_dir/$fuzzer.log"
        tail -n 40 "$build_dir/$fuzzer.log"
        status=1
    fi
done
exit $status
