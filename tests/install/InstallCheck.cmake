# Installs a configured build into a staging directory (DESTDIR) and checks
# what arrived. Run as: cmake -D<name>=<value>... -P InstallCheck.cmake
#   BUILD_DIR    the build to install
#   STAGE_DIR    staging directory (emptied first)
#   BINDIR       CMAKE_INSTALL_FULL_BINDIR of the build
#   UNIT_DIR     where the systemd unit goes; empty when none is installed
#   SIMULATOR    ON when the build links the simulated service
#   DIST_FILES   the man pages and the completion, as installed
#   SYSTEMD_ANALYZE  systemd-analyze, or empty or a ...-NOTFOUND value
#   RUN_ENV      optional NAME=VALUE;... for running the installed server
include(${CMAKE_CURRENT_LIST_DIR}/CheckHelpers.cmake)

file(REMOVE_RECURSE ${STAGE_DIR})
run_checked(${CMAKE_COMMAND} -E env DESTDIR=${STAGE_DIR} ${CMAKE_COMMAND} --install ${BUILD_DIR})

set(bin ${BINDIR})
set(expected ${bin}/dspd)
if(SIMULATOR)
    # The stand-in is linked into the server; the workstation tools come along.
    list(APPEND expected ${bin}/dspd-sim ${bin}/dspctl ${DIST_FILES})
endif()
if(UNIT_DIR)
    list(APPEND expected ${UNIT_DIR}/dspd@.service)
endif()
expect_installed_files(${STAGE_DIR} "${expected}")

# The installed server runs: on a port that does not exist it logs the
# failed open and ends with status 0.
expect_server_runs(${STAGE_DIR}${bin}/dspd "${RUN_ENV}")

if(UNIT_DIR)
    expect_unit(${STAGE_DIR} ${STAGE_DIR}${UNIT_DIR}/dspd@.service ${bin}/dspd "${SYSTEMD_ANALYZE}")
endif()
message(STATUS "installed: ${expected}")
