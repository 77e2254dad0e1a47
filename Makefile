# The front door: `make` builds everything into dist/, `make test` runs every
# test, `make demo` packages the example product and installs it under Wine.
# Each runs scripts/bootstrap.sh first when a tool is missing.

BUILD  ?= build
JOBS   ?= $(shell nproc)
CMAKE_GEN := -G Ninja

HOST   := $(BUILD)/host
TOOLS  := $(BUILD)/tools
WIN32  := $(BUILD)/win32
WIN64  := $(BUILD)/win64

.PHONY: all build bootstrap configure test test-host test-wine bench demo screenshots fuzz clean

all: build

bootstrap:
	@bash scripts/bootstrap.sh

$(HOST)/build.ninja: | bootstrap
	CC=clang CXX=clang++ cmake $(CMAKE_GEN) -S . -B $(HOST) -DCMAKE_BUILD_TYPE=Debug \
	  -DENGINE_SANITIZE=ON -DENGINE_FUZZ=ON
$(TOOLS)/build.ninja: | bootstrap
	cmake $(CMAKE_GEN) -S . -B $(TOOLS) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DENGINE_BENCH=ON
$(WIN32)/build.ninja: | bootstrap
	cmake $(CMAKE_GEN) -S . -B $(WIN32) -DCMAKE_BUILD_TYPE=MinSizeRel \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
$(WIN64)/build.ninja: | bootstrap
	cmake $(CMAKE_GEN) -S . -B $(WIN64) -DCMAKE_BUILD_TYPE=MinSizeRel \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake

configure: $(HOST)/build.ninja $(TOOLS)/build.ninja $(WIN32)/build.ninja $(WIN64)/build.ninja

build: configure
	cmake --build $(TOOLS) -j $(JOBS)
	cmake --build $(WIN32) -j $(JOBS)
	cmake --build $(WIN64) -j $(JOBS)
	cmake --build $(HOST) -j $(JOBS)

test: build
	bash scripts/run-tests $(HOST) $(WIN64)

test-host: $(HOST)/build.ninja
	cmake --build $(HOST) -j $(JOBS)
	cd $(HOST) && ctest --output-on-failure -j $(JOBS)

test-wine: $(WIN64)/build.ninja
	cmake --build $(WIN64) -j $(JOBS)
	cd $(WIN64) && ctest --output-on-failure

# The fuzzing campaign: every fuzz target of the host tree in turn (or those
# FUZZ_TARGETS names) for FUZZ_SECONDS of CPU time each, one process at a time;
# the corpora grow in $(HOST)/fuzz-campaign. Not part of `make test`.
FUZZ_SECONDS ?= 600
FUZZ_TARGETS ?=
fuzz: $(HOST)/build.ninja
	cmake --build $(HOST) -j $(JOBS)
	bash scripts/fuzz-campaign $(HOST) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

bench: build
	bash bench/run-all $(TOOLS)

demo: build
	bash scripts/demo

# The README's pictures of the boxes, in English and Japanese (docs/screenshots/).
screenshots: $(TOOLS)/build.ninja $(WIN64)/build.ninja
	cmake --build $(TOOLS) --target mkpackage -j $(JOBS)
	cmake --build $(WIN64) --target installer setup-stub e2e-robot app-windows -j $(JOBS)
	bash scripts/screenshots

clean:
	rm -rf $(BUILD) dist
