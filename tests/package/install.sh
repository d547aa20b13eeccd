#!/usr/bin/env bash
# Installs the Debian package into a pristine Debian root of this machine's
# release, as a player would (apt-get install ./voidrunner_*.deb pulls every
# dependency), checks that its HTTP client (online play, a module beside the
# program) has its libraries and loads, and plays it there as an ordinary
# user on a private X server:
# the game started from its desktop entry's Exec line shows its window, a
# game is lost and signed, save.txt lands in the player's data folder, and
# removing the package leaves that folder alone. Also: a data folder that is
# a file, read-only or on a full disk still lets the game start, and the
# launcher says once what is wrong.
#   tests/package/install.sh CLOSE-WINDOW WORKDIR
# The Debian root comes from root.sh (cached; needs root).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
closer=$(realpath "$1")
work=$(mkdir -p "$2" && cd "$2" && pwd)

say() { echo "install: $*"; }
[ "$(id -u)" -eq 0 ] || { say "needs root (chroot and mounts)" >&2; exit 1; }

deb=$root/$("$root/scripts/package-deb.sh" | tail -n1)

# shellcheck source=../../scripts/lib/xvfb.sh
. "$root/scripts/lib/xvfb.sh"
vr_tmp_and_cleanup
# shellcheck source=root.sh
. "$root/tests/package/root.sh"
cleanup() {
    set +e
    vr_cleanup
    vr_root_cleanup
}
trap cleanup EXIT
fail() {
    echo "install: FAIL: $*" >&2
    [ -f "$work/game.log" ] && sed 's/^/  game: /' "$work/game.log" >&2
    exit 1
}
vr_root_start "$work"

# --- install, as a player would ------------------------------------------------
started=$SECONDS
vr_root_install "$deb"
say "installed with its dependencies in $((SECONDS - started)) s"
# Online play: the HTTP client beside the program, which a build without
# libcurl's headers would have left out, with every library it needs
# brought by the package's dependencies.
module=/usr/lib/games/voidrunner/voidrunner-http.so
[ -f "$sysroot$module" ] || fail "no $module: the installed game would have no online play"
in_root ldd "$module" >"$work/ldd.log" 2>&1 || fail "ldd $module: $(cat "$work/ldd.log")"
! grep -q 'not found' "$work/ldd.log" || fail "$module lacks $(grep 'not found' "$work/ldd.log")"
grep -q 'libcurl\.so' "$work/ldd.log" || fail "$module does not link libcurl"
say "the installed HTTP client has its libraries (libcurl among them)"
in_root useradd --create-home --shell /bin/sh player
home=$sysroot/home/player
data=$home/.local/share/voidrunner

vr_start_xvfb 320x240 || fail "Xvfb did not start"
mount_in "$sysroot/tmp/.X11-unix" --bind /tmp/.X11-unix

exec_line=$(sed -n 's/^Exec=//p' "$sysroot/usr/share/applications/voidrunner.desktop" |
    sed 's/ *%[fFuUdDnNickvm]//g')
[ -n "$exec_line" ] || fail "the desktop entry has no Exec line"

# play [VAR=VALUE...]: the Exec line as the player, in a login-like
# environment; the game's output goes to $work/game.log.
play() {
    vr_start_game / 30 chroot --userspec=player:player "$sysroot" env -i HOME=/home/player USER=player \
        PATH=/usr/local/bin:/usr/bin:/bin:/usr/games DISPLAY="$DISPLAY" LANG=C.UTF-8 "$@" \
        sh -c "cd && exec $exec_line" >"$work/game.log" 2>&1 || fail "$vr_why"
}
close() {
    local closed=0
    vr_close_game "$closer" 5 || closed=$?
    [ "$closed" -eq 0 ] || fail "the game did not end within 5 s of closing its window"
    [ "$vr_exit_code" -eq 0 ] || fail "the game exited with $vr_exit_code"
}

# --- a game lost and signed ----------------------------------------------------
play
[ "$(readlink "$data/snd")" = /usr/share/games/voidrunner/snd ] ||
    fail "the data folder's snd does not point at the installed sounds"
# Fly into rocks with the engine on; letters count only once the game is over
# and the table asks for initials.
# One letter at a time, the same each time: typing can start at any of them.
signed() { [ -s "$data/save.txt" ] || { xdotool type X; false; }; }
vr_fly_until 90 0.4 signed || fail "$vr_why: no save.txt in the player's data folder after 90 s of play"
grep -q ' XXX$' "$data/save.txt" || fail "save.txt holds no row signed XXX"
[ "$(stat -c %u "$data/save.txt")" = "$(in_root id -u player)" ] || fail "save.txt does not belong to the player"
close
say "played from the desktop entry ('$exec_line'): a game lost and signed, save.txt in ~/.local/share/voidrunner"

# --- the HTTP client loads ------------------------------------------------------
# A ranked launch claims its name through the module, at a closed port:
# libcurl itself must say why there is none (the name's claim comes first).
in_root su player -c 'printf "leaderboard http://127.0.0.1:9\nplayer ACE\n" >>~/.local/share/voidrunner/settings.txt'
desktop_line=$exec_line
exec_line="$exec_line --ranked"
play
close
exec_line=$desktop_line
grep -q "could not be claimed (.*(Couldn't connect to server))" "$work/game.log" ||
    fail "the ranked launch did not reach libcurl: $(grep -m1 'claimed\|ticket\|online play\|network' "$work/game.log")"
say "a ranked launch asked to claim its name through the installed HTTP client"

# --- a data folder that cannot be used -------------------------------------------
# Each still starts the game, and the launcher says once what is wrong.
expect_warning() {  # expect_warning CASE
    local n
    n=$(grep -c 'high scores will not be kept' "$work/game.log" || true)
    [ "$n" -eq 1 ] || fail "$1: the launcher said $n times what is wrong"
    say "$1: $(grep 'will not be kept' "$work/game.log")"
}
in_root su player -c 'mkdir -p ~/file ~/readonly/voidrunner ~/full &&
    touch ~/file/voidrunner && chmod 555 ~/readonly/voidrunner'
play XDG_DATA_HOME=/home/player/file
close
expect_warning "a file in place of the folder"
play XDG_DATA_HOME=/home/player/readonly
close
expect_warning "a read-only folder"
mount_in "$home/full" -t tmpfs -o size=256k,mode=0755 tmpfs
in_root sh -c 'chown player: /home/player/full && su player -c "mkdir ~/full/voidrunner &&
    ln -s /usr/share/games/voidrunner/snd ~/full/voidrunner/snd &&
    (dd if=/dev/zero of=\$HOME/full/filler bs=4k >/dev/null 2>&1 || true)"'
play XDG_DATA_HOME=/home/player/full
close
expect_warning "a full disk"

# --- removing the package keeps the player's folder -------------------------------
in_root apt-get purge -y -q voidrunner >>"$work/apt.log" 2>&1 || fail "apt-get purge failed"
[ ! -e "$sysroot/usr/games/voidrunner" ] || fail "the launcher is still there after purge"
grep -q ' XXX$' "$data/save.txt" || fail "removing the package touched the player's save.txt"
say "ok: installed, played, signed, kept after removal ($((SECONDS - started)) s after unpacking the root)"
