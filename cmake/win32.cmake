# Windows tree: setup.exe, the decompression library, Win32 unit tests and the end-to-end
# runs on the Wine test machine.
enable_language(RC)
set(WARN -Wall -Wextra -Wno-unused-parameter -Wno-cast-function-type)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 1252")

kov_sources(SETUP_SRC win)

# The same sources build for x86-64, for hosts that cannot run 32-bit programs (their test
# machine is a 64-bit Wine prefix; scripts/arch.sh decides). What we ship is the i386 build.
# The i386 entry names carry the stdcall decoration; the 64-bit ones have none.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(KOV_ARCH win64)
  set(SETUP_ENTRY SetupStart)
  set(DLL_ENTRY DllMain)
  # The i386 alignment flag does not exist for x86-64, whose calling convention needs 16.
  set(STACK_FLAGS)
  # A pointer cut to a smaller integer is an error in this build. C++ refuses a plain cast
  # already; a cast through uintptr_t passes every warning, which tests/layers/check_cuts.py
  # looks for instead.
  add_compile_options($<$<COMPILE_LANGUAGE:C>:-Werror=pointer-to-int-cast>
                      $<$<COMPILE_LANGUAGE:C>:-Werror=int-to-pointer-cast>)
else()
  set(KOV_ARCH win32)
  set(SETUP_ENTRY _SetupStart@0)
  set(DLL_ENTRY _DllMain@12)
  set(STACK_FLAGS -mpreferred-stack-boundary=2)
endif()
set(SYSTEM_LIBS gdi32 user32 kernel32 comdlg32 ole32 oleaut32 uuid shell32 advapi32 winspool mpr version)

# What we ship is downloaded and copied to diskettes: small code (the install step's time
# goes to the file system, not to our instructions), no frame pointer, the stack kept at the
# system's own 4-byte alignment (nothing here needs more), each function in a section of its
# own so that the linker drops what nothing calls, no unwind tables since nothing is thrown,
# and no relocation table in the program (Windows loads it at its preferred base). Data
# stays in whole sections: split, the zero-filled globals would land in the initialised data.
set(SIZE_FLAGS -Oz -ffunction-sections -fno-asynchronous-unwind-tables
               -fno-unwind-tables -fno-ident -fomit-frame-pointer ${STACK_FLAGS})
set(SIZE_LINK -s -Wl,--gc-sections -Wl,--build-id=none)
set(EXE_SIZE_LINK ${SIZE_LINK} -Wl,--disable-dynamicbase -Wl,--disable-reloc-section)

# Everything but the entry point, so that the Win32 tests link the very same code.
add_library(setupcore STATIC ${SETUP_SRC})
target_compile_options(setupcore PRIVATE ${WARN} -fno-exceptions -fno-rtti ${SIZE_FLAGS})
target_compile_definitions(setupcore PUBLIC WINVER=0x0400 _WIN32_WINNT=0x0400 _WIN32_IE=0x0300
                           NOMINMAX)

set(STATIC_RT -static -static-libgcc -static-libstdc++)
add_executable(setup WIN32 ${SETUP_MAIN} res/setup.rc)
target_compile_options(setup PRIVATE ${WARN} -fno-exceptions -fno-rtti ${SIZE_FLAGS})
target_link_libraries(setup setupcore ${SYSTEM_LIBS})
# No C runtime start-up: SetupStart (setup/main_win.cpp) is the entry, and the system's C
# runtime library sets itself up when it is loaded.
target_link_options(setup PRIVATE ${STATIC_RT} ${EXE_SIZE_LINK} -Wl,--subsystem,windows:4.0
                    -Wl,--major-os-version,4 -nostartfiles -Wl,--entry,${SETUP_ENTRY})
# Exports: the two dialog procedures listed in setup/setup.def (an executable passes its .def
# file to the linker only with exports enabled).
set_target_properties(setup PROPERTIES OUTPUT_NAME setup SUFFIX .exe ENABLE_EXPORTS ON)
# The plain names of the .def stand for the decorated ones (_DiskSpaceDlgProc@16) on i386.
target_link_options(setup PRIVATE -Wl,--enable-stdcall-fixup)

# The uninstaller the setup leaves in the destination, with its own resources; shipped too,
# so built small like the setup.
add_executable(rm_kov WIN32 ${UNINSTALL_WIN} ${UNINSTALL_CORE})
target_compile_options(rm_kov PRIVATE ${WARN} -fno-exceptions -fno-rtti ${SIZE_FLAGS})
target_link_libraries(rm_kov setupcore ${SYSTEM_LIBS})
target_link_options(rm_kov PRIVATE ${STATIC_RT} ${EXE_SIZE_LINK} -Wl,--subsystem,windows:4.0
                    -Wl,--major-os-version,4)
set_target_properties(rm_kov PROPERTIES OUTPUT_NAME RM_KOV SUFFIX .EXE)

