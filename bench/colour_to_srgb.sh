#!/usr/bin/env bash
# Processor time of converting a 960 x 720 tagged picture to sRGB (the colour step of a tagged
# picture in an image run), for a few common profiles, against LittleCMS's own 8-bit transform
# of the same pixels. Usage: bench/colour_to_srgb.sh [rounds] (default 30). Not a test.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target colour_bench >/dev/null
echo "load $(cut -d' ' -f1 /proc/loadavg), $(nproc) cores"
build/bin/colour_bench "${1:-30}"
