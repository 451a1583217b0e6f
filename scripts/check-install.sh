#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks what a desktop, man and the demo find
# there: every file in its place, the desktop entry, icons of the sizes their folders name,
# the manual pages (every option of tallowick-rank --help among them), the metainfo's release
# and the programs' version, and the installed demo finding its programs and samples.
# Usage: scripts/check-install.sh BUILD_DIR VERSION
# Exits 77 (skipped) in a tree where the window program is not built (the sanitizer trees build
# only the tests and the programs they start).
set -euo pipefail
build="${1:?usage: check-install.sh BUILD_DIR VERSION}"
version="${2:?usage: check-install.sh BUILD_DIR VERSION}"
if [ ! -x "$build/app/tallowick" ]; then
  echo "skipped: $build holds no window program to install"
  exit 77
fi
root="$(mktemp -d "${TMPDIR:-/tmp}/tallowick-install.XXXXXX")"
trap 'rm -rf "$root"' EXIT
prefix="$root/usr"
cmake --install "$build" --prefix "$prefix" > "$root/install.log"

status=0
fail() { echo "FAIL: $*" >&2; status=1; }

for f in bin/tallowick bin/tallowick-rank bin/tallowick-engines bin/tallowick-demo \
         share/applications/tallowick.desktop \
         share/metainfo/example.tallowick.Tallowick.metainfo.xml \
         share/tallowick/tallowick.dat share/tallowick/plants.txt \
         share/doc/tallowick/copyright share/doc/tallowick/changelog.gz \
         share/man/man1/tallowick.1.gz share/man/man1/tallowick-rank.1.gz \
         share/man/man1/tallowick-demo.1.gz share/man/man1/tallowick-engines.1.gz; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
for f in tallowick tallowick-rank tallowick-engines tallowick-demo; do
  [ -x "$prefix/bin/$f" ] || fail "bin/$f cannot be run"
done

desktop="$prefix/share/applications/tallowick.desktop"
for line in "Name=Tallowick!" "Exec=tallowick %f" "Icon=tallowick" "Type=Application"; do
  grep -qxF "$line" "$desktop" || fail "the desktop entry lacks '$line'"
done
grep -qx 'Categories=.*Network;.*' "$desktop" && grep -qx 'Categories=.*Utility;.*' "$desktop" ||
  fail "the desktop entry is not in Network and Utility"
! grep -q '^MimeType=' "$desktop" || fail "the desktop entry registers a file type"

for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/tallowick.png"
  if [ ! -f "$png" ]; then
    fail "no ${size}x${size} icon"
    continue
  fi
  # The PNG signature, then IHDR's width and height (big-endian) at bytes 16 to 23.
  b=($(od -An -tu1 -N24 "$png"))
  [ "${b[1]}${b[2]}${b[3]}" = "807871" ] || fail "the ${size}x${size} icon is not a PNG"
  w=$(( (b[16] << 24) | (b[17] << 16) | (b[18] << 8) | b[19] ))
  h=$(( (b[20] << 24) | (b[21] << 16) | (b[22] << 8) | b[23] ))
  [ "$w" = "$size" ] && [ "$h" = "$size" ] || fail "the ${size}x${size} icon is ${w}x${h}"
done

for page in tallowick tallowick-rank tallowick-demo tallowick-engines; do
  text=$(gzip -dc "$prefix/share/man/man1/$page.1.gz")
  head -1 <<<"$text" | grep -q "\"Tallowick $version\"" || fail "$page(1) does not name version $version"
  ! grep -q '@[A-Z_]*@' <<<"$text" || fail "$page(1) has an unfilled @...@"
done
for page in tallowick tallowick-rank; do
  text=$(gzip -dc "$prefix/share/man/man1/$page.1.gz")
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "EXIT STATUS"; do
    grep -qx "\.SH \"\{0,1\}$section\"\{0,1\}" <<<"$text" || fail "$page(1) has no $section"
  done
done
# Every option the tool knows is in its manual page (roff writes a - as \-).
rank_page=$(gzip -dc "$prefix/share/man/man1/tallowick-rank.1.gz" | sed 's/\\-/-/g')
for option in $("$prefix/bin/tallowick-rank" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -q -- "$option\b" <<<"$rank_page" ||
    fail "tallowick-rank $option is not in packaging/tallowick-rank.1.in"
done

grep -q "<release version=\"$version\"" "$prefix/share/metainfo/example.tallowick.Tallowick.metainfo.xml" ||
  fail "the metainfo has no release $version"
gzip -dc "$prefix/share/doc/tallowick/changelog.gz" | head -1 | grep -q "^tallowick ($version) " ||
  fail "the changelog does not start with version $version"
got=$("$prefix/bin/tallowick-rank" --version)
[ "$got" = "tallowick-rank $version" ] || fail "tallowick-rank --version says '$got'"
grep -q -- "--upgrade-version $version" "$prefix/bin/tallowick-demo" ||
  fail "the demo's upgrade page does not announce $version"

# The installed demo finds its programs and samples beside it, and says when there is no
# display rather than starting anything.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u TALLOWICK_WINDOW -u TALLOWICK_ENGINES \
          -u TALLOWICK_SAMPLES "$prefix/bin/tallowick-demo" 2>&1) && fail "the demo ran without a display"
grep -q "no display found" <<<"$out" || fail "the installed demo says: $out"

[ "$status" = 0 ] && echo "ok: the install tree of $build (version $version)"
exit "$status"
