#!/usr/bin/env bash
# Release check: the README's two commands on a bare Debian bookworm.
#
#   tests/bare-machine/run.sh [--keep] [DIR]
#
# Builds a minimal system (debootstrap --variant=minbase) from the Debian mirror this
# machine's apt sources name, puts a clean copy of the repository's HEAD in it, and
# runs, as root in a chroot: the dependency install as a user without root or sudo
# (it must refuse and install nothing), the demo with no package source (it must stop
# with apt's error), then scripts/demo.sh and scripts/test-all.sh, each twice (a second
# run must install nothing). Prints each command's time.
# DIR (default: a new folder under /var/tmp) holds the system and the logs; --keep
# leaves the system in place. Needs root and access to the mirror; about 30 minutes.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(cd "$here/../.." && pwd)
release=bookworm

keep=false
if [ "${1:-}" = --keep ]; then
  keep=true
  shift
fi
[ $# -le 1 ] || { echo "usage: $0 [--keep] [DIR]" >&2; exit 2; }
if [ "$(id -u)" -ne 0 ]; then
  echo "bare-machine: debootstrap, mount and chroot need root" >&2
  exit 1
fi
"$top/scripts/install-deps.sh" release-check

# Prints the first mirror that the apt sources name for the release, from one-line
# (sources.list, *.list) or deb822 (*.sources) files.
debian_mirror() {
  local files=() file
  [ -f /etc/apt/sources.list ] && files+=(/etc/apt/sources.list)
  for file in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && files+=("$file")
  done
  [ ${#files[@]} -gt 0 ] || return 0
  awk -v release="$release" '
    function has(list, word,   n, i, items) {
      n = split(list, items, /[ \t]+/)
      for (i = 1; i <= n; i++) if (items[i] == word) return 1
      return 0
    }
    function stanza_end() {
      if (types_deb && enabled && has(suites, release) && uris != "") {
        split(uris, found, /[ \t]+/); print found[1]; printed = 1; exit
      }
      types_deb = 0; enabled = 1; suites = ""; uris = ""
    }
    BEGIN { enabled = 1 }
    FILENAME ~ /\.sources$/ {
      if (FNR == 1) stanza_end()
      if ($0 ~ /^[ \t]*$/) { stanza_end(); next }
      if ($0 ~ /^#/) next
      field = tolower($1); value = $0; sub(/^[^:]*:[ \t]*/, "", value)
      if (field == "types:") types_deb = has(value, "deb")
      else if (field == "uris:") uris = value
      else if (field == "suites:") suites = value
      else if (field == "enabled:") enabled = (tolower(value) != "no")
      next
    }
    FNR == 1 { stanza_end() }
    $1 == "deb" {
      line = $0; sub(/^deb[ \t]+/, "", line); sub(/^\[[^]]*\][ \t]*/, "", line)
      split(line, words, /[ \t]+/)
      if (words[2] == release) { print words[1]; printed = 1; exit }
    }
    END { if (!printed) stanza_end() }
  ' "${files[@]}"
}

mirror=$(debian_mirror)
if [ -z "$mirror" ]; then
  echo "bare-machine: no apt source on this machine names a mirror for $release" >&2
  exit 1
fi

work=${1:-$(mktemp -d /var/tmp/ze-bare-machine.XXXXXX)}
root="$work/root"
mkdir -p "$work"
mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -R "${mounted[i]}" || umount -lR "${mounted[i]}" || true
  done
  mounted=()
  # Only a system with nothing mounted in it may be removed.
  if ! $keep && [ -d "$root" ] && ! grep -qF " $root/" /proc/self/mounts; then
    rm -rf --one-file-system "$root"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "bare-machine: debootstrap --variant=minbase $release from $mirror into $root"
debootstrap --variant=minbase "$release" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
  { tail -20 "$work/debootstrap.log" >&2; exit 1; }

mount -t proc proc "$root/proc"
mounted+=("$root/proc")
# /dev with /dev/pts and /dev/shm (Wine's shared memory); as a slave, nothing mounted
# below it here reaches the host's /dev. Wine's server also needs a writable /tmp.
mount --rbind /dev "$root/dev"
mounted+=("$root/dev")
mount --make-rslave "$root/dev"
chmod 1777 "$root/tmp"

# Outside /root, so that the user without root rights can reach it too.
src=/srv/ZeRegionSvc
mkdir -p "$root$src"
git -C "$top" archive --format=tar HEAD | tar -x -C "$root$src"
echo "bare-machine: copied $(git -C "$top" rev-parse --short HEAD) to $src"

# Runs a command line in the system's login environment; the output goes to a log.
in_system() {
  local user=$1 log=$2 command=$3
  chroot --userspec="$user" "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd $src && $command" >"$work/$log" 2>&1
}

failures=0
fail() {
  echo "bare-machine: FAIL: $*" >&2
  failures=$((failures + 1))
}

# Without root and without sudo (minbase has none) the install must refuse.
chmod -R a+rX "$root$src"
if in_system nobody:nogroup no-root.log "scripts/install-deps.sh demo"; then
  fail "install-deps.sh ran without root or sudo (no-root.log)"
elif ! grep -q "needs root" "$work/no-root.log"; then
  fail "install-deps.sh without root gave no clear message (no-root.log)"
elif chroot "$root" dpkg-query -W cmake >/dev/null 2>&1; then
  fail "install-deps.sh without root installed something"
fi

# A package apt cannot install (here: apt has no package source at all) stops the demo
# with apt's error, before any build step, and installs nothing.
no_sources=/tmp/no-sources
mkdir -p "$root$no_sources/lists/partial" "$root$no_sources/parts"
: >"$root$no_sources/list"
printf 'Dir::Etc::sourcelist "%s";\nDir::Etc::sourceparts "%s";\nDir::State::lists "%s";\n' \
  "$no_sources/list" "$no_sources/parts" "$no_sources/lists" >"$root$no_sources/apt.conf"
if in_system root no-source.log "APT_CONFIG=$no_sources/apt.conf scripts/demo.sh"; then
  fail "the demo went on although apt could not install its packages (no-source.log)"
elif ! grep -q "^E: Unable to locate package" "$work/no-source.log" ||
     ! grep -q "^install-deps: apt-get failed" "$work/no-source.log"; then
  fail "the demo did not stop with apt's error (no-source.log)"
elif grep -q "command not found" "$work/no-source.log" ||
     chroot "$root" dpkg-query -W cmake >/dev/null 2>&1; then
  fail "the demo went on to build, or installed something (no-source.log)"
fi
rm -r "$root$no_sources"

times=()
# Runs one README command, timed, and checks that it succeeded.
timed() {
  local name=$1 log=$2 run=$3 started=$EPOCHREALTIME took
  echo "bare-machine: $name ($run run) ..."
  if ! in_system root "$log" "$name"; then
    fail "$name failed; the end of $work/$log:"
    tail -30 "$work/$log" >&2
  fi
  took=$(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { s = b - a
    if (s < 60) printf "%.1f s", s; else printf "%d min %02d s", s / 60, s % 60 }')
  times+=("$(printf '%-20s %-6s run: %s' "$name" "$run" "$took")")
}

timed scripts/demo.sh demo-1.log first
grep -q "^== exit code: 0$" "$work/demo-1.log" || fail "the demo's reset did not exit 0"
timed scripts/demo.sh demo-2.log second
timed scripts/test-all.sh test-all-1.log first
timed scripts/test-all.sh test-all-2.log second
for log in demo-2.log test-all-2.log; do
  ! grep -q "install-deps: installing" "$work/$log" || fail "a second run installed packages ($log)"
done

echo "bare-machine: times on $(nproc) cores, load $(cut -d" " -f1-3 /proc/loadavg) (logs in $work):"
printf '  %s\n' "${times[@]}"
if [ $failures -gt 0 ]; then
  echo "bare-machine: $failures check(s) failed"
  exit 1
fi
echo "bare-machine: both commands work on a bare $release"
