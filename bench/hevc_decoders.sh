#!/usr/bin/env bash
# What the HEVC decoder costs: pixbridge-convert -f jpeg -q 90 on the eight
# 12-megapixel phone photos with libheif's FFmpeg decoder plug-in against
# its libde265 one (each with the JPEG and JPEG 2000 plug-ins, as the
# package carries them), taken in turn for ROUNDS rounds; prints the median
# wall time and CPU time (the program and its helper) of each, and the ratio.
#   bench/hevc_decoders.sh [build dir, default build/release] [rounds, default 5]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
rounds="${2:-5}"
photos_dir="$(cd .. && pwd)/shared/photos"
names=(tifig_1_portrait tifig_2_landscape tifig_3_frontcam tifig_4_city tifig_7_animal_farm
       crab_yuv420_image_with_yuv400_gainmap immich_samsung-one-ui-6 immich_IMG_2682)
photos=()
for name in "${names[@]}"; do photos+=("$photos_dir/$name.heic"); done
cli="$build/app/pixbridge-convert"
[ -x "$cli" ] || { echo "build $build first (Release)"; exit 1; }
system_plugins="$(pkg-config --variable=libdir libheif)/libheif/plugins"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Two plug-in folders; libheif reads LIBHEIF_PLUGIN_PATH in heif_init(), and
# prefers FFmpeg's decoder where both are loaded.
for set in ffmpegdec libde265; do
  mkdir -p "$work/$set"
  for plugin in "$set" jpegdec j2kdec; do ln -s "$system_plugins/libheif-$plugin.so" "$work/$set/"; done
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "cores: $(nproc); load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
declare -A wall cpu
for round in $(seq 1 "$rounds"); do
  for set in ffmpegdec libde265; do
    out="$work/out-$set-$round"
    # TIMEFORMAT: real, then user + system of the program and its helper.
    TIMEFORMAT='%R %U %S'
    times=$( { time LIBHEIF_PLUGIN_PATH="$work/$set" "$cli" --quiet -f jpeg -q 90 -o "$out" "${photos[@]}" >/dev/null; } 2>&1 | tail -n 1)
    [ "$(ls "$out" | wc -l)" = "${#photos[@]}" ] || { echo "$set: not every photo converted"; exit 1; }
    read -r real user sys <<<"$times"
    wall[$set]+="$real "
    cpu[$set]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }') "
    rm -rf "$out"
  done
done
for set in ffmpegdec libde265; do
  # shellcheck disable=SC2086
  printf '%-10s wall %6.2f s   cpu %6.2f s   (medians of %d rounds)\n' "$set" "$(median ${wall[$set]})" "$(median ${cpu[$set]})" "$rounds"
done
# shellcheck disable=SC2086
awk -v fw="$(median ${wall[ffmpegdec]})" -v dw="$(median ${wall[libde265]})" \
    -v fc="$(median ${cpu[ffmpegdec]})" -v dc="$(median ${cpu[libde265]})" \
    'BEGIN { printf "libde265 against FFmpeg: wall %+.1f %%, cpu %+.1f %%\n", (dw / fw - 1) * 100, (dc / fc - 1) * 100 }'
