# Checks of what a distribution installs; one of two, by -DCHECK=...
#
# pages (-DOSTREL=... -DREPLAY=... -DPAGES=dir): an option that --help names
#   but the manual page does not describe (one added to the program and not
#   to its page), a SYNOPSIS of ostrel whose forms are not those of its
#   usage, and a page that man renders with warnings.
# package (-DSOURCE_DIR=... -DWORK=dir): scripts/package failing, a package
#   that lacks an installed file or its copyright file and changelog, a
#   Depends without the Qt libraries, a packaged program that does not run,
#   metainfo that AppStream refuses, and any error or warning of lintian.

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "${command}: ${rc}\n${out}${err}")
    endif()
    set(out "${out}" PARENT_SCOPE)
endfunction()

# The forms of a usage or a synopsis, "ostrel" lines with their continuation
# lines, each as the options it names in their order.
function(usage_forms text result)
    string(REGEX REPLACE "(^|\n)(Usage:)? *ostrel " ";" forms "${text}")
    set(found)
    foreach(form IN LISTS forms)
        string(REGEX MATCHALL "--[a-z][a-z0-9-]*" options "${form}")
        if(options)
            string(REPLACE ";" " " options "${options}")
            list(APPEND found "${options}")
        endif()
    endforeach()
    list(SORT found)
    set(${result} "${found}" PARENT_SCOPE)
endfunction()

# ostrel's usage comes from its table of options, one form for each mode: a
# SYNOPSIS that leaves a mode out or gives an option to a mode that refuses it
# misleads.
function(check_synopsis page help)
    run(${CMAKE_COMMAND} -E env MANWIDTH=80 LC_ALL=C.UTF-8 man -l "${page}")
    string(REPLACE "−" "-" text "${out}")
    string(REPLACE "‐" "-" text "${text}")
    string(REGEX REPLACE ".*\nSYNOPSIS\n" "" text "${text}")
    string(REGEX REPLACE "\nDESCRIPTION\n.*" "" text "${text}")
    usage_forms("${text}" page_forms)
    string(REGEX REPLACE "\n  --.*" "" usage "${help}")
    usage_forms("${usage}" usage_forms)
    if(NOT page_forms STREQUAL usage_forms)
        string(REPLACE ";" "\n  " page_forms "${page_forms}")
        string(REPLACE ";" "\n  " usage_forms "${usage_forms}")
        message(FATAL_ERROR "the SYNOPSIS of res/man/ostrel.1.in and the usage of --help differ;"
                            " the page:\n  ${page_forms}\n--help:\n  ${usage_forms}")
    endif()
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
        if(name STREQUAL "ostrel")
            check_synopsis("${page}" "${out}")
        endif()
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

elseif(CHECK STREQUAL "package")
    run("${SOURCE_DIR}/scripts/package")
    string(STRIP "${out}" out)
    string(REGEX REPLACE ".*\n" "" deb "${out}")
    if(NOT deb MATCHES "/build/package/ostrel_[^_/]+_[a-z0-9]+\\.deb$" OR NOT EXISTS "${deb}")
        message(FATAL_ERROR "scripts/package made no package: ${out}")
    endif()

    run(dpkg-deb -c "${deb}")
    set(listing "${out}")
    foreach(f bin/ostrel bin/nmea-replay share/applications/ostrel.desktop
              share/icons/hicolor/scalable/apps/ostrel.svg
              share/icons/hicolor/64x64/apps/ostrel.png share/man/man1/ostrel.1.gz
              share/man/man1/nmea-replay.1.gz share/metainfo/org.kelvane.ostrel.metainfo.xml
              share/doc/ostrel/copyright share/doc/ostrel/changelog.Debian.gz)
        if(NOT listing MATCHES " \\./usr/${f}\n")
            message(FATAL_ERROR "the package lacks /usr/${f}:\n${listing}")
        endif()
    endforeach()

    run(dpkg-deb -f "${deb}" Depends Version)
    foreach(library libqt6core6 libqt6gui6 libqt6widgets6)
        if(NOT out MATCHES "Depends: [^\n]*${library}")
            message(FATAL_ERROR "Depends lacks ${library}:\n${out}")
        endif()
    endforeach()
    # The program's version, then the Debian revision.
    if(NOT out MATCHES "Version: ([^\n]+)-[0-9]+\n")
        message(FATAL_ERROR "no Version with a Debian revision:\n${out}")
    endif()
    set(version "${CMAKE_MATCH_1}")

    # The packaged programs run from the unpacked tree on the system's libraries.
    file(REMOVE_RECURSE "${WORK}")
    run(dpkg-deb -x "${deb}" "${WORK}")
    run("${WORK}/usr/bin/ostrel" --version)
    if(NOT out STREQUAL "Ostrel ${version}\n")
        message(FATAL_ERROR "packaged ostrel --version: \"${out}\", package version ${version}")
    endif()
    run("${WORK}/usr/bin/nmea-replay" --help)

    run(appstreamcli validate --no-net
        "${WORK}/usr/share/metainfo/org.kelvane.ostrel.metainfo.xml")

    # The copyright file in Debian's machine-readable format, with the licence.
    file(READ "${WORK}/usr/share/doc/ostrel/copyright" copyright)
    if(NOT copyright MATCHES "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
       OR NOT copyright MATCHES "\nLicense: GPL-3\\+\n")
        message(FATAL_ERROR "the copyright file is not machine-readable GPL-3+:\n${copyright}")
    endif()
    # Debian's own checks, which also read the changelog; a tag that cannot
    # apply is overridden in the package, with the reason.
    run(lintian --fail-on error,warning "${deb}")
else()
    message(FATAL_ERROR "CHECK must be pages or package, not \"${CHECK}\"")
endif()
