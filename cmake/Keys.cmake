# The player's keys as app/host/Keys.def lists them, for the files the build
# writes (scripts/keys.sh): vr_keys(FORMAT OUT) sets OUT to the keys as man
# (roff paragraphs) or text (plain lines). A change of the list configures
# the build again.
function(vr_keys format out)
  set(script ${PROJECT_SOURCE_DIR}/scripts/keys.sh)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${PROJECT_SOURCE_DIR}/app/host/Keys.def ${script})
  execute_process(COMMAND ${script} ${format} OUTPUT_VARIABLE text RESULT_VARIABLE failed
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(FATAL_ERROR "scripts/keys.sh ${format} failed")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
