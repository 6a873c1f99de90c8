# kalmlib: `make demo` builds and runs the main job; `make test` builds and
# runs the whole test suite (including an ASan+UBSan build).
BUILD ?= build
SAN_BUILD ?= build-san
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES := cmake ninja-build g++ pkgconf python3 libgtest-dev libbenchmark-dev libmpfr-dev libgmp-dev
CMAKE_ARGS ?=

.PHONY: demo test deps configure build san tsan debug-vectors cfenv-vectors fuzz-short clean bench cross-test fuzz

deps:
	@missing=""; for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "installing:$$missing"; apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing >/dev/null; \
	  else \
	    echo "missing packages; run: sudo apt-get install -y$$missing"; exit 1; \
	  fi; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS) >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/kalm report

san: deps
	cmake -S . -B $(SAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALM_SANITIZE=ON -DKALM_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	cmake --build $(SAN_BUILD) -j $(JOBS)

# The threads that share the library, under ThreadSanitizer.
tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKALM_TSAN=ON -DKALM_BENCH=OFF $(CMAKE_ARGS) >/dev/null
	cmake --build build-tsan -j $(JOBS) --target kalm_tests

# The vectors again from an unoptimised build, under every caller environment of
# the host: results must not depend on the optimiser.
debug-vectors: deps
	cmake -S . -B build-dbg -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKALM_TESTS=OFF -DKALM_BENCH=OFF -DKALM_TOOLS=OFF $(CMAKE_ARGS) >/dev/null
	cmake --build build-dbg -j $(JOBS) --target kalm_check
	build-dbg/kalm_check --caller-env each tests/vectors/*.txt

# The vectors through the portable <cfenv> flag layer instead of the direct
# register access, under every caller environment of the host.
cfenv-vectors: deps
	cmake -S . -B build-cfenv -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALM_FORCE_CFENV=ON -DKALM_TESTS=OFF -DKALM_BENCH=OFF -DKALM_TOOLS=OFF $(CMAKE_ARGS) >/dev/null
	cmake --build build-cfenv -j $(JOBS) --target kalm_check
	build-cfenv/kalm_check --caller-env each tests/vectors/*.txt

# A short fuzzing run (make fuzz FUZZ_RUNS=N for a long one).
fuzz-short:
	@$(MAKE) --no-print-directory fuzz FUZZ_RUNS=20000

test: build san tsan debug-vectors cfenv-vectors fuzz-short
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(SAN_BUILD) && KALM_ORACLE_COUNT=20000 ctest --output-on-failure -j $(JOBS)
	build-tsan/tests/kalm_tests --gtest_filter='Threads.*:Frame.ControlWords*'

bench: build
	$(BUILD)/bench/kalm_bench

clean:
	rm -rf $(BUILD) $(SAN_BUILD)

CROSS_PACKAGES := g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user
cross-test:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(CROSS_PACKAGES)"
	tools/cross-test.sh

FUZZ_RUNS ?= 200000
fuzz:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) clang libclang-rt-14-dev"
	FUZZ_RUNS=$(FUZZ_RUNS) tests/fuzz/run.sh

# The Windows build (MinGW-w64) and its tests under Wine, in a prefix of its own.
WIN_PACKAGES := g++-mingw-w64-x86-64-posix wine wine64 googletest
.PHONY: windows-test
windows-test:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(WIN_PACKAGES)"
	tools/windows-test.sh
