#!/usr/bin/env bash
# pixbridge-convert against Module.Photo on the bus (photo_bus_bench) and
# against heif-dec, on the eight 12-megapixel phone photos, in one run:
#   - the module: all eight photos in one request (photo_bus_bench --module-only);
#   - pixbridge-convert -f jpeg -q 90 with all eight photos in one process:
#     what the loader and the progress output cost; it must keep >= 95 %;
#   - pixbridge-convert and heif-dec -q 90, one process per photo, as a file
#     manager's action or a loop in a script starts them.
# Each is run ROUNDS times, in turn, and the median is reported, since the
# machine may be busy with other work (the load average is printed).
#   bench/cli.sh [build dir, default build/release] [rounds, default 3]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
rounds="${2:-3}"
photos_dir="$(cd .. && pwd)/shared/photos"
names=(tifig_1_portrait tifig_2_landscape tifig_3_frontcam tifig_4_city tifig_7_animal_farm
       crab_yuv420_image_with_yuv400_gainmap immich_samsung-one-ui-6 immich_IMG_2682)
photos=()
for name in "${names[@]}"; do photos+=("$photos_dir/$name.heic"); done
cli="$build/app/pixbridge-convert"
bus="$build/bench/photo/photo_bus_bench"
[ -x "$cli" ] && [ -x "$bus" ] || { echo "build $build first (Release, with the benchmarks)"; exit 1; }
command -v heif-dec >/dev/null || { echo "heif-dec is missing (libheif-examples)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
rate() { awk -v n="${#photos[@]}" -v s="$1" 'BEGIN { printf "%.2f", n / s }'; }

echo "cores: $(nproc); load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
module=() batch=() each=() heifdec=()
for round in $(seq 1 "$rounds"); do
  out=$(mktemp -d -p "$work")
  run_module() {
    local line
    line=$("$bus" --module-only --quality 90 "${photos[@]}" 2>/dev/null)
    module+=("$(awk '/^module:/ { print $2 }' <<<"$line")")
  }
  run_batch() {
    local start
    start=$(now)
    "$cli" --quiet -f jpeg -q 90 -o "$out/batch-$1" "${photos[@]}"
    batch+=("$(seconds "$start" "$(now)")")
  }
  # Alternate which goes first, so a change of load favours neither.
  if (( round % 2 )); then run_module; run_batch "$round"; else run_batch "$round"; run_module; fi

  start=$(now)
  for photo in "${photos[@]}"; do "$cli" --quiet -f jpeg -q 90 -o "$out/each" "$photo"; done
  each+=("$(seconds "$start" "$(now)")")

  mkdir -p "$out/heif-dec"
  start=$(now)
  n=0
  for photo in "${photos[@]}"; do heif-dec -q 90 "$photo" "$out/heif-dec/$((n++)).jpg" >/dev/null; done
  heifdec+=("$(seconds "$start" "$(now)")")
  rm -rf "$out"
  echo "round $round: module ${module[-1]} s, pixbridge-convert ${batch[-1]} s (one process) / ${each[-1]} s (one per photo), heif-dec ${heifdec[-1]} s"
done

m=$(median "${module[@]}") b=$(median "${batch[@]}") e=$(median "${each[@]}") h=$(median "${heifdec[@]}")
echo
echo "photos: ${#photos[@]} (12 MP), JPEG quality 90, median of $rounds rounds"
printf '%-44s %7.2f s  %5s photos/s\n' "Module.Photo on the bus (photo_bus_bench)" "$m" "$(rate "$m")"
printf '%-44s %7.2f s  %5s photos/s\n' "pixbridge-convert, one process" "$b" "$(rate "$b")"
printf '%-44s %7.2f s  %5s photos/s\n' "pixbridge-convert, one process per photo" "$e" "$(rate "$e")"
printf '%-44s %7.2f s  %5s photos/s\n' "heif-dec, one process per photo" "$h" "$(rate "$h")"
# The share is taken round by round, each pair run back to back, and the
# median of those: a change of load between rounds then cancels out.
shares=()
for i in "${!module[@]}"; do shares+=("$(awk -v m="${module[$i]}" -v b="${batch[$i]}" 'BEGIN { printf "%.1f", 100 * m / b }')"); done
share=$(median "${shares[@]}")
echo "pixbridge-convert keeps ${share} % of the module's throughput (rounds: ${shares[*]}; needed: 95 %)"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
awk -v s="$share" 'BEGIN { exit !(s >= 95) }'
