# Sourced by run.sh and test.sh: installs the missing Debian packages, then configures and
# builds into build/ with every core: what FP_BUILD_TARGETS names, else everything.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libpng-dev zlib1g-dev
    libavformat-dev libavcodec-dev libavfilter-dev libavutil-dev libswscale-dev libswresample-dev
    libmediainfo0v5
    ffmpeg xvfb xauth fonts-dejavu-core
    openbox libxcb1-dev
    imagemagick liblcms2-dev liblcms2-utils colord-data icc-profiles-free
    time
    dbus-daemon dbus-bin
    desktop-file-utils xdg-utils
)
# test.sh adds what only the tests use.
# shellcheck disable=SC2206
packages+=(${FP_TEST_PACKAGES:-})
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# FRAMEPRESS_WERROR=ON (CI) turns warnings into errors; said every time, so that a build folder
# once configured by CI does not keep it for ./run.sh.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFP_WARNINGS_AS_ERRORS="${FRAMEPRESS_WERROR:-OFF}"
# run.sh names the programs it needs (FP_BUILD_TARGETS), so that a first start does not wait for
# every test; test.sh builds everything.
if [ -n "${FP_BUILD_TARGETS:-}" ]; then
    # shellcheck disable=SC2086
    cmake --build build -j"$(nproc)" --target $FP_BUILD_TARGETS
else
    cmake --build build -j"$(nproc)"
fi
