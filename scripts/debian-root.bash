# Sourced by check-deb and check-fresh: a bare Debian root (debootstrap --variant=minbase) made
# once from the archive this machine's apt already uses, and a fresh copy of it for every check,
# ready for chroot. Needs root and debootstrap.

debroot_suite=${TALLYLEAF_DEB_SUITE:-bookworm}
debroot_cache=${TALLYLEAF_DEBROOT:-/var/tmp/tallyleaf-debroot}
debroot_mounts=()

# "URI SUITE COMPONENT..." for the suite, its -updates and its -security, as apt itself reads this
# machine's sources (one-line .list and deb822 .sources alike). Other archives are left out: a
# fresh root has no keys for them.
debroot_sources() {
  apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' \
      'Created-By: Packages' \
    | awk -v s="$debroot_suite" '$2 == s || $2 == s "-updates" || $2 == s "-security"' | sort -u \
    | awk '{ key = $1 " " $2; if (!(key in comps)) order[n++] = key; comps[key] = comps[key] " " $3 }
           END { for (i = 0; i < n; i++) print order[i] comps[order[i]] }'
}

debroot_make_cache() {
  [[ -d "$debroot_cache" ]] && return 0
  # Two checks started together make it once.
  local lock rc=0
  exec {lock}>"$debroot_cache.lock"
  flock "$lock"
  [[ -d "$debroot_cache" ]] || debroot_bootstrap || rc=$?
  exec {lock}>&-
  return "$rc"
}

debroot_bootstrap() {
  local mirror log
  mirror=$(debroot_sources | awk -v s="$debroot_suite" '$2 == s { print $1; exit }')
  [[ -n "$mirror" ]] || { echo "apt on this machine has no source for $debroot_suite" >&2; return 1; }
  echo "== debootstrap $debroot_suite into $debroot_cache (once; several minutes)"
  rm -rf "$debroot_cache.partial"
  log=$(mktemp)
  if ! debootstrap --variant=minbase "$debroot_suite" "$debroot_cache.partial" "$mirror" >"$log" 2>&1; then
    tail -20 "$log" >&2; rm -f "$log"; echo "debootstrap failed" >&2; return 1
  fi
  rm -f "$log"
  mv "$debroot_cache.partial" "$debroot_cache"
}

# mount OPTIONS... TARGET, remembered so that debroot_release can undo it.
debroot_mount() {
  mount "$@" && debroot_mounts+=("${!#}")
}

# Copies the cached root to $1 and makes it usable: apt sources and name servers from this
# machine, /proc, a pty and shared-memory file system, the usual device nodes and /tmp.
debroot_fresh() {
  local root=$1 uri suite comps dev major minor
  debroot_make_cache || return 1
  cp -a "$debroot_cache" "$root"
  debroot_sources | while read -r uri suite comps; do echo "deb $uri $suite $comps"; done \
    >"$root/etc/apt/sources.list"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  install -d -m 1777 "$root/tmp"
  for dev in null:1:3 zero:1:5 full:1:7 random:1:8 urandom:1:9 tty:5:0; do
    IFS=: read -r dev major minor <<<"$dev"
    [[ -c "$root/dev/$dev" ]] || { rm -f "$root/dev/$dev"; mknod -m 0666 "$root/dev/$dev" c "$major" "$minor"; }
  done
  install -d "$root/dev/pts" "$root/dev/shm"
  debroot_mount -t proc proc "$root/proc"
  debroot_mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
  ln -sfn pts/ptmx "$root/dev/ptmx"
  debroot_mount -t tmpfs -o mode=1777,nosuid,nodev shm "$root/dev/shm"
}

# Unmounts everything mounted by debroot_mount (innermost first), then removes $1 unless something
# is still mounted below it: never delete through a live mount.
debroot_release() {
  local dir=$1 i m
  for ((i = ${#debroot_mounts[@]} - 1; i >= 0; i--)); do
    m=${debroot_mounts[i]}
    if mountpoint -q "$m" 2>/dev/null; then umount "$m" 2>/dev/null || umount -l "$m"; fi
  done
  debroot_mounts=()
  [[ -e "$dir" ]] || return 0
  if grep -q " $dir/" /proc/mounts; then echo "left $dir (still mounted)" >&2; return 1; fi
  rm -rf "$dir"
}
