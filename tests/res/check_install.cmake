# Installs the build into a fresh prefix and checks that what a user needs
# lands there and works: the programs, the desktop entry, the icons, the
# manual pages and the metainfo.
# Called with -DBUILD_DIR=... -DPREFIX=... [-DVALIDATOR=desktop-file-validate].

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

foreach(f bin/ostrel bin/nmea-replay share/applications/ostrel.desktop
          share/icons/hicolor/scalable/apps/ostrel.svg share/icons/hicolor/64x64/apps/ostrel.png
          share/man/man1/ostrel.1.gz share/man/man1/nmea-replay.1.gz
          share/metainfo/org.kelvane.ostrel.metainfo.xml)
    if(NOT EXISTS "${PREFIX}/${f}")
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()

# The installed replay program runs from its new place.
execute_process(COMMAND "${PREFIX}/bin/nmea-replay" --help RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^usage: nmea-replay")
    message(FATAL_ERROR "installed nmea-replay --help: ${rc}\n${out}")
endif()

# The desktop entry starts the installed program with a map file and names
# the installed icon.
file(READ "${PREFIX}/share/applications/ostrel.desktop" entry)
foreach(line "Name=Ostrel" "Exec=ostrel %f" "Icon=ostrel")
    if(NOT entry MATCHES "\n${line}\n")
        message(FATAL_ERROR "ostrel.desktop lacks the line ${line}")
    endif()
endforeach()
if(VALIDATOR)
    execute_process(COMMAND "${VALIDATOR}" "${PREFIX}/share/applications/ostrel.desktop"
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0 OR NOT out STREQUAL "")
        message(FATAL_ERROR "desktop-file-validate: ${out}")
    endif()
endif()

# The bitmap icon must be the size of the folder it is in: PNG signature,
# then the IHDR chunk with width and height as 32-bit big-endian numbers.
file(READ "${PREFIX}/share/icons/hicolor/64x64/apps/ostrel.png" header HEX LIMIT 24)
if(NOT header MATCHES "^89504e470d0a1a0a0000000d4948445200000040" OR
   NOT header MATCHES "00000040$")
    message(FATAL_ERROR "ostrel.png is not a 64x64 PNG: ${header}")
endif()
