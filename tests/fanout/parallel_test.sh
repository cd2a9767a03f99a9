#!/usr/bin/env bash
# Fans the option form out over four files with GNU parallel, the way the README shows it: each
# job's exit value lands in the job log (0 encoded, 1 failed: a damaged source), parallel's own
# status counts the failed jobs, and every good file is encoded whole.
# Usage: parallel_test.sh VEXLO FFPROBE CLIPS_DIR
set -euo pipefail
vexlo=$1 ffprobe=$2 clips=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export XDG_CONFIG_HOME=$work/config QT_QPA_PLATFORM=offscreen
for name in a "b with blank" c; do cp "$clips/clip.mp4" "$work/$name.mp4"; done
cp "$clips/garbage.mov" "$work/damaged.mov"

status=0
printf '%s\n' "$work"/*.mp4 "$work/damaged.mov" |
  parallel --will-cite -j2 --joblog "$work/jobs.log" \
    "$vexlo" --type h264 --source {} --destination {.}.H264 >"$work/out" 2>"$work/err" ||
  status=$?
[ "$status" = 1 ] || fail "parallel ended with $status, not 1 (one failed job)"
[ ! -s "$work/out" ] || fail "the option form wrote to standard output: $(head -c 200 "$work/out")"
# The job log's columns: Seq Host Starttime JobRuntime Send Receive Exitval Signal Command; the
# sequence numbers follow the input: the three clips, then the damaged file.
results=$(awk -F'\t' 'NR > 1 { print $1 ":" $7 ":" $8 }' "$work/jobs.log" | sort -n | tr '\n' ' ')
[ "$results" = "1:0:0 2:0:0 3:0:0 4:1:0 " ] || fail "job log (Seq:Exitval:Signal): $results"
for name in a "b with blank" c; do
  frames=$("$ffprobe" -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 \
           "$work/$name.H264")
  [ "$frames" = 75 ] || fail "$name.H264 has $frames frames, not 75"
done
grep -q 'REASON: .*damaged.mov' "$work/err" || fail "no reason for the damaged file: $(cat "$work/err")"
echo "parallel fan-out: 4 jobs, 3 encoded whole, the damaged one failed with its reason"
