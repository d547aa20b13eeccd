#!/bin/sh
# Starts Voidrunner in the player's own folder, where the high-score table
# (save.txt) lives and survives upgrades and removal of the package:
# ${XDG_DATA_HOME:-$HOME/.local/share}/voidrunner, with snd pointing at the
# installed sounds. The game reads and writes its files in the folder it
# starts in.
set -u

# Paths from the launcher's own place (PREFIX/games), so that the same script
# works under /usr and wherever the install rules put it.
prefix=$(cd "$(dirname "$0")/.." && pwd)
game=$prefix/lib/games/voidrunner/voidrunner
share=$prefix/share/games/voidrunner

# These need neither a folder nor a display.
for arg in "$@"; do
    case $arg in
        --help | -h | --version) exec "$game" "$@" ;;
    esac
done

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "voidrunner: no display: start it in a graphical desktop session (DISPLAY or WAYLAND_DISPLAY must be set)" >&2
    exit 1
fi

# A replay file named relative to where the player is stays found after the
# change of folder.
start=$PWD
count=$#
file_next=
while [ "$count" -gt 0 ]; do
    arg=$1
    shift
    count=$((count - 1))
    if [ -n "$file_next" ]; then
        case $arg in /*) ;; *) arg=$start/$arg ;; esac
        file_next=
    else
        case $arg in
            --replay) file_next=1 ;;
            --replay=/*) ;;
            --replay=?*) arg=--replay=$start/${arg#--replay=} ;;
        esac
    fi
    set -- "$@" "$arg"
done

# XDG_DATA_HOME counts only when it is an absolute path; else HOME must be
# one: a folder made from nothing, or in whatever folder the player is in,
# is not the player's.
case ${XDG_DATA_HOME:-} in
    /*) data=$XDG_DATA_HOME/voidrunner ;;
    *)
        case ${HOME:-} in
            /*) data=$HOME/.local/share/voidrunner ;;
            *)
                echo "voidrunner: HOME is ${HOME:+not an absolute path ($HOME)}${HOME:-not set}: no folder to keep the high scores in; set HOME or XDG_DATA_HOME" >&2
                exit 1
                ;;
        esac
        ;;
esac

# Says what is wrong, once, and plays on: the game keeps the table in memory
# when it cannot write save.txt.
trouble() {
    echo "voidrunner: $1; this session's high scores will not be kept" >&2
}

problem=
if [ -e "$data" ] && [ ! -d "$data" ]; then
    problem="$data is a file, not a folder"
elif ! err=$(mkdir -p -- "$data" 2>&1); then
    problem="cannot make the folder $data (${err##*: })"
elif [ ! -w "$data" ] || [ ! -x "$data" ]; then
    problem="cannot write in the folder $data (it is read-only)"
else
    # The sounds: a link to the installed ones, renewed if it points elsewhere.
    if [ "$(readlink -- "$data/snd" 2>/dev/null)" != "$share/snd" ]; then
        if [ -L "$data/snd" ] || [ ! -e "$data/snd" ]; then
            rm -f -- "$data/snd" 2>/dev/null
            ln -s -- "$share/snd" "$data/snd" 2>/dev/null
        fi
    fi
    # A full disk shows only when something is written.
    probe=$data/.write-test.$$
    if ! err=$(echo "a line as long as a row of the table" 2>/dev/null | cat 2>&1 >"$probe"); then
        problem="cannot write in the folder $data (${err##*: })"
    fi
    rm -f -- "$probe"
fi

if [ -n "$problem" ]; then
    trouble "$problem"
    # The table that is there is still shown, if it can be read; else the
    # game starts in the installed folder, which has the sounds.
    if [ -r "$data/save.txt" ] && [ -x "$data" ] && [ -e "$data/snd" ]; then
        cd "$data" || exit 1
    else
        cd "$share" || exit 1
    fi
else
    cd "$data" || exit 1
fi
exec "$game" "$@"
