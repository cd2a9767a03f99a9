#!/usr/bin/env bash
# vexlo.exe under Wine with real Windows builds of FFmpeg's tools (the Windows package's, fetched
# by dist/windows/ffmpeg-tools.sh, as ffmpeg.bin and ffprobe.bin beside a copy of vexlo.exe in
# TOOLS_DIR), over clips Debian's ffmpeg makes here: the window's jobs (real_tools_test.exe),
# automatic mode, the options and the batch; Debian's ffprobe decodes each output. Arguments:
# wine64 vexlo.exe real_tools_test.exe TOOLS_DIR LINUX_INDEX_TOOL FFMPEG FFPROBE. Status 77
# (skipped) with one line when npm is missing or the fetch fails. Under Xvfb: while a desktop
# process without a display lives (ffmpeg.exe's user32 makes Wine start one), no window can be made.
set -u
wine=$1 exe=$2 gtest=$3 tools=$4 indexer=$5 ffmpeg=$(command -v "$6") ffprobe=$(command -v "$7")
skip() { echo "real_tools: skipped: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
fetched=$(bash "$(dirname "$0")/../../dist/windows/ffmpeg-tools.sh" "$tools")
case $? in 0) ;; 77) skip "${fetched#skipped: }" ;; *) fail "$fetched" ;; esac
cp "$exe" "$tools/vexlo.exe" || fail "cannot copy $exe"

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
win() { echo "Z:$1" | tr / '\\'; }
vexlo() { "$wine" "$tools/vexlo.exe" "$@" >"$dir/stdout" 2>"$dir/err"; }
ff="$ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25"
gop="-c:v libx264 -g 8 -bf 0 -sc_threshold 0 -pix_fmt yuv420p"
mkdir -p "$dir/clips/linux" "$dir/linux-tools" "$dir/out" "$dir/batch"
$ff:duration=3 -f lavfi -i sine=duration=3 $gop -c:a aac -shortest "$dir/clips/clip.mp4" &&
  $ff:duration=60 $gop "$dir/clips/long.mp4" || fail "Debian's ffmpeg made no clips"
cp "$dir/clips/clip.mp4" "$dir/clips/linux/clip.mp4"
cp "$dir/clips/clip.mp4" "$dir/second clip.mp4"
echo "this is no video" >"$dir/garbage.mov"
ln -s "$ffprobe" "$dir/linux-tools/ffprobe.bin"
"$indexer" "$dir/linux-tools" "$dir/clips/linux/clip.mp4" ||
  fail "no index from $indexer (the debug preset's, which scripts/test-windows builds)"

VEXLO_REAL_TOOLS=$(win "$tools") VEXLO_REAL_CLIPS=$(win "$dir/clips") "$wine" "$gtest" >"$dir/gtest" 2>&1 ||
  { cat "$dir/gtest"; fail "real_tools_test.exe"; }

