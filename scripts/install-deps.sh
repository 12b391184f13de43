#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Safe to run again: when everything is present it prints nothing and exits 0.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  rapidjson-dev libgoogle-glog-dev libxml2-dev
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-image-formats-plugins
  libjpeg62-turbo-dev libpng-dev zlib1g-dev libdeflate-dev libcurl4-openssl-dev libssl-dev
  # Resizing on export: the headers at build time, libswscale itself
  # (which this pulls in) opened at run time.
  libswscale-dev
  fonts-liberation2 fonts-noto-cjk
  gettext libcli11-dev
  dpkg-dev file patchelf desktop-file-utils appstream python3 lintian help2man libxml2-utils
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libxcb1-dev
  xvfb xauth xdotool zip unzip imagemagick
  # Real desktops in the tests: a window manager under Xvfb (xrdb sets
  # Xft.dpi for the screens), a headless Wayland compositor with Qt's Wayland
  # plug-in, and the accessibility bus.
  openbox x11-utils x11-xserver-utils weston qt6-wayland python3-pyatspi at-spi2-core dbus
)
# libheif 1.19 and its decoder plug-ins come from bookworm-backports; 1.15 of
# bookworm itself refuses many current phone photos. Besides HEVC, HEIF
# files may be coded as JPEG (also many cameras' previews) or JPEG 2000.
backports=(
  libheif-dev libheif1 libheif-plugin-ffmpegdec libheif-plugin-libde265
  libheif-plugin-jpegdec libheif-plugin-j2kdec
  libheif-plugin-x265 libheif-examples
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

heif_is_new() {
  local v
  v=$(dpkg-query -W -f='${Version}' libheif-dev 2>/dev/null || true)
  [ -n "$v" ] && dpkg --compare-versions "$v" ge 1.19
}

need_main=$(missing "${packages[@]}")
need_bp=$(missing "${backports[@]}")
if [ -z "$need_main" ] && [ -z "$need_bp" ] && heif_is_new; then
  exit 0
fi

# Add bookworm-backports from the mirror this machine already uses; the mirror
# is read from the apt configuration, never written into the repository.
bp_list=/etc/apt/sources.list.d/pixbridge-backports.list
if ! grep -rqs "bookworm-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
  uri=""
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    uri=$(awk '/^URIs:/ {print $2; exit}' "$f")
    if [ -n "$uri" ] && ! echo "$uri" | grep -q security; then break; fi
    uri=""
  done
  if [ -z "$uri" ] && [ -f /etc/apt/sources.list ]; then
    uri=$(awk '$1=="deb" && $3 ~ /^bookworm$/ {print $2; exit}' /etc/apt/sources.list)
  fi
  if [ -z "$uri" ]; then
    echo "install-deps: cannot find the Debian mirror in the apt sources" >&2
    exit 1
  fi
  echo "deb $uri bookworm-backports main" | $SUDO tee "$bp_list" >/dev/null
fi

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq >/dev/null
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends -t bookworm-backports "${backports[@]}" >/dev/null
heif_is_new || { echo "install-deps: libheif 1.19 did not install" >&2; exit 1; }
