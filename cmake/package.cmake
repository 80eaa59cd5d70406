# CPack's settings: on Linux two Debian packages, `wrendle` (the game, section games) and
# `libwrendle-kit-dev` (the kit's header, libraries, CMake package and pkg-config file), their
# dependencies found by dpkg-shlibdeps. scripts/package builds them; the Windows zip is made
# there from the Runtime component of the MinGW build.
set(CPACK_PACKAGE_NAME wrendle)
set(CPACK_PACKAGE_VENDOR "The Wrendle developers")
set(CPACK_PACKAGE_CONTACT "The Wrendle developers <wrendle@wrendle.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's synopsis is the first line of its component's description; an empty summary
# keeps CPack from putting another synopsis before it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME wrendle)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION games)
# libdecor draws the title bar and the close box where the compositor does not (GNOME), through
# a plugin: without one the window has neither, so the plugin is a dependency, not a
# recommendation that an install without recommends leaves out. shlibdeps adds the libraries.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libdecor-0-plugin-1-cairo | libdecor-0-plugin-1")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
    "serpent arcade game
Wrendle is a small single-player arcade game. You steer a serpent, a chain
of square cells, across a walled field. It grows by one cell for every piece
of food it eats, and dies when its head leaves the field, runs into its own
body, or enters an obstacle while it holds no bonus charge; bonus stars let
it break through obstacles.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libwrendle-kit-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# The kit's libraries are static: a program that links them links what the layer uses, on X11
# and on Wayland (the same modules the pkg-config file requires).
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
    "libx11-dev, libgl-dev, libegl-dev, libwayland-dev, libxkbcommon-dev, libdecor-0-dev")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
    "Wrendle's OpenGL window kit (development files)
The window kit that the game Wrendle is built on: one OpenGL window, handler
slots, key and mouse bindings, a message loop and colour maps. This package
holds its header, static libraries, a CMake package (WrendleKit, target
Wrendle::kit), a pkg-config module (wrendle-kit), a guide and examples.")

include(CPack)
