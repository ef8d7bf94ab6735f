#!/usr/bin/env bash
# Builds the native suite with clang under a sanitizer and runs it.
#   scripts/sanitize.sh [address|thread] [build folder]
# address (default): AddressSanitizer with LeakSanitizer, and
#   UndefinedBehaviorSanitizer; any report fails the run.
# thread: ThreadSanitizer, for code that starts threads.
set -euo pipefail
cd "$(dirname "$0")/.."
mode="${1:-address}"
case "$mode" in
  address) flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
           dir="${2:-build/asan}" ;;
  thread)  flags="-fsanitize=thread"
           dir="${2:-build/tsan}" ;;
  *) echo "sanitize: unknown mode $mode (address or thread)" >&2; exit 2 ;;
esac
flags="$flags -fno-omit-frame-pointer"
jobs="${JOBS:-$(nproc)}"

mkdir -p "$dir"
if ! { CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
         -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
         -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" &&
       cmake --build "$dir" -j "$jobs"; } >"$dir/build.log" 2>&1; then
  cat "$dir/build.log" >&2
  exit 1
fi
# Warnings count as failures here too: the tree builds clean with clang.
if grep -q "warning:" "$dir/build.log"; then
  grep "warning:" "$dir/build.log" >&2
  exit 1
fi

# Reports end the test that caused them with a failure.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
# The sanitizers' dlopen interceptor hides the program's own run path, by
# which the zip engine is found beside the tests.
export LD_LIBRARY_PATH="$PWD/$dir/bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
(cd "$dir" && ctest --output-on-failure -j "$jobs")
echo "sanitize: the suite is clean under $mode"
