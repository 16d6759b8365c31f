# SPDX-License-Identifier: MIT
# Installs this build into a fresh prefix and builds examples/consumer
# against it, once per generator, the way a user's project would:
#   - the installed package holds no absolute path of this machine;
#   - the packing program prints the bytes the engine packs for a known value;
#   - the C program compiles against the generated header in the frame form
#     and its frame check, which it runs at start-up, and prints the frame
#     bytes the DBC file defines; the check as a program passes as the
#     consumer's own test;
#   - an edit of the DBC file that leaves the header's bytes as they were
#     compiles nothing; a real change regenerates the header and recompiles
#     the C file;
#   - with WERROR the findings fail the build and the old header stays;
#   - cross-built for 32-bit PowerPC and run under qemu-ppc: with
#     BIT_ORDER MSB_FIRST the C program prints the same bytes and the check
#     passes; with the default order the program stops at its start-up check,
#     naming a signal;
#   - BIT_ORDER without FRAMES is a configure error that names FRAMES.
#
# cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATORS=Ninja;Unix Makefiles
#       -DC_COMPILER=... -DCXX_COMPILER=... [-DPPC_C_COMPILER=... -DPPC_EMULATOR=...]
#       -P consumer.cmake

function(run)
    cmake_parse_arguments(RUN "FAIL" "OUTPUT" "" ${ARGN})
    execute_process(COMMAND ${RUN_UNPARSED_ARGUMENTS} OUTPUT_VARIABLE out ERROR_VARIABLE out
                    RESULT_VARIABLE result)
    if(RUN_FAIL AND result EQUAL 0)
        message(FATAL_ERROR "expected to fail: ${RUN_UNPARSED_ARGUMENTS}\n${out}")
    elseif(NOT RUN_FAIL AND NOT result EQUAL 0)
        message(FATAL_ERROR "failed (${result}): ${RUN_UNPARSED_ARGUMENTS}\n${out}")
    endif()
    if(RUN_OUTPUT)
        set(${RUN_OUTPUT} "${out}" PARENT_SCOPE)
    endif()
endfunction()

function(expect what haystack needle)
    string(FIND "${haystack}" "${needle}" at)
    if(what STREQUAL "HAS" AND at EQUAL -1)
        message(FATAL_ERROR "expected '${needle}' in:\n${haystack}")
    elseif(what STREQUAL "LACKS" AND NOT at EQUAL -1)
        message(FATAL_ERROR "did not expect '${needle}' in:\n${haystack}")
    endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
get_filename_component(ctest "${CMAKE_COMMAND}" DIRECTORY)
set(ctest "${ctest}/ctest")
set(prefix "${WORK_DIR}/prefix")
run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}")
file(READ "${SOURCE_DIR}/examples/vehicle.dbc" vehicle)
file(WRITE "${WORK_DIR}/vehicle.dbc" "${vehicle}")

# Relocatable: no path of this machine in the installed package.
file(GLOB package_files "${prefix}/lib*/cmake/Quarvel/*.cmake")
if(NOT package_files)
    message(FATAL_ERROR "no CMake package installed under ${prefix}")
endif()
foreach(package_file IN LISTS package_files)
    file(READ "${package_file}" text)
    foreach(path "${prefix}" "${BUILD_DIR}" "${SOURCE_DIR}")
        expect(LACKS "${text}" "${path}")
    endforeach()
endforeach()

