# A Wine prefix of one's own, in a temporary folder (its own registry), for scripts/test-windows
# and the Windows package's test; sourced. wine_prefix_start WINE64 makes it and starts its
# wineserver and wineboot's services; wine_prefix_end ends what runs in it and removes it.
# Sourcing it forgets any prefix the caller was given. winemenubuilder is off: an installer's
# Start menu entry and file types stay in the prefix instead of becoming the build machine's menus.
export WINEPREFIX= WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# The process ids of this prefix's processes whose command line matches $1.
prefix_processes() {
  for pid in $(pgrep -f "$1" || true); do
    if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"
    fi
  done
}

# One wineserver for the whole run, started with nothing of the caller's open: one that a CTest
# test started would hold that test's output pipe open, and CTest would wait for it. The services
# that wineboot starts stay with it for the run. wineboot's desktop process has no display, and
# while it lives on (some seconds after wineboot returns) no window can be made in the prefix
# ("no driver could be loaded"): this returns once it has gone.
wine_prefix_start() {
  wine_folder=$(dirname "$1")
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/vexlo-wine.XXXXXX")
  "$wine_folder/wineserver" -p </dev/null >/dev/null 2>&1
  "$1" wineboot -i </dev/null >/dev/null 2>&1
  for _ in $(seq 600); do
    [ -z "$(prefix_processes 'explorer\.exe /desktop')" ] && break
    sleep 0.1
  done
}

# Wine leaves a console host behind now and then for a tool stopped while it started; what is
# still running of this prefix after the wineserver has gone is ended by its process id.
wine_prefix_end() {
  [ -n "${WINEPREFIX:-}" ] || return 0
  "$wine_folder/wineserver" -k 2>/dev/null || true
  for pid in $(prefix_processes 'wine|\.exe'); do kill -9 "$pid" 2>/dev/null || true; done
  rm -rf "$WINEPREFIX"
}
