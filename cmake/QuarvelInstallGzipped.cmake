# SPDX-License-Identifier: MIT
# quarvel_install_gzipped(<file> <destination> [COMPONENT <component>] [DEPENDS <dep>...])
#
# Gzips <file> while building (best compression, no name or time stamp in it,
# as Debian asks of manual pages and changelogs) and installs the .gz into
# <destination>. Without gzip (Windows) the file is installed as it is.
find_program(QUARVEL_GZIP_EXECUTABLE gzip)

function(quarvel_install_gzipped file destination)
    cmake_parse_arguments(PARSE_ARGV 2 ARG "" "COMPONENT" "DEPENDS")
    if(NOT ARG_COMPONENT)
        set(ARG_COMPONENT runtime)
    endif()
    if(NOT QUARVEL_GZIP_EXECUTABLE)
        install(FILES "${file}" DESTINATION "${destination}" COMPONENT ${ARG_COMPONENT})
        return()
    endif()
    get_filename_component(name "${file}" NAME)
    string(MAKE_C_IDENTIFIER "${destination}/${name}" tag)
    set(copy "${CMAKE_CURRENT_BINARY_DIR}/gzipped/${tag}/${name}")
    add_custom_command(
        OUTPUT "${copy}.gz"
        COMMAND "${CMAKE_COMMAND}" -E copy "${file}" "${copy}"
        COMMAND "${QUARVEL_GZIP_EXECUTABLE}" -9 -n -f "${copy}"
        DEPENDS "${file}" ${ARG_DEPENDS}
        COMMENT "Compressing ${name} for ${destination}"
        VERBATIM)
    add_custom_target("gzip_${tag}" ALL DEPENDS "${copy}.gz")
    install(FILES "${copy}.gz" DESTINATION "${destination}" COMPONENT ${ARG_COMPONENT})
endfunction()
