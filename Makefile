# Front door over the CMake trees: build/host (native, clang), build/win32 (mingw-w64 i686,
# what we ship) and, on hosts that cannot run 32-bit programs, build/win64 (the same sources
# for x86-64, tested on a 64-bit Wine prefix).
JOBS ?= $(shell nproc)
# The tools' own lines, not make's "Entering directory" chatter (passed on to the build
# trees' makes through MAKEFLAGS).
MAKEFLAGS += --no-print-directory
# Which Windows build the tests and the demo run: win32 or win64. scripts/arch.sh decides
# (KOV_ARCH=win64 forces the 64-bit path on any host); exported so that every script asks
# the same question and gets the same answer.
ifeq ($(origin KOV_ARCH),undefined)
KOV_ARCH := $(shell bash scripts/arch.sh)
KOV_ARCH_WHY := $(shell bash scripts/arch.sh --why)
else
KOV_ARCH_WHY := $(shell KOV_ARCH=$(KOV_ARCH) bash scripts/arch.sh --why)
endif
export KOV_ARCH KOV_ARCH_WHY
HOST := build/host
# The shipped i386 program, built on every host.
PRODUCT := build/win32
# The Windows tree the tests, the demo and the benchmarks run on this host.
WIN := build/$(KOV_ARCH)

.PHONY: all deps host win32 win64 wintree test test-host test-win test-win32 demo demo-package \
        demo-programs clean faults faults-wine fuzz-long

all: host win32 wintree demo-package

deps:
	@bash scripts/deps.sh

$(HOST)/CMakeCache.txt: | deps
	cmake -S . -B $(HOST) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null

build/win32/CMakeCache.txt: | deps
	cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	      -DHOST_BUILD=$(CURDIR)/$(HOST) >/dev/null

build/win64/CMakeCache.txt: | deps
	cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake \
	      -DHOST_BUILD=$(CURDIR)/$(HOST) >/dev/null

host: $(HOST)/CMakeCache.txt
	cmake --build $(HOST) -j $(JOBS)

# On the 64-bit path only the shipped programs of the i386 tree are built: its tests cannot
# run here, and its image checks need nothing else.
ifeq ($(KOV_ARCH),win32)
win32: build/win32/CMakeCache.txt host
	cmake --build build/win32 -j $(JOBS)
wintree: win32
else
win32: build/win32/CMakeCache.txt host
	cmake --build build/win32 -j $(JOBS) --target setup dunzip32 rm_kov
wintree: win64
endif

win64: build/win64/CMakeCache.txt host
	cmake --build build/win64 -j $(JOBS)

# The demo client package: generated contents, then the complete setup program and the bare
# package. The decompression library and the client program come from the Windows tree that
# runs here, so that the demo's setup can load its library.
DEMO := build/demo
# What the demo runs, and nothing of the test tree (sanitizer builds, fuzzers, test programs):
# the tools, the setup with its library and uninstaller, the client, and the machine's peers.
DEMO_HOST_TARGETS := kovpack kovdb
DEMO_WIN_TARGETS := setup dunzip32 rm_kov kov robot progman launch window
demo-programs: $(HOST)/CMakeCache.txt $(WIN)/CMakeCache.txt
	cmake --build $(HOST) -j $(JOBS) --target $(DEMO_HOST_TARGETS)
	cmake --build $(WIN) -j $(JOBS) --target $(DEMO_WIN_TARGETS)

demo-package: demo-programs
	@python3 demo/make-files.py demo/kov30i.kovpack $(DEMO)/files \
	        --dunzip $(WIN)/dunzip32.dll --client $(WIN)/kov.exe \
	        --kovdb $(HOST)/kovdb \
	        --uninstaller $(WIN)/RM_KOV.EXE
	@$(HOST)/kovpack --stub $(WIN)/setup.exe --source $(DEMO)/files -o $(DEMO)/SETUP.EXE demo/kov30i.kovpack
	@$(HOST)/kovpack --source $(DEMO)/files -o $(DEMO)/package.bin demo/kov30i.kovpack

test: all test-host test-win

test-host: host
	cd $(HOST) && ctest --output-on-failure

# The Windows half: on the 64-bit path, the shipped i386 image's checks (no Wine needed),
# then every test of the 64-bit tree.
test-win: all
	@echo "Windows tests: $(KOV_ARCH_WHY)"
ifneq ($(KOV_ARCH),win32)
	cd build/win32 && ctest --output-on-failure -L image
endif
	cd $(WIN) && ctest --output-on-failure

# The former name of the Windows half.
test-win32: test-win

demo: demo-package
	bash scripts/demo.sh

# The long campaigns, outside make test.
faults: host
	bash bench/faults.sh $(HOST)

# The kill campaign on the Wine test machine (about 15 minutes).
faults-wine: all
	bash bench/faults-wine.sh

fuzz-long: host
	bash bench/fuzz-long.sh --minimise $(HOST)

clean:
	rm -rf build
