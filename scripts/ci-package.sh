#!/usr/bin/env bash
# CI: the Debian package as a user gets it. Builds it with ./package.sh (the release tree
# reuses ccache and builds the programs alone), checks it and its desktop files, installs it on
# this machine with apt-get, runs the installed programs (--version, and an offline ranking of
# one entry against the installed simulator), then removes the package again.
# Needs root (CI) or sudo; stops if a tallowick package is installed already.
set -euo pipefail
cd "$(dirname "$0")/.."

stamp() { printf '\n=== %s  %s\n' "$(date -u +%H:%M:%S)" "$*"; }
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

scripts/install-deps.sh package checks
if dpkg-query -W -f='${Status}' tallowick 2>/dev/null | grep -q "install ok installed"; then
  echo "ci-package.sh: a tallowick package is installed already; remove it first" >&2
  exit 1
fi

stamp "Package: build"
./package.sh
debs=(build-release/tallowick_*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "expected one package, found: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
[ "$deb" = "build-release/tallowick_${version}_${arch}.deb" ] ||
  { echo "package named $deb, not tallowick_${version}_${arch}.deb" >&2; exit 1; }

stamp "Package: checks"
lintian --fail-on error --suppress-tags-from-file /dev/null "$deb"
appstreamcli validate --no-net packaging/*.metainfo.xml
desktop-file-validate packaging/tallowick.desktop

stamp "Package: install $deb"
work=$(mktemp -d)
engines_pid=""
cleanup() {
  if [ -n "$engines_pid" ]; then
    kill "$engines_pid" 2>/dev/null || true
    wait "$engines_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  if dpkg-query -W -f='${Status}' tallowick 2>/dev/null | grep -q "install ok installed"; then
    stamp "Package: remove"
    $SUDO apt-get remove -y -qq --purge tallowick
  fi
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "./$deb"

for f in /usr/bin/tallowick /usr/bin/tallowick-rank /usr/bin/tallowick-engines \
         /usr/bin/tallowick-demo /usr/share/applications/tallowick.desktop \
         /usr/share/metainfo/example.tallowick.Tallowick.metainfo.xml \
         /usr/share/icons/hicolor/16x16/apps/tallowick.png \
         /usr/share/icons/hicolor/256x256/apps/tallowick.png \
         /usr/share/man/man1/tallowick.1.gz /usr/share/man/man1/tallowick-rank.1.gz \
         /usr/share/tallowick/tallowick.dat /usr/share/tallowick/plants.txt \
         /usr/share/doc/tallowick/copyright /usr/share/doc/tallowick/changelog.gz; do
  [ -e "$f" ] || { echo "not installed: $f" >&2; exit 1; }
done

stamp "Package: the installed programs"
got=$(/usr/bin/tallowick-rank --version)
[ "$got" = "tallowick-rank $version" ] || { echo "--version says '$got', not $version" >&2; exit 1; }
got=$(QT_QPA_PLATFORM=offscreen /usr/bin/tallowick --version)
[ "$got" = "Tallowick! $version" ] || { echo "the window's --version says '$got'" >&2; exit 1; }

# One entry, planted at rank 3 on the installed simulator's Google, ranked offline with settings
# of its own.
echo "google 3 www.ci-target.example ci keywords" > "$work/plants.txt"
/usr/bin/tallowick-engines --port 0 --plant "$work/plants.txt" > "$work/engines.out" 2>&1 &
engines_pid=$!
hostport=""
for _ in $(seq 1 100); do
  hostport=$(sed -n 's/^listening on //p' "$work/engines.out")
  [ -n "$hostport" ] && break
  kill -0 "$engines_pid" 2>/dev/null || break
  sleep 0.1
done
[ -n "$hostport" ] || { echo "the installed simulator did not start:" >&2; cat "$work/engines.out" >&2; exit 1; }
printf '%s\r\n' www.ci-target.example "ci keywords" - - - - > "$work/tallowick.dat"
mkdir -p "$work/config"
(cd "$work" && XDG_CONFIG_HOME="$work/config" /usr/bin/tallowick-rank --quiet --engines google \
   --depth 2 --host "google=$hostport" --json ranked.json)
grep -q '"text": "Rank 3 / Page 1"' "$work/ranked.json" ||
  { echo "the offline ranking did not find the entry at rank 3:" >&2; cat "$work/ranked.json" >&2; exit 1; }
[ "$(sed -n 3p "$work/tallowick.dat" | tr -d '\r')" = "Rank 3 / Page 1" ] ||
  { echo "the data file was not written:" >&2; cat "$work/tallowick.dat" >&2; exit 1; }
echo "ok: tallowick-rank $version ranked the entry at Rank 3 / Page 1 against $hostport"

cleanup
trap - EXIT
for f in /usr/bin/tallowick /usr/bin/tallowick-rank /usr/share/tallowick; do
  [ ! -e "$f" ] || { echo "left behind after removal: $f" >&2; exit 1; }
done
stamp "Package: removed"
