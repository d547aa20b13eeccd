# Install rules and the Debian packages (cpack -G DEB, one package per
# component), for a build configured with -DVR_PACKAGE=ON.
# scripts/package-deb.sh builds them with Debian's hardening flags.
# voidrunner, the game:
#   /usr/games/voidrunner                 launcher: runs the game in the
#                                         player's data folder
#   /usr/lib/games/voidrunner/voidrunner  the program
#   /usr/share/games/voidrunner/snd/      the sounds
# voidrunner-server, the leaderboard, when it is built:
#   /usr/sbin/voidrunner-server           the program
#   /usr/lib/systemd/system/voidrunner-server.service
#                                         the service, as the system user
#                                         voidrunner-server (made by postinst)
#   /etc/default/voidrunner-server        the service's options (conffile)
#   /usr/share/doc/voidrunner-server/examples/nginx/voidrunner.conf
#                                         the site to put nginx in front
# The game has no web site and no mail domain: the names are under the
# .invalid top-level domain, which never resolves, and there is no homepage.
set(VR_APP_ID invalid.voidrunner.voidrunner)
set(VR_RELEASE_DATE 2026-12-08)
set(VR_MAINTAINER "The Voidrunner authors <authors@voidrunner.invalid>")
set(VR_PKG ${PROJECT_SOURCE_DIR}/packaging/debian)
set(VR_PKG_OUT ${CMAKE_BINARY_DIR}/packaging)

# The packages are native (the packaging lives with the game): their
# changelog is changelog.gz. Compressed without names or times, as Debian wants.
add_custom_command(
  OUTPUT ${VR_PKG_OUT}/changelog.gz
  COMMAND gzip -9nc ${VR_PKG}/changelog > ${VR_PKG_OUT}/changelog.gz
  DEPENDS ${VR_PKG}/changelog)
set(VR_PKG_DOCS ${VR_PKG_OUT}/changelog.gz)
# vr_man_page(NAME SECTION): packaging/debian/NAME.SECTION with the version
# filled in, compressed into VR_PKG_OUT.
function(vr_man_page name section)
  configure_file(${VR_PKG}/${name}.${section} ${VR_PKG_OUT}/${name}.${section} @ONLY)
  add_custom_command(
    OUTPUT ${VR_PKG_OUT}/${name}.${section}.gz
    COMMAND gzip -9nc ${VR_PKG_OUT}/${name}.${section} > ${VR_PKG_OUT}/${name}.${section}.gz
    DEPENDS ${VR_PKG_OUT}/${name}.${section})
  set(VR_PKG_DOCS ${VR_PKG_DOCS} ${VR_PKG_OUT}/${name}.${section}.gz PARENT_SCOPE)
endfunction()

configure_file(${VR_PKG}/voidrunner.metainfo.xml.in
               ${VR_PKG_OUT}/${VR_APP_ID}.metainfo.xml @ONLY)
include(${PROJECT_SOURCE_DIR}/cmake/Keys.cmake)
vr_keys(man VR_KEYS_MAN)
vr_man_page(voidrunner 6)
install(TARGETS voidrunner RUNTIME DESTINATION lib/games/voidrunner COMPONENT game)
install(PROGRAMS ${VR_PKG}/voidrunner.sh DESTINATION games RENAME voidrunner COMPONENT game)
install(DIRECTORY ${CMAKE_BINARY_DIR}/snd DESTINATION share/games/voidrunner COMPONENT game)
install(FILES ${VR_PKG}/voidrunner.desktop DESTINATION share/applications COMPONENT game)
install(FILES ${VR_PKG_OUT}/${VR_APP_ID}.metainfo.xml DESTINATION share/metainfo COMPONENT game)
foreach(size IN LISTS VR_ICON_SIZES)
  install(FILES ${VR_ICONS_DIR}/${size}x${size}/voidrunner.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps COMPONENT game)
endforeach()
install(FILES ${VR_ICONS_DIR}/voidrunner.svg DESTINATION share/icons/hicolor/scalable/apps COMPONENT game)
install(FILES ${VR_PKG_OUT}/voidrunner.6.gz DESTINATION share/man/man6 COMPONENT game)
install(FILES ${VR_PKG}/copyright ${VR_PKG_OUT}/changelog.gz
        DESTINATION share/doc/voidrunner COMPONENT game)

set(CPACK_COMPONENTS_ALL game)

if(TARGET voidrunner-server)
  vr_man_page(voidrunner-server 8)
  install(TARGETS voidrunner-server RUNTIME DESTINATION sbin COMPONENT server)
  install(FILES ${PROJECT_SOURCE_DIR}/server/systemd/voidrunner-server.service
          DESTINATION lib/systemd/system COMPONENT server)
  install(FILES ${VR_PKG}/voidrunner-server.default DESTINATION /etc/default
          RENAME voidrunner-server COMPONENT server)
  install(FILES ${VR_PKG_OUT}/voidrunner-server.8.gz DESTINATION share/man/man8 COMPONENT server)
  install(FILES ${VR_PKG}/copyright ${VR_PKG_OUT}/changelog.gz
          DESTINATION share/doc/voidrunner-server COMPONENT server)
  install(FILES ${PROJECT_SOURCE_DIR}/server/nginx/voidrunner.conf
          DESTINATION share/doc/voidrunner-server/examples/nginx COMPONENT server)
  list(APPEND CPACK_COMPONENTS_ALL server)
endif()
add_custom_target(voidrunner_docs ALL DEPENDS ${VR_PKG_DOCS})

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_PACKAGE_NAME voidrunner)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT ${VR_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Maintainer scripts 0755, conffiles 0644, whatever the checkout's modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# Each description's first line is its summary; CPack indents the rest.
set(CPACK_DEBIAN_GAME_PACKAGE_NAME voidrunner)
set(CPACK_DEBIAN_GAME_DESCRIPTION "vector arcade game of a ship among rocks and saucers
Voidrunner is a vector arcade game for one player. A small ship turns,
thrusts and fires in a playfield that wraps around at its edges. Large
rocks break into medium ones, medium into small ones, and small ones
vanish; from level 3 on, saucers cross the field and fire back.

Each player's ten best results are kept in a high-score table in their
own data folder.")
# The font is found at run time through fontconfig, so it is named here.
set(CPACK_DEBIAN_GAME_PACKAGE_DEPENDS "fonts-dejavu-core")

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME voidrunner-server)
set(CPACK_DEBIAN_SERVER_DESCRIPTION "verified online leaderboard for the Voidrunner game
voidrunner-server keeps Voidrunner's online leaderboard over HTTP. It gives
out the seeds that ranked games are played with, plays every replay sent to
it again with the game's own rules, each in a worker process of its own,
and lists a run only when the replay reaches the score claimed. The runs
are kept in SQLite, or in a PostgreSQL database shared by several servers.

It runs as a systemd service under a system user of its own; an example
nginx site puts it and the browser game behind TLS.")
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_SERVER_PACKAGE_SUGGESTS "nginx, postgresql")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    "${VR_PKG}/voidrunner-server/conffiles;${VR_PKG}/voidrunner-server/postinst;${VR_PKG}/voidrunner-server/prerm;${VR_PKG}/voidrunner-server/postrm")
include(CPack)
