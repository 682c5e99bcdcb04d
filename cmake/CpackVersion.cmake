# Read by CPack when it runs: the package takes the version of the build
# (generated/version.txt), which follows new commits without a new configure.
if(EXISTS "${CPACK_YUKT_VERSION_FILE}")
  file(STRINGS "${CPACK_YUKT_VERSION_FILE}" version LIMIT_COUNT 1)
  set(CPACK_PACKAGE_VERSION ${version})
  set(CPACK_DEBIAN_PACKAGE_VERSION ${version})
endif()
