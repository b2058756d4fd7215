#!/usr/bin/env bash
# The size options change no result: the offline renderer built with the
# release build's options (build-release/tavimo-capture) and the ordinary one
# (build/tavimo-capture) give the same frames, pixel for pixel, at a moment
# of every scene, and the same sound for the whole show, sample for sample.
. "$(dirname "$0")/lib.bash"
. "$(dirname "$0")/release_lib.bash"
reference=$(dirname "$TAVIMO")/tavimo-capture
if [ ! -x "$reference" ]; then
  echo "SKIP: $reference is missing (make build builds it)" >&2
  exit 77
fi
flock "$RELEASE_DIR/.test-lock" cmake --build "$RELEASE_DIR" --target tavimo-capture \
  >"$SCRATCH/capture-build.log" 2>&1 ||
  fail "building build-release/tavimo-capture failed: $(tail -5 "$SCRATCH/capture-build.log")"

# Opening fade, band, scroll text, unfade, swarm, ray tracer with the mirror
# picture, tube.
times=5000,9000,20000,45000,50000,62000,90000,145000
for build in release reference; do
  program=$reference
  [ $build = release ] && program=$RELEASE_DIR/tavimo-capture
  mkdir "$SCRATCH/$build"
  "$program" --fps 20 --wav "$SCRATCH/$build/show.wav" --png "$SCRATCH/$build" --at $times \
    >"$SCRATCH/$build.log" 2>&1 || fail "$program failed: $(tail -3 "$SCRATCH/$build.log")"
done
count=0
for frame in "$SCRATCH"/reference/*.png; do
  name=$(basename "$frame")
  cmp -s "$frame" "$SCRATCH/release/$name" || fail "$name differs between the two builds"
  count=$((count + 1))
done
[ "$count" = 8 ] || fail "expected 8 frames, got $count"
cmp -s "$SCRATCH/reference/show.wav" "$SCRATCH/release/show.wav" ||
  fail "the show's sound differs between the two builds"
echo "ok: $count frames ($times ms) and $(($(stat -c %s "$SCRATCH/release/show.wav") / 176400)) s" \
  "of sound identical with the release build's options"
