# SPDX-License-Identifier: MIT
# Quarvel as Windows users get it: one folder holding both programs, the Qt
# DLLs and plugins they load, the MinGW runtime and the licences. `cpack`
# in the build directory packs it twice: Quarvel-<version>-win64.zip, a
# folder to unpack and run, and Quarvel-<version>-win64.exe, an NSIS
# installer with a Start-menu entry and an uninstaller.

# Both programs as Windows shows them in Explorer, the taskbar and
# Properties > Details: Quarvel's icon, a version resource and an application
# manifest, compiled by windres (cmake/windows-resources.rc.in).
enable_language(RC)
find_program(QUARVEL_ICOTOOL icotool)
if(NOT QUARVEL_ICOTOOL)
    message(FATAL_ERROR "icotool (Debian: icoutils) is missing: scripts/build-windows.sh installs it")
endif()
set(QUARVEL_WINDOWS_ICON "${PROJECT_BINARY_DIR}/app/quarvel.ico")
set(QUARVEL_WINDOWS_MANIFEST "${PROJECT_SOURCE_DIR}/cmake/quarvel.manifest")
file(STRINGS "${PROJECT_SOURCE_DIR}/LICENSE" QUARVEL_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
set(QUARVEL_VERSION_PATCH "${PROJECT_VERSION_PATCH}")
if(QUARVEL_VERSION_PATCH STREQUAL "")
    set(QUARVEL_VERSION_PATCH 0)
endif()

# The .ico of the icon's PNGs (app/CMakeLists.txt); the 256 px image stays a
# PNG inside it, as Windows stores its large icons.
function(quarvel_windows_icon pngs)
    set(small ${pngs})
    list(FILTER small EXCLUDE REGEX "-256\\.png$")
    set(large ${pngs})
    list(FILTER large INCLUDE REGEX "-256\\.png$")
    add_custom_command(OUTPUT "${QUARVEL_WINDOWS_ICON}"
        COMMAND "${QUARVEL_ICOTOOL}" --create --output "${QUARVEL_WINDOWS_ICON}" ${small}
                "--raw=${large}"
        DEPENDS ${pngs}
        COMMENT "Packing the icon for Windows"
        VERBATIM)
    add_custom_target(quarvel_windows_icon DEPENDS "${QUARVEL_WINDOWS_ICON}")
endfunction()

# Gives `target` (quarvel or quarvel-cli) the icon, the manifest, and the
# version resource with its own description and file name.
function(quarvel_windows_resources target description)
    set(QUARVEL_RC_NAME "${target}")
    set(QUARVEL_RC_DESCRIPTION "${description}")
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
    configure_file("${PROJECT_SOURCE_DIR}/cmake/windows-resources.rc.in" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
    set_source_files_properties("${rc}" PROPERTIES
        OBJECT_DEPENDS "${QUARVEL_WINDOWS_ICON};${QUARVEL_WINDOWS_MANIFEST}")
    add_dependencies(${target} quarvel_windows_icon)
endfunction()

# Qt's DLLs, and the plugins the window loads from the folders beside the
# programs where Qt looks for them: the Windows platform and the Windows style.
install(IMPORTED_RUNTIME_ARTIFACTS Qt5::Core Qt5::Gui Qt5::Widgets RUNTIME DESTINATION .)
install(IMPORTED_RUNTIME_ARTIFACTS Qt5::QWindowsIntegrationPlugin LIBRARY DESTINATION platforms)
install(IMPORTED_RUNTIME_ARTIFACTS Qt5::QWindowsVistaStylePlugin LIBRARY DESTINATION styles)

# The compiler's runtime, which Qt and the programs link: the C++ library,
# GCC's support library and the POSIX threads library. The tests under Wine
# find copies of them in a folder of the build that holds nothing else: the
# folders they come from hold other DLLs too (a 64-bit zlib1.dll beside
# libwinpthread-1.dll), which Wine's 32-bit half would load in their place.
set(QUARVEL_WINDOWS_RUNTIME_DIR "${PROJECT_BINARY_DIR}/windows-runtime")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    install(FILES "${path}" DESTINATION .)
    file(COPY "${path}" DESTINATION "${QUARVEL_WINDOWS_RUNTIME_DIR}" FOLLOW_SYMLINK_CHAIN)
endforeach()

# Quarvel's licence, and Qt's (LGPL) with where its source comes from.
get_filename_component(QUARVEL_QT_PREFIX "${Qt5_DIR}/../../.." ABSOLUTE)
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
install(DIRECTORY "${QUARVEL_QT_PREFIX}/licenses/" DESTINATION licenses/Qt)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME Quarvel)
set(CPACK_PACKAGE_VENDOR "Quarvel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME "Quarvel-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quarvel)
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES ON)

# The installer is a 64-bit program (Debian's makensis ships the stubs),
# installs under the 64-bit Program Files, puts the window into the Start
# menu and registers an uninstaller that removes every file it installed.
# The installer script is CMake's own with the 64-bit target named before
# the install folder: NSIS compiles what follows an attribute given before
# `Target` for the 32-bit target, and "$PROGRAMFILES64" would then give the
# 64-bit installer "Program Files (x86)" on a 64-bit Windows (and under Wine
# with its 32-bit half).
file(READ "${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in" nsis_template)
string(REPLACE "  ;Default installation folder\n"
               "  Target amd64-unicode\n\n  ;Default installation folder\n" nsis_patched
               "${nsis_template}")
if(nsis_patched STREQUAL nsis_template)
    message(FATAL_ERROR "CMake's NSIS.template.in has no install folder line to put the target before")
endif()
file(WRITE "${PROJECT_BINARY_DIR}/cpack-nsis/NSIS.template.in" "${nsis_patched}")
list(PREPEND CMAKE_MODULE_PATH "${PROJECT_BINARY_DIR}/cpack-nsis")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Quarvel)
set(CPACK_NSIS_DISPLAY_NAME Quarvel)
set(CPACK_PACKAGE_EXECUTABLES quarvel Quarvel)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
# Apps & features shows the icon of the installed quarvel.exe; the
# Start-menu entry takes it from the program it starts; the installer and
# the uninstaller show it too.
set(CPACK_NSIS_INSTALLED_ICON_NAME quarvel.exe)
set(CPACK_NSIS_MUI_ICON "${QUARVEL_WINDOWS_ICON}")
set(CPACK_NSIS_MUI_UNIICON "${QUARVEL_WINDOWS_ICON}")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Quarvel)
include(CPack)
