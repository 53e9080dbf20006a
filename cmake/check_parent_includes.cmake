# Run as a script before a layer's target is compiled: a quoted include resolves
# beside its file first, so "../split/x.h" would pass a layer's include root.
# Usage: cmake -DSOURCES="a.cpp;b.h" -DSTAMP=file -P check_parent_includes.cmake
set(offenders "")
foreach(source IN LISTS SOURCES)
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*\\.\\.[/\\\\]")
    foreach(line IN LISTS lines)
        string(STRIP "${line}" line)
        string(APPEND offenders "\n  ${source}: ${line}")
    endforeach()
endforeach()
if(offenders)
    message(FATAL_ERROR "An include climbs out of its layer's folder with ../; name the header "
                        "from the layer's include root instead:${offenders}")
endif()
file(TOUCH "${STAMP}")
