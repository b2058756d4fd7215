# tavimo: `make run` builds and runs the show, `make test` builds and runs
# every test. Both install missing Debian packages first.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

# make test and make dist show the tests and their own lines, not the
# builds': each build step's output goes to build/logs/STEP.log, and a failed
# step prints its first error and the log's name (tools/quiet.sh, Q below).
ifneq ($(filter test dist,$(MAKECMDGOALS)),)
export TAVIMO_QUIET := 1
endif
Q = @tools/quiet.sh

.PHONY: all deps build run test test-asan test-tsan capture bench windows windows64 wine-builds release release-windows release-windows64 web serve-web dist clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	$(Q) build-cmake cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	$(Q) build cmake --build build -j $(JOBS)

# Only the show is built, quietly (the build's output goes to
# build/make-run.log): what follows is the show, or one line saying why not.
run: deps
	@mkdir -p build
	@{ cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) && \
	  cmake --build build -j $(JOBS) --target tavimo; } >build/make-run.log 2>&1 || \
	  { echo "make run: the build failed: $$(grep -m1 -E 'error|Error' build/make-run.log) (all of it in build/make-run.log)" >&2; exit 1; }
	@build/tavimo; code=$$?; case $$code in \
	  0) ;; \
	  2) echo "make run: the show could not open a display (exit code 2): it needs a desktop or an X server" >&2 ;; \
	  3) echo "make run: the show could not open a sound device (exit code 3)" >&2 ;; \
	  15) echo "make run: the show ran out of memory at start (exit code 15)" >&2 ;; \
	  *) echo "make run: the show ended with exit code $$code" >&2 ;; \
	esac; exit $$code

# Besides the show and the release, the 32-bit Windows program, whose static
# checks the suite runs (tests/e2e/windows_build.sh), the packed Windows
# release, whose static checks and decoder tests always run, Wine and the
# builds it runs (the tests under Wine), the web page, which the browser
# tests run (tests/web/), and the release archive. The tests under Wine are
# skipped only where Wine cannot start; the last lines then say so.
test: build release windows release-windows wine-builds web dist
	@cd build && { ctest --output-on-failure -j $(JOBS); echo $$? >ctest.code; } | tee ctest.log
	@skipped=$$(grep -cE '^[[:space:]]+[0-9]+ - e2e\.wine_.*\(Skipped\)' build/ctest.log); \
	  if [ "$$skipped" -gt 0 ]; then \
	    why=$$(grep -m1 -hE '^SKIP: .*(Wine|wine|tavimo.*\.exe)' build/Testing/Temporary/LastTest.log | cut -c7-); \
	    echo "make test: the $$skipped tests under Wine were skipped: $${why:-see build/Testing/Temporary/LastTest.log}"; \
	  fi; exit $$(cat build/ctest.code)

# The release as a viewer gets it: build-dist/tavimo-VERSION/ and its .zip
# with the packed shows, the web show and the module player as one page
# each, the video, screenshots, tavimo.txt and SHA256SUMS
# (tools/dist/make_dist.sh; the tests check it, tests/e2e/dist_archive.py).
dist: build release release-windows web
	$(Q) web-single cmake --build build-web -j $(JOBS) --target tavimo_single_scripts
	@tools/dist/make_dist.sh

# The whole show rendered offline, with sound: build/tavimo.mp4.
capture: build
	build/tavimo-capture --video build/tavimo.mp4

# Speed figures: per-scene frame times, mixer throughput, byte budget.
bench: build release web
	build/bench/tavimo-bench

# The test suite under AddressSanitizer and UndefinedBehaviorSanitizer (not
# the bench's browser run: this tree builds the tests alone, no bench).
test-asan: deps
	$(Q) build-asan-cmake cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DTAVIMO_SANITIZE=address,undefined,float-cast-overflow >/dev/null
	$(Q) build-asan cmake --build build-asan -j $(JOBS) --target tavimo_tests
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) -E '^(e2e\.|web\.bench$$)'

# The mixing thread against the song operations under ThreadSanitizer: the
# thread and sound device tests, on a fake device that moves on at every poll.
test-tsan: deps
	$(Q) build-tsan-cmake cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVIMO_SANITIZE=thread >/dev/null
	$(Q) build-tsan cmake --build build-tsan -j $(JOBS) --target tavimo_tests
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  tests/tavimo_tests --gtest_filter='SoundThreads.*:Sound.*'

