#!/usr/bin/env bash
# Boots the cached Debian kernel under qemu with an initramfs holding busybox, the test
# driver modules and one static test program, and exits with the program's exit status.
#   boot.sh KERNEL_DIR PROGRAM [ARGS...]
# Exit status 125 means qemu itself could not run (the caller reports the stage skipped).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
kdir=$1 program=$2; shift 2
# The test program's own limit inside the guest, and the whole guest's on the host.
program_timeout_s=${TELMORA_REALKERNEL_PROGRAM_TIMEOUT:-180}
timeout_s=$((program_timeout_s + 120))

# The initramfs has no C library: busybox must be the static build.
busybox=/bin/busybox
if [ ! -x "$busybox" ] || ldd "$busybox" >/dev/null 2>&1; then
  echo "qemu could not run: no static busybox (Debian package busybox-static)" >&2
  exit 125
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
mkdir -p "$root"/{bin,dev,proc,sys,lib/modules,tmp}
cp "$busybox" "$root/bin/busybox"
cp "$kdir"/modules/*.ko "$kdir/modules.load" "$root/lib/modules/"
cp "$here/init" "$root/init"
cp "$program" "$root/test"
chmod 755 "$root/init" "$root/test"
printf '%s ' "$@" > "$root/test.args"
echo "$program_timeout_s" > "$root/test.timeout"
(cd "$root" && find . | cpio -o -H newc --quiet) > "$work/initramfs.cpio"

log=$work/console.log
set +e
timeout "$timeout_s" qemu-system-x86_64 -nodefaults -no-user-config -machine q35 -cpu max \
  -m 512M -smp 1 -display none -serial stdio -no-reboot \
  -kernel "$kdir/vmlinux" -initrd "$work/initramfs.cpio" \
  -append "console=ttyS0 quiet panic=-1 loglevel=3" </dev/null 2>"$work/qemu.err" |
  tr -d '\r' | tee "$log"
qemu_rc=${PIPESTATUS[0]}
set -e

rc=$(sed -n 's/^telmora-realkernel-exit=\([0-9]*\)$/\1/p' "$log" | tail -1)
if [ -n "$rc" ]; then exit "$rc"; fi
if [ ! -s "$log" ] && [ "$qemu_rc" -ne 124 ]; then
  # Nothing came out of the guest: qemu could not start it.
  echo "qemu could not run: $(head -c 300 "$work/qemu.err")" >&2
  exit 125
fi
[ "$qemu_rc" -eq 124 ] && echo "the guest did not finish within ${timeout_s}s" >&2
echo "the guest ended without reporting the test program's status" >&2
exit 1
