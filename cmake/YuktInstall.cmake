# Where an installation puts what: programs on the PATH, manuals under man,
# the desktop entry and its icon, shipped files and examples in
# share/poverka, documentation in share/doc/poverka.
#
# Nothing goes into the operator's working directory (~/.local/share/poverka
# for an installed workstation) or /etc/yukt: the package ships examples of
# the site files and the lab copies them, so an upgrade touches no data.
include(GNUInstallDirs)

# `cmake --install` and CPack do not build the whole tree (the tests): they
# need only the target below, which scripts/package builds.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
add_custom_target(yukt-package-content)

set(YUKT_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/poverka)
set(YUKT_SHARE_DIR ${CMAKE_INSTALL_DATAROOTDIR}/poverka)

# Installs a program of the project into bin/ and makes it part of the package.
function(yukt_install_program target)
  if(NOT TARGET ${target})
    return()
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Its --version (common/program_version.h).
  target_link_libraries(${target} PRIVATE yukt_program_version)
  add_dependencies(yukt-package-content ${target})
  # Every installed program says which build it is, in the words of the package.
  add_test(NAME version_${target}
    COMMAND sh -c "out=$(\"$1\" --version) && test \"$out\" = \"$2 $(cat \"$3\")\" || { echo \"$out\"; exit 1; }"
            sh $<TARGET_FILE:${target}> ${target} ${YUKT_GENERATED_DIR}/version.txt)
endfunction()

set(share ${CMAKE_SOURCE_DIR}/share)
install(FILES ${share}/applications/poverka.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
install(FILES ${share}/icons/poverka.svg
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)
install(DIRECTORY ${share}/examples DESTINATION ${YUKT_SHARE_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${share}/doc/copyright DESTINATION ${YUKT_DOC_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/ DESTINATION ${YUKT_DOC_DIR}/docs)

# The Debian changelog of the build's version (a native package keeps it as
# changelog.gz), compressed as Debian policy asks: gzip -9n.
set(changelog ${YUKT_GENERATED_DIR}/changelog)
add_custom_command(OUTPUT ${changelog}.gz
  COMMAND gzip -9nc ${changelog} > ${changelog}.gz
  DEPENDS yukt_version ${changelog} VERBATIM)
add_custom_target(yukt_changelog DEPENDS ${changelog}.gz)
add_dependencies(yukt-package-content yukt_changelog)
install(FILES ${changelog}.gz DESTINATION ${YUKT_DOC_DIR})
install(FILES ${share}/lintian/poverka DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides)

# The methodologies shipped with the program (copied to the operator's
# folder on first use, never edited in place).
if(EXISTS ${CMAKE_SOURCE_DIR}/methodologies)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/methodologies/ DESTINATION ${YUKT_SHARE_DIR}/methodologies
          FILES_MATCHING PATTERN "*.toml")
endif()