# The show for 32-bit Windows, cross-compiled with mingw-w64 (installed on
# demand): build-win32/tavimo.exe, needing nothing but Windows' own DLLs.
windows:
	@tools/install-deps.sh windows
	$(Q) build-win32-cmake cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(Q) build-win32 cmake --build build-win32 -j $(JOBS)

# The same for 64-bit Windows, build-win64/tavimo.exe: what the Wine test
# runs where the kernel cannot run 32-bit programs.
windows64:
	@tools/install-deps.sh windows64
	$(Q) build-win64-cmake cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
	  -DCMAKE_BUILD_TYPE=Release >/dev/null
	$(Q) build-win64 cmake --build build-win64 -j $(JOBS)

# The 64-kilobyte release: build-release/tavimo-64k, the show built for size
# and packed into one self-extracting file (cmake/release.cmake); prints
# its byte budget (also in build-release/budget.txt).
release: deps
	$(Q) build-release-cmake cmake -S . -B build-release -DTAVIMO_RELEASE=ON >/dev/null
	$(Q) build-release cmake --build build-release -j $(JOBS)
	@[ -n "$$TAVIMO_QUIET" ] || cat build-release/budget.txt

# The same for Windows: build-release-win32/tavimo-64k.exe, one 32-bit
# program of at most 65536 bytes, the show built for size and packed by our
# own packer (tools/release/pack_pe.py, its stub and decoder); prints its
# byte budget (also in build-release-win32/budget.txt). release-windows64
# builds its 64-bit twin in build-release-win64.
release-windows:
	@tools/install-deps.sh windows
	$(Q) build-release-win32-cmake cmake -S . -B build-release-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
	  -DTAVIMO_RELEASE=ON >/dev/null
	$(Q) build-release-win32 cmake --build build-release-win32 -j $(JOBS)
	@[ -n "$$TAVIMO_QUIET" ] || cat build-release-win32/budget.txt

release-windows64:
	@tools/install-deps.sh windows64
	$(Q) build-release-win64-cmake cmake -S . -B build-release-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
	  -DTAVIMO_RELEASE=ON >/dev/null
	$(Q) build-release-win64 cmake --build build-release-win64 -j $(JOBS)
	@[ -n "$$TAVIMO_QUIET" ] || cat build-release-win64/budget.txt

# Where Wine is installed, the Windows builds that the tests under Wine
# (tests/e2e/wine_*.sh) run: the 32-bit one, and the 64-bit one and the
# packed 64-bit release too where this kernel cannot run 32-bit programs (or
# 32-bit Wine does not run). The 32-bit build is a prerequisite, not built
# again from the recipe, so that make -j never builds one tree twice at once;
# the 64-bit ones are wanted by nothing else that make test builds.
wine-builds: windows
	@tools/install-deps.sh wine || echo "make: Wine could not be installed; the tests under Wine will be skipped" >&2
	@if [ -x /usr/lib/wine/wine ] || [ -x /usr/lib/wine/wine64 ]; then \
	  { tools/runs-32bit.sh && /usr/lib/wine/wine --version >/dev/null 2>&1; } || \
	    $(MAKE) --no-print-directory windows64 release-windows64; \
	fi

# The show as a web page: build-web/index.html with tavimo.js and
# tavimo.wasm, and the module player page beside it (player.html), built
# with Debian's emscripten (installed on demand, with chromium and the
# browser test's node modules).
web:
	@tools/install-deps.sh web
	$(Q) build-web-cmake emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
	$(Q) build-web cmake --build build-web -j $(JOBS) --target tavimo tavimo_page tavimo-player tavimo_player_page tavimo-bench-web

# Serves build-web/ on this machine for a browser to open.
serve-web: web
	@echo "open http://127.0.0.1:8000/ (Ctrl-C stops)"
	@python3 -m http.server 8000 --bind 127.0.0.1 --directory build-web

clean:
	rm -rf build build-asan build-tsan build-win32 build-win64 build-release build-release-win32 build-release-win64 build-web build-dist
