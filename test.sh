#!/usr/bin/env bash
# Installs what is missing, builds the test configuration (AddressSanitizer and
# UndefinedBehaviorSanitizer, into build-test/) and runs every test. Tests that need a
# display get a virtual X server when there is none.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=$root/build-test

"$root/tools/install-deps.sh" test || exit 1

# The house rules first: they take a second and name the place at once.
lint_status=0
"$root/tools/lint.sh" "$root" || lint_status=1

# The fuzz targets need clang's libFuzzer, so they have a build folder of their own.
fuzz=$root/build-fuzz
cmake -S "$root" -B "$fuzz" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DRUVELLO_FUZZ=ON >/dev/null || exit 1
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DRUVELLO_SANITIZE=ON \
    -DRUVELLO_TESTS=ON -DRUVELLO_BENCH=ON -DRUVELLO_FUZZ_BUILD="$fuzz" >/dev/null || exit 1
echo "Building the tests..."
for dir in "$fuzz" "$build"; do
    cmake --build "$dir" -j "$(nproc)" >"$dir/build.log" 2>&1 || {
        cat "$dir/build.log"
        echo "test.sh: the build in $dir failed" >&2
        exit 1
    }
done

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    # Made for this run only, so it goes with it.
    XDG_RUNTIME_DIR=$(mktemp -d)
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
export XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR" 2>/dev/null || true
log=$build/ctest.log
cd "$build" || exit 1
ctest_command=(ctest --output-on-failure -j "$(nproc)")
if [ -z "${DISPLAY:-}" ]; then
    ctest_command=(xvfb-run -a -s "-screen 0 1920x1080x24" "${ctest_command[@]}")
fi
"${ctest_command[@]}" 2>&1 | tee "$log"
status=${PIPESTATUS[0]}

# A GL test that could not get a context fails by itself; this also catches one that
# a framework counted as skipped.
if grep -q 'RUVELLO-GL-CONTEXT-UNAVAILABLE' "$log"; then
    echo "test.sh: a GL test ran without an OpenGL context" >&2
    status=1
fi

# The background loader once more under ThreadSanitizer, which excludes the sanitizers
# above and so has a build folder of its own holding only the loader and its tests.
tsan=$root/build-tsan
echo "Building and running the loader tests under ThreadSanitizer..."
if cmake -S "$root" -B "$tsan" -DCMAKE_BUILD_TYPE=Debug -DRUVELLO_TSAN=ON >/dev/null &&
    cmake --build "$tsan" -j "$(nproc)" >"$tsan/build.log" 2>&1; then
    (cd "$tsan" && ctest --output-on-failure -j "$(nproc)") || {
        echo "test.sh: the loader tests failed under ThreadSanitizer" >&2
        status=1
    }
else
    cat "$tsan/build.log" 2>/dev/null
    echo "test.sh: the ThreadSanitizer build in $tsan failed" >&2
    status=1
fi
if [ "$lint_status" -ne 0 ]; then
    echo "test.sh: the lint step failed (see its lines at the top)" >&2
    status=1
fi
exit "$status"
