#!/usr/bin/env bash
# quiet.sh NAME COMMAND... -- one build step of the Makefile. Where
# TAVIMO_QUIET is set (make test, make dist) its output goes to
# build/logs/NAME.log instead of the screen, and a failure prints the first
# error and the log's name; elsewhere the command runs as it is.
set -u
name=${1:?usage: quiet.sh NAME COMMAND...}
shift
[ -n "${TAVIMO_QUIET:-}" ] || exec "$@"
mkdir -p build/logs
log=build/logs/$name.log
"$@" >"$log" 2>&1 && exit 0
code=$?
first=$(grep -m1 -E 'error:|Error:|Error [0-9]+|ERROR|FAILED' "$log" || tail -n 1 "$log")
echo "make: $name failed: $first (all of it in $log)" >&2
exit $code
