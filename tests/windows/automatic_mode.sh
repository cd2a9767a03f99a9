#!/bin/sh
# vexlo.exe in automatic mode under Wine (and Xvfb: the window shows while the job runs), with the
# stand-in tool as ffmpeg.bin: the job runs, the settings reach the registry, the status is 0;
# with a failing tool the status is not 0 and the log names the tool's exit code.
# Arguments: vexlo.exe, wine64. WINEPREFIX comes from the caller.
set -u
exe=$1 wine=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
echo clip >"$dir/src.mov"
src="Z:$(echo "$dir/src.mov" | tr / '\\')" dst="Z:$(echo "$dir/out.H264" | tr / '\\')"
run() { xvfb-run -a -s '-screen 0 1280x1024x24' "$wine" "$exe" "$src,$dst" >"$dir/log" 2>&1; }
fail() { echo "FAILED: $*"; cat "$dir/log"; exit 1; }
run || fail "automatic mode with a working tool"
grep -q 'END CONVERSION' "$dir/log" || fail "no end of conversion in the log"
"$wine" reg query 'HKCU\VexloDirectory' >"$dir/reg" 2>&1
for value in "FileOrigine    REG_SZ    $src" "FileDestinazione    REG_SZ    $dst" \
             'iNumCRF    REG_DWORD    0x4' 'mOutType    REG_DWORD    0x0'; do
  grep -qF "$value" "$dir/reg" || { cat "$dir/reg"; fail "registry value missing: $value"; }
done
VEXLO_TESTTOOL_EXIT=1 run && fail "automatic mode with a failing tool ended with status 0"
grep -q 'exited with code 1' "$dir/log" || fail "the failure's reason is not in the log"
echo "automatic mode: status 0 with the registry values written; status 1 with a failing tool"
