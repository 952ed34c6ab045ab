# Checks of what a distribution installs, by -DCHECK=...
#
# pages (-DOSTREL=... -DREPLAY=... -DPAGES=dir): an option that --help names
#   but the manual page does not describe (one added to the program and not
#   to its page), and a page that man renders with warnings.

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "${command}: ${rc}\n${out}${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "pages")
    foreach(pair "${OSTREL};ostrel" "${REPLAY};nmea-replay")
        list(GET pair 0 program)
        list(GET pair 1 name)
        set(page "${PAGES}/${name}.1.gz")

        execute_process(COMMAND ${CMAKE_COMMAND} -E env MANWIDTH=80 man --warnings -l "${page}"
                        OUTPUT_FILE /dev/null ERROR_VARIABLE warnings)
        if(NOT warnings STREQUAL "")
            message(FATAL_ERROR "man warns about ${name}(1):\n${warnings}")
        endif()

        # The page as a reader sees it; groff may render \- as a minus sign.
        run(${CMAKE_COMMAND} -E env MANWIDTH=80 LC_ALL=C.UTF-8 man -l "${page}")
        string(REPLACE "−" "-" text "${out}")
        string(REPLACE "‐" "-" text "${text}")
        string(REGEX REPLACE "\n(SEE ALSO|FILES|EXIT STATUS|EXAMPLES)\n.*" "" text "${text}")
        string(REGEX REPLACE ".*\nOPTIONS\n" "\n" text "${text}")

        run("${program}" --help)
        string(REGEX MATCHALL "--[a-z][a-z0-9-]*" options "${out}")
        list(REMOVE_DUPLICATES options)
        set(missing)
        foreach(option IN LISTS options)
            # Each option heads an item of the page's OPTIONS section.
            if(NOT text MATCHES "\n +${option}([ ,\n]|$)")
                list(APPEND missing ${option})
            endif()
        endforeach()
        if(missing)
            message(FATAL_ERROR "${name} --help names options that res/man/${name}.1.in does "
                                "not describe under OPTIONS: ${missing}")
        endif()
    endforeach()

else()
    message(FATAL_ERROR "CHECK must be pages, not \"${CHECK}\"")
endif()
