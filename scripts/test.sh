#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test:
# the normal build (core, GUI offscreen, demo service, integration), then the
# core and integration tests under AddressSanitizer + UndefinedBehaviorSanitizer,
# then the threaded tests under ThreadSanitizer. Any failure or finding fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

JOBS=${JOBS:-$(nproc)}
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

run_suite() {  # build-dir, ctest arguments...
  local dir=$1; shift
  cmake --build "$dir" -j "$JOBS"
  ctest --test-dir "$dir" --output-on-failure --no-tests=error "$@"
}

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
run_suite build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQS_WITH_GUI=OFF \
  -DQS_SANITIZE=address,undefined >/dev/null
run_suite build-asan -L core

echo "== ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQS_WITH_GUI=OFF \
  -DQS_SANITIZE=thread >/dev/null
run_suite build-tsan -L threaded
