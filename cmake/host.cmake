# Native tree: the portable core over sys/posix, the host tools, sanitized unit tests and
# the fuzzers.
kov_sources(CORE_SRC posix)
set(CORE_ALL ${CORE_SRC} ${STRINGS_CPP})
set(WARN -Wall -Wextra -Wno-unused-parameter)

find_package(ZLIB REQUIRED)
add_library(kovcore STATIC ${CORE_ALL})
target_compile_options(kovcore PRIVATE ${WARN} -O2)

# The same core with AddressSanitizer and UBSan, for the unit tests.
set(SAN -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
add_library(kovcore_san STATIC ${CORE_ALL})
target_compile_options(kovcore_san PRIVATE ${WARN} ${SAN})
target_link_options(kovcore_san PUBLIC ${SAN})

# The decompression library's portable core, for its tests and fuzzer.
add_library(dunzip_san STATIC ${DUNZIP_CORE})
target_compile_options(dunzip_san PRIVATE ${WARN} ${SAN})
target_link_libraries(dunzip_san ZLIB::ZLIB)

add_library(gtest_host STATIC ${GTEST_SRC}/googletest/src/gtest-all.cc
                              ${GTEST_SRC}/googletest/src/gtest_main.cc)
target_include_directories(gtest_host PUBLIC ${GTEST_SRC}/googletest/include ${GTEST_SRC}/googletest)
target_compile_options(gtest_host PRIVATE ${SAN})
find_package(Threads REQUIRED)
target_link_libraries(gtest_host PUBLIC Threads::Threads)

add_executable(host_tests ${HOST_TEST_SOURCES} ${UNINSTALL_CORE})
target_compile_options(host_tests PRIVATE ${SAN})
target_compile_definitions(host_tests PRIVATE KOV_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                           KOV_BINARY_DIR="${CMAKE_BINARY_DIR}")
target_link_libraries(host_tests kovcore_san dunzip_san gtest_host ZLIB::ZLIB)
add_test(NAME host_tests COMMAND host_tests)

# Host tools.
# libdeflate: kovpack's second deflate encoder, tried beside zlib's on every file.
find_path(LIBDEFLATE_INCLUDE libdeflate.h REQUIRED)
find_library(LIBDEFLATE_LIBRARY deflate REQUIRED)
foreach(tool kovpack kovdb)
  add_executable(${tool} ${${tool}_SOURCES})
  target_compile_options(${tool} PRIVATE ${WARN} -O2)
  target_link_libraries(${tool} kovcore ZLIB::ZLIB)
endforeach()
target_include_directories(kovpack PRIVATE ${LIBDEFLATE_INCLUDE})
target_link_libraries(kovpack ${LIBDEFLATE_LIBRARY} Threads::Threads)
# The manual pages beside the programs in the build tree (man -l build/host/man/man1/...),
# and both installed by `cmake --install`.
foreach(page kovpack kovdb)
  configure_file(${CMAKE_SOURCE_DIR}/docs/man/${page}.1 ${CMAKE_BINARY_DIR}/man/man1/${page}.1
                 COPYONLY)
endforeach()
install(TARGETS kovpack kovdb DESTINATION bin)
install(FILES docs/man/kovpack.1 docs/man/kovdb.1 DESTINATION share/man/man1)
# The description format beside the manual pages; kovpack --help names where it goes.
install(FILES tools/kovpack/FORMAT.md DESTINATION share/doc/kovpack)
target_compile_definitions(kovpack PRIVATE KOV_DOC_DIR="${CMAKE_INSTALL_PREFIX}/share/doc/kovpack")
# The inspector's tests run the built program.
add_dependencies(host_tests kovdb kovpack)

# Benchmark drivers (tests/drivers/NAME.cpp, listed in cmake/sources.cmake), built on
# demand by the benchmark scripts.
foreach(name ${HOST_DRIVERS})
  add_executable(${name} EXCLUDE_FROM_ALL tests/drivers/${name}.cpp)
  target_compile_options(${name} PRIVATE ${WARN} -O2)
  target_link_libraries(${name} kovcore ZLIB::ZLIB)
  add_dependencies(${name} string_ids)
endforeach()
# The install and rollback benchmarks load the decompression library's core as the native platform's.
target_sources(bench_install PRIVATE ${DUNZIP_CORE})
target_sources(bench_rollback PRIVATE ${DUNZIP_CORE})

# Fuzzers (clang only): tests/fuzz/NAME.cpp becomes fuzz_NAME, with a short run in the tests.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(FUZZ -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_library(kovcore_fuzz STATIC ${CORE_ALL} ${DUNZIP_CORE} ${UNINSTALL_CORE})
  target_compile_options(kovcore_fuzz PRIVATE ${FUZZ})
  foreach(name ${FUZZERS})
    add_executable(fuzz_${name} tests/fuzz/${name}.cpp)
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(fuzz_${name} kovcore_fuzz ZLIB::ZLIB)
    # New inputs go to the build tree's corpus; the committed seeds are only read.
    set(seeds ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name})
    set(work ${CMAKE_BINARY_DIR}/corpus/${name})
    file(MAKE_DIRECTORY ${seeds} ${work})
    add_test(NAME fuzz_${name}
      COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
              $<TARGET_FILE:fuzz_${name}> -max_total_time=20 -rss_limit_mb=1024 ${work} ${seeds})
  endforeach()
endif()

# The house style: every tracked source as clang-format writes it.
add_test(NAME format COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check-format.sh)

# The layers: a folder includes only the folders below it (tests/layers/check_layers.py).
add_test(NAME layers COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/layers/check_layers.py
                             ${CMAKE_SOURCE_DIR})
add_test(NAME layers_selftest
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/layers/check_layers.py --selftest)

# The same order at link time: what each folder's objects use is defined below it
# (tests/layers/check_links.py reads the library's objects with nm).
add_test(NAME links COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/layers/check_links.py
                            ${CMAKE_BINARY_DIR}/CMakeFiles/kovcore.dir)
add_test(NAME links_selftest
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/layers/check_links.py --selftest)

# Addresses cut to 32 bits, which only a 64-bit machine would show (tests/layers/check_cuts.py).
add_test(NAME cuts COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/layers/check_cuts.py
                           ${CMAKE_SOURCE_DIR})
add_test(NAME cuts_selftest
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/layers/check_cuts.py --selftest)
