# Front door over the two CMake trees: build/host (native, clang) and build/win32 (mingw-w64).
JOBS ?= $(shell nproc)
# The tools' own lines, not make's "Entering directory" chatter (passed on to the build
# trees' makes through MAKEFLAGS).
MAKEFLAGS += --no-print-directory
HOST := build/host
WIN := build/win32

.PHONY: all deps host win32 test test-host test-win32 demo demo-package clean faults faults-wine fuzz-long

all: host win32 demo-package

deps:
	@bash scripts/deps.sh

$(HOST)/CMakeCache.txt: | deps
	cmake -S . -B $(HOST) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null

$(WIN)/CMakeCache.txt: | deps
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	      -DHOST_BUILD=$(CURDIR)/$(HOST) >/dev/null

host: $(HOST)/CMakeCache.txt
	cmake --build $(HOST) -j $(JOBS)

win32: $(WIN)/CMakeCache.txt host
	cmake --build $(WIN) -j $(JOBS)

# The demo client package: generated contents, then the complete setup program and the bare
# package. The decompression library and the client program come from the Windows build.
DEMO := build/demo
demo-package: host win32
	@python3 demo/make-files.py demo/kov30i.kovpack $(DEMO)/files \
	        --dunzip $(WIN)/dunzip32.dll --client $(WIN)/kov.exe \
	        --kovdb $(HOST)/kovdb \
	        --uninstaller $(WIN)/RM_KOV.EXE
	@$(HOST)/kovpack --stub $(WIN)/setup.exe --source $(DEMO)/files -o $(DEMO)/SETUP.EXE demo/kov30i.kovpack
	@$(HOST)/kovpack --source $(DEMO)/files -o $(DEMO)/package.bin demo/kov30i.kovpack

test: all test-host test-win32

test-host: host
	cd $(HOST) && ctest --output-on-failure

test-win32: win32
	cd $(WIN) && ctest --output-on-failure

demo: all
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
