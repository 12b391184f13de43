#!/usr/bin/env bash
# Installs the package in a fresh Debian system and uses it there: a chroot
# made with debootstrap from the Debian mirror that this machine's apt
# sources name (read from them, never written into the repository); the
# package installed with apt, which fetches what it depends on; then
# pixbridge-convert converts a photo, and the program starts (headless)
# until its start-up is complete.
#
# Not part of scripts/test.sh: it downloads a whole system (a few hundred
# MB). Needs root.
#   scripts/package-check.sh [RELEASE] [PACKAGE]
#     RELEASE  trixie (Debian 13, the default) or bookworm (Debian 12)
#     PACKAGE  the .deb to check; by default scripts/package.sh builds it
set -euo pipefail
cd "$(dirname "$0")/.."
release="${1:-trixie}"
deb="${2:-}"
photo="$(cd .. && pwd)/shared/photos/tifig_1_portrait.heic"
fail() { echo "package-check: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || fail "needs root (debootstrap, chroot)"
case "$release" in trixie|bookworm) ;; *) fail "RELEASE is trixie or bookworm, not $release" ;; esac
[ -f "$photo" ] || fail "no test photo at $photo"
if ! command -v debootstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null 2>&1
fi
if [ -z "$deb" ]; then
  deb=$(scripts/package.sh | tail -n 1)
fi
deb=$(readlink -f "$deb")
[ -f "$deb" ] || fail "no package at $deb"

# The Debian mirror of this machine, as scripts/install-deps.sh finds it.
mirror=""
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  mirror=$(awk '/^URIs:/ {print $2; exit}' "$f")
  if [ -n "$mirror" ] && ! echo "$mirror" | grep -q security; then break; fi
  mirror=""
done
if [ -z "$mirror" ] && [ -f /etc/apt/sources.list ]; then
  mirror=$(awk '$1=="deb" && $3 ~ /^bookworm$/ {print $2; exit}' /etc/apt/sources.list)
fi
[ -n "$mirror" ] || fail "cannot find the Debian mirror in the apt sources"

root=$(mktemp -d /var/tmp/pixbridge-check-XXXXXX)
# The system's root folder: apt's own user must be able to enter it.
chmod 755 "$root"
cleanup() {
  if mountpoint -q "$root/proc"; then umount "$root/proc" 2>/dev/null || umount -l "$root/proc"; fi
  # Never into a file system mounted inside.
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

echo "package-check: Debian $release from $mirror into $root"
debootstrap --variant=minbase "$release" "$root" "$mirror" >"$root.log" 2>&1 ||
  { tail -n 20 "$root.log"; rm -f "$root.log"; fail "debootstrap"; }
rm -f "$root.log"
mount -t proc proc "$root/proc"
echo "package-check: Debian $(cat "$root/etc/debian_version")"

cp "$deb" "$root/tmp/"
in_root apt-get update -qq
# apt says what it fetches and how much room the installation takes.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "/tmp/$(basename "$deb")" >"$root/tmp/apt.log" 2>&1 ||
  { cat "$root/tmp/apt.log"; fail "apt-get install failed on Debian $release"; }
grep -E "^(Need to get|After this operation|[0-9]+ upgraded)" "$root/tmp/apt.log" || true
grep -q "^Setting up quillmarsh-pix-bridge" "$root/tmp/apt.log" || fail "the package was not set up"

# A phone photo through the command-line converter.
cp "$photo" "$root/tmp/photo.heic"
in_root pixbridge-convert -o /tmp/out /tmp/photo.heic || fail "pixbridge-convert failed on Debian $release"
[ "$(head -c 3 "$root/tmp/out/photo.JPG" | od -An -tx1 | tr -d ' ')" = "ffd8ff" ] || fail "no JPEG came out"
echo "package-check: converted $(basename "$photo") to a JPEG of $(stat -c %s "$root/tmp/out/photo.JPG") bytes"

# The update's install helper, as pkexec would start it, with the real
# apt-get: a later version of the package is installed from the helper's own
# copy; a wrong SHA-256 installs nothing.
in_root sh -c 'dpkg-deb -R /tmp/'"$(basename "$deb")"' /tmp/later &&
  sed -i "s/^Version: .*/&+check1/" /tmp/later/DEBIAN/control &&
  dpkg-deb --root-owner-group -b /tmp/later /tmp/later.deb >/dev/null' || fail "cannot make a later package"
later_sha=$(sha256sum "$root/tmp/later.deb" | cut -d' ' -f1)
helper=/usr/lib/pixbridge/pixbridge-install-update
status=0
in_root "$helper" /tmp/later.deb "$(printf '0%.0s' $(seq 64))" >/dev/null 2>&1 || status=$?
[ "$status" = 3 ] || fail "the helper did not refuse a package of another SHA-256 (exit $status)"
in_root "$helper" /tmp/later.deb "$later_sha" >"$root/tmp/helper.log" 2>&1 ||
  { cat "$root/tmp/helper.log"; fail "the install helper failed on Debian $release"; }
version=$(in_root dpkg-query -W -f='${Version}' quillmarsh-pix-bridge)
[[ "$version" == *+check1 ]] || fail "the helper did not install the later package ($version)"
echo "package-check: the install helper installed version $version"

# The program, headless, until its start-up is complete.
in_root env QT_QPA_PLATFORM=offscreen TMPDIR=/tmp pixbridge >"$root/tmp/program.out" 2>&1 &
program=$!
log="$root/tmp/Quillmarsh/$(date +%Y%m%d)/pixbridge.INFO"
for _ in $(seq 1 300); do
  grep -qs "start-up complete" "$log" && break
  sleep 0.1
done
started=no
grep -qs "start-up complete" "$log" && started=yes
# chroot and env exec the program: $program is the program itself.
kill -TERM "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
[ "$started" = yes ] || { cat "$root/tmp/program.out"; fail "the program did not start on Debian $release"; }
echo "package-check: $(basename "$deb") installs and runs on Debian $release"
