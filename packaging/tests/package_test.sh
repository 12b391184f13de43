#!/usr/bin/env bash
# The .deb made from this build tree: unpacked with dpkg-deb -x (never
# installed), its layout and metadata checked, both programs started from it.
#   package_test.sh <build dir> <photo>
set -euo pipefail
build="$1"
photo="$2"
# shellcheck source=../../host/tests/e2e/sandbox.sh
source "$(dirname "$0")/../../host/tests/e2e/sandbox.sh"
fail() { echo "FAILED: $*"; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/package/quillmarsh-pix-bridge_*.deb)
root="$work/root"
dpkg-deb -x "$deb" "$root"
lib="$root/usr/lib/pixbridge"

for f in usr/bin/pixbridge usr/bin/pixbridge-convert \
         usr/lib/pixbridge/PixbridgeManager usr/lib/pixbridge/pixbridge-convert usr/lib/pixbridge/convert-here \
         usr/lib/pixbridge/pixbridge-heif-worker usr/lib/pixbridge/ApplicationManifest.json \
         usr/lib/pixbridge/libheif-pixbridge.so.1 usr/lib/pixbridge/heif-plugins/libheif-libde265.so \
         usr/lib/pixbridge/heif-plugins/libheif-jpegdec.so usr/lib/pixbridge/heif-plugins/libheif-j2kdec.so \
         usr/share/applications/quillmarsh-pix-bridge.desktop \
         usr/share/metainfo/com.quillmarsh.PixBridge.metainfo.xml \
         usr/share/icons/hicolor/48x48/apps/quillmarsh-pix-bridge.png \
         usr/share/icons/hicolor/128x128/apps/quillmarsh-pix-bridge.png \
         usr/share/icons/hicolor/256x256/apps/quillmarsh-pix-bridge.png \
         usr/share/kio/servicemenus/quillmarsh-pix-bridge-convert.desktop \
         usr/share/nautilus-python/extensions/quillmarsh-pix-bridge.py; do
  [ -e "$root/$f" ] || fail "$f is missing"
done
ls "$lib"/Plugins/Module.Photo/*/plugin.load "$lib"/Plugins/Module.Workbench/*/plugin.load >/dev/null
[ "$(readlink "$root/usr/bin/pixbridge")" = "../lib/pixbridge/PixbridgeManager" ] || fail "pixbridge link"
[ "$(readlink "$root/usr/bin/pixbridge-convert")" = "../lib/pixbridge/pixbridge-convert" ] || fail "pixbridge-convert link"

desktop-file-validate "$root/usr/share/applications/quillmarsh-pix-bridge.desktop"
grep -qx "Exec=pixbridge --open %F" "$root/usr/share/applications/quillmarsh-pix-bridge.desktop" || fail "Exec line"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.quillmarsh.PixBridge.metainfo.xml" >/dev/null
python3 -c "import ast, sys; ast.parse(open(sys.argv[1]).read())" \
  "$root/usr/share/nautilus-python/extensions/quillmarsh-pix-bridge.py"

# Dependencies come from dpkg-shlibdeps; the bundled libheif keeps Debian's
# own (too old on Debian 12) out of them.
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libc6* && "$depends" == *libqt6widgets6* ]] || fail "Depends without the libraries: $depends"
[[ "$depends" != *libheif* ]] || fail "Depends names libheif: $depends"
linked=$(ldd "$lib/pixbridge-heif-worker")
grep -q "libheif-pixbridge.so.1 => $lib/libheif-pixbridge.so.1" <<<"$linked" || fail "the helper does not use the bundled libheif"

# The converter from the unpacked tree, through the /usr/bin link.
[[ "$("$root/usr/bin/pixbridge-convert" --version)" == "pixbridge-convert "* ]] || fail "--version"
cp "$photo" "$work/photo.heic"
"$root/usr/bin/pixbridge-convert" --quiet -o "$work/out" "$work/photo.heic" || fail "conversion from the package"
[ -s "$work/out/photo.JPG" ] || fail "no JPEG"
# HEIF coded as JPEG and as JPEG 2000, through the bundled plug-ins.
for coded in lh_jpeg32.heif lh_j2k32.heif; do
  "$root/usr/bin/pixbridge-convert" --quiet -f png -o "$work/coded" "$(dirname "$photo")/$coded" || fail "$coded from the package"
done
# Without its bundled plug-ins the helper has no HEVC decoder: proof that it
# uses them, not the system's.
mv "$lib/heif-plugins" "$lib/heif-plugins.away"
mkdir "$lib/heif-plugins"
if "$root/usr/bin/pixbridge-convert" --quiet -o "$work/none" "$work/photo.heic" 2>/dev/null; then
  fail "converted without the bundled decoders"
fi
rmdir "$lib/heif-plugins"
mv "$lib/heif-plugins.away" "$lib/heif-plugins"

# The program from the unpacked tree, headless, until its start-up is complete.
QT_QPA_PLATFORM=offscreen "$root/usr/bin/pixbridge" >"$work/program.out" 2>&1 &
program=$!
# glog names the log after the command that started the program: the link.
log="$TMPDIR/Quillmarsh/$(date +%Y%m%d)/pixbridge.INFO"
for _ in $(seq 1 300); do
  grep -qs "start-up complete" "$log" && break
  sleep 0.1
done
grep -qs "start-up complete" "$log" || { cat "$work/program.out"; fail "the program did not start"; }
kill -TERM "$program"
wait "$program" || fail "the program exited $?"
echo "1 passed, 0 failed"
