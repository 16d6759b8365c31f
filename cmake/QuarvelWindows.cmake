# SPDX-License-Identifier: MIT
# Quarvel as Windows users get it: one folder holding both programs, the Qt
# DLLs and plugins they load, the MinGW runtime and the licences. `cpack`
# in the build directory packs it twice: Quarvel-<version>-win64.zip, a
# folder to unpack and run, and Quarvel-<version>-win64.exe, an NSIS
# installer with a Start-menu entry and an uninstaller.

# Qt's DLLs, and the plugins the window loads from the folders beside the
# programs where Qt looks for them: the Windows platform and the Windows style.
install(IMPORTED_RUNTIME_ARTIFACTS Qt5::Core Qt5::Gui Qt5::Widgets RUNTIME DESTINATION .)
install(IMPORTED_RUNTIME_ARTIFACTS Qt5::QWindowsIntegrationPlugin LIBRARY DESTINATION platforms)
install(IMPORTED_RUNTIME_ARTIFACTS Qt5::QWindowsVistaStylePlugin LIBRARY DESTINATION styles)

# The compiler's runtime, which Qt and the programs link: the C++ library,
# GCC's support library and the POSIX threads library. The folders they are
# in go on the DLL search path of the tests under Wine.
set(QUARVEL_WINDOWS_RUNTIME_DIRS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    install(FILES "${path}" DESTINATION .)
    get_filename_component(dir "${path}" DIRECTORY)
    list(APPEND QUARVEL_WINDOWS_RUNTIME_DIRS "${dir}")
endforeach()
list(REMOVE_DUPLICATES QUARVEL_WINDOWS_RUNTIME_DIRS)

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
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Quarvel)
set(CPACK_NSIS_DISPLAY_NAME Quarvel)
set(CPACK_PACKAGE_EXECUTABLES quarvel Quarvel)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME quarvel.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Quarvel)
include(CPack)
