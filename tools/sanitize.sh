#!/usr/bin/env bash
# Builds the engine, engine-link, encode and image tests with -fsanitize=address,undefined in
# build-sanitize/ and runs them. Any finding of either sanitizer, in a test or in an engine it
# starts, fails the run: each one is written to build-sanitize/findings/ and counted at the end.
# Needs the packages tools/setup.sh installs (./test.sh or ./run.sh once).
# Usage: bash tools/sanitize.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

dir=build-sanitize
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFP_WARNINGS_AS_ERRORS="${FRAMEPRESS_WERROR:-OFF}" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null

tests=(tst_mencoder_args tst_mencoder_convert tst_mencoder_pipe tst_mencoder_app tst_mencoder_complete tst_mencoder_colour
       tst_frame_reader tst_pipe_channel tst_engine_process
       tst_encoder_args_builder tst_job_preparation tst_settings_store
       tst_image_job tst_image_run tst_image_intake tst_image_budget)
# Only what those tests need: the engine and the test engines they start.
cmake --build "$dir" -j"$(nproc)" --target mencoder fp_test_engine "${tests[@]}"

findings="$PWD/$dir/findings"
rm -rf "$findings" && mkdir -p "$findings"
export ASAN_OPTIONS="log_path=$findings/asan:detect_leaks=1:abort_on_error=0"
export UBSAN_OPTIONS="log_path=$findings/ubsan:print_stacktrace=1:halt_on_error=1"
# Leaks inside the system's own libraries (fontconfig, glib) are not ours to fix.
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp"
pattern="^($(IFS='|'; echo "${tests[*]}"))\$"
status=0
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" -R "$pattern" "$@" || status=$?
# An engine killed while its exit-time leak check runs (a stop's kill after the grace, which the
# slower sanitized exit can outlast) leaves an empty log, or LSan's "Unable to get registers" and
# nothing else: no check was made, so nothing was found.
for f in "$findings"/*; do
    [ -e "$f" ] && ! grep -qv "Unable to get registers from thread" "$f" && rm -f "$f"
done
if compgen -G "$findings/*" >/dev/null; then
    echo "sanitizer findings:"
    cat "$findings"/*
    exit 1
fi
exit $status
