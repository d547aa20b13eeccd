#!/usr/bin/env bash
# Builds the Debian package and checks it with Debian's own tools: lintian
# (no errors, no warnings), desktop-file-validate, appstreamcli, the manual
# page, and the one version in --version, the changelog and the metainfo.
#   tests/package/lint.sh WORKDIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mkdir -p "$1" && cd "$1" && pwd)
fail() { echo "lint: FAIL: $*" >&2; exit 1; }

deb=$root/$("$root/scripts/package-deb.sh" | tail -n1)
rm -rf "$work/tree"
dpkg-deb -x "$deb" "$work/tree"
tree=$work/tree

lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 || {
    cat "$work/lintian.log" >&2
    fail "lintian reports errors or warnings"
}
desktop-file-validate "$tree/usr/share/applications/voidrunner.desktop" || fail "desktop-file-validate"
grep -qx 'Categories=Game;ArcadeGame;' "$tree/usr/share/applications/voidrunner.desktop" ||
    fail "the desktop entry is not in Game;ArcadeGame;"
metainfo=$(ls "$tree"/usr/share/metainfo/*.metainfo.xml)
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
# Only what is so: the licence, the controls; no site that does not exist.
grep -q '<project_license>MIT</project_license>' "$metainfo" || fail "the metainfo names no MIT licence"
grep -q '<control>gamepad</control>' "$metainfo" || fail "the metainfo does not declare the gamepad"
! grep -q 'https\?://' "$metainfo" || fail "the metainfo links to a site"
grep -q '^License: Expat$' "$tree/usr/share/doc/voidrunner/copyright" || fail "the copyright file is not Expat"

# groff warnings, as lintian's manual page check shows them.
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
    "$tree/usr/share/man/man6/voidrunner.6.gz" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page: $warnings"

# One version everywhere: the program, the package, its changelog, the metainfo.
version=$("$tree/usr/lib/games/voidrunner/voidrunner" --version | awk '{ print $2 }')
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
changelog=$(zcat "$tree/usr/share/doc/voidrunner/changelog.gz" | head -n1 | sed 's/.*(\(.*\)).*/\1/')
[ "$changelog" = "$version" ] || fail "the changelog's newest entry is $changelog, not $version"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
# Through the launcher too, with no display and no data folder.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY HOME=/nonexistent "$tree/usr/games/voidrunner" --version)
[ "$out" = "voidrunner $version" ] || fail "the launcher's --version said '$out'"
echo "lint: ok: lintian, desktop entry, metainfo, manual page, version $version"
