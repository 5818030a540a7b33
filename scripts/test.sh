#!/usr/bin/env bash
# Installs what is missing, builds everything under AddressSanitizer and
# UndefinedBehaviorSanitizer (clang) and runs every test; the threaded
# components run once more in a ThreadSanitizer build, and the whole suite once
# more in an optimised GCC build (Debian's default compiler). Warnings are
# errors in all three. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

# ThreadSanitizer: the asynchronous file writer, fatal messages posted from
# other threads, hooks registered from several threads, the threads subsystem
# (mutexes, threads, event loops, timers), and transceivers on several threads.
tsan=${KV_TSAN_BUILD_DIR:-build/tsan}
cmake -S . -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
      -DKV_WERROR=ON -DKV_TSAN=ON -DKV_BUILD_FUZZ=OFF -DKV_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
cmake --build "$tsan" --parallel "$jobs" --target kvtest_streams kvtest_threads kvtest_hooks kvtest_ipc
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp \
  "$tsan/tests/kvtest_streams" --gtest_filter='AsyncFileBufferTest.*:WriteBlockPoolTest.*:SharedBlockWriteTest.*:MessageHandlerTest.Fatal*'
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp \
  "$tsan/tests/kvtest_hooks" --gtest_filter='AutoFuncTest.Concurrent*'
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp "$tsan/tests/kvtest_threads"
# Transceivers of several threads, and the children the spawn functions leave.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp \
  "$tsan/tests/kvtest_ipc" --gtest_filter='DataMessageTranceiverTest.Threads*:ProcessTest.Unwaited*'

build=${KV_TEST_BUILD_DIR:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_COMPILER=clang++ -DKV_WERROR=ON -DKV_SANITIZE=ON \
      -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
cmake --build "$build" --parallel "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" --output-on-failure --parallel "$jobs" --timeout 600

# GCC, optimised, no sanitizers: what a packager or a consumer's build gets.
gcc=${KV_GCC_BUILD_DIR:-build/gcc}
cmake -S . -B "$gcc" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ -DKV_WERROR=ON
cmake --build "$gcc" --parallel "$jobs"
ctest --test-dir "$gcc" --output-on-failure --parallel "$jobs" --timeout 600
