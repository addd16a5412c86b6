#!/usr/bin/env bash
# The aarch64 stage: cross-builds the core, the stand-ins (sim/) and the native test suite
# with Debian's aarch64-linux-gnu toolchain, GoogleTest built for aarch64 from Debian's
# googletest sources (cached outside the clone), and runs the suite under qemu-user.
# The tests see TELMORA_EMULATED=1 so that exhaustive checks can run a sample instead.
# Says "skipped: <reason>" and exits 0 when the toolchain or qemu-user cannot be had.
# Arguments go to ctest, e.g. -R csi.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/realkernel/common.sh"
jobs=${JOBS:-$(nproc)}
build=${TELMORA_AARCH64_BUILD:-$root/build/aarch64}
toolchain=$root/cmake/aarch64-linux-gnu.cmake
sysroot=/usr/aarch64-linux-gnu

skip() { echo "aarch64: skipped: $*"; exit 0; }
now() { echo "${EPOCHREALTIME/./}"; }
took() { local us=$(($(now) - $1)); printf '%d.%d s' $((us / 1000000)) $((us / 100000 % 10)); }
generator() { command -v ninja >/dev/null 2>&1 && echo -G Ninja; }

t0=$(now)
ensure_debian_packages aarch64-linux-gnu-g++ g++-aarch64-linux-gnu qemu-aarch64-static qemu-user-static ||
  skip "g++-aarch64-linux-gnu or qemu-user-static missing and not installable"
if [ ! -f /usr/src/googletest/CMakeLists.txt ]; then
  ensure_debian_packages googletest-sources-are-missing googletest || skip "googletest sources not installable"
fi
qemu=$(command -v qemu-aarch64-static)
"$qemu" -L "$sysroot" "$sysroot/lib/ld-linux-aarch64.so.1" --version >/dev/null 2>&1 ||
  skip "qemu-aarch64 cannot run aarch64 programs here"

# GoogleTest for the target, once per googletest version.
gtest_version=$(dpkg-query -W -f '${Version}' googletest 2>/dev/null || echo unknown)
gtest=$(realkernel_cache_dir)/aarch64/googletest-$gtest_version
if [ ! -f "$gtest/ready" ]; then
  t=$(now)
  rm -rf "$gtest" "$gtest.build"
  mkdir -p "$gtest.build"
  if ! { cmake -S /usr/src/googletest -B "$gtest.build" $(generator) -Wno-dev \
           -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
           -DCMAKE_INSTALL_PREFIX="$gtest" -DBUILD_GMOCK=OFF -DCMAKE_POLICY_VERSION_MINIMUM=3.5 &&
         cmake --build "$gtest.build" -j "$jobs" && cmake --install "$gtest.build"; } \
       > "$gtest.build.log" 2>&1; then
    cat "$gtest.build.log"
    echo "aarch64: GoogleTest did not build for aarch64"
    exit 1
  fi
  rm -rf "$gtest.build" "$gtest.build.log"
  touch "$gtest/ready"
  echo "aarch64: GoogleTest $gtest_version built for aarch64 ($(took "$t"))"
fi
gtest_dir=$(dirname "$(find "$gtest" -name GTestConfig.cmake | head -1)")

t=$(now)
cmake -S "$root" -B "$build" $(generator) -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTELMORA_BUILD_TESTS=ON -DTELMORA_BUILD_PYTHON=OFF \
  -DTELMORA_BUILD_BENCH=OFF -DGTest_DIR="$gtest_dir" >/dev/null
if ! cmake --build "$build" -j "$jobs" > "$build/build.log" 2>&1; then
  cat "$build/build.log"
  echo "aarch64: the cross-build failed"
  exit 1
fi
echo "aarch64: cross-built ($(took "$t"))"

t=$(now)
set +e
# Under qemu-user the process's resident size includes the emulator's own memory, which
# grows with every thread the program starts; the soak's memory bounds measure
# that rather than the library, so those cases run on the native build only.
# One emulated program at a time: camera tests bound their frame waits in wall-clock time,
# and two emulated programs sharing the cores miss those bounds for VGA-class depth.
# The camera-level tests that wait for VGA-class depth or bound a late caller's wait in
# wall-clock time depend on the emulator's speed and the machine's load, not on the
# target: they run on the native build only (the device- and library-level VGA suites run
# here).
test_jobs=${TELMORA_AARCH64_TEST_JOBS:-1}
wall_clock_bound='*VgaCamera*:*CameraOverCsi.*Vga:*CameraOverCsi.*Qvga:UsbCamera.LateCallerGetsTheOldestReadyFramesInOrder'
TELMORA_EMULATED=1 GTEST_FILTER="-*Soak.*KeepMemoryAndDescriptorsFlat*:$wall_clock_bound" \
  ctest --test-dir "$build" --output-on-failure -j "$test_jobs" "$@"
rc=$?
set -e
if [ $rc -eq 0 ]; then
  echo "aarch64: passed under $(basename "$qemu") (tests $(took "$t"), stage $(took "$t0"))"
else
  echo "aarch64: FAILED (tests $(took "$t"))"
fi
exit $rc
