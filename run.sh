#!/usr/bin/env bash
# Builds Tallowick (release) and starts it in the current folder, where its data file lives.
#   ./run.sh          the real thing
#   ./run.sh --demo   offline: a local engine simulator, five sample entries, throw-away settings
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$here/build-release"

demo=0
if [ "${1:-}" = "--demo" ]; then
  demo=1
  shift
fi

"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DTALLOWICK_BUILD_TESTS=OFF > /dev/null
cmake --build "$build" --parallel "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: start Tallowick from a desktop session, or rank without a window with build-release/cli/tallowick-rank." >&2
  exit 1
fi
if [ "$demo" = 0 ]; then
  exec "$build/app/tallowick" "$@"
fi

# --- Demo: the demo script the package installs, run on this build's programs and samples. ---
TALLOWICK_WINDOW="$build/app/tallowick" TALLOWICK_ENGINES="$build/sim/tallowick-engines" \
TALLOWICK_SAMPLES="$here/packaging/demo" exec "$build/packaging/tallowick-demo" "$@"
