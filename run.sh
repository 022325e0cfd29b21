#!/usr/bin/env bash
# Installs what is missing, builds, and starts Framepress.
set -euo pipefail
# Only what a user runs: the window, the command line and the engine (res/ comes with them).
FP_BUILD_TARGETS="framepress framepress-cli mencoder"
source "$(dirname "$0")/tools/setup.sh"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Framepress on a virtual display (xvfb-run)."
    exec xvfb-run -a build/bin/framepress "$@"
fi
exec build/bin/framepress "$@"
