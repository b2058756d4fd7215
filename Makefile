# tavimo: `make run` builds and runs the show, `make test` builds and runs
# every test. Both install missing Debian packages first.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build run test test-asan test-tsan clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	@cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	build/tavimo

test: build
	cd build && ctest --output-on-failure -j $(JOBS)

# The test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTAVIMO_SANITIZE=address,undefined >/dev/null
	@cmake --build build-asan -j $(JOBS) --target tavimo_tests
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -E '^e2e\.'

clean:
	rm -rf build build-asan build-tsan
