# ostrel_read_fuzz_targets(): the lines of fuzz/targets.txt as the lists
# OSTREL_FUZZ_NAMES, and per name OSTREL_FUZZ_ENTRY_<name> and
# OSTREL_FUZZ_SHARED_<name> (a list, maybe empty), in the caller's scope.
function(ostrel_read_fuzz_targets)
    set(table "${PROJECT_SOURCE_DIR}/fuzz/targets.txt")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${table}")
    file(STRINGS "${table}" lines REGEX "^[a-z]")
    set(names)
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
        list(POP_FRONT fields name entry maxLen)
        list(APPEND names ${name})
        set(OSTREL_FUZZ_ENTRY_${name} ${entry} PARENT_SCOPE)
        set(OSTREL_FUZZ_SHARED_${name} ${fields} PARENT_SCOPE)
    endforeach()
    set(OSTREL_FUZZ_NAMES ${names} PARENT_SCOPE)
endfunction()