# The decompression library the setup loads from the destination folder: its own inflater,
# and nothing beside it but system libraries. zlib for mingw (static) is for the tests,
# which make archives.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)
add_library(dunzip32 SHARED ${DUNZIP_DLL} ${DUNZIP_CORE})
set_target_properties(dunzip32 PROPERTIES PREFIX "" OUTPUT_NAME dunzip32)
# Its inner loop is speed: -O2, with the size flags' sections and no unwind tables. No C
# runtime start-up of its own (it has no constructors, threads or exit handlers): DllMain is
# the entry, and the system C runtime's plain stdio and memory calls are all it imports.
target_compile_options(dunzip32 PRIVATE ${WARN} -O2 -fno-exceptions -fno-rtti -ffunction-sections
                       -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-ident)
target_compile_definitions(dunzip32 PRIVATE __USE_MINGW_ANSI_STDIO=0)
target_link_options(dunzip32 PRIVATE ${SIZE_LINK} -nostdlib -nostartfiles
                    -Wl,--entry,${DLL_ENTRY} -Wl,--kill-at)
target_link_libraries(dunzip32 msvcrt kernel32 gcc)
# The same library without its direct entry, as a third-party library that keeps to the
# command record would be: the tests run the setup's temporary-archive path over it.
add_library(dunzip_record SHARED ${DUNZIP_DLL} ${DUNZIP_CORE})
set_target_properties(dunzip_record PROPERTIES PREFIX "" OUTPUT_NAME dunzip_record)
target_compile_options(dunzip_record PRIVATE ${WARN} -O2 -fno-exceptions -fno-rtti)
target_compile_definitions(dunzip_record PRIVATE __USE_MINGW_ANSI_STDIO=0 DUNZIP_RECORD_ONLY)
target_link_options(dunzip_record PRIVATE -nostdlib -nostartfiles -Wl,--entry,${DLL_ENTRY}
                    -Wl,--kill-at)
target_link_libraries(dunzip_record msvcrt kernel32 gcc)

# GoogleTest built with mingw (the -posix compilers give it std::mutex).
add_library(gtest_win STATIC ${GTEST_SRC}/googletest/src/gtest-all.cc
                             ${GTEST_SRC}/googletest/src/gtest_main.cc)
target_include_directories(gtest_win PUBLIC ${GTEST_SRC}/googletest/include ${GTEST_SRC}/googletest)

# The Wine test machine: made once per test run, its wineserver kept alive by the fixture.
set(MACHINE_DIR ${CMAKE_BINARY_DIR}/machine)
set(WINE_ENV WINEPREFIX=${MACHINE_DIR}/prefix KOV_MACHINE=${MACHINE_DIR} KOV_ARCH=${KOV_ARCH})
add_test(NAME machine_up COMMAND ${CMAKE_COMMAND} -E env KOV_ARCH=${KOV_ARCH}
                                 ${CMAKE_SOURCE_DIR}/tests/machine/make-machine ${MACHINE_DIR})
set_tests_properties(machine_up PROPERTIES FIXTURES_SETUP machine)
add_test(NAME machine_down COMMAND ${CMAKE_SOURCE_DIR}/tests/machine/stop-machine ${MACHINE_DIR})
set_tests_properties(machine_down PROPERTIES FIXTURES_CLEANUP machine)

# The program's image, read from the file alone: no machine needed, so it runs on every
# host (the 64-bit path runs the i386 tree's by its label).
add_test(NAME image COMMAND bash ${CMAKE_SOURCE_DIR}/tests/image/pe.sh $<TARGET_FILE:setup> ${KOV_ARCH})
set_tests_properties(image PROPERTIES LABELS image)

# The machine scripts leave nothing running, after a good machine and after a failed one.
add_test(NAME machine_cleanup COMMAND ${CMAKE_COMMAND} -E env KOV_ARCH=${KOV_ARCH}
                                      bash ${CMAKE_SOURCE_DIR}/tests/machine/cleanup_test.sh)
set_tests_properties(machine_cleanup PROPERTIES RUN_SERIAL TRUE)

# Test peers: tests/peers/NAME.cpp becomes NAME.exe.
foreach(name ${PEERS})
  add_executable(${name} WIN32 tests/peers/${name}.cpp)
  target_link_libraries(${name} ${SYSTEM_LIBS})
  target_link_options(${name} PRIVATE ${STATIC_RT})
endforeach()

# Small libraries with version resources 4.0.0.0 and 4.0.0.1 and one without, for the
# system-file tests (verdll_4000.dll, verdll_4001.dll, verdll_none.dll beside the tests).
foreach(v 4000 4001 none)
  if(v STREQUAL "none")
    set(sources ${VERDLL_SOURCES})
    list(FILTER sources EXCLUDE REGEX "\\.rc$")
    add_library(verdll_${v} SHARED ${sources})
  else()
    add_library(verdll_${v} SHARED ${VERDLL_SOURCES})
    string(REGEX REPLACE "^(.)(.)(.)(.)$" "\\1,\\2,\\3,\\4" version ${v})
    target_compile_definitions(verdll_${v} PRIVATE VERDLL_VERSION=${version})
  endif()
  set_target_properties(verdll_${v} PROPERTIES PREFIX "" OUTPUT_NAME verdll_${v})
  target_link_options(verdll_${v} PRIVATE -static-libgcc -s)
