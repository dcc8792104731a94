#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), builds everything and runs every test twice over:
#   build/           optimised, with the windows: every test;
#   build-sanitize/  Debug with AddressSanitizer and UndefinedBehaviorSanitizer: the core, platform and
#                    archiver tests (no windows), so memory faults and undefined behaviour fail a test
#                    instead of passing unseen. Its tests run as a few processes per program.
# Both compile their sources in batches. The benchmarks are not tests and are built on demand (README).
# Both runs happen even when the first fails; the script fails when either does.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVASK_BUILD_TESTS=ON -DVASK_BUILD_BENCH=OFF \
      -DVASK_UNITY_BUILD=ON -DVASK_TEST_SHARDS=OFF
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVASK_SANITIZE=ON -DVASK_BUILD_GUI=OFF \
      -DVASK_BUILD_TESTS=ON -DVASK_BUILD_BENCH=OFF -DVASK_UNITY_BUILD=ON -DVASK_TEST_SHARDS=ON
cmake --build build

# The optimised tests wait mostly on files, processes and strace, so they run while the sanitizer tree
# compiles; its compiler output goes to a file, shown after the tests (whole when it failed or warned).
sanitize_log=build-sanitize/build-output.log
cmake --build build-sanitize >"$sanitize_log" 2>&1 &
sanitize_build=$!

failed=()
echo "==== Tests, optimised build"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j2) || failed+=(optimised)
echo "==== Build, Debug with AddressSanitizer and UndefinedBehaviorSanitizer"
if ! wait "$sanitize_build"; then
  cat "$sanitize_log"
  echo "The sanitizer build failed." >&2
  exit 1
fi
# Warnings are shown as the optimised build shows them; the last lines say the build is complete.
if grep -q "warning:" "$sanitize_log"; then cat "$sanitize_log"; else tail -n 2 "$sanitize_log"; fi
echo "==== Tests, Debug build with AddressSanitizer and UndefinedBehaviorSanitizer"
(cd build-sanitize && UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure --timeout 600 -j2) ||
  failed+=(sanitizer)
if [ ${#failed[@]} -gt 0 ]; then
  echo "Tests failed in: ${failed[*]}" >&2
  exit 1
fi
echo "All tests passed in both builds."
