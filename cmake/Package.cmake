# Install rules and the Debian package (cpack -G DEB), for a build
# configured with -DVR_PACKAGE=ON. scripts/package-deb.sh builds it with
# Debian's hardening flags.
#   /usr/games/voidrunner                 launcher: runs the game in the
#                                         player's data folder
#   /usr/lib/games/voidrunner/voidrunner  the program
#   /usr/share/games/voidrunner/snd/      the sounds
# The game has no web site and no mail domain: the names are under the
# .invalid top-level domain, which never resolves, and there is no homepage.
set(VR_APP_ID invalid.voidrunner.voidrunner)
set(VR_RELEASE_DATE 2026-12-08)
set(VR_MAINTAINER "The Voidrunner authors <authors@voidrunner.invalid>")
set(VR_PKG ${PROJECT_SOURCE_DIR}/packaging/debian)
set(VR_PKG_OUT ${CMAKE_BINARY_DIR}/packaging)

configure_file(${VR_PKG}/voidrunner.metainfo.xml.in
               ${VR_PKG_OUT}/${VR_APP_ID}.metainfo.xml @ONLY)
configure_file(${VR_PKG}/voidrunner.6 ${VR_PKG_OUT}/voidrunner.6 @ONLY)
# The package is native (the packaging lives with the game): its changelog is
# changelog.gz. Compressed without names or times, as Debian wants.
add_custom_command(
  OUTPUT ${VR_PKG_OUT}/voidrunner.6.gz ${VR_PKG_OUT}/changelog.gz
  COMMAND gzip -9nc ${VR_PKG_OUT}/voidrunner.6 > ${VR_PKG_OUT}/voidrunner.6.gz
  COMMAND gzip -9nc ${VR_PKG}/changelog > ${VR_PKG_OUT}/changelog.gz
  DEPENDS ${VR_PKG_OUT}/voidrunner.6 ${VR_PKG}/changelog)
add_custom_target(voidrunner_docs ALL
  DEPENDS ${VR_PKG_OUT}/voidrunner.6.gz ${VR_PKG_OUT}/changelog.gz)

install(TARGETS voidrunner RUNTIME DESTINATION lib/games/voidrunner)
install(PROGRAMS ${VR_PKG}/voidrunner.sh DESTINATION games RENAME voidrunner)
install(DIRECTORY ${CMAKE_BINARY_DIR}/snd DESTINATION share/games/voidrunner)
install(FILES ${VR_PKG}/voidrunner.desktop DESTINATION share/applications)
install(FILES ${VR_PKG_OUT}/${VR_APP_ID}.metainfo.xml DESTINATION share/metainfo)
foreach(size IN LISTS VR_ICON_SIZES)
  install(FILES ${VR_ICONS_DIR}/${size}x${size}/voidrunner.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${VR_ICONS_DIR}/voidrunner.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${VR_PKG_OUT}/voidrunner.6.gz DESTINATION share/man/man6)
install(FILES ${VR_PKG}/copyright ${VR_PKG_OUT}/changelog.gz
        DESTINATION share/doc/voidrunner)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME voidrunner)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT ${VR_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "vector arcade game of a ship among rocks and saucers")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Voidrunner is a vector arcade game for one player. A small ship turns,
thrusts and fires in a playfield that wraps around at its edges. Large
rocks break into medium ones, medium into small ones, and small ones
vanish; from level 3 on, saucers cross the field and fire back.

Each player's ten best results are kept in a high-score table in their
own data folder.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; the font is found at run time
# through fontconfig, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
include(CPack)
