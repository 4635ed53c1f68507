# Run by cpack on the staged files before it packs them: strips the programs
# as Debian's own packaging does, the compiler's .comment and .note sections
# too (which the C++ runtime's start files bring in).
file(GLOB programs ${CPACK_TEMPORARY_DIRECTORY}/usr/bin/* ${CPACK_TEMPORARY_DIRECTORY}/usr/lib/dspctl/*)
foreach(program ${programs})
    execute_process(COMMAND ${DSPD_STRIP} --remove-section=.comment --remove-section=.note
                            --strip-unneeded ${program} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "strip ${program} failed (${rc})")
    endif()
endforeach()