foreach(generator IN LISTS GENERATORS)
    string(MAKE_C_IDENTIFIER "${generator}" tag)
    set(dbc "${WORK_DIR}/${tag}/vehicle.dbc")
    set(build "${WORK_DIR}/${tag}/build")
    set(header "${build}/frame_dump_dbc/dbc_2_struct.h")
    file(WRITE "${dbc}" "${vehicle}")
    run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}/examples/consumer" -B "${build}" -G "${generator}"
        "-DCMAKE_PREFIX_PATH=${prefix}" "-DVEHICLE_DBC=${dbc}"
        "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}")
    run("${CMAKE_COMMAND}" --build "${build}" OUTPUT out)
    expect(HAS "${out}" "${dbc}:35: warning: ")

    # The engine's packing, which the header's forms do not share: CoolantTemp,
    # 23|8@0+, packed with 130 puts its most significant bit at bit 0 of
    # byte 2.
    run("${build}/pack_value" "${dbc}" CoolantTemp 130 OUTPUT out)
    if(NOT out STREQUAL "EngineData 00 00 01 04 00 00 00 00\n")
        message(FATAL_ERROR "${generator}: pack_value printed '${out}'")
    endif()
    # The frame bytes as the DBC file defines them: CoolantTemp 130 is byte 2,
    # EngineRunning (39|1@0+) bit 7 of byte 4.
    run("${build}/frame_dump" OUTPUT out)
    if(NOT out STREQUAL "00 00 82 00 80 00 00 00\n")
        message(FATAL_ERROR "${generator}: frame_dump printed '${out}'")
    endif()
    run("${ctest}" --test-dir "${build}" --output-on-failure OUTPUT out)
    run("${build}/frame_layout_check" OUTPUT out)
    expect(HAS "${out}" "29 signals checked, all read right")

    # Neutral: a blank line and a comment. Nothing is compiled, the header
    # keeps its bytes and its time.
    file(TIMESTAMP "${header}" before "%Y-%m-%dT%H:%M:%S")
    execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 1.1)
    file(WRITE "${dbc}" "\nCM_ \"An edit the header does not show.\";\n${vehicle}")
    run("${CMAKE_COMMAND}" --build "${build}" OUTPUT out)
    expect(HAS "${out}" "Generating dbc_2_struct.h")
    expect(LACKS "${out}" "Building")
    file(TIMESTAMP "${header}" after "%Y-%m-%dT%H:%M:%S")
    if(NOT before STREQUAL after)
        message(FATAL_ERROR "${generator}: a neutral edit touched the header")
    endif()

    # A real change: a signal renamed.
    string(REPLACE "EngineChecksum" "EngineCrc" renamed "${vehicle}")
    file(WRITE "${dbc}" "${renamed}")
    run("${CMAKE_COMMAND}" --build "${build}" OUTPUT out)
    expect(HAS "${out}" "Building C object")
    file(READ "${header}" header_text)
    expect(HAS "${header_text}" "EngineCrc:8;")

    # WERROR: the example's findings fail the build; the header stays.
    file(READ "${header}" old_header HEX)
    run("${CMAKE_COMMAND}" -DVEHICLE_DBC_WERROR=ON "${build}")
    file(WRITE "${dbc}" "${vehicle}")
    run("${CMAKE_COMMAND}" --build "${build}" FAIL OUTPUT out)
    expect(HAS "${out}" "warnings treated as errors")
    file(READ "${header}" new_header HEX)
    if(NOT old_header STREQUAL new_header)
        message(FATAL_ERROR "${generator}: WERROR replaced the header")
    endif()

    # A DBC file that cannot be read fails the build with the reason.
    run("${CMAKE_COMMAND}" -DVEHICLE_DBC_WERROR=OFF "-DVEHICLE_DBC=${WORK_DIR}/missing.dbc"
        "${build}")
    run("${CMAKE_COMMAND}" --build "${build}" FAIL OUTPUT out)
    expect(HAS "${out}" "missing.dbc: No such file or directory")
endforeach()

# BIT_ORDER without FRAMES: the configure step names FRAMES.
set(build "${WORK_DIR}/no-frames")
file(MAKE_DIRECTORY "${build}")
file(WRITE "${build}/CMakeLists.txt" "cmake_minimum_required(VERSION 3.16)
project(NoFrames LANGUAGES C)
find_package(Quarvel REQUIRED)
add_executable(none main.c)
quarvel_add_dbc_header(none \"${WORK_DIR}/vehicle.dbc\" BIT_ORDER MSB_FIRST)
")
run("${CMAKE_COMMAND}" -S "${build}" -B "${build}/build" "-DCMAKE_PREFIX_PATH=${prefix}" FAIL
    OUTPUT out)
expect(HAS "${out}" "BIT_ORDER goes with FRAMES")

# PowerPC: each byte filled from bit 7. The frame form for such compilers
# reads the same frame bytes as the lsb-first form on this machine.
if(NOT PPC_C_COMPILER OR NOT PPC_EMULATOR)
    message(STATUS "PowerPC build skipped: powerpc-linux-gnu-gcc or qemu-ppc is not installed")
    return()
endif()
set(build "${WORK_DIR}/powerpc")
foreach(order MSB_FIRST LSB_FIRST)
    run("${CMAKE_COMMAND}" -S "${SOURCE_DIR}/examples/consumer" -B "${build}"
        "-DCMAKE_PREFIX_PATH=${prefix}" "-DVEHICLE_DBC=${WORK_DIR}/vehicle.dbc"
        -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR=powerpc
        "-DCMAKE_C_COMPILER=${PPC_C_COMPILER}" -DCMAKE_EXE_LINKER_FLAGS=-static
        "-DCMAKE_CROSSCOMPILING_EMULATOR=${PPC_EMULATOR}" "-DVEHICLE_BIT_ORDER=${order}")
    run("${CMAKE_COMMAND}" --build "${build}")
    if(order STREQUAL "MSB_FIRST")
        run("${PPC_EMULATOR}" "${build}/frame_dump" OUTPUT out)
        if(NOT out STREQUAL "00 00 82 00 80 00 00 00\n")
            message(FATAL_ERROR "PowerPC, MSB_FIRST: frame_dump printed '${out}'")
        endif()
        run("${ctest}" --test-dir "${build}" --output-on-failure)
    else()
        run("${PPC_EMULATOR}" "${build}/frame_dump" FAIL OUTPUT out)
        expect(HAS "${out}" "frame_dump: EngineData_Type.EngineRunning does not read its frame")
        run("${ctest}" --test-dir "${build}" FAIL)
    endif()
endforeach()
