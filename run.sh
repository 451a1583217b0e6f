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

# --- Demo: everything lives in one temporary folder that goes away with the window. ---
work="$(mktemp -d "${TMPDIR:-/tmp}/tallowick-demo.XXXXXX")"
engines_pid=""
cleanup() {
  if [ -n "$engines_pid" ]; then
    kill "$engines_pid" 2>/dev/null || true
    wait "$engines_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Where the simulator puts each sample target (ENGINE RANK URL KEYWORDS).
cat > "$work/plants.txt" <<'PLANTS'
google     3  www.bluewidgets.example    blue widgets
altavista 12  www.bluewidgets.example    blue widgets
lycos      7  www.bluewidgets.example    blue widgets
looksmart 20  www.bluewidgets.example    blue widgets
google    15  www.redgadgets.example     red gadgets
lycos      2  www.redgadgets.example     red gadgets
*          1  www.greenthings.example    green things
google    42  www.tallowick.example      rank checker
looksmart  9  www.tallowick.example      rank checker
bing      14  www.bluewidgets.example    blue widgets
bing       4  www.redgadgets.example     red gadgets
bing       1  www.tallowick.example      rank checker
PLANTS

# The simulator also stands in for the result services; the demo's key is made up.
demo_key="demo-key-not-secret"
"$build/sim/tallowick-engines" --port 0 --latency 40 --plant "$work/plants.txt" \
    --api-key "$demo_key" --upgrade-version 1.0 > "$work/engines.out" 2> "$work/engines.err" &
engines_pid=$!
hostport=""
for _ in $(seq 1 100); do
  hostport="$(sed -n 's/^listening on //p' "$work/engines.out" 2>/dev/null || true)"
  [ -n "$hostport" ] && break
  if ! kill -0 "$engines_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if [ -z "$hostport" ]; then
  echo "The engine simulator did not start:" >&2
  cat "$work/engines.err" >&2
  exit 1
fi

# Settings of the demo only: depth 5, three entries at once, all engines on the simulator; the
# second column ranks on Bing through SerpApi's endpoint, which the simulator serves too.
mkdir -p "$work/config/Tallowick!" "$work/data"
(umask 077 && : > "$work/config/Tallowick!/Tallowick!.ini")
cat > "$work/config/Tallowick!/Tallowick!.ini" <<INI
[General]
m_MaxPages=5
m_MaxThreads=3
bGoogle=1
bAltavista=1
bLycos=1
bLooksmart=1
GoogleHost=$hostport
AltavistaHost=$hostport
LycosHost=$hostport
LooksmartHost=$hostport
UpgradeUrl=http://$hostport/tallowick_upgrade_check.html
AltavistaSource=serpapi:bing
SerpapiKey=$demo_key
SerpapiUrl=http://$hostport
INI

# Five sample entries: URL, keywords and four result lines each, CR LF as the program writes.
printf '%s\r\n' \
  "www.bluewidgets.example" "blue widgets" - - - - \
  "www.redgadgets.example" "red gadgets" - - - - \
  "www.greenthings.example" "green things" - - - - \
  "www.tallowick.example" "rank checker" - - - - \
  "www.purplesprockets.example" "purple sprockets" - - - - \
  > "$work/data/tallowick.dat"

echo "Demo: engines on $hostport, entries in $work/data (removed when the window closes)."
echo "The second column ranks on Bing through the simulated SerpApi (Settings, Sources)."
cd "$work/data"
XDG_CONFIG_HOME="$work/config" "$build/app/tallowick" "$@"
