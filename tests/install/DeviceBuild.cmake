# A device build: the server linked against an audio client library of the
# platform (DSPD_AUDIO_CLIENT_LIB) instead of the stand-in. A shared build of
# the stand-in's sources plays the platform's library here. Checks that such a
# build configures, builds and installs the server and the unit and nothing of
# the stand-in, and that the server needs that library to start.
# Run as: cmake -D<name>=<value>... -P DeviceBuild.cmake
#   SOURCE_DIR   the project
#   WORK_DIR     scratch directory (emptied first)
#   CXX          C++ compiler
#   GENERATOR    CMake generator
#   NM           nm, or empty
#   SYSTEMD_ANALYZE  systemd-analyze, or empty or a ...-NOTFOUND value
include(${CMAKE_CURRENT_LIST_DIR}/CheckHelpers.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/platform)
set(library ${WORK_DIR}/platform/libaudioclient.so)
file(GLOB sources ${SOURCE_DIR}/client/sim/*.cpp)
run_checked(${CXX} -std=c++17 -O1 -shared -fPIC -pthread -I${SOURCE_DIR}/client/include
            -I${SOURCE_DIR}/client/sim ${sources} -o ${library})

# As a device image builds it: prefix /usr, unit directory given, the
# library named as it is found in the target's library directory.
set(build ${WORK_DIR}/build)
run_checked(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${build} -G ${GENERATOR}
            -DCMAKE_BUILD_TYPE=Debug -DCMAKE_INSTALL_PREFIX=/usr
            -DCMAKE_LIBRARY_PATH=${WORK_DIR}/platform -DDSPD_AUDIO_CLIENT_LIB=audioclient
            -DDSPD_SYSTEMD_UNIT_DIR=/lib/systemd/system)
run_checked(${CMAKE_COMMAND} --build ${build} -j2)

set(stage ${WORK_DIR}/stage)
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${stage} ${CMAKE_COMMAND} --install ${build}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install failed: ${err}")
endif()
expect_installed_files(${stage} "/usr/bin/dspd;/lib/systemd/system/dspd@.service")
expect_unit(${stage} ${stage}/lib/systemd/system/dspd@.service /usr/bin/dspd "${SYSTEMD_ANALYZE}")

# None of the stand-in is inside the server ...
if(NM)
    execute_process(COMMAND ${NM} -C --defined-only ${stage}/usr/bin/dspd
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0 OR symbols MATCHES "audiosim::|AudioCreator::")
        message(FATAL_ERROR "the device server defines stand-in symbols (${rc})")
    endif()
endif()
# ... it starts with the platform's library and not without it.
expect_server_runs(${stage}/usr/bin/dspd "LD_LIBRARY_PATH=${WORK_DIR}/platform")
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${stage}/usr/bin/dspd 4
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err TIMEOUT 30)
if(rc EQUAL 0 OR NOT err MATCHES "libaudioclient")
    message(FATAL_ERROR "the device server started without the platform's library (${rc})\n${err}")
endif()

# Where pkg-config knows no systemd and no directory is given, no unit.
run_checked(${CMAKE_COMMAND} -E env PKG_CONFIG_LIBDIR=${WORK_DIR}/no-pkgconfig
            PKG_CONFIG_PATH= ${CMAKE_COMMAND} ${build} -DDSPD_SYSTEMD_UNIT_DIR=)
set(stage ${WORK_DIR}/stage-without-systemd)
run_checked(${CMAKE_COMMAND} -E env DESTDIR=${stage} ${CMAKE_COMMAND} --install ${build})
expect_installed_files(${stage} "/usr/bin/dspd")
