# release_lib.bash -- shared set-up of the release tests: finds the packed
# show in build-release/ and brings it up to date with the sources, so that
# it is built from the same sources as the show under test. Sourced after
# lib.bash.
SOURCE_DIR=${TAVIMO_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
RELEASE_DIR=${TAVIMO_RELEASE_BUILD_DIR:-$SOURCE_DIR/build-release}
PACKED=$RELEASE_DIR/tavimo-64k
UNPACKED=$RELEASE_DIR/tavimo
if [ ! -f "$PACKED" ] || [ ! -f "$RELEASE_DIR/CMakeCache.txt" ]; then
  echo "SKIP: $PACKED is missing (make release builds it)" >&2
  exit 77
fi
home=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$RELEASE_DIR/CMakeCache.txt")
[ "$(cd "$home" && pwd -P)" = "$(cd "$SOURCE_DIR" && pwd -P)" ] ||
  fail "build-release was configured from $home, not from $SOURCE_DIR"
# Nothing to do when `make release` ran after the last change; the lock keeps
# two release tests from building at once.
flock "$RELEASE_DIR/.test-lock" cmake --build "$RELEASE_DIR" >"$SCRATCH/release-build.log" 2>&1 ||
  fail "the release build failed: $(tail -5 "$SCRATCH/release-build.log")"
