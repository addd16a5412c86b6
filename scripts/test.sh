#!/usr/bin/env bash
# Builds and runs every test: the native GoogleTest suites and the Python suite.
# Installs what it needs (Debian packages, Python packages) when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

need_pkgs=()
dpkg -s libgtest-dev >/dev/null 2>&1 || need_pkgs+=(libgtest-dev)
command -v cmake >/dev/null 2>&1 || need_pkgs+=(cmake)
if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "== installing ${need_pkgs[*]}"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need_pkgs[@]}" >/dev/null
fi

echo "== native build"
cmake -S . -B build/test -G Ninja -DTELMORA_BUILD_TESTS=ON >/dev/null 2>&1 \
  || cmake -S . -B build/test -DTELMORA_BUILD_TESTS=ON
cmake --build build/test -j "$JOBS"
echo "== native tests"
ctest --test-dir build/test --output-on-failure -j "$JOBS"
echo "== Python package (pip install .) and Python tests"
python3 -m pip install -q --disable-pip-version-check --root-user-action=ignore ".[test]"
python3 -m pytest -q tests/python
# Sanitizer stages. UBSan stops at its first report so that it fails the stage.
ubsan_options="halt_on_error=1:print_stacktrace=1"
echo "== AddressSanitizer + UndefinedBehaviorSanitizer: native suite"
# One instrumented build serves the native suite and the Python extension, built against
# the binding layer's 2.x line as pip builds it (the interpreter may carry another).
python3 -m pip install -q --disable-pip-version-check --root-user-action=ignore --upgrade \
  --target build/pybind11-2 "pybind11>=2.12,<3"
asan_cfg=(-DTELMORA_BUILD_TESTS=ON -DTELMORA_BUILD_PYTHON=ON -DTELMORA_SANITIZE=address,undefined)
PYTHONPATH="$ROOT/build/pybind11-2" cmake -S . -B build/asan -G Ninja "${asan_cfg[@]}" >/dev/null 2>&1 \
  || PYTHONPATH="$ROOT/build/pybind11-2" cmake -S . -B build/asan "${asan_cfg[@]}"
cmake --build build/asan -j "$JOBS"
cp python/TelmoraDepthCamera.pyi build/asan/python/
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS=$ubsan_options ctest --test-dir build/asan --output-on-failure -j "$JOBS"
echo "== AddressSanitizer + UndefinedBehaviorSanitizer: Python suite over the instrumented extension"
# The interpreter is not instrumented: the ASan runtime has to come first (with the C++
# runtime, whose throw it intercepts), and the interpreter's own allocations are not
# leak-checked.
asan_preload="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libstdc++.so)"
PYTHONPATH="$ROOT/build/asan/python" LD_PRELOAD="$asan_preload" ASAN_OPTIONS=detect_leaks=0 \
  UBSAN_OPTIONS=$ubsan_options TELMORA_SOAK_SECONDS=${TELMORA_SOAK_SECONDS:-10} python3 -m pytest -q -p no:cacheprovider tests/python
echo "== ThreadSanitizer: every suite that streams"
tsan_suites=()
for dir in tests/native/*/; do
  suite=$(basename "$dir")
  # Suites without a capture thread or other threads of their own.
  case " frame types scene kernel kernel_media i2c si4c hqvga support " in *" $suite "*) continue ;; esac
  compgen -G "$dir*.cpp" >/dev/null && tsan_suites+=("$suite")
done
cmake -S . -B build/tsan -G Ninja -DTELMORA_BUILD_TESTS=ON -DTELMORA_SANITIZE=thread >/dev/null 2>&1 \
  || cmake -S . -B build/tsan -DTELMORA_BUILD_TESTS=ON -DTELMORA_SANITIZE=thread
cmake --build build/tsan -j "$JOBS" --target "${tsan_suites[@]/#/test_}"
TSAN_OPTIONS="halt_on_error=1 exitcode=66" TELMORA_SOAK_CYCLES=${TELMORA_SOAK_CYCLES:-200} \
  ctest --test-dir build/tsan --output-on-failure -j "$JOBS" -R "^($(IFS='|'; echo "${tsan_suites[*]}"))\$"
echo "== fuzz targets: a short run each"
bash scripts/fuzz.sh "${FUZZ_RUNS:-20000}"
echo "== real-kernel tests (Debian's kernel under qemu: vivid, i2c-stub, i2c-dev)"
bash scripts/realkernel/run.sh
echo "== aarch64: native suite cross-built and run under qemu-aarch64"
bash scripts/aarch64/run.sh
