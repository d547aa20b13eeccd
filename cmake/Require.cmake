# The optional parts: a plain build leaves out what it cannot find, so a
# player's cmake stays forgiving (and says what it left out). ./test and
# the package build configure with -DVR_REQUIRE_ALL=ON: then a missing part
# stops the configure, naming the Debian package that brings it
# (scripts/setup.sh installs them all), and nothing drops out unseen.
option(VR_REQUIRE_ALL "Stop the configure when an optional part is missing" OFF)

# vr_missing(WHAT PACKAGES): WHAT was not found; PACKAGES bring it.
function(vr_missing what packages)
  if(VR_REQUIRE_ALL)
    message(FATAL_ERROR "${what} not found: install ${packages} (scripts/setup.sh test)")
  endif()
  message(STATUS "${what} not found (${packages}): left out of this build")
endfunction()

# vr_pkg_modules(PREFIX WHAT MODULE=PACKAGE...): pkg_check_modules(PREFIX
# IMPORTED_TARGET MODULE...); when one is missing, vr_missing names the
# packages of the missing modules.
macro(vr_pkg_modules prefix what)
  set(_vr_modules)
  foreach(_vr_pair ${ARGN})
    string(REGEX REPLACE "=.*" "" _vr_module "${_vr_pair}")
    list(APPEND _vr_modules ${_vr_module})
  endforeach()
  find_package(PkgConfig)
  if(PkgConfig_FOUND)
    pkg_check_modules(${prefix} IMPORTED_TARGET ${_vr_modules})
  endif()
  if(NOT ${prefix}_FOUND)
    set(_vr_packages)
    foreach(_vr_pair ${ARGN})
      string(REGEX REPLACE "=.*" "" _vr_module "${_vr_pair}")
      string(REGEX REPLACE ".*=" "" _vr_package "${_vr_pair}")
      if(PkgConfig_FOUND)
        pkg_check_modules(_VR_PROBE_${_vr_module} QUIET ${_vr_module})
      endif()
      if(NOT _VR_PROBE_${_vr_module}_FOUND)
        list(APPEND _vr_packages ${_vr_package})
      endif()
    endforeach()
    if(NOT PkgConfig_FOUND)
      list(PREPEND _vr_packages pkg-config)
    endif()
    list(JOIN _vr_packages " " _vr_packages)
    vr_missing("${what}" "${_vr_packages}")
  endif()
endmacro()

# vr_require_program(WHAT PACKAGE NAME...): under VR_REQUIRE_ALL, a program
# the tests run (any of the NAMEs, or a path) must be there.
function(vr_require_program what package)
  if(NOT VR_REQUIRE_ALL)
    return()
  endif()
  find_program(_vr_found NAMES ${ARGN} NO_CACHE)
  if(NOT _vr_found)
    vr_missing("${what}" "${package}")
  endif()
endfunction()
