# The Debian package korvo_<version>_amd64.deb (`make package`, or `cpack -G DEB` in the build
# directory). The version is the project's; the dependencies are what dpkg-shlibdeps finds the
# programs linked against, so the list never goes stale.
set(KORVO_MAINTAINER "Korvo maintainers <korvo@example.org>" CACHE STRING
    "Maintainer named in the Debian package (and its changelog)")

# cpack installs what `make package` has built (the three programs and korvo_installed_files); it
# must not build the tests and benchmarks first, which the package does not hold.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${KORVO_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "measurement program for synchrotron photoemission end stations")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KORVO_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The synopsis line is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Korvo drives a hemispherical electron analyser through an I/O-port interface
card, scans energy ranges scan after scan with a live plot, writes spectra as
text files and talks to the beamline's monochromator, motor drive and
electrometers over serial lines. Its spectrum viewer loads, analyses, exports
and prints spectra.
.
The package holds the desktop program korvo, the command-line tool korvo-cli
for headless and batch work, and korvo-sim, which plays the serial
instruments on pseudo-terminals. Access to the analyser card's ports is not
granted by the package; korvo(1) says how.")

# A package whose changelog names another version would tell the administrator the wrong story.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/packaging/check_changelog.cmake)
set(CPACK_KORVO_CHANGELOG ${CMAKE_SOURCE_DIR}/packaging/changelog)

include(CPack)
