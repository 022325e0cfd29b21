#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for the given seconds
# (default 60) from its seeds. A crash, leak or sanitizer finding fails the run.
# Usage: bash tools/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFP_WARNINGS_AS_ERRORS="${FRAMEPRESS_WERROR:-OFF}" >/dev/null
targets=(fuzz_frame_reader fuzz_base64 fuzz_mencoder_arguments)
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"
seeds=(engine/tests/fuzz/corpus "" encoder/tests/fuzz/corpus)
for i in "${!targets[@]}"; do
    t=${targets[$i]}
    found=build-fuzz/found/$t
    mkdir -p "$found"
    echo "fuzzing $t for ${seconds}s"
    (cd build-fuzz && ./bin/"$t" -max_total_time="$seconds" -max_len=20000 -print_final_stats=1 \
        "../$found" ${seeds[$i]:+"../${seeds[$i]}"})
done
