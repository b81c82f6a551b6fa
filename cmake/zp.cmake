# Build rules shared by every deliverable. ZP_BUILD picks the flavour:
#   host  Linux, Debug, ASan + UBSan, GoogleTest, the code against hostwin/
#   fuzz  Linux clang, libFuzzer targets, ASan + UBSan, against hostwin/
#   x86   i686-w64-mingw32: the product, size-optimised and stripped
#   x64   x86_64-w64-mingw32: the same programs, run under Wine
if(NOT DEFINED ZP_DIST)
  set(ZP_DIST "${CMAKE_SOURCE_DIR}/dist/${ZP_BUILD}")
endif()
# The setup program, made from the x86 package by installer/.
set(ZP_SETUP "${CMAKE_SOURCE_DIR}/dist/zeltapkg-setup.exe")
set(ZP_IS_WINDOWS OFF)
if(ZP_BUILD STREQUAL "x86" OR ZP_BUILD STREQUAL "x64")
  set(ZP_IS_WINDOWS ON)
endif()
set(ZP_FUZZ_SECONDS 10 CACHE STRING "Length of each fuzz target's run under ctest")

set(ZP_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wcast-qual -Wformat=2 -Wundef)
if(ZP_WERROR)
  list(APPEND ZP_WARNINGS -Werror)
endif()

if(ZP_IS_WINDOWS)
  add_compile_options(-Os -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables
                      $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions> $<$<COMPILE_LANGUAGE:CXX>:-fno-rtti>
                      $<$<COMPILE_LANGUAGE:CXX>:-fno-threadsafe-statics>)
  # Nothing but Windows' own DLLs beside a deliverable: the compiler's runtime
  # is linked in.
  add_link_options(-s -static -static-libgcc -static-libstdc++ -Wl,--gc-sections)
  if(ZP_BUILD STREQUAL "x86")
    # Subsystem and OS version 4.0, so that Windows 98 and NT 4 era loaders take the images.
    add_link_options(-Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
                     -Wl,--major-os-version,4 -Wl,--minor-os-version,0)
  endif()
elseif(ZP_BUILD STREQUAL "host")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  find_package(GTest REQUIRED)
  find_package(benchmark QUIET)
  include(GoogleTest)
elseif(ZP_BUILD STREQUAL "fuzz")
  add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Names a target that puts files into the package directory: the setup
# program is made after all of them.
function(zp_package_target target)
  set_property(GLOBAL APPEND PROPERTY ZP_PACKAGE_TARGETS ${target})
endfunction()

# Puts a built Windows binary (or any file) into the package directory.
function(zp_dist target)
  zp_package_target(${target})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory "${ZP_DIST}"
    COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:${target}>" "${ZP_DIST}/"
    VERBATIM)
endfunction()

# A Windows program of the package. GUI: no console window (WinMain).
function(zp_windows_program name)
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS;DEFINES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ZP_WARNINGS})
  target_compile_definitions(${name} PRIVATE ${ARG_DEFINES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  if(ARG_GUI)
    target_link_options(${name} PRIVATE -mwindows)
  endif()
  zp_dist(${name})
endfunction()

# A GoogleTest binary of the host build; every test case becomes a ctest test.
function(zp_host_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ZP_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_PREFIX "${name}.")
endfunction()

# A libFuzzer target of the fuzz build, run for ZP_FUZZ_SECONDS under ctest
# from the seeds in SEEDS (a directory, optional).
function(zp_fuzz_target name)
  cmake_parse_arguments(ARG "" "SEEDS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ZP_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus "${CMAKE_CURRENT_BINARY_DIR}/${name}.corpus")
  file(MAKE_DIRECTORY "${corpus}")
  set(dirs "${corpus}")
  if(ARG_SEEDS)
    list(APPEND dirs "${ARG_SEEDS}")
  endif()
  add_test(NAME fuzz.${name}
           COMMAND ${name} -max_total_time=${ZP_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 ${dirs})
endfunction()

# A static library of product code: built for every flavour, linked into the
# Windows program, or into host tests and fuzz targets together with hostwin.
function(zp_product_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEFINES" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${ZP_WARNINGS})
  target_compile_definitions(${name} PUBLIC ${ARG_DEFINES})
  target_include_directories(${name} PUBLIC "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_SOURCE_DIR}/common")
  if(NOT ZP_IS_WINDOWS)
    target_link_libraries(${name} PUBLIC hostwin)
  endif()
endfunction()

# Draws an .ico file at build time with tools/icongen:
#   zp_icon(OUTPUT path KIND cf|sd|sm|ms|combo|app IMAGES WxH:BPP... [TARGET name] [DIST])
# OUTPUT is relative to the current binary directory unless absolute. IMAGES
# lists the images in file order (BPP 1, 4, 8, 24 or 32). DIST also puts the
# file into the package directory in the Windows builds. TARGET names the
# custom target that makes the file (default: icon_ and the path).
function(zp_icon)
  cmake_parse_arguments(ARG "DIST" "OUTPUT;KIND;TARGET" "IMAGES" ${ARGN})
  if(NOT ARG_OUTPUT OR NOT ARG_KIND OR NOT ARG_IMAGES)
    message(FATAL_ERROR "zp_icon: OUTPUT, KIND and IMAGES are required")
  endif()
  get_property(gen GLOBAL PROPERTY ZP_ICONGEN)
  get_property(gen_target GLOBAL PROPERTY ZP_ICONGEN_TARGET)
  if(NOT gen)
    message(FATAL_ERROR "zp_icon: tools/icongen must be added before its users")
  endif()
  get_filename_component(out "${ARG_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")
  get_filename_component(name "${out}" NAME)
  set(outputs "${out}")
  set(copy "")
  if(ARG_DIST AND ZP_IS_WINDOWS)
    list(APPEND outputs "${ZP_DIST}/${name}")
    set(copy COMMAND ${CMAKE_COMMAND} -E make_directory "${ZP_DIST}"
             COMMAND ${CMAKE_COMMAND} -E copy "${out}" "${ZP_DIST}/${name}")
  endif()
  set(gen_file "")
  if(NOT TARGET "${gen}" AND NOT gen MATCHES "^\\$<")
    set(gen_file "${gen}")
  endif()
  add_custom_command(OUTPUT ${outputs}
    COMMAND "${gen}" "${out}" ${ARG_KIND} ${ARG_IMAGES}
    ${copy}
    DEPENDS ${gen_target} ${gen_file}
    COMMENT "Drawing ${name}"
    VERBATIM)
  set(target "${ARG_TARGET}")
  if(NOT target)
    file(RELATIVE_PATH rel "${CMAKE_BINARY_DIR}" "${out}")
    string(MAKE_C_IDENTIFIER "icon_${rel}" target)
  endif()
  add_custom_target(${target} ALL DEPENDS ${outputs})
  add_dependencies(${target} ${gen_target})
  if(ARG_DIST AND ZP_IS_WINDOWS)
    zp_package_target(${target})
  endif()
endfunction()
