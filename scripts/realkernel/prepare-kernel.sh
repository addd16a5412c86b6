#!/usr/bin/env bash
# Fetches Debian's current amd64 kernel package, unpacks it and keeps, in the cache, what a
# test boot needs: the uncompressed kernel (qemu starts it directly, without the BIOS
# decompressor) and the test driver modules with their dependencies, in load order.
# Prints the directory holding vmlinux, modules/*.ko and modules.load.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/common.sh"

# The drivers the real-kernel tests talk to: vivid (capture node), i2c-stub (an SMBus
# adapter with a chip), i2c-dev (its character device).
MODULES=(vivid i2c-stub i2c-dev)

cache=$(realkernel_cache_dir)
newest_ready() { ls -1d "$cache"/kernel/*/ready 2>/dev/null | sort -V | tail -1 | xargs -r dirname; }

pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}' || true)
if [ -z "$pkg" ] && [ "$(id -u)" -eq 0 ]; then
  apt-get update -qq >/dev/null 2>&1 || true
  pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}' || true)
fi
if [ -z "$pkg" ]; then
  dir=$(newest_ready)
  [ -n "$dir" ] || { echo "no kernel package known to apt and none cached" >&2; exit 1; }
  echo "$dir"; exit 0
fi

dir=$cache/kernel/$pkg
if [ -f "$dir/ready" ]; then echo "$dir"; exit 0; fi

work=$(mktemp -d "$cache/unpack.XXXXXX")
trap 'rm -rf "$work"' EXIT
# apt's sandbox user cannot write to a root-owned cache: download as the caller.
if ! (cd "$work" && apt-get -o APT::Sandbox::User=root download "$pkg" >/dev/null 2>&1); then
  dir=$(newest_ready)
  [ -n "$dir" ] || { echo "cannot download $pkg and no kernel cached" >&2; exit 1; }
  echo "$dir"; exit 0
fi
deb=$(ls "$work"/*.deb)
echo "downloaded $(basename "$deb"): $(stat -c %s "$deb") bytes" >&2
dpkg-deb -x "$deb" "$work/tree"
rm -f "$deb"

vmlinuz=$(ls "$work"/tree/boot/vmlinuz-*)
version=${vmlinuz##*/vmlinuz-}

# The bzImage carries the kernel as one compressed payload after the set-up code: find it
# by its magic number and decompress until an ELF image comes out (trailing bytes after
# the payload make the decompressor complain, which is expected).
extract_vmlinux() {
  local magic tool off
  for pair in '\xfd7zXZ\x00:xz -dc' '\x1f\x8b\x08:gzip -dc' '\x28\xb5\x2f\xfd:zstd -dc'; do
    magic=${pair%%:*} tool=${pair#*:}
    command -v "${tool%% *}" >/dev/null 2>&1 || continue
    for off in $(LC_ALL=C grep -obUaP "$magic" "$vmlinuz" | cut -d: -f1); do
      tail -c +$((off + 1)) "$vmlinuz" | $tool > "$1" 2>/dev/null || true
      if [ "$(head -c 4 "$1" | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then return 0; fi
    done
  done
  return 1
}
mkdir -p "$work/out/modules"
extract_vmlinux "$work/out/vmlinux" || { echo "no kernel image found in $vmlinuz" >&2; exit 1; }

# The package ships no modules.dep: build it, then let modprobe list each driver's
# dependencies in load order.
depmod -b "$work/tree" "$version"
: > "$work/out/modules.load"
for m in "${MODULES[@]}"; do
  modprobe -d "$work/tree" -S "$version" --show-depends "$m" | awk '$1 == "insmod" {print $2}' |
  while read -r ko; do
    name=$(basename "$ko")
    grep -qx "$name" "$work/out/modules.load" && continue
    cp "$ko" "$work/out/modules/"
    echo "$name" >> "$work/out/modules.load"
  done
done
echo "$version" > "$work/out/version"

rm -rf "$dir"
mkdir -p "$cache/kernel"
mv "$work/out" "$dir"
touch "$dir/ready"
# Older kernels are of no further use once a newer one is ready.
for old in "$cache"/kernel/*; do [ "$old" = "$dir" ] || rm -rf "$old"; done
echo "$dir"
