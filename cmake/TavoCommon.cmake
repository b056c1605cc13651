# Settings every target shares: language level, warnings, sanitizers.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

add_library(tavo_options INTERFACE)
target_compile_features(tavo_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(tavo_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wformat=2 -Wno-format-y2k
  # GCC 12 reports false -Wrestrict overlaps inside std::string (PR 105329).
  $<$<CXX_COMPILER_ID:GNU>:-Wno-restrict>)
# The version as Tavo shows it: "1.11.03", the patch number with two digits.
if(PROJECT_VERSION_PATCH LESS 10)
  set(TAVO_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0${PROJECT_VERSION_PATCH}")
else()
  set(TAVO_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
endif()
if(WIN32)
  # Windows 10 and later; the W functions by default; windows.h without
  # winsock.h (Winsock 2 is included where needed) and without min/max.
  target_compile_definitions(tavo_options INTERFACE _WIN32_WINNT=0x0A00 WINVER=0x0A00 UNICODE
    _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
endif()
if(NOT WIN32 AND NOT TAVO_SANITIZE)
  # Tavo runs as root and reads the network: the hardening Debian builds its
  # packages with. Checked buffer functions need the optimiser.
  target_compile_options(tavo_options INTERFACE -fstack-protector-strong
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
  target_link_options(tavo_options INTERFACE -Wl,-z,relro,-z,now)
endif()
if(TAVO_SANITIZE)
  target_compile_options(tavo_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(tavo_options INTERFACE -fsanitize=address,undefined)
endif()

# tavo_add_test(NAME <name> SOURCES <files...> LIBS <targets...> LABELS <labels...>
#               [TIMEOUT <seconds>] [ENVIRONMENT <VAR=value...>])
# One test program per module; ctest runs it as one test.
function(tavo_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tavo_test_support GTest::gmock GTest::gtest_main tavo_options)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
  if(T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
  if(TAVO_WINE_ENV)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED WinePrefix)
  endif()
endfunction()

# Under Wine (cmake/mingw-w64-x86_64.cmake) every test needs the prefix
# booted and its server running first, or the first programs time out while
# Wine creates the prefix; the server is ended after the last test. The
# server and the helpers that wineboot leaves running write to a log file:
# holding ctest's output pipe, they would keep the boot "running" until its
# time-out.
function(tavo_add_wine_prefix_fixture)
  set(log "${TAVO_WINE_PREFIX}/boot.log")
  add_test(NAME WinePrefixBoot COMMAND env ${TAVO_WINE_ENV} sh -c
           "mkdir -p '${TAVO_WINE_PREFIX}' && exec >'${log}' 2>&1 </dev/null && \
            { '${TAVO_WINESERVER}' -k; '${TAVO_WINESERVER}' -p && '${TAVO_WINE64}' wineboot --init; }")
  add_test(NAME WinePrefixStop COMMAND env ${TAVO_WINE_ENV} "${TAVO_WINESERVER}" -k)
  set_tests_properties(WinePrefixBoot PROPERTIES FIXTURES_SETUP WinePrefix TIMEOUT 300 LABELS unit)
  set_tests_properties(WinePrefixStop PROPERTIES FIXTURES_CLEANUP WinePrefix TIMEOUT 60 LABELS unit)
endfunction()

# The tests of the native windows need a display, and only they get one: a
# virtual X server (Xvfb) on a display number it picks itself and writes to
# a file, and a Wine prefix of their own booted on it, since a prefix's
# desktop keeps the display it was started with. Wine draws the windows'
# frames itself there ("Decorated" off): no window manager runs to do it. Both end after the last
# of these tests. Sets TAVO_WINE_GUI_DIR in the caller; without Xvfb it
# stays empty and the window tests are left out.
function(tavo_add_wine_gui_fixture)
  find_program(TAVO_XVFB Xvfb)
  if(NOT TAVO_XVFB OR NOT TAVO_WINE64)
    message(STATUS "No Xvfb or Wine: the tests of the Windows windows are left out")
    set(TAVO_WINE_GUI_DIR "" PARENT_SCOPE)
    return()
  endif()
  set(dir "${CMAKE_BINARY_DIR}/wine-gui")
  set(TAVO_WINE_GUI_DIR "${dir}" PARENT_SCOPE)
  add_test(NAME XvfbStart COMMAND sh -c
           "mkdir -p '${dir}' && rm -f '${dir}/display' '${dir}/xvfb.pid' || exit 1; \
            '${TAVO_XVFB}' -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
              3>'${dir}/display' >'${dir}/xvfb.log' 2>&1 </dev/null & \
            echo $! >'${dir}/xvfb.pid'; i=0; \
            while [ ! -s '${dir}/display' ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done; \
            [ -s '${dir}/display' ]")
  add_test(NAME XvfbStop COMMAND sh -c "kill $(cat '${dir}/xvfb.pid')")
  set_tests_properties(XvfbStart PROPERTIES FIXTURES_SETUP Xvfb TIMEOUT 60 LABELS gui)
  set_tests_properties(XvfbStop PROPERTIES FIXTURES_CLEANUP Xvfb TIMEOUT 60 LABELS gui)
  set(env WINEPREFIX=${dir}/prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
  add_test(NAME WineGuiPrefixBoot COMMAND env ${env} sh -c
           "mkdir -p '${dir}/prefix' && exec >'${dir}/boot.log' 2>&1 </dev/null && \
            export DISPLAY=:$(cat '${dir}/display') && \
            { '${TAVO_WINESERVER}' -k; '${TAVO_WINESERVER}' -p && '${TAVO_WINE64}' wineboot --init && \
              '${TAVO_WINE64}' reg add 'HKCU\\Software\\Wine\\X11 Driver' /v Decorated /d N /f; }")
  add_test(NAME WineGuiPrefixStop COMMAND env ${env} "${TAVO_WINESERVER}" -k)
  set_tests_properties(WineGuiPrefixBoot PROPERTIES FIXTURES_SETUP WineGui FIXTURES_REQUIRED Xvfb
                       TIMEOUT 300 LABELS gui)
  set_tests_properties(WineGuiPrefixStop PROPERTIES FIXTURES_CLEANUP WineGui
                       FIXTURES_REQUIRED Xvfb TIMEOUT 60 LABELS gui)
endfunction()

# tavo_add_wine_gui_test(NAME <name> SOURCES <files...> LIBS <targets...>
#                        [TIMEOUT <seconds>])
# A test of a native window: built as tavo_add_test builds one (with the
# desktop programs' manifest), run under Wine on the virtual display.
function(tavo_add_wine_gui_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/src/platform/DesktopManifest.rc)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tavo_test_support GTest::gmock
    GTest::gtest_main tavo_options)
  if(NOT TAVO_WINE_GUI_DIR)
    return()
  endif()
  set(dir "${TAVO_WINE_GUI_DIR}")
  add_test(NAME ${T_NAME} COMMAND env WINEPREFIX=${dir}/prefix WINEDEBUG=-all
           WINEDLLOVERRIDES=mscoree,mshtml= sh -c
           "DISPLAY=:$(cat '${dir}/display') exec '${TAVO_WINE64}' \"$0\" --gtest_brief=1"
           $<TARGET_FILE:${T_NAME}>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES LABELS gui TIMEOUT ${T_TIMEOUT}
                       FIXTURES_REQUIRED "Xvfb;WineGui")
endfunction()
