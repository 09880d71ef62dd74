# Every source file of the program, one list per folder, folders in layer order (a folder may
# include only the folders before it; tests/layers/check_layers.py holds that). A file
# missing from its list is not built, and a listed file that is missing fails the configure.
#
# One platform rule: a file whose name ends in _win.cpp is Windows code and is built only in
# the Windows tree; one ending in _posix.cpp only in the native tree; every other file is
# portable and built in both.
#
# Adding a folder: add it to KOV_FOLDERS at its layer and give it a <folder>_SOURCES list.

set(KOV_FOLDERS sys base record registry clientdb package ui install migrate modem desktop setup)

set(sys_SOURCES fault.cpp win32/sys_win.cpp posix/sys_posix.cpp)
set(base_SOURCES bytes.cpp format.cpp globals.cpp log.cpp mem.cpp path.cpp seat.cpp text.cpp write.cpp)
set(record_SOURCES escape.cpp installrec.cpp installrec_win.cpp journal.cpp)
set(registry_SOURCES registry_win.cpp)
set(clientdb_SOURCES access.cpp format.cpp userdb.cpp)
set(package_SOURCES locate_win.cpp reader.cpp script.cpp)
set(ui_SOURCES dialogs_win.cpp drives_win.cpp frame_win.cpp gauge_win.cpp print_win.cpp
               seat_win.cpp wizard_state_win.cpp)
set(install_SOURCES decompress.cpp destination.cpp install.cpp install_win.cpp pif.cpp rollback.cpp
                    rollback_posix.cpp rollback_win.cpp space.cpp state.cpp sysfiles.cpp)
set(migrate_SOURCES migrate.cpp platform_posix.cpp platform_win.cpp registration_win.cpp search.cpp
                    steps.cpp transfer.cpp)
set(desktop_SOURCES group_win.cpp links_win.cpp)
set(modem_SOURCES modem_win.cpp)
set(setup_SOURCES answers.cpp answers_win.cpp closing_win.cpp connect.cpp driver.cpp driver_win.cpp
                  entry_win.cpp fatal.cpp options.cpp reset.cpp startup_win.cpp)

# The program's own entry point and its exports (setup.def), outside the library so that the
# tests link the same code.
set(SETUP_MAIN setup/main_win.cpp setup/setup.def)

# The decompression library: its portable core, and the Windows entry around it.
set(DUNZIP_CORE dunzip/unzip.cpp dunzip/inflate.cpp)
set(DUNZIP_DLL dunzip/dunzip_win.cpp)

# The demo client program, kov.exe.
set(DEMO_CLIENT demo/client/kov.cpp)

# The uninstaller RM_KOV.EXE: its portable half (also in the host tests) and its Windows
# program with its own resources.
set(UNINSTALL_CORE uninstall/undo.cpp)
set(UNINSTALL_WIN uninstall/rm_kov_win.cpp uninstall/rm_kov.rc)

# Host tools, built natively over the portable core.
set(kovpack_SOURCES tools/common/codepage.cpp tools/kovpack/describe.cpp tools/kovpack/list.cpp
                    tools/kovpack/main.cpp tools/kovpack/store.cpp tools/kovpack/write.cpp)
set(kovdb_SOURCES tools/common/codepage.cpp tools/kovdb/main.cpp)

# Driver programs, all in tests/drivers/: each runs one part of the setup on its own, for
# the end-to-end runs and the benchmarks. NAME_win.cpp becomes NAME.exe in the Windows tree
# (kov_driver, cmake/win32.cmake), NAME.cpp becomes NAME in the native tree.
#   desktopdrv  the desktop steps alone, for the runs against the PROGMAN peer
#   gallery     one dialog template over the frame, for people, the robot and screenshots
#   installrun  the install step alone over a bare package
#   kovlayout   an installed client with its record, for the uninstaller's runs
#   migrator    the migration alone over the frame
#   modemrun    the modem search alone over the frame, for the runs against the modem peer
set(WIN_DRIVERS desktopdrv gallery installrun kovlayout migrator modemrun)
# Built the way setup.exe is (small code, the same image flags), for runs whose figures or
# faults must be the shipped program's:
#   setupkill   setup.exe whose temporary copy ends itself at a chosen file operation
#               (bench/faults-wine.sh)
#   installstep the install step alone with the package appended by kovpack --stub; built on
#               demand by bench/peer.sh and bench/install-memory.sh, never by the tests
set(WIN_SHIPPED_DRIVERS setupkill)
set(WIN_ON_DEMAND_DRIVERS installstep)
# Native benchmark drivers over the portable core, built on demand by bench/clientdb.sh,
# bench/install.sh and bench/migrate.sh.
set(HOST_DRIVERS bench_clientdb bench_install bench_migrate bench_rollback)

