# Build settings shared by the Windows (mingw-w64) and the native builds.
#
# Windows: everything links libgcc, libstdc++ and winpthread statically, so no
# mingw runtime DLL is needed beside the binaries. Tests run under Wine through
# the emulator script that tools/wine_env.sh prepares.
# Native: only the portable sources, with AddressSanitizer and
# UndefinedBehaviorSanitizer.

# Where tools/install_deps.sh put the cross-compiled third-party libraries.
if(DEFINED ENV{VELNA_DEPS_CACHE})
  set(VELNA_DEPS_CACHE_ROOT "$ENV{VELNA_DEPS_CACHE}")
elseif(DEFINED ENV{XDG_CACHE_HOME})
  set(VELNA_DEPS_CACHE_ROOT "$ENV{XDG_CACHE_HOME}/velna-deps")
else()
  set(VELNA_DEPS_CACHE_ROOT "$ENV{HOME}/.cache/velna-deps")
endif()

# tools/build.sh gives the folder the link named when it started, which it
# holds for the build's length (a set-up may move the link meanwhile).
if(WIN32)
  set(VELNA_DEPS_PREFIX "${VELNA_DEPS_CACHE_ROOT}/mingw-current"
      CACHE PATH "Cross-compiled third-party libraries")
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX UNICODE _UNICODE
                          _WIN32_WINNT=0x0A00 WINVER=0x0A00)
  # gcc 12 reports false -Wrestrict positives inside std::string, and at
  # -O2 false -Warray-bounds and -Wstringop-overflow ones.
  add_compile_options(-Wall -Wextra -Wno-unused-parameter
                      -Wno-missing-field-initializers -Wno-restrict
                      -Wno-array-bounds -Wno-stringop-overflow)
  # -O2 rather than CMake's -O3: smaller code, and a fifth less compile time
  # for the same speed where it matters (the decoders are the SDK's, built
  # apart).
  set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG")
  set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")
  set(VELNA_STATIC_LINK "-static -static-libgcc -static-libstdc++")
  set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} ${VELNA_STATIC_LINK}")
  set(CMAKE_SHARED_LINKER_FLAGS "${CMAKE_SHARED_LINKER_FLAGS} ${VELNA_STATIC_LINK}")
  set(VELNA_EMULATOR "${CMAKE_BINARY_DIR}/wine_run.sh")
  configure_file(${CMAKE_SOURCE_DIR}/tools/wine_run.sh.in ${VELNA_EMULATOR}
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                 GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELNA_EMULATOR})
  # GoogleTest executables run through a wrapper that retries a Wine process
  # that died before running any test, and nothing else, and notes each
  # retry in the retry log.
  set(VELNA_GTEST_EMULATOR "${CMAKE_BINARY_DIR}/wine_gtest_run.sh")
  set(VELNA_TEST_RETRY_LOG "${CMAKE_BINARY_DIR}/wine_test_retries.log")
  configure_file(${CMAKE_SOURCE_DIR}/tools/wine_gtest_run.sh.in
                 ${VELNA_GTEST_EMULATOR}
                 @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                 GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

  add_library(gtest_win STATIC IMPORTED)
  set_target_properties(gtest_win PROPERTIES
    IMPORTED_LOCATION ${VELNA_DEPS_PREFIX}/lib/libgtest.a
    INTERFACE_INCLUDE_DIRECTORIES ${VELNA_DEPS_PREFIX}/include)
  add_library(gmock_win STATIC IMPORTED)
  set_target_properties(gmock_win PROPERTIES
    IMPORTED_LOCATION ${VELNA_DEPS_PREFIX}/lib/libgmock.a
    INTERFACE_LINK_LIBRARIES gtest_win)
  add_library(velna::gtest ALIAS gmock_win)

  add_library(velna::zlib STATIC IMPORTED)
  set_target_properties(velna::zlib PROPERTIES
    IMPORTED_LOCATION /usr/x86_64-w64-mingw32/lib/libz.a)
  add_library(velna::minizip STATIC IMPORTED)
  set_target_properties(velna::minizip PROPERTIES
    IMPORTED_LOCATION ${VELNA_DEPS_PREFIX}/lib/libminizip.a
    INTERFACE_INCLUDE_DIRECTORIES ${VELNA_DEPS_PREFIX}/include
    INTERFACE_LINK_LIBRARIES velna::zlib)
  add_library(velna::crypto STATIC IMPORTED)
  set_target_properties(velna::crypto PROPERTIES
    IMPORTED_LOCATION ${VELNA_DEPS_PREFIX}/lib/libcrypto.a
    INTERFACE_INCLUDE_DIRECTORIES ${VELNA_DEPS_PREFIX}/include
    INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;bcrypt;advapi32;user32")
  add_library(velna::lzma STATIC IMPORTED)
  set_target_properties(velna::lzma PROPERTIES
    IMPORTED_LOCATION ${VELNA_DEPS_PREFIX}/lib/liblzma_sdk.a
    INTERFACE_INCLUDE_DIRECTORIES ${VELNA_DEPS_PREFIX}/include/lzma)
else()
  set(VELNA_DEPS_PREFIX "${VELNA_DEPS_CACHE_ROOT}/mingw-current"
      CACHE PATH "Third-party libraries (the native LZMA reader is under native/)")
  # "address,undefined" by default; "thread" gives a ThreadSanitizer build of
  # the same tests (without the fuzzers); "none" an optimised build without
  # sanitizers or fuzzers, for benchmarks run by hand.
  set(VELNA_SANITIZERS "address,undefined" CACHE STRING "Native sanitizers")
  if(VELNA_SANITIZERS STREQUAL "none")
    add_compile_options(-Wall -Wextra -Wno-unused-parameter -g -O2)
  else()
    # -O0: the sanitizers find as much, and the build takes half the time.
    add_compile_options(-Wall -Wextra -Wno-unused-parameter -g -O0
                        -fno-omit-frame-pointer -fsanitize=${VELNA_SANITIZERS}
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${VELNA_SANITIZERS} -fno-sanitize-recover=all)
  endif()
  if(NOT VELNA_SANITIZERS MATCHES "^(thread|none)$")
    # Coverage instrumentation everywhere, so the fuzzers see into the
    # library.
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()

  find_package(GTest REQUIRED)
  add_library(velna::gtest INTERFACE IMPORTED)
  set_target_properties(velna::gtest PROPERTIES
    INTERFACE_LINK_LIBRARIES "GTest::gmock;GTest::gtest;pthread")
  find_package(ZLIB REQUIRED)
  add_library(velna::zlib ALIAS ZLIB::ZLIB)
  add_library(velna::minizip INTERFACE IMPORTED)
  set_target_properties(velna::minizip PROPERTIES
    INTERFACE_LINK_LIBRARIES "minizip;ZLIB::ZLIB")
  find_package(OpenSSL REQUIRED)
  add_library(velna::crypto ALIAS OpenSSL::Crypto)
  add_library(velna::lzma STATIC IMPORTED)
  set_target_properties(velna::lzma PROPERTIES
    IMPORTED_LOCATION ${VELNA_DEPS_PREFIX}/native/lib/liblzma_sdk.a
    INTERFACE_INCLUDE_DIRECTORIES ${VELNA_DEPS_PREFIX}/native/include/lzma)
endif()

include(GoogleTest)

# A GoogleTest executable whose cases CTest runs one process each (under
# Wine on Windows, through tools/wine_gtest_run.sh.in); discovery happens when
# the tests run, not when building. RESOURCE_LOCK <names> keeps its cases
# from running at the same time as other tests holding one of the locks;
# ENVIRONMENT <var=value...> sets variables for every case
# (VELNA_TEST_OWN_PREFIX=1 runs each in a Wine prefix and on a display of
# its own, see tools/wine_gtest_run.sh.in).
function(velna_test_executable name)
  cmake_parse_arguments(PARSE_ARGV 1 VELNA_TEST "" ""
                        "RESOURCE_LOCK;ENVIRONMENT")
  add_executable(${name} ${VELNA_TEST_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE velna::gtest)
  if(WIN32)
    set_target_properties(${name} PROPERTIES
                          CROSSCOMPILING_EMULATOR ${VELNA_GTEST_EMULATOR})
  endif()
  # Only a hang should meet this: the slowest cases (several minidumps
  # under Wine) take half a minute on a loaded machine, and more on two
  # loaded cores.
  set(properties TIMEOUT 300)
  if(VELNA_TEST_ENVIRONMENT)
    list(JOIN VELNA_TEST_ENVIRONMENT "\\;" environment)
    list(APPEND properties ENVIRONMENT ${environment})
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES ${properties})
  if(VELNA_TEST_RESOURCE_LOCK)
    velna_test_resource_lock(${name} ${VELNA_TEST_RESOURCE_LOCK})
  endif()
endfunction()

# Runs the GoogleTest executable |name|, whose cases a gtest_discover_tests
# of its own adds, through the same wrapper as velna_test_executable's.
function(velna_gtest_wrapper name)
  if(WIN32)
    set_target_properties(${name} PROPERTIES
                          CROSSCOMPILING_EMULATOR ${VELNA_GTEST_EMULATOR})
  endif()
endfunction()

# Gives every discovered case of the GoogleTest executable |name| (after its
# gtest_discover_tests) the resource locks that follow; with MATCHING
# <regex>, only the cases whose name matches it. The discovery writes its
# properties as separate words, so that a list value keeps only its first
# entry: the locks are set by a script of their own, run after the
# discovered cases are added.
#
# The more locks a case holds, the fewer cases can run beside it, so it
# costs more and CTest starts it earlier: the cases that run one at a time
# then overlap the free ones instead of trailing alone at the end (before
# CTest has timings of its own, as on a fresh clone).
function(velna_test_resource_lock name)
  cmake_parse_arguments(PARSE_ARGV 1 VELNA_LOCK "" "MATCHING" "")
  list(JOIN VELNA_LOCK_UNPARSED_ARGUMENTS ";" locks)
  list(LENGTH VELNA_LOCK_UNPARSED_ARGUMENTS count)
  math(EXPR cost "${count} * 100")
  # The script runs in CTest, where if() takes a bare TRUE for the name of
  # an unset variable: the condition is a number.
  set(condition 1)
  if(DEFINED VELNA_LOCK_MATCHING)
    set(condition "\"\${test}\" MATCHES \"${VELNA_LOCK_MATCHING}\"")
  endif()
  string(MD5 tag "${ARGN}")
  string(SUBSTRING ${tag} 0 8 tag)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_resource_lock_${tag}.cmake)
  # A lock that reaches no case would let the cases it guards run side by
  # side unseen: the run stops instead.
  file(WRITE ${script}
       "set(locked 0)\n"
       "foreach(test IN LISTS ${name}_TESTS)\n"
       "  if(${condition})\n"
       "    set_tests_properties(\"\${test}\" PROPERTIES RESOURCE_LOCK \"${locks}\" COST ${cost})\n"
       "    math(EXPR locked \"\${locked} + 1\")\n"
       "  endif()\n"
       "endforeach()\n"
       "if(NOT \"\${${name}_TESTS}\" STREQUAL \"\" AND locked EQUAL 0)\n"
       "  message(FATAL_ERROR \"No case of ${name} holds ${locks}\")\n"
       "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# A native libFuzzer target over |sources|, its log off but for FATAL lines
# (base/fuzzers/fuzzer_logging.cc); CTest runs it briefly on its seed corpus
# (base/fuzzers/corpus/<name>, kept in the repository). Windows builds skip
# it.
function(velna_fuzzer name)
  if(WIN32 OR VELNA_SANITIZERS MATCHES "^(thread|none)$")
    return()
  endif()
  add_executable(${name} ${ARGN}
                 ${CMAKE_SOURCE_DIR}/base/fuzzers/fuzzer_logging.cc)
  target_link_libraries(${name} PRIVATE base)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus ${CMAKE_SOURCE_DIR}/base/fuzzers/corpus/${name})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}_corpus)
  add_test(NAME ${name}
           COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                   $<TARGET_FILE:${name}> -max_total_time=${VELNA_FUZZ_SECONDS}
                   -rss_limit_mb=2048 -timeout=10 ${work} ${corpus})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300 LABELS fuzz
                       FIXTURES_REQUIRED ${name}_dir)
  add_test(NAME ${name}_mkdir COMMAND ${CMAKE_COMMAND} -E make_directory ${work})
  set_tests_properties(${name}_mkdir PROPERTIES FIXTURES_SETUP ${name}_dir)
  # Each seed once, with no line of the log: a fuzzer runs millions of
  # inputs, and a line for each fills a disk.
  add_test(NAME ${name}_logs_nothing
           COMMAND $<TARGET_FILE:${name}> -runs=0 ${corpus})
  set_tests_properties(${name}_logs_nothing PROPERTIES TIMEOUT 120
    LABELS fuzz
    FAIL_REGULAR_EXPRESSION ":(VERBOSE[0-9]*|INFO|WARNING|ERROR):[^ ]+\\([0-9]+\\)\\]")
