#!/usr/bin/env bash
# The real-kernel stage: builds the static test program (tests/realkernel), boots Debian's
# own kernel under qemu with vivid, i2c-stub and i2c-dev loaded, runs the program as the
# guest's only job and exits with its status. Says "skipped: <reason>" and exits 0 when
# the machine cannot run the guest (no qemu, no kernel package, qemu refusing to start).
# Arguments go to the test program, e.g. --gtest_filter='VividSensor.*'.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$here/common.sh"
jobs=${JOBS:-$(nproc)}
build=${TELMORA_REALKERNEL_BUILD:-$root/build/realkernel}

skip() { echo "realkernel: skipped: $*"; exit 0; }
now() { echo "${EPOCHREALTIME/./}"; }
took() { local us=$(($(now) - $1)); printf '%d.%d s' $((us / 1000000)) $((us / 100000 % 10)); }

t0=$(now)
ensure_debian_packages qemu-system-x86_64 qemu-system-x86 cpio cpio depmod kmod xz xz-utils ||
  skip "qemu-system-x86, cpio, kmod or xz-utils missing and not installable"
if ! dpkg -s busybox-static >/dev/null 2>&1; then
  ensure_debian_packages busybox-static-is-missing busybox-static || skip "busybox-static not installable"
fi

t=$(now)
kernel=$("$here/prepare-kernel.sh") || skip "no Debian kernel package could be fetched or found in the cache"
echo "realkernel: kernel $(cat "$kernel/version") from $kernel ($(took "$t"))"

t=$(now)
cmake -S "$root/tests/realkernel" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null 2>&1 ||
  cmake -S "$root/tests/realkernel" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
if ! cmake --build "$build" -j "$jobs" > "$build/build.log" 2>&1; then
  cat "$build/build.log"
  echo "realkernel: the test program did not build"
  exit 1
fi
echo "realkernel: test program built ($(took "$t"))"

t=$(now)
set +e
"$here/boot.sh" "$kernel" "$build/realkernel_tests" --gtest_color=no "$@" 2> "$build/boot.err"
rc=$?
set -e
case $rc in
  125) skip "$(head -c 300 "$build/boot.err")" ;;
  0) echo "realkernel: passed (guest run $(took "$t"), stage $(took "$t0"))" ;;
  *) cat "$build/boot.err" >&2
     echo "realkernel: FAILED with status $rc (guest run $(took "$t"))" ;;
esac
exit $rc
