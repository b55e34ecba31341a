# Convenience wrapper around CMake and CTest.
#   make test       build and run every test (normal build, then sanitizer build)
#   make test-fast  normal build only
#   make build      configure and build into build/
#   make install PREFIX=/usr/local   build, then install into PREFIX
#   make deb        Debian packages from the normal build into build/deb/, checked by lintian
#   make demo       build only the host program, the library and the plug-in
#                   modules, then run the demonstration on a simulated reader
#   make bench      run the benchmarks, write bench/results.md
#   make fuzz       run each fuzz target for FUZZ_SECONDS (default 60)
#   make format     reformat every C and C++ source with .clang-format
#   make format-check  fail when a source differs from .clang-format (CI runs it)
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
# Reader tests spend most of their time waiting on the line, so CTest runs
# more of them at once than there are cores.
TEST_JOBS  ?= $(shell expr $(JOBS) \* 3)
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")

.PHONY: all deps build test test-fast test-asan clean

all: build

deps:
	@scripts/install-deps.sh build python
	@scripts/install-deps.sh peers || echo "make: cross-check peers missing; those tests will be skipped"

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS) --timeout 300

# The benchmarks are built (and so compiled) by the normal build only.
$(ASAN_BUILD)/CMakeCache.txt:
	cmake -S . -B $(ASAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON -DKESTREL_BENCH=OFF

test-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	# A report exits with 86, so a child program's report is never taken
	# for the status 1 that a test may expect of it.
	cd $(ASAN_BUILD) && ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:exitcode=86 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:exitcode=86 \
	  ctest --output-on-failure -j $(TEST_JOBS) --timeout 600

test: test-fast test-asan

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

PREFIX ?= /usr/local
.PHONY: install
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Debian packages from the normal build (nothing is compiled again) into
# $(BUILD)/deb/: libkestrel1, libkestrel-dev, kestrel, python3-kestrel.
# lintian's errors and warnings fail the target.
.PHONY: deb
deb: build
	@scripts/install-deps.sh deb
	packaging/make-deb.sh $(BUILD) $(BUILD)/deb
	lintian --fail-on error,warning $(BUILD)/deb/*.deb
	@echo "lintian: no errors or warnings in $(BUILD)/deb/"

# The host program's demonstration on a simulated reader; writes build/demo/.
# Builds only what the demo runs (no tests, no benchmarks).
.PHONY: demo
demo:
	@scripts/install-deps.sh build
	@$(MAKE) --no-print-directory $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target demo_programs
	$(BUILD)/bin/kestrel demo --out $(BUILD)/demo

# Fuzzing (clang, libFuzzer, ASan+UBSan) into build-fuzz/:
#   make fuzz [FUZZ_SECONDS=60]   each target for FUZZ_SECONDS, corpus in fuzz/corpus/<target>/
#   make fuzz-smoke               each target for about 15 s, as CI runs them
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := readerinfo ctime calibration protocol pharma_it fullascii39 ukcoupon pharma_be cip39 verify

$(FUZZ_BUILD)/CMakeCache.txt:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKESTREL_SANITIZE=ON -DKESTREL_FUZZ=ON -DKESTREL_TESTS=OFF

.PHONY: fuzz fuzz-smoke
fuzz:
	@scripts/install-deps.sh build fuzz
	@$(MAKE) --no-print-directory $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

fuzz-smoke:
	@$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=15

# Benchmarks (Release, into build-bench/): runs them, prints the figures and
# writes bench/results.md with the machine they ran on.
BENCH_BUILD ?= build-bench
.PHONY: bench
bench:
	@scripts/install-deps.sh build
	BENCH_BUILD=$(BENCH_BUILD) JOBS=$(JOBS) bench/run.sh

# One code format for the tree (.clang-format).
SOURCES = $(shell git ls-files '*.c' '*.cpp' '*.h')
.PHONY: format format-check
format:
	@scripts/install-deps.sh lint
	clang-format -i $(SOURCES)
format-check:
	@scripts/install-deps.sh lint
	@clang-format --dry-run --Werror $(SOURCES) && echo "format-check: $(words $(SOURCES)) sources match .clang-format"
