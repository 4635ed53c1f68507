# What this configure builds of the optional parts, and why: one line each,
# printed together at the end, so that a missing package is named where the
# reader looks.

# dspd_feature(<group> ON|OFF <why>)
function(dspd_feature group state why)
    if(state)
        set(line "${group}: on (${why})")
    else()
        set(line "${group}: off: ${why}")
    endif()
    set_property(GLOBAL APPEND PROPERTY DSPD_FEATURES "${line}")
endfunction()

function(dspd_print_features)
    get_property(lines GLOBAL PROPERTY DSPD_FEATURES)
    foreach(line IN LISTS lines)
        message(STATUS "dspd: ${line}")
    endforeach()
endfunction()
