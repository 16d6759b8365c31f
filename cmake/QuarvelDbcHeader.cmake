# SPDX-License-Identifier: MIT
# quarvel_add_dbc_header(<target> <dbc-file> [WERROR] [OUTPUT_DIRECTORY <dir>]
#                        [FRAMES [BIT_ORDER LSB_FIRST|MSB_FIRST]] [LAYOUT_CHECK])
#
# Generates dbc_2_struct.h from <dbc-file> with quarvel-cli at build time,
# before <target> is built, and puts its directory on <target>'s include
# path. The header lands in <dir> (relative to the current binary directory),
# by default in a directory of the target's own in the build tree.
#
# - Editing the DBC file regenerates the header on the next build. The header
#   is replaced only when its bytes change, so an edit that does not change
#   them (a comment, a blank line, an unused attribute) recompiles nothing.
# - What the header leaves out is printed in the build log as
#   FILE:LINE: warning: TEXT. With WERROR any such warning fails the build
#   and the header that was there stays.
# - A DBC file that cannot be read fails the build with quarvel-cli's reason.
# - FRAMES writes the frame form: each signal at the bits of the frame the
#   DBC file gives it, in its own byte order, each struct exactly the 8 data
#   bytes, for the compiler BIT_ORDER names: LSB_FIRST (the default) for
#   compilers that fill each byte from bit 0 (gcc, clang, MinGW and MSVC on x86
#   and ARM, most microcontroller compilers), MSB_FIRST for those that fill it
#   from bit 7 (big-endian PowerPC, for one). Without FRAMES the header is the
#   default form, which lays every signal out big-endian; BIT_ORDER needs
#   FRAMES.
# - LAYOUT_CHECK writes dbc_2_struct_check.c beside the header and compiles
#   it into <target>: int dbc_2_struct_check(void) returns 0 when every
#   signal the header writes reads, on the target's compiler, what the DBC
#   file puts at its bits of a frame copied into its struct (with
#   DBC_2_STRUCT_CHECK_MAIN defined for <target>, the file is a program that
#   says which signals do not). It is replaced like the header.
#
# Run as a script (cmake -P) this file does one generation; the function
# below sets that up.

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    # quarvel-cli writes into a staging directory; the header takes its bytes
    # only when they differ, through a rename in its own directory, so that a
    # build never reads half a header.
    set(args "${QUARVEL_DBC_FILE}" "${QUARVEL_STAGING_DIR}")
    if(QUARVEL_WERROR)
        list(PREPEND args --werror)
    endif()
    set(files dbc_2_struct.h)
    if(QUARVEL_LAYOUT_CHECK)
        list(PREPEND args --layout-check)
        list(APPEND files dbc_2_struct_check.c)
    endif()
    if(QUARVEL_FRAMES)
        if(QUARVEL_BIT_ORDER STREQUAL "MSB_FIRST")
            list(PREPEND args --bit-order msb-first)
        endif()
        list(PREPEND args --frames)
    endif()
    execute_process(COMMAND "${QUARVEL_CLI}" ${args}
                    OUTPUT_VARIABLE note
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "dbc_2_struct.h was not generated from ${QUARVEL_DBC_FILE}")
    endif()
    foreach(name IN LISTS files)
        set(staged "${QUARVEL_STAGING_DIR}/${name}")
        set(header "${QUARVEL_HEADER_DIR}/${name}")
        file(SHA256 "${staged}" new_digest)
        set(old_digest "")
        if(EXISTS "${header}")
            file(SHA256 "${header}" old_digest)
        endif()
        if(NOT new_digest STREQUAL old_digest)
            configure_file("${staged}" "${header}.new" COPYONLY)
            file(RENAME "${header}.new" "${header}")
        endif()
    endforeach()
    file(TOUCH "${QUARVEL_STAMP}")
    return()
endif()

set(_QUARVEL_DBC_HEADER_SCRIPT "${CMAKE_CURRENT_LIST_FILE}")

