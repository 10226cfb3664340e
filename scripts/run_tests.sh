#!/usr/bin/env bash
# Installs what the tests need and runs every test: the core's C++ tests (optimised, then again
# under AddressSanitizer and UndefinedBehaviorSanitizer) and the Python tests against the
# installed module. Exits non-zero on the first failure.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
python="${PYTHON:-python3}"
jobs="${JOBS:-$(nproc)}"

step() { printf '\n==> %s\n' "$*"; }

generator=()
if command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi

step "Installing test dependencies"
if [ ! -f /usr/include/gtest/gtest.h ]; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq libgtest-dev
fi
"$python" -m pip install --quiet --disable-pip-version-check ".[test]"

step "C++ tests (Release)"
cmake -S . -B build/test-release "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DVYR_BUILD_EXTENSION=OFF -DVYR_BUILD_TESTS=ON -DVYR_WERROR=ON >/dev/null
cmake --build build/test-release -j "$jobs"
ctest --test-dir build/test-release --output-on-failure -j "$jobs"

step "C++ tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build/test-sanitize "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DVYR_BUILD_EXTENSION=OFF -DVYR_BUILD_TESTS=ON -DVYR_SANITIZE=ON -DVYR_WERROR=ON >/dev/null
cmake --build build/test-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/test-sanitize --output-on-failure -j "$jobs"

step "Python tests"
"$python" -m pytest -q extension/tests

step "All tests passed"
