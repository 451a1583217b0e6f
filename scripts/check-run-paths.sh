#!/usr/bin/env bash
# Checks that every program run.sh starts from its build folder ("$build/...") is one of the
# programs the build makes, where it makes them, so moving a program in the build cannot leave
# ./run.sh pointing at nothing (or at a stale copy left in the folder).
# Usage: scripts/check-run-paths.sh BUILD_DIR PROGRAM_FILE...
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:?usage: check-run-paths.sh BUILD_DIR PROGRAM_FILE...}"
shift
paths=$(grep -o '"\$build/[A-Za-z0-9_/.-]*"' "$here/run.sh" | sed 's/^"\$build\///; s/"$//' | sort -u)
[ -n "$paths" ] || { echo "run.sh starts no program from \$build" >&2; exit 1; }
status=0
for p in $paths; do
  found=0
  for program in "$@"; do
    [ "$program" = "$build/$p" ] && found=1
  done
  if [ "$found" = 1 ]; then
    echo "ok   $p"
  else
    echo "run.sh starts $p, which is not where the build puts any of: $*" >&2
    status=1
  fi
done
exit $status
