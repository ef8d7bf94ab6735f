#!/usr/bin/env bash
# The native test suite under ThreadSanitizer, in a build folder of its own
# (default build/tsan). Any report of a data race fails the run.
#
# usage: scripts/tsan.sh [BUILD_DIR] [GTEST_FILTER]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/tsan}"
filter="${2:-*}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORBEL_SANITIZE=thread >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target quorbel_tests quorbel zipdll
supp="$PWD/scripts/tsan.supp"
# halt_on_error: the first race ends the suite with a failure. The suite
# runs in the folder of the built libraries, as ctest runs it.
cd "$build/bin"
# The sanitizer's dlopen interceptor hides the program's own run path, by
# which the zip engine is found beside it.
LD_LIBRARY_PATH="$PWD${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$supp ${TSAN_OPTIONS:-}" \
  ./quorbel_tests --gtest_filter="$filter" --gtest_brief=1
echo "tsan: the native suite passed under ThreadSanitizer"
