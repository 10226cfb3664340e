#!/usr/bin/env bash
# Installs what the tests need and runs every test: the core's C++ tests (optimised, then again
# under AddressSanitizer and UndefinedBehaviorSanitizer) and the Python tests against the
# installed module, then again against the module built with both sanitizers. Exits non-zero on
# the first failure.
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
# The same sanitized build also makes the module for the sanitized Python tests below.
cmake -S . -B build/test-sanitize "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DVYR_BUILD_EXTENSION=ON -DVYR_BUILD_TESTS=ON -DVYR_SANITIZE=ON -DVYR_WERROR=ON >/dev/null
cmake --build build/test-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/test-sanitize --output-on-failure -j "$jobs"

step "Python tests"
"$python" -m pytest -q extension/tests
# The benchmark helpers' own tests, apart: each folder's conftest is imported by name.
"$python" -m pytest -q -p no:cacheprovider bench/tests

step "Python tests against the module built with AddressSanitizer and UndefinedBehaviorSanitizer"
# The interpreter is not instrumented: the sanitizer runtime is preloaded into it, Python's own
# allocator is replaced by malloc so that every object lives in sanitized memory, and
# LeakSanitizer reports at exit whatever the module's code left allocated.
sanitized="$root/build/test-sanitize/extension"
# The interpreter itself, not a launcher script that would run with the runtime preloaded too.
interpreter="$("$python" -c "import sys; print(sys.executable)")"
sanitized_env=(
  "LD_PRELOAD=$(cat "$sanitized/sanitizer_preload")"
  "PYTHONMALLOC=malloc"
  "PYTHONPATH=$sanitized"
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1"
  "LSAN_OPTIONS=suppressions=$root/scripts/lsan_suppressions.txt:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
)
env "${sanitized_env[@]}" "$interpreter" -c '
import sys, vyr
sys.exit(0 if vyr.__file__.startswith(sys.argv[1]) else "not the sanitized module: " + vyr.__file__)
' "$sanitized"
# LeakSanitizer must see a leak made by the module's code: one instance given an extra reference.
leak_report="$(env "${sanitized_env[@]}" "$interpreter" -c '
import ctypes, vyr
ctypes.pythonapi.Py_IncRef(ctypes.py_object(vyr.DividendSchedule([])))
' 2>&1 || true)"
if ! grep -q "LeakSanitizer: detected memory leaks" <<<"$leak_report"; then
  printf '%s\n' "$leak_report" >&2
  echo "LeakSanitizer did not report a deliberately leaked instance" >&2
  exit 1
fi
# Left out: the tests of the installed package and of the examples, which run pip, compilers,
# mypy and worker processes (they must not run with the runtime preloaded, and test the wheel,
# not this build), and the resident-memory check, which the sanitizer's quarantine of freed
# memory defeats (LeakSanitizer covers it).
env "${sanitized_env[@]}" "$interpreter" -m pytest -q -p no:cacheprovider -p no:benchmark \
  extension/tests --ignore=extension/tests/test_packaging.py \
  --ignore=extension/tests/test_stubs.py --ignore=extension/tests/test_examples.py \
  --deselect=extension/tests/test_binding.py::test_memory_stays_flat

step "All tests passed"
