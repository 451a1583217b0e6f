#!/usr/bin/env bash
# Builds Tallowick (release) and starts it in the current folder, where its data file lives.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

"$here/scripts/install-deps.sh"
cmake -S "$here" -B "$here/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DTALLOWICK_BUILD_TESTS=OFF > /dev/null
cmake --build "$here/build-release" --parallel "$(nproc)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: start Tallowick from a desktop session, or rank without a window with build-release/tallowick-rank." >&2
  exit 1
fi
exec "$here/build-release/tallowick" "$@"
