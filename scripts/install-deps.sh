#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tallowick need.
# Does nothing when all of them are present.
#   scripts/install-deps.sh [package] [checks]
#     package  also what ./package.sh needs (dpkg-shlibdeps, file)
#     checks   also the package's checkers (lintian, appstreamcli, desktop-file-validate)
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev libcurl4-openssl-dev nlohmann-json3-dev libcpp-httplib-dev
  # the rank history: Qt SQL's SQLite driver (and SQLite's own API for the writes of a run on
  # the driver's connection), and Qt Charts for its dialog
  # (Debian 12's qt6-charts-dev lacks the OpenGL CMake files its package config needs)
  libqt6sql6-sqlite libsqlite3-dev qt6-charts-dev libqt6opengl6-dev
  libpulse-dev
  # the PDF report: QtSvg draws its charts; poppler's pdftotext and pdftoppm read it back in the
  # tests; a font with CJK glyphs beside DejaVu (Latin, Greek, Cyrillic, Arabic)
  qt6-svg-dev poppler-utils fonts-wqy-microhei
  python3
  xvfb xauth
  # scripts/ci-reliability.sh: libFuzzer and the sanitizer run-times for clang, readable traces
  clang libclang-rt-14-dev llvm
)
for group in "$@"; do
  case "$group" in
    package) PACKAGES+=(dpkg-dev file gzip) ;;
    checks) PACKAGES+=(lintian appstream desktop-file-utils) ;;
    *) echo "install-deps.sh: unknown group $group (package, checks)" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