# Debian's ffprobe: the first stream's codec,width,height,frames (decoded); container, duration.
probe() {
  "$ffprobe" -v error -count_frames -select_streams 0 -show_entries \
    stream=codec_name,width,height,sample_rate,nb_read_frames:format=format_name,duration \
    -of csv=p=0 "$1" | sed -E 's/\.([0-9])[0-9]*$/.\1/' | tr '\n' ' '
}
clip=$(win "$dir/clips/clip.mp4")
for row in "clip.H264|h264,64,48,75 h264,N/A " \
           "clip.MPV|hevc,64,48,75 \"mov,mp4,m4a,3gp,3g2,mj2\",3.0 " \
           "clip.WAV|pcm_s16le,48000,71 wav,3.0 "; do
  IFS='|' read -r name expected <<<"$row"
  out=$(win "$dir/out/$name") type=${name#clip.}
  if [ "$type" = H264 ]; then vexlo "$clip,$out"
  else vexlo --source "$clip" --destination "$out" --type "${type,,}"; fi ||
    { status=$?; cat "$dir/err"; fail "$name: status $status"; }
  [ "$(probe "$dir/out/$name")" = "$expected" ] ||
    fail "$name holds \"$(probe "$dir/out/$name")\", not \"$expected\""
done
# The comma form stored the settings it used; the options store none.
"$wine" reg query 'HKCU\VexloDirectory' >"$dir/reg" 2>&1
for value in "FileOrigine    REG_SZ    $clip" "FileDestinazione    REG_SZ    $(win "$dir/out/clip.H264")" \
             'iNumCRF    REG_DWORD    0x4' 'mOutType    REG_DWORD    0x0'; do
  grep -qF "$value" "$dir/reg" || { cat "$dir/reg"; fail "registry value missing: $value"; }
done
vexlo "$(win "$dir/garbage.mov"),$(win "$dir/out/garbage.H264")"
[ $? -eq 1 ] || fail "a source that is no video did not end with status 1"
for line in 'REASON: .*Invalid data found when processing input' \
            'REASON: .*ffmpeg.bin exited with code 1' '##### CONVERSION  ERROR ######'; do
  grep -q "$line" "$dir/err" || { cat "$dir/err"; fail "no \"$line\" on standard error"; }
done

vexlo --type h265 --output-dir "$(win "$dir/batch")" --json "$clip" "$(win "$dir/gone.mp4")" \
  "$(win "$dir/second clip.mp4")"
[ $? -eq 1 ] || { cat "$dir/err"; fail "the batch with a missing source did not end with status 1"; }
python3 - "$dir/stdout" <<'EOF' || { cat "$dir/stdout" "$dir/err"; fail "the batch's JSON lines"; }
import json, sys
# Side by side by default: in the order the items end, each with its place in the input.
items = sorted((json.loads(line) for line in open(sys.argv[1], encoding="utf-8")),
               key=lambda i: i["index"])
assert [(i["state"], i["output"].rsplit("\\", 1)[1]) for i in items] == [
    ("done", "clip.H265"), ("failed", "gone.H265"), ("done", "second clip.H265")], items
assert items[0]["reason"] == items[2]["reason"] == "", items
assert "No such file or directory" in items[1]["reason"], items
assert abs(items[0]["output_duration"] - 3.0) < 0.05 and items[1]["output_duration"] is None, items
EOF
[ "$(ls "$dir/batch" | tr '\n' '|')" = "clip.H265|second clip.H265|" ] || fail "the batch left $(ls "$dir/batch")"
for name in "clip.H265" "second clip.H265"; do
  [ "$(probe "$dir/batch/$name")" = "hevc,64,48,75 hevc,N/A " ] || fail "the batch's $name: $(probe "$dir/batch/$name")"
done
# Two items side by side at low priority: each tool given its share of the processors, each
# item's log lines numbered and whole, every output whole.
cp "$dir/clips/clip.mp4" "$dir/third.mp4"
rm -f "$dir/batch/"*
vexlo --type h264 --jobs 2 --low-priority --output-dir "$(win "$dir/batch")" --json "$clip" \
  "$(win "$dir/second clip.mp4")" "$(win "$dir/third.mp4")"
[ $? -eq 0 ] || { cat "$dir/err"; fail "the batch of --jobs 2 did not end with status 0"; }
python3 - "$dir/stdout" "$dir/err" <<'EOF' || { cat "$dir/stdout" "$dir/err"; fail "--jobs 2"; }
import json, re, sys
items = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
assert sorted(i["index"] for i in items) == [1, 2, 3] and all(i["state"] == "done" for i in items), items
assert all(" -threads 1 " in i["command_line"] for i in items if i["index"] < 3), items
for line in open(sys.argv[2], encoding="utf-8", errors="replace").read().splitlines():
    assert re.fullmatch(r"\[[123]\] .*|##### BATCH .* ######", line), line
    assert len(re.findall(r"\[[123]\] ", line)) <= 1 and line.count("##### ") <= 1, line
EOF
for name in "clip.H264" "second clip.H264" "third.H264"; do
  [ "$(probe "$dir/batch/$name")" = "h264,64,48,75 h264,N/A " ] || fail "--jobs 2: $name: $(probe "$dir/batch/$name")"
done
echo "real tools: index, GOP, information, grab and cancel; h264, mpv, wav, a failing source; the batch, --jobs 2"
