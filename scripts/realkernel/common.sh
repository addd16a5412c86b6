# Shared by the real-kernel scripts: where downloads and unpacked kernels are kept.
# The cache lives outside the clone so that CI machines that keep it skip the download.

realkernel_cache_dir() {
  local dir=${TELMORA_CACHE_DIR:-}
  if [ -z "$dir" ]; then
    if mkdir -p /var/cache/telmora-ci 2>/dev/null && [ -w /var/cache/telmora-ci ]; then
      dir=/var/cache/telmora-ci
    else
      dir=${XDG_CACHE_HOME:-$HOME/.cache}/telmora-ci
    fi
  fi
  mkdir -p "$dir" && echo "$dir"
}

# Installs the Debian packages named when their commands are missing. Returns non-zero when
# they cannot be installed (no apt, no root, no network).
ensure_debian_packages() {
  local missing=() cmd pkg
  while [ $# -gt 0 ]; do
    cmd=$1 pkg=$2; shift 2
    command -v "$cmd" >/dev/null 2>&1 || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  command -v apt-get >/dev/null 2>&1 || return 1
  [ "$(id -u)" -eq 0 ] || return 1
  echo "== installing ${missing[*]}" >&2
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
      --no-install-recommends "${missing[@]}"; } >/dev/null 2>&1
}
