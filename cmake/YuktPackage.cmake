# The Debian package poverka_<version>_amd64.deb (scripts/package builds it).
# Run-time dependencies come from dpkg-shlibdeps; the version is the one the
# programs print, read from the build when CPack runs (CpackVersion.cmake).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME poverka)
set(CPACK_PACKAGE_VENDOR "poverka developers")
set(CPACK_PACKAGE_CONTACT ${YUKT_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "verification workstation for ЮКТ-7xxx industrial I/O modules")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "poverka verifies the measuring channels of the ЮКТ-7xxx line of industrial
input/output modules against the КП «ЗИРОК-М» calibrator bench over a serial
line: it finds the calibrator, identifies the module under test and computes
the errors of its readings.

The package also holds the command console yukt-console and the simulated
calibrator bench yukt-bench, which stands in for the hardware on a
pseudo-terminal. The operator needs to be in the dialout group to open the
serial ports.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded as plugins, so shlibdeps cannot see them: the window system plugin,
# the SQLite driver of the records, Qt's Russian texts and the protocol fonts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libqt6sql6-psql")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CpackVersion.cmake)
set(CPACK_YUKT_VERSION_FILE ${YUKT_GENERATED_DIR}/version.txt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
include(CPack)