endfunction()
set(VELNA_FUZZ_SECONDS 5 CACHE STRING "How long each fuzzer runs in the tests")

# The system libraries that Windows does not always take from the system
# folder (no KnownDLLs entry on every supported version; the common
# controls, found through the manifest, load UxTheme.dll with the search
# path of the moment), as "<name>:<DLL>" for the import library lib<name>.a.
set(VELNA_DELAY_LOADED_LIBRARIES
  comctl32:COMCTL32.dll crypt32:CRYPT32.dll gdiplus:gdiplus.dll
  msimg32:MSIMG32.dll secur32:Secur32.dll userenv:USERENV.dll uxtheme:UxTheme.dll
  winhttp:WINHTTP.dll wininet:WININET.dll winmm:WINMM.dll
  wintrust:WINTRUST.dll)

# Links |target|, a module of the product that may run from a folder anyone
# can write (Downloads), against delay-load import libraries of those
# libraries, made once from the system's import libraries: the loader then
# resolves none of them before the program's own code runs, and the module's
# delay-load hook (delay_load_hook_win.cc) loads each from the system folder.
# The libraries keep their names, so that "-l<name>" finds the delay-load
# one first.
function(velna_delay_load target)
  if(NOT WIN32)
    return()
  endif()
  set(folder ${CMAKE_BINARY_DIR}/delay_imports)
  if(NOT TARGET velna_delay_imports)
    set(outputs)
    foreach(entry IN LISTS VELNA_DELAY_LOADED_LIBRARIES)
      string(REPLACE ":" ";" parts ${entry})
      list(GET parts 0 name)
      list(GET parts 1 dll)
      find_library(VELNA_IMPORT_LIBRARY_${name} NAMES ${name} REQUIRED)
      set(output ${folder}/lib${name}.a)
      add_custom_command(OUTPUT ${output}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
        COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL}
                -DIMPORT_LIBRARY=${VELNA_IMPORT_LIBRARY_${name}} -DDLL=${dll}
                -DOUTPUT=${output}
                -P ${CMAKE_SOURCE_DIR}/cmake/make_delay_import_library.cmake
        DEPENDS ${CMAKE_SOURCE_DIR}/cmake/make_delay_import_library.cmake
                ${VELNA_IMPORT_LIBRARY_${name}}
        COMMENT "Delay-load import library for ${dll}")
      list(APPEND outputs ${output})
    endforeach()
    add_custom_target(velna_delay_imports DEPENDS ${outputs})
  endif()
  add_dependencies(${target} velna_delay_imports)
  target_link_directories(${target} PRIVATE ${folder})
  target_sources(${target} PRIVATE
                 ${CMAKE_SOURCE_DIR}/base/process/delay_load_hook_win.cc)
