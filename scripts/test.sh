#!/usr/bin/env bash
# Installs what is missing, builds Zelvo, and runs every test: once in a plain
# build and once with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build-essential cmake ninja-build libgtest-dev \
  nginx tinyproxy apache2-utils systemd git logrotate groff-base openssl

jobs=${ZELVO_TEST_JOBS:-4}
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
(cd build && ctest --output-on-failure -j "$jobs")

# The demo test builds and runs the plain program from a fresh clone; it ran
# above, so the sanitizer pass leaves it out.
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZELVO_SANITIZE=ON
cmake --build build-sanitize
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j "$jobs" -E '^Demo\.')
