# Shared by the tests that run the Windows build under Wine. Source it, then:
#   vr_windows_build LOG || fail ...      the Windows tree in build-win/
#   vr_wine_prefix LOG [desktop] || fail  a fresh Wine prefix, exported
# vr_wine_stop ends the prefix's server and removes it; lib/xvfb.sh's exit
# trap calls it, scripts without that trap set their own.
vr_wine_root="$(dirname "$(realpath "${BASH_SOURCE[0]}")")/../.."
wine_prefix=""

# scripts/build-windows.sh, its output in LOG and, on failure, the end of it
# on standard error. Under CTest the windows.build fixture has built the tree
# once for all the Wine tests (VR_WINDOWS_BUILT): then it is only looked for.
vr_windows_build() {  # vr_windows_build LOG
    if [ -n "${VR_WINDOWS_BUILT:-}" ]; then
        [ -f "$vr_wine_root/build-win/voidrunner-windows.zip" ] && return 0
        echo "no build-win/voidrunner-windows.zip: see the windows.build test" >&2
        return 1
    fi
    "$vr_wine_root/scripts/build-windows.sh" >"$1" 2>&1 && return 0
    echo "the Windows build failed; the end of $1:" >&2
    tail -n 30 "$1" >&2
    return 1
}

# A prefix of its own in a temporary folder (so tests can run side by side),
# booted before anything is timed; wineboot's output goes to LOG. With
# "desktop", Wine manages its windows itself as the Windows desktop would
# (maximising, the caption, Alt+F4), for a display without a window manager.
vr_wine_prefix() {  # vr_wine_prefix LOG [desktop]
    wine_prefix=$(mktemp -d "${TMPDIR:-/tmp}/voidrunner-wine.XXXXXX")
    export WINEPREFIX="$wine_prefix" WINEARCH=win64 WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko install dialogs
    timeout 180 wineboot -i >"$1" 2>&1 || return 1
    if [ "${2:-}" = desktop ]; then
        timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$1" 2>&1 || return 1
        timeout 60 wineserver -w || true
    fi
}

vr_wine_stop() {
    [ -n "$wine_prefix" ] || return 0
    WINEPREFIX="$wine_prefix" timeout 20 wineserver -k 2>/dev/null || true
    rm -rf "$wine_prefix"
    wine_prefix=""
}
