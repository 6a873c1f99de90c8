# SPDX-License-Identifier: MIT
# kalmlib: `make demo` builds and runs the main job; `make test` the everyday
# suite (the Release build's tests: unit tests, every vector under every caller
# environment, the ports, the guests, the examples and docs; a few minutes);
# `make test-all` the whole matrix CI runs (the consumer builds, ASan+UBSan,
# TSan, -O0, <cfenv>, Clang, fuzzing, AArch64 and armhf under qemu, Windows
# under Wine). Every build directory is a configure preset of
# CMakePresets.json, where the flags live; this file picks presets, builds and
# runs.
BUILD ?= build
SAN_BUILD ?= build-san
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# The emulator frameworks and the ARM guest compiler are among them: the
# release, san and tsan presets require every optional part.
PACKAGES := cmake ninja-build g++ pkgconf python3 libgtest-dev libbenchmark-dev libmpfr-dev libgmp-dev \
            gcc-arm-none-eabi libunicorn-dev libdynarmic-dev gnuplot-nox
CMAKE_ARGS ?=
# Everything the targets below and the scripts they run build.
BUILD_DIRS := $(BUILD) $(SAN_BUILD) build-tsan build-dbg build-cfenv build-fuzz build-clang build-aarch64 build-armhf build-win build-python \
              build-wasm

.PHONY: demo test test-all deps configure build san tsan debug-vectors cfenv-vectors soft-vectors clang-vectors fuzz-short clean bench \
        cross-test fuzz package ports-test porting-reference \
        guest-deps guest-test guest-demo gallery soak

# What the packages provide, checked by command or header (dpkg only for the
# rest), installed with apt-get where that is possible: tools/deps.sh.
deps:
	@tools/deps.sh $(PACKAGES)

configure: deps
	cmake --preset release -B $(BUILD) $(CMAKE_ARGS) >/dev/null

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	$(BUILD)/kalm report

san: deps
	cmake --preset san -B $(SAN_BUILD) $(CMAKE_ARGS) >/dev/null
	cmake --build $(SAN_BUILD) -j $(JOBS)

# The threads that share the library, under ThreadSanitizer.
tsan: deps
	cmake --preset tsan $(CMAKE_ARGS) >/dev/null
	cmake --build build-tsan -j $(JOBS) --target kalm_tests

