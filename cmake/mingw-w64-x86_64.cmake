# Cross-building for 64-bit Windows with Debian's mingw-w64 (posix threads
# variant: the win32 variant has no std::thread), tests run under Wine.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DTAVO_WINDOWS_DEPS="<nettle prefix>;<openssl prefix>;<googletest prefix>"
#
# TAVO_WINDOWS_DEPS lists the install prefixes of the cross-built libraries
# (scripts/build-windows builds and caches them); find_package, find_library
# and pkg-config look there and in the mingw-w64 sysroot, never in the
# build machine's own /usr.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAVO_MINGW_HOST x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TAVO_MINGW_HOST}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVO_MINGW_HOST}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVO_MINGW_HOST}-windres)
set(CMAKE_MC_COMPILER ${TAVO_MINGW_HOST}-windmc)

# Everything static: a DLL missing beside the program shows under Wine only
# as exit code 53, and the programs ship as single files.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Try-compile projects read this file again and need the list too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TAVO_WINDOWS_DEPS)
set(CMAKE_FIND_ROOT_PATH /usr/${TAVO_MINGW_HOST} ${TAVO_WINDOWS_DEPS})
set(CMAKE_PREFIX_PATH ${TAVO_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The build machine's pkg-config, reading only the cross-built libraries' files.
set(pkgDirs "")
foreach(dep IN LISTS TAVO_WINDOWS_DEPS)
  list(APPEND pkgDirs ${dep}/lib/pkgconfig)
endforeach()
list(JOIN pkgDirs ":" pkgDirs)
set(ENV{PKG_CONFIG_LIBDIR} "${pkgDirs}")
set(ENV{PKG_CONFIG_PATH} "")
unset(pkgDirs)

# ctest and custom commands run the programs through 64-bit Wine, in a
# prefix of the build folder's own (booted by the WinePrefix fixture before
# the tests, see cmake/TavoCommon.cmake). No debug output, and no Mono or
# Gecko installer to wait for.
find_program(TAVO_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
find_program(TAVO_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine
             NO_CMAKE_FIND_ROOT_PATH)
if(TAVO_WINE64)
  set(TAVO_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix" CACHE PATH "The tests' Wine prefix")
  set(TAVO_WINE_ENV WINEPREFIX=${TAVO_WINE_PREFIX} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${TAVO_WINE_ENV} ${TAVO_WINE64})
endif()
