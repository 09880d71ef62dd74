# Front door over the two CMake trees: build/host (native, clang) and build/win32 (mingw-w64).
JOBS ?= $(shell nproc)
HOST := build/host
WIN := build/win32

.PHONY: all deps host win32 test test-host test-win32 demo clean

all: host win32

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

test: all test-host test-win32

test-host: host
	cd $(HOST) && ctest --output-on-failure

test-win32: win32
	cd $(WIN) && ctest --output-on-failure

demo: all
	bash scripts/demo.sh

clean:
	rm -rf build
