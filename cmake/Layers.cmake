# The layers of the program: a subsystem's files may include only their own headers, the
# headers of the layers they use, and system headers. Checked at every build of the
# subsystem, so that an include that reaches up fails the build.
set(TRANSMITTER_LAYER_CHECK ${CMAKE_CURRENT_LIST_DIR}/CheckLayer.cmake)

function(transmitter_check_layer target folder)
    set(allowed ${folder})
    foreach(used IN LISTS ARGN)
        string(REPLACE "transmitter_" "" used "${used}")
        list(APPEND allowed ${used})
    endforeach()
    file(GLOB files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp
        ${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.h)
    set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.layer)
    string(REPLACE ";" "," allowed_list "${allowed}")
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DFOLDER=${CMAKE_CURRENT_SOURCE_DIR}/${folder}
            -DALLOWED=${allowed_list} -DSTAMP=${stamp} -P ${TRANSMITTER_LAYER_CHECK}
        DEPENDS ${files} ${TRANSMITTER_LAYER_CHECK}
        COMMENT "Checking the includes of ${folder}")
    add_custom_target(${target}_layer DEPENDS ${stamp})
    add_dependencies(${target} ${target}_layer)
endfunction()
