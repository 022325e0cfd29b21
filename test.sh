#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
# FAT through FUSE, for outputs on a file system without hard links.
FP_TEST_PACKAGES="dosfstools fusefat"
source "$(dirname "$0")/tools/setup.sh"
ctest --test-dir build --output-on-failure -j"$(nproc)" "$@"
