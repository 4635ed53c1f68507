# Helpers of the install checks (cmake -P scripts).

# Runs a command; fails the check with its output unless it exits with 0.
function(run_checked)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
    endif()
endfunction()

# Every regular file and link under `root` is one of `expected` (paths
# below root, starting with "/") and every expected one is there.
function(expect_installed_files root expected)
    file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${root} ${root}/*)
    set(actual "")
    foreach(f ${found})
        list(APPEND actual "/${f}")
    endforeach()
    list(SORT actual)
    set(want ${expected})
    list(SORT want)
    if(NOT actual STREQUAL want)
        message(FATAL_ERROR "installed files differ\n  expected: ${want}\n  found:    ${actual}")
    endif()
endfunction()

# `binary` is executable and, started on a port that does not exist, logs the
# failed open and exits with status 0. `env` adds NAME=VALUE settings.
function(expect_server_runs binary env)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DSPD_SERIAL_PREFIX=/nonexistent-dspd/ttyS ${env}
                ${binary} 4
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
    if(NOT rc EQUAL 0 OR NOT err MATCHES "INF: open /nonexistent-dspd/ttyS4\n"
       OR NOT err MATCHES "ERR: open device fail\n")
        message(FATAL_ERROR "${binary} did not run as expected (${rc})\n${out}\n${err}")
    endif()
endfunction()

# The unit file has the keys the device relies on, names `binary` (its
# installed path), and, where systemd-analyze is at hand, passes its check.
function(expect_unit root unit binary analyze)
    file(READ ${unit} text)
    foreach(line
            "Type=notify"
            "ExecStart=${binary} %i"
            "Restart=on-failure"
            "StandardOutput=journal"
            "StandardError=journal"
            "Conflicts=serial-getty@ttyS%i.service"
            "WantedBy=multi-user.target"
            "DefaultInstance=1")
        string(FIND "${text}\n" "\n${line}\n" at)
        if(at LESS 0)
            message(FATAL_ERROR "${unit}: no line \"${line}\"\n${text}")
        endif()
    endforeach()
    # The level prefixes of the log lines must stay priorities.
    if(text MATCHES "\nSyslogLevelPrefix=")
        message(FATAL_ERROR "${unit}: SyslogLevelPrefix changed")
    endif()
    if(analyze)
        # A copy that points at the staged binary, for systemd-analyze's check
        # that the command exists; any warning (an unknown key, a bad value)
        # fails the check.
        set(copy_dir ${root}-unit-check)
        file(REMOVE_RECURSE ${copy_dir})
        file(MAKE_DIRECTORY ${copy_dir})
        string(REPLACE "ExecStart=${binary}" "ExecStart=${root}${binary}" copy "${text}")
        file(WRITE ${copy_dir}/dspd@4.service "${copy}")
        execute_process(COMMAND ${analyze} verify --man=no ${copy_dir}/dspd@4.service
                        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
        file(REMOVE_RECURSE ${copy_dir})
        if(NOT rc EQUAL 0 OR NOT "${out}${err}" STREQUAL "")
            message(FATAL_ERROR "systemd-analyze verify (${rc}):\n${out}${err}")
        endif()
    endif()
endfunction()
