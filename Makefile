# Two trees of Windows programs (win32: the shipped 32-bit build; win64: the same code as 64-bit
# programs, which is what runs under Wine here) and a native tree for host tools and unit tests.
BUILD := build
CMAKE_GEN := -G Ninja
PYTEST := /usr/bin/python3 -m pytest

.PHONY: all build deps i386 test unit e2e demo fuzz bench clean

all: build

deps:
	@bash tools/install-deps.sh

# Wine runs the shipped 32-bit programs through its 32-bit half.
i386: deps
	@bash tools/enable-i386.sh

build: deps
	cmake -S . -B $(BUILD)/host $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD)/host
	cmake -S . -B $(BUILD)/win32 $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
	cmake --build $(BUILD)/win32
	cmake -S . -B $(BUILD)/win64 $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
	cmake --build $(BUILD)/win64

unit: build
	ctest --test-dir $(BUILD)/host --output-on-failure

e2e: build i386
	$(PYTEST) -q tests/e2e

test: unit e2e

demo: build i386
	/usr/bin/python3 tools/demo.py

# libFuzzer binaries in a tree of their own (clang), e.g. build/fuzz/bin/sevenZipArchiveFuzz CORPUS
fuzz: deps
	cmake -S . -B $(BUILD)/fuzz $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQUILLON_FUZZ=ON
	cmake --build $(BUILD)/fuzz

# Extraction speed of qovx against 7zz (LZMA and LZMA2 at -mx1/5/9, PPMd at -mx5; its own Release tree
# in build/bench), then the interpreter's cost per command under Wine
bench: build i386
	/usr/bin/python3 bench/extractSpeed.py --work $(BUILD)/bench
	/usr/bin/python3 bench/interpreterSpeed.py --work $(BUILD)/bench

clean:
	rm -rf $(BUILD)
