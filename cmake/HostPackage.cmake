# The host tools as one Debian package, by CPack (cpack -G DEB in the build
# directory): dspctl, dspd-sim and the simulated dspd they start (in
# /usr/lib/dspctl), their man pages, the completion, and the copyright file
# and changelog that Debian's policy asks for.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/dspctl)
install(FILES ${PROJECT_SOURCE_DIR}/dist/deb/copyright DESTINATION ${doc_dir})
configure_file(${PROJECT_SOURCE_DIR}/dist/deb/changelog.in ${CMAKE_BINARY_DIR}/deb/changelog @ONLY)
find_program(DSPD_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/deb/changelog.gz
    COMMAND ${DSPD_GZIP} -9nkf ${CMAKE_BINARY_DIR}/deb/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/deb/changelog VERBATIM)
add_custom_target(deb_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/deb/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/deb/changelog.gz DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dspctl)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "dspd maintainers <dspd-maintainers@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "host tools for the audio DSP's command server")
set(CPACK_PACKAGE_DESCRIPTION
    "dspctl sends commands to dspd, the audio DSP's command server, over a\n"
    "serial line and shows its replies readably: reports decoded, MP.bin\n"
    "frames checked. dspctl sim and dspd-sim run dspd on a simulated device\n"
    "(a pseudo-terminal and a stand-in audio service) for trying commands\n"
    "and testing peers without the device.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/dist/deb/strip.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/deb/CPackStrip.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "set(DSPD_STRIP \"${CMAKE_STRIP}\")\n")
set(CPACK_PACKAGE_FILE_NAME_NO_COMPONENT ON)
include(CPack)
