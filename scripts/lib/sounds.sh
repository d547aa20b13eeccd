# The game's sounds as present/Sounds.def lists them. Source it, then
# vr_sound_names prints the names, one a line, in the list's order.
vr_sound_list="$(dirname "$(realpath "${BASH_SOURCE[0]}")")/../../present/Sounds.def"

vr_sound_names() {
    sed -n 's/^VR_SOUND(\([A-Za-z0-9]*\))$/\1/p' "$vr_sound_list"
}
