# Each layer's target sees only its own folder and the folders of the layers below
# it: its include root is a folder of links made for it alone, so an include that
# runs upwards (core/ naming split/, say) does not compile. An include spelled with
# "../" would still find the file beside it, so the target's own files are checked
# for one before each build and the build stops there.
set(KERFLINE_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/..")

function(kerfline_layer_includes target)
    set(root "${CMAKE_BINARY_DIR}/layers/${target}")
    file(REMOVE_RECURSE "${root}")
    file(MAKE_DIRECTORY "${root}")
    foreach(folder IN LISTS ARGN)
        file(CREATE_LINK "${KERFLINE_SOURCE_ROOT}/${folder}" "${root}/${folder}" SYMBOLIC)
    endforeach()
    target_include_directories(${target} PUBLIC "${root}")
    kerfline_refuse_parent_includes(${target})
endfunction()

function(kerfline_refuse_parent_includes target)
    get_target_property(sources ${target} SOURCES)
    list(TRANSFORM sources PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/" REGEX "^[^/]")
    # Headers that no target lists are compiled only through others' includes.
    file(GLOB headers CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
    list(APPEND sources ${headers})
    list(FILTER sources INCLUDE REGEX "\\.(cpp|h)$")
    list(REMOVE_DUPLICATES sources)
    set(stamp "${CMAKE_BINARY_DIR}/layers/${target}.includes-checked")
    set(script "${KERFLINE_SOURCE_ROOT}/cmake/check_parent_includes.cmake")
    add_custom_command(OUTPUT "${stamp}"
        COMMAND ${CMAKE_COMMAND} "-DSOURCES=${sources}" "-DSTAMP=${stamp}" -P "${script}"
        DEPENDS ${sources} "${script}" VERBATIM
        COMMENT "Checking ${target}'s includes stay in its layer")
    add_custom_target(${target}_includes DEPENDS "${stamp}")
    add_dependencies(${target} ${target}_includes)
endfunction()
