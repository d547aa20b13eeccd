#!/usr/bin/env bash
# Builds the Debian packages and checks them with Debian's own tools: lintian
# (no errors, no warnings) and the manual pages of both; for the game
# desktop-file-validate, appstreamcli, and the one version in --version, the
# changelog and the metainfo; for the server its conffile, its unit
# (systemd-analyze verify, where there is one) and a manual page that names
# every option.
#   tests/package/lint.sh WORKDIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mkdir -p "$1" && cd "$1" && pwd)
fail() { echo "lint: FAIL: $*" >&2; exit 1; }

debs=$("$root/scripts/package-deb.sh" voidrunner voidrunner-server | tail -n2)
deb=$root/$(head -n1 <<<"$debs")
server_deb=$root/$(tail -n1 <<<"$debs")
rm -rf "$work/tree" "$work/server"
dpkg-deb -x "$deb" "$work/tree"
dpkg-deb -x "$server_deb" "$work/server"
tree=$work/tree
server=$work/server

for d in "$deb" "$server_deb"; do
    lintian --fail-on error,warning "$d" >"$work/lintian.log" 2>&1 || {
        cat "$work/lintian.log" >&2
        fail "lintian reports errors or warnings for $(basename "$d")"
    }
done
# groff warnings, as lintian's manual page check shows them.
for page in "$tree/usr/share/man/man6/voidrunner.6.gz" "$server/usr/share/man/man8/voidrunner-server.8.gz"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "the manual page $(basename "$page"): $warnings"
done

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

# One version everywhere: the program, the packages, the changelog, the metainfo.
version=$("$tree/usr/lib/games/voidrunner/voidrunner" --version | awk '{ print $2 }')
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
[ "$(dpkg-deb -f "$server_deb" Version)" = "$version" ] || fail "the server's package version is not $version"
changelog=$(zcat "$tree/usr/share/doc/voidrunner/changelog.gz" | head -n1 | sed 's/.*(\(.*\)).*/\1/')
[ "$changelog" = "$version" ] || fail "the changelog's newest entry is $changelog, not $version"
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
# Through the launcher too, with no display and no data folder.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY HOME=/nonexistent "$tree/usr/games/voidrunner" --version)
[ "$out" = "voidrunner $version" ] || fail "the launcher's --version said '$out'"

# The server: /etc/default is its conffile, and the unit runs the packaged
# program with what that file sets.
[ "$(dpkg-deb --ctrl-tarfile "$server_deb" | tar -xOf - ./conffiles)" = /etc/default/voidrunner-server ] ||
    fail "the server's conffiles are not just /etc/default/voidrunner-server"
unit=/usr/lib/systemd/system/voidrunner-server.service
exec_start=$(sed -n 's/^ExecStart=//p' "$server$unit")
[ -x "$server${exec_start%% *}" ] || fail "the unit runs ${exec_start%% *}, which the package lacks"
for var in $(grep -o '\${*[A-Z_]*' <<<"$exec_start" | tr -d '${'); do
    grep -q "^$var=" "$server/etc/default/voidrunner-server" ||
        fail "the unit uses \$$var, which /etc/default/voidrunner-server does not set"
done
if command -v systemd-analyze >/dev/null; then
    # Its own faults only: the tree has no system units to depend on, nor man.
    systemd-analyze verify --man=no --recursive-errors=no --root="$server" "$unit" ||
        fail "systemd-analyze verify finds fault with the unit"
fi
# The game's manual page lists every key of app/host/Keys.def.
page=$(zcat "$tree/usr/share/man/man6/voidrunner.6.gz")
while IFS= read -r line; do
    grep -qxF -- "$line" <<<"$page" || fail "the game's manual page lacks the key line '$line'"
done < <("$(dirname "$0")/../../scripts/keys.sh" man | grep '^\.B ')
# Every option of --help but those for tests only is in the manual page.
page=$(zcat "$server/usr/share/man/man8/voidrunner-server.8.gz")
for option in $("$server/usr/sbin/voidrunner-server" --help | grep -v 'tests only' | grep -o '^ *--[a-z-]*'); do
    grep -qF -- "${option//-/\\-}" <<<"$page" || fail "the server's manual page lacks $option"
done
echo "lint: ok: lintian, desktop entry, metainfo, manual pages and their keys, version $version, the server's unit and options"
