#!/usr/bin/env bash
# Prints the version of the tree it lives in: the number in VERSION, and for
# a development build (HEAD is not the release's tag vVERSION) the commit it
# was built from, as 1.0.0+g0123456789. A copy without git history gives
# the number alone. Nothing else enters it (no date, no dirty mark), so the
# same commit always builds the same files.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
number=$(tr -d ' \n' <"$root/VERSION")
[[ $number =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || { echo "version.sh: $root/VERSION is not a version number" >&2; exit 1; }
top=$(git -C "$root" rev-parse --show-toplevel 2>/dev/null || true)
if [ "$top" != "$root" ]; then
  echo "$number"
elif git -C "$root" describe --exact-match --tags --match "v$number" HEAD >/dev/null 2>&1; then
  echo "$number"
else
  echo "$number+g$(git -C "$root" rev-parse --short=10 HEAD)"
fi
