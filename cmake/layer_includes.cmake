# Each layer's target sees only its own folder and the folders of the layers below
# it: its include root is a folder of links made for it alone, so an include that
# runs upwards (core/ naming split/, say) does not compile.
set(KERFLINE_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/..")

function(kerfline_layer_includes target)
    set(root "${CMAKE_BINARY_DIR}/layers/${target}")
    file(REMOVE_RECURSE "${root}")
    file(MAKE_DIRECTORY "${root}")
    foreach(folder IN LISTS ARGN)
        file(CREATE_LINK "${KERFLINE_SOURCE_ROOT}/${folder}" "${root}/${folder}" SYMBOLIC)
    endforeach()
    target_include_directories(${target} PUBLIC "${root}")
endfunction()
