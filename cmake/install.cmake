# Install rules: the game and its desktop files (component Runtime), the kit's header, libraries,
# CMake package and pkg-config file (component Development); and CPack's settings for the
# Debian packages. On Windows the game, its README and LICENSE go to the top of the tree, as in
# the zip.
include(CMakePackageConfigHelpers)

set(WRENDLE_INSTALL_GAMESDIR "games" CACHE STRING "Where the game goes, under the prefix")
option(WRENDLE_DEBIAN_DOCS "Install the copyright file and compressed changelogs Debian asks for"
       OFF)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/wrendle)

# --- The game ---------------------------------------------------------------------------------
if(WIN32)
  if(TARGET wrendle)
    install(TARGETS wrendle RUNTIME DESTINATION . COMPONENT Runtime)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
                ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION . COMPONENT Runtime)
else()
  if(TARGET wrendle)
    install(TARGETS wrendle RUNTIME DESTINATION ${WRENDLE_INSTALL_GAMESDIR} COMPONENT Runtime)
  endif()
  set(data ${PROJECT_SOURCE_DIR}/data)
  install(FILES ${data}/wrendle.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
          COMPONENT Runtime)
  install(FILES ${data}/wrendle.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT Runtime)
  foreach(size 48 256)
    install(FILES ${data}/wrendle-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME wrendle.png COMPONENT Runtime)
  endforeach()
  install(FILES ${data}/org.wrendle.Wrendle.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT Runtime)

  # Manual pages are installed compressed, as Debian wants them; man reads either form. -n keeps
  # the date out, so the same page gives the same bytes.
  find_program(WRENDLE_GZIP gzip)
  set(generated ${PROJECT_BINARY_DIR}/install-data)
  file(MAKE_DIRECTORY ${generated})
  if(WRENDLE_GZIP)
    add_custom_command(
      OUTPUT ${generated}/wrendle.6.gz ${generated}/changelog.gz
      COMMAND ${WRENDLE_GZIP} -9 -n -c ${data}/wrendle.6 > ${generated}/wrendle.6.gz
      COMMAND ${WRENDLE_GZIP} -9 -n -c ${PROJECT_SOURCE_DIR}/CHANGELOG.md > ${generated}/changelog.gz
      DEPENDS ${data}/wrendle.6 ${PROJECT_SOURCE_DIR}/CHANGELOG.md VERBATIM)
    add_custom_target(wrendle_install_data ALL DEPENDS ${generated}/wrendle.6.gz
                                                       ${generated}/changelog.gz)
    install(FILES ${generated}/wrendle.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6
            COMPONENT Runtime)
  else()
    install(FILES ${data}/wrendle.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6 COMPONENT Runtime)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
                ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION ${docdir} COMPONENT Runtime)
  if(WRENDLE_DEBIAN_DOCS)
    if(NOT WRENDLE_GZIP)
      message(FATAL_ERROR "WRENDLE_DEBIAN_DOCS needs gzip")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/copyright.in ${generated}/copyright @ONLY)
    foreach(package wrendle libwrendle-kit-dev)
      if(package STREQUAL wrendle)
        set(component Runtime)
      else()
        set(component Development)
      endif()
      install(FILES ${generated}/copyright ${generated}/changelog.gz
              DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
    endforeach()
  endif()
endif()

# --- The kit as a library ---------------------------------------------------------------------
set(kit_docdir ${docdir})
if(WRENDLE_DEBIAN_DOCS)
  set(kit_docdir ${CMAKE_INSTALL_DATADIR}/doc/libwrendle-kit-dev)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/kit/kit.h ${PROJECT_BINARY_DIR}/include/kit/version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/wrendle/kit COMPONENT Development)
install(FILES ${PROJECT_SOURCE_DIR}/docs/kit.md DESTINATION ${kit_docdir} COMPONENT Development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION ${kit_docdir}/examples
        COMPONENT Development)
install(TARGETS wrendle_kit wrendle_platform EXPORT WrendleKitTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)

set(cmakedir ${CMAKE_INSTALL_LIBDIR}/cmake/WrendleKit)
install(EXPORT WrendleKitTargets NAMESPACE Wrendle:: DESTINATION ${cmakedir}
        COMPONENT Development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/WrendleKitConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/WrendleKitConfig.cmake
                              INSTALL_DESTINATION ${cmakedir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/WrendleKitConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/WrendleKitConfig.cmake
              ${PROJECT_BINARY_DIR}/WrendleKitConfigVersion.cmake
        DESTINATION ${cmakedir} COMPONENT Development)

# The pkg-config file finds its prefix from where it lies, so an installed tree can be moved.
if(NOT WIN32)
  set(pcdir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH pc_up /${pcdir} /)
  string(REGEX REPLACE "/$" "" pc_up "${pc_up}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/wrendle-kit.pc.in
                 ${PROJECT_BINARY_DIR}/wrendle-kit.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/wrendle-kit.pc DESTINATION ${pcdir} COMPONENT Development)
endif()

include(${PROJECT_SOURCE_DIR}/cmake/package.cmake)