endforeach()

add_executable(win32_tests ${WIN32_TEST_SOURCES} res/setup.rc)
target_compile_options(win32_tests PRIVATE -Wall)
target_compile_definitions(win32_tests PRIVATE KOV_BINARY_DIR="${CMAKE_BINARY_DIR}")
target_link_libraries(win32_tests setupcore gtest_win ZLIB::ZLIB ${SYSTEM_LIBS})
add_dependencies(win32_tests dunzip32 dunzip_record verdll_4000 verdll_4001 verdll_none)
target_link_options(win32_tests PRIVATE ${STATIC_RT})
add_test(NAME win32_tests COMMAND win32_tests)
set_tests_properties(win32_tests PROPERTIES FIXTURES_REQUIRED machine ENVIRONMENT "${WINE_ENV}")

# End-to-end runs: each tests/e2e/NAME.sh is one entry, run with the machine up.
set(HOST_BUILD ${CMAKE_SOURCE_DIR}/build/host CACHE PATH "native build tree (kovpack, kovdb)")
foreach(name ${E2E_SCRIPTS})
  add_test(NAME e2e_${name} COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/${name}.sh)
  set_tests_properties(e2e_${name} PROPERTIES FIXTURES_REQUIRED machine
    ENVIRONMENT "${WINE_ENV};KOV_SRC=${CMAKE_SOURCE_DIR};KOV_WIN=${CMAKE_BINARY_DIR};KOV_HOST=${HOST_BUILD}"
    RUN_SERIAL TRUE)
endforeach()

# Driver programs (tests/drivers/, listed in cmake/sources.cmake): NAME_win.cpp over the
# setup's library and resources. SHIPPED: built the way setup.exe is; ON_DEMAND: left out of
# the default build, for the benchmarks to build when they run.
function(kov_driver name)
  cmake_parse_arguments(DRIVER "SHIPPED;ON_DEMAND" "" "" ${ARGN})
  set(exclude)
  if(DRIVER_ON_DEMAND)
    set(exclude EXCLUDE_FROM_ALL)
  endif()
  add_executable(${name} WIN32 ${exclude} tests/drivers/${name}_win.cpp res/setup.rc)
  target_compile_options(${name} PRIVATE ${WARN} -fno-exceptions -fno-rtti)
  target_link_libraries(${name} setupcore ${SYSTEM_LIBS})
  add_dependencies(${name} string_ids)
  if(DRIVER_SHIPPED)
    target_compile_options(${name} PRIVATE ${SIZE_FLAGS})
    target_link_options(${name} PRIVATE ${STATIC_RT} ${EXE_SIZE_LINK}
                        -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4)
  else()
    target_link_options(${name} PRIVATE ${STATIC_RT})
  endif()
endfunction()
foreach(name ${WIN_DRIVERS})
  kov_driver(${name})
endforeach()
foreach(name ${WIN_SHIPPED_DRIVERS})
  kov_driver(${name} SHIPPED)
endforeach()
foreach(name ${WIN_ON_DEMAND_DRIVERS})
  kov_driver(${name} SHIPPED ON_DEMAND)
endforeach()

# The demo client carried by the demo package: shows its installation and its database.
add_executable(kov WIN32 ${DEMO_CLIENT})
target_compile_options(kov PRIVATE ${WARN} -fno-exceptions -fno-rtti)
target_link_libraries(kov setupcore ${SYSTEM_LIBS})
target_link_options(kov PRIVATE ${STATIC_RT})

# A decompression library whose disk is always full, for the library's fatal error (1028).
add_library(dunzip_full SHARED ${DUNZIP_FULL_SOURCES})
set_target_properties(dunzip_full PROPERTIES PREFIX "" OUTPUT_NAME dunzip_full)
target_link_options(dunzip_full PRIVATE -static-libgcc -s -Wl,--kill-at)

# The network adapter library's variants for the closing phase (insmac_none.dll,
# insmac_all.dll, insmac_install.dll): which entries they export.
foreach(v none all install)
  add_library(insmac_${v} SHARED ${INSMAC_SOURCES})
  string(TOUPPER ${v} upper)
  target_compile_definitions(insmac_${v} PRIVATE INSMAC_${upper})
  set_target_properties(insmac_${v} PROPERTIES PREFIX "" OUTPUT_NAME insmac_${v})
  target_link_options(insmac_${v} PRIVATE -static-libgcc -s -Wl,--kill-at)
endforeach()
