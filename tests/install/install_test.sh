#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what a desktop and a script find there:
# the tree and its links, the desktop entry and AppStream file (validated), the icons and manual
# page, and the installed vexlo's --help, --version and an encode of paths with commas.
# Usage: install_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

p=$work/prefix id=io.github.vexlo.Vexlo
cmake --install "$build" --prefix "$p" >/dev/null
[ -f "$p/share/icons/hicolor/scalable/apps/vexlo.svg" ] || fail "no SVG icon"
for link in "lib/vexlo/ffmpeg.bin /usr/bin/ffmpeg" "lib/vexlo/ffprobe.bin /usr/bin/ffprobe" \
            "bin/vexlo ../lib/vexlo/vexlo"; do
  set -- $link
  [ "$(readlink "$p/$1")" = "$2" ] || fail "$1 does not link to $2"
done
for size in 48 128 256; do  # a PNG's width: bytes 16 to 19
  png=$p/share/icons/hicolor/${size}x${size}/apps/vexlo.png
  [ "$(od -An -tu4 --endian=big -j16 -N4 "$png" | tr -d ' ')" = "$size" ] || fail "$png size"
done
zcat "$p/share/man/man1/vexlo.1.gz" | grep -q "^\.TH VEXLO 1 .*vexlo $version" || fail "man page"

desktop=$p/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$p/share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"
grep -qx 'Exec=vexlo %f' "$desktop" && grep -q '^MimeType=video/mp4;.*image/png;$' "$desktop" &&
  grep -qx 'Categories=AudioVideo;Video;AudioVideoEditing;' "$desktop" || fail "desktop entry keys"

[ "$("$p/bin/vexlo" --version)" = "vexlo $version" ] || fail "installed vexlo --version"
for o in source destination type profile crf gpu fps resize deinterlace short-gop; do
  "$p/bin/vexlo" --help | grep -q -- "--$o" || fail "--help does not list --$o"
done
ffmpeg -v error -f lavfi -i testsrc=size=96x64:rate=25 -t 1 -pix_fmt yuv420p "$work/in,1.mp4"
(cd "$work" && XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen \
  "$p/bin/vexlo" --source in,1.mp4 --destination out,1.MP4 --type mpv 2>"$work/err") ||
  fail "installed encode: $(cat "$work/err")"
ffprobe -v error -show_entries stream=codec_name -of csv=p=0 "$work/out,1.MP4" | grep -qx hevc || fail "no H.265"
[ ! -e "$work/config" ] || fail "the options' form wrote the settings"
