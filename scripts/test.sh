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
echo "== ThreadSanitizer: camera streaming"
cmake -S . -B build/tsan -G Ninja -DTELMORA_BUILD_TESTS=ON -DTELMORA_SANITIZE=thread >/dev/null 2>&1 \
  || cmake -S . -B build/tsan -DTELMORA_BUILD_TESTS=ON -DTELMORA_SANITIZE=thread
cmake --build build/tsan -j "$JOBS" --target test_camera
mkdir -p build/tsan/work/camera
(cd build/tsan/work/camera && TSAN_OPTIONS="halt_on_error=1 exitcode=66" "$ROOT/build/tsan/tests/native/test_camera" \
  --gtest_brief=1 --gtest_filter='Streaming*:*StreamingStress*:Patterns/SkipCycle*:AutoFrameRate*:Lifecycle*:Destruction*:*CsiCamera*:UsbCamera*')
echo "== Python package (pip install .) and Python tests"
python3 -m pip install -q --disable-pip-version-check --root-user-action=ignore ".[test]"
python3 -m pytest -q tests/python
echo "== real-kernel tests (Debian's kernel under qemu: vivid, i2c-stub, i2c-dev)"
bash scripts/realkernel/run.sh
echo "== aarch64: native suite cross-built and run under qemu-aarch64"
bash scripts/aarch64/run.sh