# The vectors again from an unoptimised build, under every caller environment of
# the host: results must not depend on the optimiser. It divides and takes
# roots by the integer methods alone (KALM_INTEGER_ARITHMETIC), what hosts
# without AVX-512 run, so that both paths are checked on any machine.
debug-vectors: deps
	cmake --preset dbg $(CMAKE_ARGS) >/dev/null
	cmake --build build-dbg -j $(JOBS) --target kalm_check kalm_guest_check kalm_batch_check
	build-dbg/kalm_check --caller-env each tests/vectors/*.txt
	build-dbg/kalm_check --scope --caller-env each tests/vectors/*.txt
	build-dbg/kalm_check --scope-check --caller-env each tests/vectors/*.txt
	build-dbg/kalm_guest_check tests/vectors/*.txt
	build-dbg/kalm_batch_check --caller-env each tests/vectors/*.txt

# The vectors through the portable <cfenv> flag layer instead of the direct
# register access, under every caller environment of the host.
cfenv-vectors: deps
	cmake --preset cfenv $(CMAKE_ARGS) >/dev/null
	cmake --build build-cfenv -j $(JOBS) --target kalm_check kalm_guest_check kalm_batch_check
	build-cfenv/kalm_check --caller-env each tests/vectors/*.txt
	build-cfenv/kalm_check --scope --caller-env each tests/vectors/*.txt
	build-cfenv/kalm_check --scope-check --caller-env each tests/vectors/*.txt
	build-cfenv/kalm_guest_check tests/vectors/*.txt
	build-cfenv/kalm_batch_check --caller-env each tests/vectors/*.txt

# The vectors from a Clang build of the library, under every caller environment
# of the host: the results must not depend on the compiler either.
# The flags computed in software (KALM_SOFT_FLAGS, as on WebAssembly): every
# vector under every caller environment, and the soft library against the
# hardware one, results, flags and raises. SOFT_FULL=1: every float argument of
# the 16 one-argument single exports and 10^8 random calls of the double ones
# (hours on two cores).
SINGLE_EXPORTS := acosf asinf atanf ceilf cosf coshf expf fabsf floorf log10f logf sinf sinhf sqrtf tanf tanhf
DOUBLE_EXPORTS := _y0,_y1,_yn,acos,asin,atan,atan2,ceil,cos,cosh,exp,floor,fmod,log,log10,pow,sin,sinh,sqrt,tan,tanh
soft-vectors: configure
	cmake --preset soft $(CMAKE_ARGS) >/dev/null
	cmake --build build-soft -j $(JOBS) --target kalm_check kalm_guest_check kalm_batch_check kalm_diff
	build-soft/kalm_check --caller-env each tests/vectors/*.txt
	build-soft/kalm_check --scope --caller-env each tests/vectors/*.txt
	build-soft/kalm_check --scope-check --caller-env each tests/vectors/*.txt
	build-soft/kalm_guest_check tests/vectors/*.txt
	build-soft/kalm_batch_check --caller-env each tests/vectors/*.txt
	cmake --build $(BUILD) -j $(JOBS) --target kalmlib
ifeq ($(SOFT_FULL),1)
	build-soft/kalm_diff $(BUILD)/libkalmlib.so build-soft/libkalmlib.so --calls 5000000 --names $(DOUBLE_EXPORTS)
	for f in $(SINGLE_EXPORTS); do build-soft/kalm_diff $(BUILD)/libkalmlib.so build-soft/libkalmlib.so --all-floats $$f || exit 1; done
else
	build-soft/kalm_diff $(BUILD)/libkalmlib.so build-soft/libkalmlib.so --calls 50000
	build-soft/kalm_diff $(BUILD)/libkalmlib.so build-soft/libkalmlib.so --calls 20000 --band 1e-310
	build-soft/kalm_diff $(BUILD)/libkalmlib.so build-soft/libkalmlib.so --calls 20000 --band 1e300
endif

clang-vectors:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) clang"
	cmake --preset clang $(CMAKE_ARGS) >/dev/null
	cmake --build build-clang -j $(JOBS) --target kalm_check kalm_batch_check
	build-clang/kalm_check --caller-env each tests/vectors/*.txt
	build-clang/kalm_check --scope --caller-env each tests/vectors/*.txt
	build-clang/kalm_check --scope-check --caller-env each tests/vectors/*.txt
	build-clang/kalm_batch_check --caller-env each tests/vectors/*.txt

# A short fuzzing run (make fuzz FUZZ_RUNS=N for a long one).
fuzz-short:
	@$(MAKE) --no-print-directory fuzz FUZZ_RUNS=20000

# The everyday suite: the Release build's ctest but the consumer projects,
# each a build of kalmlib from scratch (test-all runs them).
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE consume
	@$(MAKE) --no-print-directory python-test

# Everything: the everyday suite with every optional part, the consumer
# builds, the other build modes and compilers, fuzzing, the cross builds and
# Windows.
test-all: ports-test guest-test test san tsan debug-vectors cfenv-vectors soft-vectors clang-vectors fuzz-short cross-test \
          windows-test wasm-test
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -L consume
	cd $(SAN_BUILD) && KALM_ORACLE_COUNT=20000 ctest --output-on-failure -j $(JOBS)
	build-tsan/tests/kalm_tests --gtest_filter='Threads.*:Frame.ControlWords*'

bench: build
	$(BUILD)/bench/kalm_bench

# Every thread mixing scalar, batch and guest calls, checked against a
# single-threaded replay, for SOAK_SECONDS (not part of make test).
SOAK_SECONDS ?= 1800
soak: build
	nice -n 10 $(BUILD)/kalm_soak $(SOAK_SECONDS) 8

# A Debian package and a tarball of the Release build (in $(BUILD)/packages).
package: build
	cd $(BUILD) && cpack

clean:
	rm -rf $(BUILD_DIRS)

CROSS_PACKAGES := g++-aarch64-linux-gnu g++-arm-linux-gnueabihf qemu-user
cross-test:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(CROSS_PACKAGES)"
	tools/cross-test.sh

FUZZ_RUNS ?= 200000
fuzz:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) clang libclang-rt-14-dev"
	JOBS=$(JOBS) FUZZ_RUNS=$(FUZZ_RUNS) tests/fuzz/run.sh

# The ports: the C++ overloads, the replacement library under the standard C
# names, unmodified programs (Debian's python3, gawk) under LD_PRELOAD and the
# porting reference's check.
PORTS_PACKAGES := gawk python3
ports-test:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(PORTS_PACKAGES)"
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -R 'CxxOverloads|CxxFlagTypes|cxx_api_compile|StandardNames|unmodified_programs|porting_reference'

# docs/porting.md, regenerated (its host blocks describe this machine's libm).
porting-reference: build
	$(BUILD)/tools/porting/kalm_porting --vectors tests/vectors --write docs/porting.md

# Emulators: ARM guest code (arm-none-eabi-gcc) calls the library through the
# Unicorn and dynarmic adapters over every vector file; a guest built for
# AAPCS must be caught; the demo must print what it prints natively.
GUEST_PACKAGES := gcc-arm-none-eabi libunicorn-dev libdynarmic-dev
guest-deps:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(GUEST_PACKAGES)"

guest-test: guest-deps
	cmake --preset release -B $(BUILD) $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS) --target guest_conformance guest_demo demo_route_native guest_vectors \
	  guest_vectors_aapcs guest_vectors_thumb guest_demo_route example_unicorn guest_unicorn_api \
	  guest_dynarmic_api
	cd $(BUILD) && ctest --output-on-failure -R '^guest_|^example_unicorn$$'

guest-demo: guest-deps
	@cmake --preset release -B $(BUILD) $(CMAKE_ARGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target guest_demo demo_route_native guest_demo_route >/dev/null
	@echo "== adapters/demo/route.c, ARM guest (armv4t, apcs-gnu) under Unicorn:"
	@$(BUILD)/adapters/guest_demo --machine unicorn $(BUILD)/adapters/guest_demo_route.bin | tee $(BUILD)/guest-demo.txt
	@$(BUILD)/adapters/demo_route_native > $(BUILD)/native-demo.txt
	@cmp -s $(BUILD)/guest-demo.txt $(BUILD)/native-demo.txt && \
	  echo "== identical to the native build against kalmlib" || \
	  { echo "== DIFFERS from the native build:"; cat $(BUILD)/native-demo.txt; exit 1; }

# docs/gallery: the ulp error of every export against its input, drawn by gnuplot.
gallery: build
	tools/gallery.sh $(BUILD)/kalm docs/gallery


# The Windows build (MinGW-w64) and its tests under Wine, in a prefix of its own.
WIN_PACKAGES := g++-mingw-w64-x86-64-posix wine wine64 googletest
.PHONY: windows-test
windows-test:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGES) $(WIN_PACKAGES)"
	tools/windows-test.sh

# The Python package (python/, pyproject.toml). Debian's interpreter on purpose:
# the python3 first on PATH may be another one that does not see Debian's
# numpy. The package goes into a venv of its own that sees the system packages
# (Debian's pip refuses system-wide installs); nothing comes from the network.
PYTHON ?= /usr/bin/python3
PY_VENV ?= build-python/venv
PY_PACKAGES := cmake ninja-build g++ python3-dev python3-numpy python3-setuptools python3-venv python3-pytest \
               python3-dask python3-distributed python3-build
.PHONY: python-install python-test python-bench python-dist
python-install:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PY_PACKAGES)"
	test -x $(PY_VENV)/bin/python || $(PYTHON) -m venv --system-site-packages $(PY_VENV)
	$(PY_VENV)/bin/pip install -q --no-build-isolation --no-index --no-deps .

python-test: python-install
	cd python/tests && $(abspath $(PY_VENV))/bin/python -m pytest -q -p no:cacheprovider

python-bench: python-install
	$(PY_VENV)/bin/python -m kalmlib.bench

# An sdist and a wheel in build-python/dist.
python-dist:
	@$(MAKE) --no-print-directory deps PACKAGES="$(PY_PACKAGES)"
	$(PYTHON) -m build --no-isolation --outdir build-python/dist .

# WebAssembly (Emscripten) under node: the static library, kalm_check, the
# unit tests that apply and the JavaScript package (build-wasm/js/kalmlib), in
# build-wasm/ (cmake/toolchain-wasm.cmake); wasm-test runs every vector file
# through kalm_check and through the package (under node and in headless
# Chromium), those tests, and the package packed and installed offline
# (docs/wasm.md).
WASM_PACKAGES := cmake ninja-build python3 emscripten node-acorn nodejs npm googletest chromium
WASM_NODE := node --no-experimental-fetch
.PHONY: wasm wasm-test
wasm:
	@$(MAKE) --no-print-directory deps PACKAGES="$(WASM_PACKAGES)"
	cmake --preset wasm $(CMAKE_ARGS) >/dev/null
	cmake --build build-wasm -j $(JOBS) --target kalmlib_static kalm_check kalm_wasm_tests kalmlib_js

wasm-test: wasm
	$(WASM_NODE) build-wasm/kalm_check.js --caller-env each tests/vectors/*.txt
	$(WASM_NODE) build-wasm/kalm_check.js --scope --caller-env each tests/vectors/*.txt
	cd build-wasm && ctest --output-on-failure
	KALM_REQUIRE_BROWSER=1 node --test js/test/