endfunction()

# The targets of |dir| and of the folders below it.
function(velna_collect_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    velna_collect_targets(${subdir} below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Reading GoogleTest and the standard library (and, under mingw,
# <windows.h>) takes most of a test file's compile time: the test
# executables and their helper libraries share one precompiled header of
# them. Under mingw the product's own targets share another, of
# <windows.h> and the standard library, which is most of what a product
# file reads. Call once, after every target is defined.
function(velna_precompile_headers)
  file(WRITE ${CMAKE_BINARY_DIR}/velna_test_pch.cc "")
  add_library(velna_test_pch OBJECT ${CMAKE_BINARY_DIR}/velna_test_pch.cc)
  target_link_libraries(velna_test_pch PRIVATE velna::gtest)
  set(std_headers <algorithm> <functional> <map> <memory> <string> <utility>
                  <vector>)
  # base/logging.h before GoogleTest: its stream operator for UTF-16
  # strings must be seen where GoogleTest's templates are defined.
  if(WIN32)
    set(system_headers <windows.h>)
    # Test code builds unoptimised: it compiles in 40% less time, and the
    # product it tests keeps the optimisation it ships with.
    target_compile_options(velna_test_pch PRIVATE -O0)
    file(WRITE ${CMAKE_BINARY_DIR}/velna_product_pch.cc "")
    add_library(velna_product_pch OBJECT ${CMAKE_BINARY_DIR}/velna_product_pch.cc)
    target_precompile_headers(velna_product_pch PRIVATE
      ${system_headers} ${std_headers})
  endif()
  target_precompile_headers(velna_test_pch PRIVATE
    ${system_headers} ${std_headers} [["base/logging.h"]] <gtest/gtest.h>)
  target_link_libraries(velna_test_pch PRIVATE base)
  velna_collect_targets(${CMAKE_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY)$"
       OR target MATCHES "^velna_(test|product)_pch$")
      continue()
    endif()
    if(target MATCHES "(_unittests|_test_support)$")
      if(NOT type STREQUAL "SHARED_LIBRARY")
        target_precompile_headers(${target} REUSE_FROM velna_test_pch)
        if(WIN32)
          target_compile_options(${target} PRIVATE -O0)
        endif()
      endif()
    elseif(WIN32)
      target_precompile_headers(${target} REUSE_FROM velna_product_pch)
      # The header is C++; the few C files read their own.
      get_target_property(sources ${target} SOURCES)
      list(FILTER sources INCLUDE REGEX "\\.c$")
      if(sources)
        set_source_files_properties(${sources} TARGET_DIRECTORY ${target}
                                    PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
      endif()
    endif()
  endforeach()
endfunction()
