# The two commands a newcomer needs:
#   make run    installs what is missing, builds what the demo needs, and runs
#               velmora-sim on its built-in sample device
#   make test   installs what is missing, builds, and runs every test (ctest);
#               VELMORA_PLISTLIB_EXAMPLES=N sets how many values the plistlib
#               differential test generates (300 by default, 3000 in CI)
# Further targets: package (the .deb devices install), sanitize (ASan+UBSan),
# tsan (threaded tests under TSan), bench (benchmarks), fuzz (bounded libFuzzer
# runs), deps (packages only).

BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: run test build deps package sanitize tsan bench fuzz clean

deps:
	@./tools/install-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

# The demo is the first thing a newcomer sees: only what it needs is built
# (the simulator, both deliverables and their package), with CMake's own
# progress lines; the configure step stays quiet unless it fails. (Outside
# this make's environment, CMake's own makes do not print every directory.)
run: deps
	@echo "Building velmora-sim, the widget, the companion and the package (a first build takes minutes)"
	@log=$$(mktemp); \
	if cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >$$log 2>&1; then rm -f $$log; else cat $$log; rm -f $$log; exit 1; fi
	@env -u MAKELEVEL -u MAKEFLAGS cmake --build $(BUILD) -j$(JOBS) --target velmora-sim
	@$(BUILD)/bin/velmora-sim run --demo

# build/velmora_<version>_<arch>.deb: the deliverables laid out as a device
# holds them, with the control file dpkg reads.
package: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target velmora-package
	@ls $(BUILD)/velmora_*.deb

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

sanitize: deps
	cmake -S . -B build-asan -DVELMORA_SANITIZE=address -DVELMORA_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-asan -j$(JOBS)
	ctest --test-dir build-asan --output-on-failure -j$(JOBS)

tsan: deps
	cmake -S . -B build-tsan -DVELMORA_SANITIZE=thread -DVELMORA_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j$(JOBS) --target threaded_tests
	ctest --test-dir build-tsan --output-on-failure -L threaded -j$(JOBS)

bench: build
	$(BUILD)/bin/velmora-bench

fuzz: deps
	./tools/fuzz-ci

clean:
	rm -rf $(BUILD) build-asan build-tsan build-fuzz
