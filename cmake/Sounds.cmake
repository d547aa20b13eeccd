# The game's sounds as present/Sounds.def lists them (VR_SOUND(name) lines).
#   vr_sound_names(OUT)      the names, in the list's order
#   vr_sounds_js(FILE)       FILE: the page's list, `const voidrunnerSounds = [...]`
# A change of the list configures the build again.
set(VR_SOUND_LIST ${CMAKE_CURRENT_LIST_DIR}/../present/Sounds.def)
cmake_path(NORMAL_PATH VR_SOUND_LIST)

function(vr_sound_names out)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VR_SOUND_LIST})
  file(STRINGS ${VR_SOUND_LIST} lines REGEX "^VR_SOUND\\([A-Za-z0-9]+\\)$")
  list(TRANSFORM lines REPLACE "^VR_SOUND\\(([A-Za-z0-9]+)\\)$" "\\1")
  if(NOT lines)
    message(FATAL_ERROR "no VR_SOUND(name) lines in ${VR_SOUND_LIST}")
  endif()
  set(${out} ${lines} PARENT_SCOPE)
endfunction()

function(vr_sounds_js file)
  vr_sound_names(names)
  list(JOIN names "', '" quoted)
  # Written only when it changes, so the page links again only then.
  file(CONFIGURE OUTPUT ${file} CONTENT
    "// Made by the build from present/Sounds.def.\nconst voidrunnerSounds = ['${quoted}'];\n")
endfunction()
