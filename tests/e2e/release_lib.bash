# release_lib.bash -- shared set-up of the release tests: finds the packed
# show in build-release/ and the show's sources. Sourced after lib.bash.
SOURCE_DIR=${TAVIMO_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
RELEASE_DIR=$SOURCE_DIR/build-release
PACKED=$RELEASE_DIR/tavimo-64k
UNPACKED=$RELEASE_DIR/tavimo
if [ ! -f "$PACKED" ] || [ ! -f "$UNPACKED" ]; then
  echo "SKIP: $PACKED is missing (make release builds it)" >&2
  exit 77
fi

# The files the show is built from: a release build older than any of them
# is not the show that build/tavimo is.
show_sources() {
  (cd "$SOURCE_DIR" && find CMakeLists.txt cmake runtime video fx2d palette raytracer \
    player audio assets tools/release -type f ! -path 'assets/preview/*' 2>/dev/null)
}

# Prints the source files newer than file $1.
sources_newer_than() {
  local f
  show_sources | while read -r f; do
    [ "$SOURCE_DIR/$f" -nt "$1" ] && echo "$f"
  done
}