function(quarvel_add_dbc_header target dbc_file)
    cmake_parse_arguments(PARSE_ARGV 2 ARG "WERROR;LAYOUT_CHECK;FRAMES"
                          "OUTPUT_DIRECTORY;BIT_ORDER" "")
    if(ARG_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "quarvel_add_dbc_header: unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
    endif()
    if(ARG_BIT_ORDER AND NOT ARG_FRAMES)
        message(FATAL_ERROR "quarvel_add_dbc_header: BIT_ORDER goes with FRAMES: the default "
                            "form has one order, its bytes")
    endif()
    if(NOT ARG_BIT_ORDER)
        set(ARG_BIT_ORDER LSB_FIRST)
    elseif(NOT ARG_BIT_ORDER MATCHES "^(LSB_FIRST|MSB_FIRST)$")
        message(FATAL_ERROR "quarvel_add_dbc_header: BIT_ORDER is LSB_FIRST or MSB_FIRST, "
                            "not ${ARG_BIT_ORDER}")
    endif()
    if(NOT TARGET "${target}")
        message(FATAL_ERROR "quarvel_add_dbc_header: ${target} is not a target")
    endif()
    if(TARGET "${target}_dbc_header")
        message(FATAL_ERROR "quarvel_add_dbc_header: ${target} has a dbc_2_struct.h already")
    endif()
    if(NOT TARGET Quarvel::quarvel-cli)
        message(FATAL_ERROR "quarvel_add_dbc_header: Quarvel::quarvel-cli is missing; "
                            "call find_package(Quarvel) first")
    endif()
    get_filename_component(dbc_file "${dbc_file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    set(work_dir "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${target}_dbc_header.dir")
    if(ARG_OUTPUT_DIRECTORY)
        get_filename_component(header_dir "${ARG_OUTPUT_DIRECTORY}" ABSOLUTE
                               BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
    else()
        set(header_dir "${CMAKE_CURRENT_BINARY_DIR}/${target}_dbc")
    endif()
    file(MAKE_DIRECTORY "${header_dir}")

    # A DBC file that is not there yet is no dependency the build tool could
    # check; the command then runs and quarvel-cli says what is wrong.
    set(depends "$<TARGET_FILE:Quarvel::quarvel-cli>" "${_QUARVEL_DBC_HEADER_SCRIPT}")
    if(EXISTS "${dbc_file}")
        list(APPEND depends "${dbc_file}")
    endif()
    set(stamp "${work_dir}/dbc_2_struct.h.stamp")
    set(byproducts "${header_dir}/dbc_2_struct.h")
    if(ARG_LAYOUT_CHECK)
        list(APPEND byproducts "${header_dir}/dbc_2_struct_check.c")
    endif()
    add_custom_command(
        OUTPUT "${stamp}"
        BYPRODUCTS ${byproducts}
        COMMAND "${CMAKE_COMMAND}"
                "-DQUARVEL_CLI=$<TARGET_FILE:Quarvel::quarvel-cli>"
                "-DQUARVEL_DBC_FILE=${dbc_file}"
                "-DQUARVEL_STAGING_DIR=${work_dir}/staging"
                "-DQUARVEL_HEADER_DIR=${header_dir}"
                "-DQUARVEL_STAMP=${stamp}"
                "-DQUARVEL_WERROR=${ARG_WERROR}"
                "-DQUARVEL_LAYOUT_CHECK=${ARG_LAYOUT_CHECK}"
                "-DQUARVEL_FRAMES=${ARG_FRAMES}"
                "-DQUARVEL_BIT_ORDER=${ARG_BIT_ORDER}"
                -P "${_QUARVEL_DBC_HEADER_SCRIPT}"
        DEPENDS ${depends}
        COMMENT "Generating dbc_2_struct.h for ${target} from ${dbc_file}"
        VERBATIM)
    add_custom_target("${target}_dbc_header" DEPENDS "${stamp}")
    add_dependencies("${target}" "${target}_dbc_header")
    target_include_directories("${target}" PRIVATE "${header_dir}")
    if(ARG_LAYOUT_CHECK)
        target_sources("${target}" PRIVATE "${header_dir}/dbc_2_struct_check.c")
    endif()
endfunction()
