#!/bin/sh
# Makes the test clips once per test run (the CTest fixture "clips"): FFMPEG OUTPUT_FOLDER.
set -e
ff="$1 -v error -y"
mkdir -p "$2/seq" && cd "$2"
# 64x48 at 25 frames/s, a GOP of 8 without B-frames, and a sine as audio: 3 s and 120 s.
gop="-c:v libx264 -g 8 -bf 0 -sc_threshold 0 -pix_fmt yuv420p"
$ff -f lavfi -i testsrc=size=64x48:rate=25:duration=3 -f lavfi -i sine=duration=3 $gop -c:a aac -shortest clip.mp4
$ff -f lavfi -i testsrc=size=64x48:rate=25:duration=120 $gop long.mp4
$ff -f lavfi -i testsrc=size=64x48:rate=25:duration=3 $gop clip.h264
# 10 s with a GOP of 25 and two B-frames: the picture of the frames.
$ff -f lavfi -i testsrc=size=64x48:rate=25:duration=10 -c:v libx264 -g 25 -bf 2 -sc_threshold 0 -pix_fmt yuv420p gop25.mp4
$ff -f lavfi -i testsrc=size=64x48:rate=25 -frames:v 10 seq/img_%04d.png
# 10 s with its index at the front, and the same cut at half its size, as a download cut short
# leaves it: its header still says 10 s, and FFmpeg reads what is there and exits 0.
$ff -f lavfi -i testsrc=size=64x48:rate=25:duration=10 $gop -movflags +faststart whole.mp4
head -c $(($(wc -c < whole.mp4) / 2)) whole.mp4 > cut.mp4
echo "this is no video" > garbage.mov
# The batch's sources: 10-bit with sound, 4:2:2 without.
clip="-f lavfi -i testsrc=size=64x48:rate=25:duration"
$ff $clip=3 -f lavfi -i sine=duration=3 -c:v libx264 -pix_fmt yuv420p10le -c:a aac -shortest ten.mp4
$ff $clip=3 -c:v libx264 -pix_fmt yuv422p s422.mp4
