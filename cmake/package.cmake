# The Debian package of the program (cpack -G DEB in the build folder): what `cmake --install` puts in place, under /usr,
# where XScreenSaver finds its hacks and their settings files.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME life)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the life developers")
set(CPACK_PACKAGE_CONTACT "The life developers <life@example.org>")
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
include(CPack)
