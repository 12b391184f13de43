#!/usr/bin/env bash
# The .deb made from this build tree: unpacked with dpkg-deb -x (never
# installed), its layout and metadata checked, no absolute library search
# path in any of its programs and libraries, both programs started from it;
# with "lintian", lintian's verdict, which fails on any error or warning.
#   package_test.sh <build dir> <photo> [lintian]
set -euo pipefail
build="$1"
photo="$2"
run_lintian="${3:-}"
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
         usr/lib/pixbridge/pixbridge-install-update \
         usr/share/polkit-1/actions/com.quillmarsh.pixbridge.install-update.policy \
         usr/share/doc/quillmarsh-pix-bridge/copyright usr/share/doc/quillmarsh-pix-bridge/changelog.gz \
         usr/share/man/man1/pixbridge.1.gz usr/share/man/man1/pixbridge-convert.1.gz \
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
# own (too old on Debian 12) out of them, and without FFmpeg's decoder
# nothing names the FFmpeg libraries that Debian 13 does not have.
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libc6* && "$depends" == *libqt6widgets6* && "$depends" == *libde265-0* ]] ||
  fail "Depends without the libraries: $depends"
[[ "$depends" != *libheif* ]] || fail "Depends names libheif: $depends"
[[ "$depends" != *libavcodec* && "$depends" != *libavutil* ]] || fail "Depends names FFmpeg: $depends"
# libswscale is opened at run time, so one package serves both releases.
[[ "$depends" == *"libswscale6 | libswscale8"* ]] || fail "Depends without libswscale: $depends"
! readelf -d "$lib/pixbridge-heif-worker" | grep -q "NEEDED.*libswscale" || fail "the helper links libswscale"
[ ! -e "$lib/heif-plugins/libheif-ffmpegdec.so" ] || fail "FFmpeg's decoder is in the package"
# The libraries are private: no maintainer scripts (no ldconfig).
dpkg-deb -e "$deb" "$work/control"
for script in preinst postinst prerm postrm triggers; do
  [ ! -e "$work/control/$script" ] || fail "the package has a $script"
done

# Every program and library searches only relative folders ($ORIGIN): an
# absolute one (the build folder, say) would be searched for Qt and the rest
# before the system's folders.
elf_count=0
while IFS= read -r -d '' file; do
  [ "$(head -c 4 "$file" | od -An -tx1 | tr -d ' ')" = "7f454c46" ] || continue
  elf_count=$((elf_count + 1))
  file "$file" | grep -q "not stripped" && fail "not stripped: ${file#"$root"}"
  readelf -d "$file" | sed -n 's/.*(\(RPATH\|RUNPATH\)).*\[\(.*\)\]/\2/p' | tr ':' '\n' | while read -r entry; do
    case "$entry" in
      '$ORIGIN'|'$ORIGIN/'*|'${ORIGIN}'|'${ORIGIN}/'*) ;;
      *) echo "FAILED: ${file#"$root"} searches $entry"; exit 1 ;;
    esac
  done || exit 1
done < <(find "$root" -type f -print0)
[ "$elf_count" -ge 12 ] || fail "only $elf_count programs and libraries found"
while IFS= read -r -d '' file; do
  [ "$(stat -c %a "$file")" = 644 ] || fail "${file#"$root"} is not 0644"
done < <(find "$root" -type f -name '*.so*' -print0)

# The update's install helper: pkexec finds its action by the helper's path;
# an administrator's password every time.
policy="$root/usr/share/polkit-1/actions/com.quillmarsh.pixbridge.install-update.policy"
xmllint --noout "$policy"
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/lib/pixbridge/pixbridge-install-update</annotate>' "$policy" ||
  fail "the polkit action does not name the helper"
[ "$(grep -c '>auth_admin<' "$policy")" = 3 ] || fail "the polkit action does not ask for an administrator every time"
# The manual pages as man reads them.
for page in pixbridge pixbridge-convert; do
  LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$root/usr/share/man/man1/$page.1.gz" \
    >"$work/$page.txt" 2>"$work/$page.warnings" || fail "man $page"
  [ ! -s "$work/$page.warnings" ] || { cat "$work/$page.warnings"; fail "man $page warns"; }
done
grep -q -- "--strip-exif" "$work/pixbridge-convert.txt" || fail "pixbridge-convert's page has no options"

if [ "$run_lintian" = lintian ]; then
  lintian --fail-on error,warning --info "$deb" || fail "lintian"
fi
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