# Small libraries the Win32 tests load: version resources for the system-file tests, a
# decompression library whose disk is always full, the network adapter library's variants.
set(VERDLL_SOURCES tests/data/verdll/verdll.c tests/data/verdll/verdll.rc)
set(DUNZIP_FULL_SOURCES tests/peers/dunzip_full.c)
set(INSMAC_SOURCES tests/peers/insmac32.c)

# Tests.
set(HOST_TEST_SOURCES
  tests/host/answers_test.cpp tests/host/base_test.cpp tests/host/clientdb_test.cpp tests/host/destination_test.cpp
  tests/host/driver_test.cpp tests/host/faults_test.cpp tests/host/hostile_earlier_test.cpp
  tests/host/hostile_test.cpp
  tests/host/inflate_test.cpp tests/host/install_test.cpp tests/host/installrec_test.cpp
  tests/host/kovdb_test.cpp tests/host/kovpack_test.cpp tests/host/machine.cpp
  tests/host/migrate_search_test.cpp tests/host/migrate_test.cpp tests/host/options_test.cpp
  tests/host/package_test.cpp tests/host/reset_test.cpp tests/host/rollback_test.cpp tests/host/space_test.cpp
  tests/host/strings_test.cpp
  tests/host/sysfiles_test.cpp tests/host/transfer_test.cpp tests/host/unzip_test.cpp)
set(WIN32_TEST_SOURCES
  tests/win32/base_win_test.cpp tests/win32/clientdb_win_test.cpp tests/win32/closing_test.cpp
  tests/win32/desktop_test.cpp
  tests/win32/dunzip_test.cpp tests/win32/install_loop_test.cpp
  tests/win32/installrec_win_test.cpp tests/win32/migrate_win_test.cpp
  tests/win32/modem_test.cpp tests/win32/package_win_test.cpp tests/win32/registration_test.cpp
  tests/win32/registry_test.cpp tests/win32/rollback_win_test.cpp tests/win32/sysfiles_win_test.cpp tests/win32/templates_test.cpp
  tests/win32/ui_dialogs_test.cpp tests/win32/ui_drives_test.cpp tests/win32/ui_frame_test.cpp
  tests/win32/ui_gauge_test.cpp
  tests/win32/ui_print_test.cpp)
# tests/fuzz/NAME.cpp, tests/peers/NAME.cpp (NAME.exe), tests/e2e/NAME.sh. The modem peer
# (tests/peers/modem) is a script the end-to-end runs start as it is.
set(FUZZERS answers clientdb dunzip install installrec migrate script)
set(PEERS asker chained launch machinfo progman robot window)
set(E2E_SCRIPTS desktop entry hostile install machine migrate modem package relaunch restart robot
    ui_gallery ui_print_cdrom ui_print_page unattended uninstall wholerun wholerun_chained
    wholerun_quit)

# The sources of the folders for one tree: PLATFORM is win or posix.
function(kov_sources out platform)
  set(result)
  foreach(folder ${KOV_FOLDERS})
    foreach(file ${${folder}_SOURCES})
      set(path ${CMAKE_SOURCE_DIR}/${folder}/${file})
      if(NOT EXISTS ${path})
        message(FATAL_ERROR "cmake/sources.cmake lists ${folder}/${file}, which does not exist")
      endif()
      if(file MATCHES "_win\\.cpp$")
        if(platform STREQUAL "win")
          list(APPEND result ${path})
        endif()
      elseif(file MATCHES "_posix\\.cpp$")
        if(platform STREQUAL "posix")
          list(APPEND result ${path})
        endif()
      else()
        list(APPEND result ${path})
      endif()
    endforeach()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()
