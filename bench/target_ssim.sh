#!/bin/sh
# The target SSIM's table: eight generated clips (FFmpeg's generators, noise, slow pans over
# photographs of gnome-backgrounds), each searched and encoded through the batch with
# --target-ssim, then encoded at the next larger CRF position to see whether that would have
# met the target too. Prints one row per clip and the counts of the goals.
#
#   bench/target_ssim.sh BUILD_FOLDER [WORK_FOLDER] [SECONDS] [TYPE]
#
# BUILD_FOLDER holds vexlo (and its ffmpeg.bin, ffprobe.bin); WORK_FOLDER keeps the clips
# between runs (default BUILD_FOLDER/bench/target-clips); SECONDS is each clip's length (120);
# TYPE h264 (default) or h265. Run it with nice: it keeps both processors busy for a while.
set -eu
build=$(cd "$1" && pwd)
work=${2:-$build/bench/target-clips}
seconds=${3:-120}
type=${4:-h264}
vexlo=$build/vexlo
photos=/usr/share/backgrounds/gnome
mkdir -p "$work/out" "$work/next"
[ -d "$photos" ] || { echo "target_ssim: $photos is missing (apt-get install gnome-backgrounds)"; exit 77; }

size=640x360
make_clip() {  # NAME FILTER-INPUT...
  name=$1; shift
  [ -s "$work/$name.mp4" ] && return 0
  ffmpeg -v error -y "$@" -t "$seconds" -pix_fmt yuv420p -c:v libx264 -preset veryfast -crf 6 \
    "$work/$name.mp4"
}
still() {  # NAME PHOTO: the photograph brought to 1920 pixels wide once, as PNG
  [ -s "$work/$2.png" ] || ffmpeg -v error -y -i "$photos/$2.webp" -vf scale=1920:-1 "$work/$2.png"
}
still pan adwaita-l
still pan wood-d
still pan truchet-l
frames=$((seconds * 25))
make_clip testsrc2 -f lavfi -i "testsrc2=size=$size:rate=25"
make_clip mandelbrot -f lavfi -i "mandelbrot=size=$size:rate=25"
make_clip life -f lavfi -i "life=size=$size:rate=25:mold=10:ratio=0.3:death_color=#203040:life_color=#e0c060,format=yuv420p"
make_clip cellauto_grain -f lavfi -i "cellauto=size=$size:rate=25:rule=110,format=yuv420p,noise=alls=12:allf=t"
make_clip testsrc2_noise -f lavfi -i "testsrc2=size=$size:rate=25,noise=alls=25:allf=t+u"
make_clip pan_adwaita -loop 1 -framerate 25 -i "$work/adwaita-l.png" \
  -vf "zoompan=z='1.2+0.3*on/$frames':x='iw/2-(iw/zoom/2)':y='ih/2-(ih/zoom/2)':d=1:s=$size:fps=25"
make_clip pan_wood -loop 1 -framerate 25 -i "$work/wood-d.png" \
  -vf "crop=640:360:x='(iw-640)*t/$seconds':y='(ih-360)/2'"
make_clip pan_truchet_grain -loop 1 -framerate 25 -i "$work/truchet-l.png" \
  -vf "crop=640:360:x='(iw-640)/2':y='(ih-360)*t/$seconds',noise=alls=8:allf=t"

# The target of each clip, in the order above.
targets="0.97 0.98 0.97 0.95 0.95 0.98 0.97 0.96"
crf_of() { echo "3 5 7 10 12 13 15 16 17 18 20 22 25 30" | cut -d' ' -f$(($1 + 1)); }
printf '%-18s %6s %4s %8s %8s %8s %10s %10s %6s %7s %7s %6s %8s\n' clip target pos pred_ssim \
  ssim next_ssim pred_bytes bytes size% pred_s enc_s search% next_miss
i=0
for name in testsrc2 mandelbrot life cellauto_grain testsrc2_noise pan_adwaita pan_wood \
    pan_truchet_grain; do
  i=$((i + 1))
  target=$(echo $targets | cut -d' ' -f$i)
  json=$("$vexlo" --type "$type" --output-dir "$work/out" --overwrite --json \
    --target-ssim "$target" "$work/$name.mp4" 2>"$work/$name.log")
  position=$(echo "$json" | python3 -c 'import json,sys; print(json.load(sys.stdin)["quality_target"]["position"])')
  next_ssim=none
  # The encoders are deterministic: a whole encode at the next position measured once, for this
  # clip, type and length, is kept in WORK/next and not encoded again.
  kept="$work/next/$name-$type-$seconds-$((position + 1)).ssim"
  if [ "$position" -lt 13 ] && [ -s "$kept" ]; then
    next_ssim=$(cat "$kept")
  elif [ "$position" -lt 13 ]; then
    next_ssim=$("$vexlo" --type "$type" --output-dir "$work/next" --overwrite --json --measure \
      --crf $((position + 1)) "$work/$name.mp4" 2>>"$work/$name.log" |
      python3 -c 'import json,sys; print("%.5f" % json.load(sys.stdin)["quality"]["ssim"])')
    echo "$next_ssim" >"$kept"
  fi
  echo "$json" | python3 -c '
import json, sys
name, target, next_ssim = sys.argv[1], float(sys.argv[2]), sys.argv[3]
t = json.load(sys.stdin)["quality_target"]
size = 100 * (t["predicted_bytes"] / t["measured_bytes"] - 1)
search = 100 * t["search_seconds"] / t["encode_seconds"]
miss = "-" if next_ssim == "none" else ("yes" if float(next_ssim) < target - 0.002 else "no")
print("%-18s %6.3f %4d %8.5f %8.5f %8s %10d %10d %+6.1f %7.1f %7.1f %6.1f %8s" % (
    name, target, t["position"], t["predicted_ssim"], t["measured_ssim"], next_ssim,
    t["predicted_bytes"], t["measured_bytes"], size, t["predicted_seconds"],
    t["encode_seconds"], search, miss))' "$name" "$target" "$next_ssim"
done | tee "$work/table.txt"
python3 - "$work/table.txt" <<'PY'
import sys
rows = [l.split() for l in open(sys.argv[1])]
met = sum(float(r[4]) >= float(r[1]) - 0.002 for r in rows)
miss = sum(r[12] in ("yes", "-") for r in rows)
size = sum(abs(float(r[8])) <= 15 for r in rows)
cost = max(float(r[11]) for r in rows)
print(f"met {met}/{len(rows)}, next position misses {miss}/{len(rows)}, "
      f"size within 15% {size}/{len(rows)}, largest search cost {cost:.1f}%")
PY
