# The Debian package of the program (cpack -G DEB in the build folder): what `cmake --install` puts in place, under /usr,
# where XScreenSaver finds its hacks and their settings files.  Only a build made for installing is packaged:
# configure with -DLIFE_INSTALLED=ON.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME life)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The Debian revision: the package's changelog (cmake/debian/changelog) names the same version.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGE_VENDOR "the Life developers")
set(LIFE_MAINTAINER "Life maintainers <maintainers@users.noreply.c-seed-c2505ad6.example>" CACHE STRING
  "The package's Maintainer field")
set(CPACK_PACKAGE_CONTACT "${LIFE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LIFE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "artificial-life simulation that doubles as a screen saver")
# The long description below the summary line; dpkg's indentation and paragraph dots are added by CPack.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Up to 50 creatures, each steered by its own small neural network, roam a
field of food cells, eat, tire, die and are replaced by mutated clones of
the best eater. The world is saved when the program ends and goes on from
there at the next start.

It runs full screen on its own, or as an XScreenSaver hack (life --root)
with a preview in the settings dialog.")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS xscreensaver)
# The libraries' packages (Allegro's among them) come from the binary itself, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Control files readable by all, as dpkg-deb makes them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/debian/changelog life_changelog_top LIMIT_COUNT 1)
if(NOT life_changelog_top MATCHES "^life \\(${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}\\) ")
  message(FATAL_ERROR "cmake/debian/changelog starts with \"${life_changelog_top}\": "
    "add an entry for ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
endif()
# cpack reads this at its own start: a development build, whose root would write worlds into /usr/games, is
# refused there.
if(LIFE_INSTALLED)
  file(WRITE ${CMAKE_BINARY_DIR}/package_check.cmake "")
else()
  file(WRITE ${CMAKE_BINARY_DIR}/package_check.cmake
    "message(FATAL_ERROR \"the Debian package needs a build made for installing: configure with -DLIFE_INSTALLED=ON\")\n")
endif()
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/package_check.cmake)
include(CPack)
